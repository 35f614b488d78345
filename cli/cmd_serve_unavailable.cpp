// vellumar-cli serve where the build has no HTTP server (the Windows build).
#include <cstdio>

#include "cli/commands.h"

int RunServeCommand(int, char**) {
    std::fputs(
        "vellumar-cli serve: this build of vellumar-cli has no web server; run \"vellumar-cli serve\" of the "
        "Linux build on the same home folder\n",
        stderr);
    return 2;
}
