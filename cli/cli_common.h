// Helpers shared by the subcommands of vellumar-cli.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// A subcommand's command line: options ("--name value" or "--name=value") and positional arguments.
// "--" ends the options.
struct CommandLine {
    std::map<std::string, std::vector<std::string>> options;  // every value, in order, by option name
    std::vector<std::string> positional;

    bool Has(const std::string& name) const { return options.count(name) != 0; }
    // The last value given for the option, or `fallback`.
    std::string Value(const std::string& name, const std::string& fallback = {}) const;
};

// Parses argv[1..argc-1]. `valued` names the options that take a value, `flags` those that take none.
// False with a message in `error` for an unknown option or a missing value.
bool ParseCommandLine(int argc, char** argv, std::initializer_list<const char*> valued,
                      std::initializer_list<const char*> flags, CommandLine& out, std::string& error);

// Applies --codepage CP (a Windows code page number) to the tag library. False with a message when the
// number is malformed or the platform cannot convert that code page.
bool ApplyCodePageOption(const CommandLine& commandLine, std::string& error);

// Prints "vellumar-cli COMMAND: MESSAGE" and the command's synopsis to stderr; returns 2.
int UsageError(const char* command, const std::string& message, const char* synopsis);

// Whether `path` names something that exists and is not a regular file (a folder, FIFO, device or
// socket): opening such a file for reading could block forever or never end, so it is refused unopened.
bool IsNonRegularFile(const std::string& path);

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

// One diagnostic as its line, without the line end: control characters of the path become "?" and
// those of the text (its own line ends) become blanks or go, so that nothing breaks the line.
std::string DiagnosticLine(std::string_view command, std::string_view path, std::string_view text);
