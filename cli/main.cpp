// vellumar-cli: the command-line face of the tag library and the index engine.
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "cli_common.h"
#include "commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* synopsis;
};

constexpr Command kCommands[] = {
    {"tags", RunTagsCommand, "tags [--codepage CP] [--display WxH] FILE...   print the tags of JPEG files"},
    {"overlay", RunOverlayCommand, "overlay FILE...   which files get the overlay icon"},
    {"add-folder", RunAddFolderCommand,
     "add-folder [--home DIR] [--codepage CP] FOLDER   add a folder tree to the search index"},
    {"rebuild", RunRebuildCommand,
     "rebuild [--home DIR] [--codepage CP] [--drive PATH]...   rebuild the index over the local disks"},
    {"search", RunSearchCommand,
     "search [--home DIR] [--codepage CP] [--json] TEXT   list the indexed files that match"},
    {"dump", RunDumpCommand, "dump [--home DIR] [--codepage CP]   print the index records as JSON Lines"},
    {"serve", RunServeCommand,
     "serve [--home DIR] [--codepage CP] [--port N] [--bind ADDR]   search the index in a browser"},
};

void PrintUsage(std::FILE* stream) {
    std::fputs("usage: vellumar-cli COMMAND [OPTIONS] [ARGS]\n\ncommands:\n", stream);
    for (const Command& command : kCommands) {
        std::fprintf(stream, "  %s\n", command.synopsis);
    }
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Lines end in LF on every platform, so that scripts see the same bytes from both builds.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    for (const Command& command : kCommands) {
        if (std::strcmp(argv[1], command.name) == 0) {
            // The tag library's diagnostics would otherwise mix with the output on stdout.
            ReportTagDiagnostics(command.name);
            return command.run(argc - 1, argv + 1);
        }
    }
    std::fprintf(stderr, "vellumar-cli: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
