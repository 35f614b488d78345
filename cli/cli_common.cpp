#include "cli_common.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "codepage.h"
#include "diagnostics.h"

std::string CommandLine::Value(const std::string& name, const std::string& fallback) const {
    auto found = options.find(name);
    if (found == options.end() || found->second.empty()) {
        return fallback;
    }
    return found->second.back();
}

namespace {
bool Contains(std::initializer_list<const char*> names, const std::string& name) {
    for (const char* candidate : names) {
        if (name == candidate) {
            return true;
        }
    }
    return false;
}
}  // namespace

bool ParseCommandLine(int argc, char** argv, std::initializer_list<const char*> valued,
                      std::initializer_list<const char*> flags, CommandLine& out, std::string& error) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (optionsEnded || argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
            out.positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = argument;
        std::string value;
        bool hasValue = false;
        size_t equals = argument.find('=');
        if (equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            hasValue = true;
        }
        if (Contains(flags, name)) {
            if (hasValue) {
                error = "option " + name + " takes no value";
                return false;
            }
            out.options[name].push_back({});
        } else if (Contains(valued, name)) {
            if (!hasValue) {
                if (i + 1 >= argc) {
                    error = "option " + name + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            out.options[name].push_back(value);
        } else {
            error = "unknown option " + name;
            return false;
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

int UsageError(const char* command, const std::string& message, const char* synopsis) {
    std::fprintf(stderr, "vellumar-cli %s: %s\nusage: vellumar-cli %s\n", command, message.c_str(), synopsis);
    return 2;
}

bool IsNonRegularFile(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

std::string JsonStringUtf8(std::string_view utf8) {
    std::string text = ToUtf8Lossy(utf8, kCodePageUtf8);
    std::string out = "\"";
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

std::string JsonString(std::string_view text, int codePage) {
    return JsonStringUtf8(ToUtf8Lossy(text, codePage));
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

std::string DiagnosticLine(std::string_view command, std::string_view path, std::string_view text) {
    std::string line = "vellumar-cli ";
    line += command;
    line += ": ";
    if (!path.empty()) {
#ifdef _WIN32
        std::string shown(path);
#else
        // Paths are in the code page in force; a POSIX terminal expects UTF-8.
        std::string shown = ToUtf8Lossy(path, ActiveCodePage());
#endif
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
