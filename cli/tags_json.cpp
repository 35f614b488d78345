#include "tags_json.h"

#include "cli_common.h"
#include "codepage.h"
#include "image_tags.h"

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
