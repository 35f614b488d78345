#include "taglib/overlay_rule.h"

#include <new>

#include "taglib/image_tags.h"

bool IsOverlayMember(const std::string& ansiPath) {
    if (!HasOverlayExtension(std::string_view(ansiPath))) {
        return false;
    }
    try {
        // A packet with layers counts even when Load reports a fault elsewhere (say a missing size), so
        // its answer is not consulted. The shell waits for this call: the image data is not read.
        ImageTags tags;
        tags.Load(ansiPath.c_str(), kLoadMetadata);
        return tags.LayerCount() >= 1;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
