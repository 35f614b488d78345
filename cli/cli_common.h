// Helpers shared by the subcommands of vellumar-cli.
#pragma once

#include <initializer_list>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace CLI {
class App;
}

// A subcommand's command line: options ("--name value" or "--name=value") and positional arguments.
// "--" ends the options; anything else that starts with "-" is an option, never a file.
struct CommandLine {
    std::map<std::string, std::vector<std::string>> options;  // every value, in order, by option name
    std::vector<std::string> positional;
    // The text that --help asked for: the command prints it on standard output and ends with status 0.
    std::string help;

    bool Has(const std::string& name) const { return options.count(name) != 0; }
    // The last value given for the option, or `fallback`.
    std::string Value(const std::string& name, const std::string& fallback = {}) const;
};

// Parses argv[1..argc-1]; argv[0] is the command's name. `valued` names the options that take a value,
// `flags` those that take none. False with a message in `error` for an unknown option or a missing value.
bool ParseCommandLine(int argc, char** argv, std::initializer_list<const char*> valued,
                      std::initializer_list<const char*> flags, CommandLine& out, std::string& error);

// One subcommand as the usage text and --help describe it.
struct CommandInfo {
    const char* name;
    const char* synopsis;  // "tags [--codepage CP] [--display WxH] FILE..."
    const char* summary;
    const char* arguments;  // what the words after the options are, for --help
};
// Help whose usage line is "usage: vellumar-cli " and the synopsis.
void UseSynopsisInHelp(CLI::App& app, const std::string& synopsis);

// Every subcommand, in the order the usage text lists them.
std::span<const CommandInfo> CommandInfos();
// The subcommand of that name, or null.
const CommandInfo* FindCommandInfo(std::string_view name);
// The synopsis of a subcommand of the table, for its usage errors.
const char* SynopsisOf(std::string_view name);

// Prints the text that --help asked for on standard output; returns 0, the command's exit status.
int PrintHelp(const CommandLine& commandLine);

// Applies --codepage CP (a Windows code page number) to the tag library. False with a message when the
// number is malformed or the platform cannot convert that code page.
bool ApplyCodePageOption(const CommandLine& commandLine, std::string& error);

// Prints "vellumar-cli COMMAND: MESSAGE" and the command's synopsis to stderr; returns 2.
int UsageError(const char* command, const std::string& message, const char* synopsis);

// Whether `path` names something that exists and is not a regular file (a folder, FIFO, device or
// socket): opening such a file for reading could block forever or never end, so it is refused unopened.
bool IsNonRegularFile(const std::string& path);

// A JSON value as one line of text, every control character escaped.
std::string JsonText(const nlohmann::ordered_json& value);
// A JSON string literal for a text in `codePage`; bytes that do not convert become U+FFFD.
std::string JsonString(std::string_view text, int codePage);
// A JSON string literal for UTF-8 text (invalid sequences become U+FFFD).
std::string JsonStringUtf8(std::string_view utf8);

// The tag library's diagnostics, one line each on standard error: "vellumar-cli COMMAND: FILE: TEXT"
// (without the file for a text that concerns none). `print`, when given, writes each finished line
// instead (the index commands keep a progress line on standard error). Set once, before any work.
void ReportTagDiagnostics(const char* command, void (*print)(const std::string& line) = nullptr);
// The number of diagnostic lines reported so far.
int TagDiagnosticCount();
// Reports why `path` gave no tags, for a failed Load that said nothing itself: the file cannot be
// opened, is not a JPEG file, or its packet lacks what every packet has.
void ReportLoadFailure(const std::string& path);

// A text for a field of a line of output: "\\n" and "\\t" for a line feed and a tab, "\\xHH" for the
// other control characters and DEL, so that no file name can break the line or send escape sequences to
// a terminal. Every other byte stays as it is: the backslashes of Windows paths are printed as they
// always were (--json, where a command has it, gives the exact bytes).
std::string EscapeControlCharacters(std::string_view text);
// The same, appended to `out`.
void AppendControlEscaped(std::string& out, std::string_view text);

// One diagnostic as its line, without the line end: control characters of the path become "?" and
// those of the text (its own line ends) become blanks or go, so that nothing breaks the line.
std::string DiagnosticLine(std::string_view command, std::string_view path, std::string_view text);
