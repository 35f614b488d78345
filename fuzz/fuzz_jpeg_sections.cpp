// Any byte string as a JPEG file: the section reader must stay inside its buffers and terminate.
#include <cstdint>
#include <cstdio>

#include "taglib/diagnostics.h"
#include "taglib/jpeg_sections.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::FILE* sink = std::fopen("/dev/null", "w");
    SetDiagnosticStream(sink);
    std::FILE* stream = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!stream) {
        return 0;
    }
    const int modes[] = {kReadMetadata | kReadImage, kReadMetadata};
    for (int mode : modes) {
        std::rewind(stream);
        JpegSectionList sections;
        sections.ReadSections(stream, mode);
        for (int marker : {kMarkerApp9, kMarkerComment, kMarkerApp1, kMarkerSos}) {
            if (const JpegSection* section = sections.FindSection(marker)) {
                volatile size_t length = section->PayloadText().size();
                (void)length;
            }
        }
        if (sections.Count() > 0) {
            sections.InsertSection(kMarkerApp9, std::make_unique<uint8_t[]>(4), 4);
        }
        sections.DiscardSections();
    }
    std::fclose(stream);
    return 0;
}
