#include "cli/tags_json.h"

#include <nlohmann/json.hpp>

#include "cli/cli_common.h"
#include "taglib/codepage.h"
#include "taglib/image_tags.h"

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
    using Json = nlohmann::ordered_json;
    const int codePage = ActiveCodePage();
    Json object;
    object["file"] = ToUtf8Lossy(file, codePage);
    object["loaded"] = loaded;
    object["size"] = Json::array({tags.sizeX, tags.sizeY});
    object["display"] = Json::array({tags.lastSizeX, tags.lastSizeY});

    TagCaption caption;
    object["caption"] = nullptr;
    if (tags.GetCaption(caption)) {
        object["caption"] = {
            {"x", caption.x}, {"y", caption.y}, {"text", ToUtf8Lossy(caption.text, codePage)}};
    }

    const int layerCount = tags.LayerCount();
    object["layerCount"] = layerCount;
    Json layers = Json::array();
    for (int i = 0; i < layerCount; ++i) {
        TagLayer layer;
        if (!tags.GetLayer(i, layer)) {
            layers.push_back(nullptr);
            continue;
        }
        const TagRegion& region = layer.region;
        layers.push_back({{"x", layer.x},
                          {"y", layer.y},
                          {"name", ToUtf8Lossy(layer.name, codePage)},
                          {"region",
                           {{"isRect", region.isRect},
                            {"left", region.left},
                            {"top", region.top},
                            {"width", region.width},
                            {"height", region.height}}}});
    }
    object["layers"] = std::move(layers);
    // After a Load the packet is UTF-8 (legacy packets are upgraded), so it is not converted.
    object["packet"] = ToUtf8Lossy(tags.Packet(), kCodePageUtf8);
    return JsonText(object);
}
