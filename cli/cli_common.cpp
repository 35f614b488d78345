#include "cli/cli_common.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "taglib/codepage.h"
#include "cli/console.h"
#include "taglib/diagnostics.h"

std::string CommandLine::Value(const std::string& name, const std::string& fallback) const {
    auto found = options.find(name);
    if (found == options.end() || found->second.empty()) {
        return fallback;
    }
    return found->second.back();
}

namespace {

constexpr CommandInfo kCommands[] = {
    {"tags", "tags [--codepage CP] [--display WxH] FILE...", "print the tags of JPEG files", "JPEG files"},
    {"overlay", "overlay FILE...", "which files get the overlay icon", "files"},
    {"add-folder", "add-folder [--home DIR] [--codepage CP] [--decoders N] FOLDER",
     "add a folder tree to the search index", "the folder tree"},
    {"rebuild", "rebuild [--home DIR] [--codepage CP] [--decoders N] [--drive PATH]...",
     "rebuild the index over the local disks", ""},
    {"search", "search [--home DIR] [--codepage CP] [--json] TEXT", "list the indexed files that match",
     "words of file names, captions or layer names"},
    {"dump", "dump [--home DIR] [--codepage CP]", "print the index records as JSON Lines", ""},
    {"serve", "serve [--home DIR] [--codepage CP] [--port N] [--bind ADDR]", "search the index in a browser",
     ""},
};

// What --help says about each option that some subcommand takes.
struct OptionHelp {
    const char* name;
    const char* value;
    const char* text;
};
constexpr OptionHelp kOptionHelp[] = {
    {"--codepage", "CP", "Windows code page of paths, names and captions (1252, 65001, ...)"},
    {"--home", "DIR", "folder of \"index\", \"tb.idx\" and \"thumbs\" (default: the program's folder)"},
    {"--display", "WxH", "scale the positions to this display size"},
    {"--drive", "PATH", "index this root instead of the local disks (may be repeated)"},
    {"--decoders", "N", "threads that decode thumbnails, 1 to 64 (default: one per processor core)"},
    {"--json", "", "one JSON object per hit, texts in UTF-8"},
    {"--port", "N", "port to listen on (default 8637; 0: any free port)"},
    {"--bind", "ADDR", "address to listen on (default 127.0.0.1)"},
};

// Help whose usage line is the command's synopsis, as the README writes it.
class SynopsisFormatter : public CLI::Formatter {
public:
    explicit SynopsisFormatter(std::string text) : synopsis(std::move(text)) { column_width(24); }
    std::string make_usage(const CLI::App*, std::string) const override {
        return "usage: vellumar-cli " + synopsis + "\n";
    }

private:
    std::string synopsis;
};

const OptionHelp* FindOptionHelp(std::string_view name) {
    for (const OptionHelp& help : kOptionHelp) {
        if (name == help.name) {
            return &help;
        }
    }
    return nullptr;
}

// The words after the options as the synopsis names them ("FILE...", "TEXT"), or "" for none.
std::string PositionalName(const CommandInfo* info) {
    if (info == nullptr) {
        return "ARGS";
    }
    std::string_view synopsis = info->synopsis;
    const size_t last = synopsis.rfind(' ');
    std::string_view word = last == std::string_view::npos ? std::string_view{} : synopsis.substr(last + 1);
    while (!word.empty() && word.back() == '.') {
        word.remove_suffix(1);
    }
    const bool upper = !word.empty() && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == word.npos;
    return upper ? std::string(word) : std::string();
}

}  // namespace

void UseSynopsisInHelp(CLI::App& app, const std::string& synopsis) {
    app.formatter(std::make_shared<SynopsisFormatter>(synopsis));
}

std::span<const CommandInfo> CommandInfos() {
    return kCommands;
}

const CommandInfo* FindCommandInfo(std::string_view name) {
    for (const CommandInfo& info : kCommands) {
        if (name == info.name) {
            return &info;
        }
    }
    return nullptr;
}

const char* SynopsisOf(std::string_view name) {
    const CommandInfo* info = FindCommandInfo(name);
    return info != nullptr ? info->synopsis : "";
}

bool ParseCommandLine(int argc, char** argv, std::initializer_list<const char*> valued,
                      std::initializer_list<const char*> flags, CommandLine& out, std::string& error) {
    const std::string name = argc > 0 ? argv[0] : "";
    const CommandInfo* info = FindCommandInfo(name);
    CLI::App app(info != nullptr ? info->summary : "", "vellumar-cli " + name);
    // A Windows path never starts with "/"; "/x" must stay a file name there too.
    app.allow_windows_style_options(false);
    if (info != nullptr) {
        UseSynopsisInHelp(app, info->synopsis);
    }

    std::map<std::string, std::vector<std::string>> values;
    for (const char* option : valued) {
        const OptionHelp* help = FindOptionHelp(option);
        // One value per occurrence; every occurrence is kept, and commands use the last or all.
        app.add_option(option, values[option], help != nullptr ? help->text : "")
            ->expected(1)
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
            ->type_name(help != nullptr ? help->value : "VALUE");
    }
    std::map<std::string, int64_t> counts;
    for (const char* flag : flags) {
        const OptionHelp* help = FindOptionHelp(flag);
        app.add_flag(flag, counts[flag], help != nullptr ? help->text : "")->disable_flag_override();
    }
    const std::string positionalName = PositionalName(info);
    CLI::Option* positional = app.add_option(positionalName.empty() ? "ARGS" : positionalName, out.positional,
                                             info != nullptr ? info->arguments : "")
                                  ->type_name("");
    if (positionalName.empty()) {
        positional->group("");  // the command checks that none was given, with a message of its own
    }

    // The parser would read "--name=" as the option without a value and take the next word for it; an
    // empty value is the command's to judge. The parser takes the words in reverse order.
    int optionsEnd = argc;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--") {
            optionsEnd = i;
            break;
        }
    }
    std::vector<std::string> words;
    for (int i = argc - 1; i >= 1; --i) {
        const std::string_view word = argv[i];
        const std::string option(word.substr(0, word.empty() ? 0 : word.size() - 1));
        if (i < optionsEnd && word.ends_with('=') && values.count(option) != 0) {
            words.emplace_back();
            words.push_back(option);
        } else {
            words.emplace_back(word);
        }
    }
    try {
        app.parse(words);
    } catch (const CLI::CallForHelp&) {
        out.help = app.help();
        return true;
    } catch (const CLI::ParseError& parseError) {
        error = parseError.what();
        return false;
    }
    for (auto& [option, optionValues] : values) {
        if (!optionValues.empty()) {
            out.options[option] = std::move(optionValues);
        }
    }
    for (const auto& [flag, count] : counts) {
        if (count > 0) {
            out.options[flag].assign(static_cast<size_t>(count), std::string());
        }
    }
    return true;
}

bool ApplyCodePageOption(const CommandLine& commandLine, std::string& error) {
    if (!commandLine.Has("--codepage")) {
        return true;
    }
    std::string text = commandLine.Value("--codepage");
    int codePage = 0;
    bool digits = !text.empty() && text.size() <= 5;
    for (char c : text) {
        digits = digits && c >= '0' && c <= '9';
    }
    if (digits) {
        codePage = std::atoi(text.c_str());
    }
    if (codePage <= 0 || codePage > 65535) {
        error = "--codepage needs a Windows code page number such as 1252 or 65001, not '" + text + "'";
        return false;
    }
    if (!IsCodePageSupported(codePage)) {
        error = "code page " + text + " cannot be converted on this system";
        return false;
    }
    SetActiveCodePage(codePage);
    return true;
}

int PrintHelp(const CommandLine& commandLine) {
    std::fputs(commandLine.help.c_str(), stdout);
    std::fflush(stdout);
    return 0;
}

int UsageError(const char* command, const std::string& message, const char* synopsis) {
    std::fprintf(stderr, "vellumar-cli %s: %s\nusage: vellumar-cli %s\n", command, message.c_str(), synopsis);
    return 2;
}

bool IsNonRegularFile(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

std::string JsonText(const nlohmann::ordered_json& value) {
    // Texts are made valid UTF-8 before they get here; a stray byte still cannot make the dump fail.
    std::string text = value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    // DEL, like the other control characters, is escaped so that no output sends it to a terminal. In
    // UTF-8 the byte 0x7F is always that character, and JSON's own syntax never holds it.
    size_t at = 0;
    while ((at = text.find('\x7F', at)) != std::string::npos) {
        text.replace(at, 1, "\\u007f");
        at += 6;
    }
    return text;
}

std::string JsonStringUtf8(std::string_view utf8) {
    return JsonText(ToUtf8Lossy(utf8, kCodePageUtf8));
}

std::string JsonString(std::string_view text, int codePage) {
    return JsonText(ToUtf8Lossy(text, codePage));
}

namespace {

struct DiagnosticTarget {
    const char* command = "";
    void (*print)(const std::string& line) = nullptr;
};
DiagnosticTarget diagnosticTarget;
std::atomic<int> diagnosticCount{0};

// Loads run on the jobs' worker threads too; a line is written in one call, so lines do not mix.
void PrintDiagnostic(const char* path, const char* text, void* userData) {
    const auto* target = static_cast<const DiagnosticTarget*>(userData);
    const std::string line = DiagnosticLine(target->command, path, text);
    ++diagnosticCount;
    if (target->print != nullptr) {
        target->print(line);
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

}  // namespace

void ReportTagDiagnostics(const char* command, void (*print)(const std::string& line)) {
    diagnosticTarget.command = command;
    diagnosticTarget.print = print;
    SetDiagnosticSink(PrintDiagnostic, &diagnosticTarget);
}

int TagDiagnosticCount() {
    return diagnosticCount.load();
}

void ReportLoadFailure(const std::string& path) {
    std::string reason;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        reason = std::string("cannot open: ") + std::strerror(errno);
    } else {
        const int first = std::fgetc(file);
        const int second = std::fgetc(file);
        std::fclose(file);
        reason = first == 0xFF && second == 0xD8
                     ? "the tag packet lacks rdf:Description, nto:size_x or nto:size_y"
                     : "not a JPEG file";
    }
    PrintDiagnostic(path.c_str(), reason.c_str(), &diagnosticTarget);
}

void AppendControlEscaped(std::string& out, std::string_view text) {
    auto isControl = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    };
    if (std::none_of(text.begin(), text.end(), isControl)) {
        out += text;  // nearly every path
        return;
    }
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (isControl(c)) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
}

std::string EscapeControlCharacters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendControlEscaped(out, text);
    return out;
}

std::string DiagnosticLine(std::string_view command, std::string_view path, std::string_view text) {
    std::string line = "vellumar-cli ";
    line += command;
    line += ": ";
    if (!path.empty()) {
        std::string shown = TerminalText(path);
        for (char& c : shown) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                c = '?';
            }
        }
        line += shown;
        line += ": ";
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    for (char c : text) {
        line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
    return line;
}
