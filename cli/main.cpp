// vellumar-cli: the command-line face of the tag library and the index engine.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "vellumar_version.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

constexpr Command kCommands[] = {
    {"tags", RunTagsCommand},       {"overlay", RunOverlayCommand}, {"add-folder", RunAddFolderCommand},
    {"rebuild", RunRebuildCommand}, {"search", RunSearchCommand},   {"dump", RunDumpCommand},
    {"serve", RunServeCommand},
};

std::string CommandList() {
    std::string text = "commands (each takes --help):\n";
    for (const CommandInfo& info : CommandInfos()) {
        std::string line = "  " + std::string(info.synopsis);
        line.resize(std::max<size_t>(line.size() + 3, 64), ' ');
        text += line + info.summary + "\n";
    }
    return text;
}

int Run(int argc, char** argv) {
    SetBinaryOutput(stdout);

    CLI::App app("The tags of JPEG photos and their search index.", "vellumar-cli");
    UseSynopsisInHelp(app, "[--help] [--version] COMMAND [OPTIONS] [ARGS]");
    // Everything from the command on belongs to the command.
    app.prefix_command();
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "vellumar-cli " VELLUMAR_VERSION_TEXT);
    app.footer(CommandList());
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion& version) {
        std::printf("%s\n", version.what());
        return 0;
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr, "vellumar-cli: %s\n%s", error.what(), app.help().c_str());
        return 2;
    }
    const std::vector<std::string> rest = app.remaining();
    if (rest.empty()) {
        std::fputs(app.help().c_str(), stderr);
        return 2;
    }
    if (rest[0] == "help") {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    }
    // The command's own words stay as they were given: argv from the command's name on.
    const int first = argc - static_cast<int>(rest.size());
    for (const Command& command : kCommands) {
        if (rest[0] == command.name) {
            // The tag library's diagnostics would otherwise mix with the output on stdout.
            ReportTagDiagnostics(command.name);
            return command.run(argc - first, argv + first);
        }
    }
    std::fprintf(stderr, "vellumar-cli: unknown command '%s'\n%s", rest[0].c_str(), app.help().c_str());
    return 2;
}

}  // namespace

// What escapes a command (running out of memory, a library's exception) is a failure with a message, not
// an abort.
int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vellumar-cli: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "vellumar-cli: unexpected failure\n");
    }
    return 1;
}
