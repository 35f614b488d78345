// Any byte string as a JPEG file on disk, read the way both programs read tags: every query of the
// tag reader, with and without a display size, in the head-only mode, and the icon overlay's rule.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "taglib/codepage.h"
#include "taglib/diagnostics.h"
#include "taglib/image_tags.h"
#include "taglib/overlay_rule.h"

namespace {
std::string ScratchPath() {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder && *folder ? folder : "/tmp") + "/vellumar-fuzz-" + std::to_string(getpid()) +
           ".jpg";
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::FILE* sink = std::fopen("/dev/null", "w");
    static const std::string path = ScratchPath();
    SetDiagnosticStream(sink);
    SetActiveCodePage(1252);

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    // Both modes give the same answers; each input is read in one of them, so that an input costs two
    // Loads (this one and the overlay's) within the run's time limit.
    {
        const int mode = size % 2 == 0 ? kLoadAll : kLoadMetadata;
        ImageTags tags;
        tags.Load(path.c_str(), mode);
        for (int pass = 0; pass < 2; ++pass) {
            // Every layer: the queries answer from the Load's parse, so even the largest packets are
            // read whole within the run's time limit.
            int count = tags.LayerCount();
            for (int i = -1; i <= count; ++i) {
                TagLayer layer;
                tags.GetLayer(i, layer);
            }
            TagCaption caption;
            tags.GetCaption(caption);
            tags.SetDisplaySize(static_cast<int32_t>(size), -7);
        }
        ImageTags copy = tags;
        (void)copy.PacketVersion();
    }
    // The shell's icon overlay asks the same of every ".jpg" file it shows.
    (void)IsOverlayMember(path);
    return 0;
}
