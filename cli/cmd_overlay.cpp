// vellumar-cli overlay: whether the shell marks each file with the add-on's overlay icon, by the same rule
// as the icon overlay of LumenoteToolbar.dll: a ".jpg" name and at least one layer in the tag packet.
#include <cstdio>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "taglib/overlay_rule.h"

namespace {

const char* const kSynopsis = SynopsisOf("overlay");

}  // namespace

int RunOverlayCommand(int argc, char** argv) {
    CommandLine commandLine;
    std::string error;
    if (!ParseCommandLine(argc, argv, {}, {}, commandLine, error)) {
        return UsageError("overlay", error, kSynopsis);
    }
    if (!commandLine.help.empty()) {
        return PrintHelp(commandLine);
    }
    if (commandLine.positional.empty()) {
        return UsageError("overlay", "no file given", kSynopsis);
    }
    // Every file gets an answer: an unreadable or missing one is simply not marked.
    for (const std::string& file : commandLine.positional) {
        // A FIFO, device or socket is refused unopened: reading one could block forever.
        const bool refused = IsNonRegularFile(file);
        if (refused) {
            std::fprintf(stderr, "vellumar-cli overlay: %s is not a regular file\n",
                         EscapeControlCharacters(file).c_str());
        }
        std::printf("%s\t%s\n", EscapeControlCharacters(file).c_str(),
                    !refused && IsOverlayMember(file) ? "yes" : "no");
    }
    std::fflush(stdout);
    return 0;
}
