// vellumar-cli tags: the tags of JPEG files as JSON Lines, one object per file.
#include <cstdio>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "taglib/image_tags.h"
#include "cli/tags_json.h"

namespace {

const char* const kSynopsis = SynopsisOf("tags");

}  // namespace

int RunTagsCommand(int argc, char** argv) {
    CommandLine commandLine;
    std::string error;
    if (!ParseCommandLine(argc, argv, {"--codepage", "--display"}, {}, commandLine, error) ||
        !ApplyCodePageOption(commandLine, error)) {
        return UsageError("tags", error, kSynopsis);
    }
    if (!commandLine.help.empty()) {
        return PrintHelp(commandLine);
    }
    int32_t displayWidth = 0;
    int32_t displayHeight = 0;
    bool display = commandLine.Has("--display");
    if (display && !ParseDisplaySize(commandLine.Value("--display"), displayWidth, displayHeight)) {
        return UsageError("tags", "--display needs WIDTHxHEIGHT, e.g. 640x480", kSynopsis);
    }
    if (commandLine.positional.empty()) {
        return UsageError("tags", "no JPEG file given", kSynopsis);
    }

    int status = 0;
    for (const std::string& file : commandLine.positional) {
        ImageTags tags;
        // A FIFO, device or socket is refused unopened: reading one could block forever.
        const bool refused = IsNonRegularFile(file);
        if (refused) {
            std::fprintf(stderr, "vellumar-cli tags: %s is not a regular file\n", file.c_str());
        }
        const int diagnostics = TagDiagnosticCount();
        // Every field printed comes from the segments before the image data, which is therefore not
        // read: a whole-file Load would differ only by failing to read or hold that data.
        bool loaded = !refused && tags.Load(file.c_str(), kLoadMetadata);
        if (!refused && !loaded && TagDiagnosticCount() == diagnostics) {
            ReportLoadFailure(file);
        }
        if (display) {
            tags.SetDisplaySize(displayWidth, displayHeight);
        }
        if (!loaded) {
            status = 1;
        }
        std::string line = TagsJson(file, loaded, tags);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
    return status;
}
