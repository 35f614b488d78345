// vellumar-cli tags: the tags of JPEG files as JSON Lines, one object per file.
#include <cstdio>
#include <string>

#include "cli_common.h"
#include "codepage.h"
#include "commands.h"
#include "image_tags.h"

namespace {

constexpr const char* kSynopsis = "tags [--codepage CP] [--display WxH] FILE...";

bool ParseDisplaySize(const std::string& text, int32_t& width, int32_t& height) {
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 >= text.size()) {
        return false;
    }
    auto parse = [](const std::string& digits, int32_t& value) {
        if (digits.empty() || digits.size() > 9) {
            return false;
        }
        for (char c : digits) {
            if (c < '0' || c > '9') {
                return false;
            }
        }
        value = static_cast<int32_t>(std::stol(digits));
        return true;
    };
    return parse(text.substr(0, x), width) && parse(text.substr(x + 1), height);
}

std::string TagsJson(const std::string& file, bool loaded, const ImageTags& tags) {
    int codePage = ActiveCodePage();
    std::string json = "{\"file\":" + JsonString(file, codePage);
    json += ",\"loaded\":";
    json += loaded ? "true" : "false";
    json += ",\"size\":[" + std::to_string(tags.sizeX) + "," + std::to_string(tags.sizeY) + "]";
    json += ",\"display\":[" + std::to_string(tags.lastSizeX) + "," + std::to_string(tags.lastSizeY) + "]";

    TagCaption caption;
    json += ",\"caption\":";
    if (tags.GetCaption(caption)) {
        json += "{\"x\":" + std::to_string(caption.x) + ",\"y\":" + std::to_string(caption.y) +
                ",\"text\":" + JsonString(caption.text, codePage) + "}";
    } else {
        json += "null";
    }

    int layerCount = tags.LayerCount();
    json += ",\"layerCount\":" + std::to_string(layerCount) + ",\"layers\":[";
    for (int i = 0; i < layerCount; ++i) {
        if (i > 0) {
            json += ",";
        }
        TagLayer layer;
        if (!tags.GetLayer(i, layer)) {
            json += "null";
            continue;
        }
        const TagRegion& region = layer.region;
        json += "{\"x\":" + std::to_string(layer.x) + ",\"y\":" + std::to_string(layer.y) +
                ",\"name\":" + JsonString(layer.name, codePage) +
                ",\"region\":{\"isRect\":" + std::to_string(region.isRect) +
                ",\"left\":" + std::to_string(region.left) + ",\"top\":" + std::to_string(region.top) +
                ",\"width\":" + std::to_string(region.width) +
                ",\"height\":" + std::to_string(region.height) + "}}";
    }
    // After a Load the packet is UTF-8 (legacy packets are upgraded), so it is not converted.
    json += "],\"packet\":" + JsonStringUtf8(tags.Packet()) + "}";
    return json;
}

}  // namespace

int RunTagsCommand(int argc, char** argv) {
    CommandLine commandLine;
    std::string error;
    if (!ParseCommandLine(argc, argv, {"--codepage", "--display"}, {}, commandLine, error) ||
        !ApplyCodePageOption(commandLine, error)) {
        return UsageError("tags", error, kSynopsis);
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
        bool loaded = !refused && tags.Load(file.c_str());
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
