#include "taglib/jpeg_sections.h"

#include <cstring>
#include <new>
#include <utility>

#include "taglib/diagnostics.h"

namespace {

// Fill bytes before a marker code; more than this many in a row means the data is not a JPEG stream.
constexpr int kMaxFillBytes = 6;
// The compressed image is read in growing chunks, so that no file size has to be asked of the stream.
constexpr size_t kFirstImageChunk = size_t{64} * 1024;

bool IsExifPayload(const JpegSection& section) {
    return section.size >= 6 && std::memcmp(section.data.get() + 2, "Exif", 4) == 0;
}

// Reads the code of the next marker, passing over its 0xFF bytes; the end of the file reads as EOF.
// False when more fill bytes come than a JPEG stream holds.
bool ReadMarkerCode(std::FILE* stream, int& marker) {
    int fillBytes = 0;
    for (;;) {
        marker = std::fgetc(stream);
        if (marker != 0xFF) {
            return true;
        }
        if (++fillBytes > kMaxFillBytes) {
            WriteDiagnostic("too many padding bytes\n");
            return false;
        }
    }
}

// Reads a segment's length bytes and payload as the data of a JpegSection; `length` is its length field.
// Null when the length is invalid or memory runs out.
std::unique_ptr<uint8_t[]> ReadSegment(std::FILE* stream, size_t& length) {
    // A length below 2 cannot hold its own two bytes; the end of the file reads as a negative one.
    int high = std::fgetc(stream);
    int low = std::fgetc(stream);
    if (high == EOF || low == EOF || high * 256 + low < 2) {
        WriteDiagnostic("invalid marker");
        return nullptr;
    }
    length = (static_cast<size_t>(high) << 8) | static_cast<size_t>(low);

    // Zero-filled, so that a payload cut short by the end of the file holds no stale bytes.
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[length]());
    if (!data) {
        WriteDiagnostic("Could not allocate memory");
        return nullptr;
    }
    data[0] = static_cast<uint8_t>(high);
    data[1] = static_cast<uint8_t>(low);
    if (std::fread(data.get() + 2, 1, length - 2, stream) != length - 2) {
        // The section keeps its declared size; the next marker read meets the end of the file.
        WriteDiagnostic("Premature end of file?");
    }
    return data;
}

// Whether the list holds a segment before the scan. APP0 never; the Exif segment and the first comment
// only with kReadMetadata; frame headers, tables, APP2 to APP15 (the tag packet is APP9) and unknown
// codes always.
bool KeepsSection(const JpegSection& section, int mode, bool& haveComment) {
    switch (section.marker) {
        case kMarkerApp0:
            return false;
        case kMarkerApp1:
            return (mode & kReadMetadata) != 0 && IsExifPayload(section);
        case kMarkerComment: {
            const bool keep = (mode & kReadMetadata) != 0 && !haveComment;
            haveComment = haveComment || keep;
            return keep;
        }
        default:
            return true;
    }
}

}  // namespace

std::string_view JpegSection::PayloadText() const {
    if (!data || size < 2) {
        return {};
    }
    size_t declared = (static_cast<size_t>(data[0]) << 8) | data[1];
    size_t end = declared < size ? declared : size;
    if (end <= 2) {
        return {};
    }
    const char* begin = reinterpret_cast<const char*>(data.get() + 2);
    const void* zero = std::memchr(begin, 0, end - 2);
    size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - begin) : end - 2;
    return {begin, length};
}

bool JpegSectionList::AddEntry(JpegSection section) {
    try {
        entries.push_back(std::move(section));
    } catch (const std::bad_alloc&) {
        WriteDiagnostic("Could not allocate memory");
        return false;
    }
    return true;
}

bool JpegSectionList::ReadSections(std::FILE* stream, int mode) {
    int first = std::fgetc(stream);
    int second = std::fgetc(stream);
    if (first != 0xFF || second != kMarkerSoi) {
        return false;
    }

    bool haveComment = false;
    for (;;) {
        int marker = 0;
        if (!ReadMarkerCode(stream, marker)) {
            return false;
        }
        size_t length = 0;
        std::unique_ptr<uint8_t[]> data = ReadSegment(stream, length);
        if (!data || !AddEntry(JpegSection{std::move(data), marker, length})) {
            return false;
        }
        if (marker == kMarkerEoi) {
            WriteDiagnostic("No image in jpeg!\n");
            return false;
        }
        if (marker == kMarkerSos) {
            return (mode & kReadImage) != 0 ? ReadImageData(stream) : true;
        }
        if (!KeepsSection(entries.back(), mode, haveComment)) {
            entries.pop_back();
        }
    }
}

bool JpegSectionList::ReadImageData(std::FILE* stream) {
    size_t capacity = kFirstImageChunk;
    size_t used = 0;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[capacity]);
    if (!buffer) {
        WriteDiagnostic("could not allocate data for entire image");
        return false;
    }
    for (;;) {
        used += std::fread(buffer.get() + used, 1, capacity - used, stream);
        if (used < capacity) {
            break;
        }
        std::unique_ptr<uint8_t[]> larger;
        if (capacity <= SIZE_MAX / 2) {
            larger.reset(new (std::nothrow) uint8_t[capacity * 2]);
        }
        if (!larger) {
            WriteDiagnostic("could not allocate data for entire image");
            return false;
        }
        std::memcpy(larger.get(), buffer.get(), used);
        buffer = std::move(larger);
        capacity *= 2;
    }
    if (std::ferror(stream)) {
        WriteDiagnostic("could not read the rest of the image");
    }
    return AddEntry(JpegSection{std::move(buffer), kMarkerImageData, used});
}

const JpegSection* JpegSectionList::FindSection(int marker) const {
    for (int i = 0; i + 1 < Count(); ++i) {
        if (entries[static_cast<size_t>(i)].marker == marker) {
            return &entries[static_cast<size_t>(i)];
        }
    }
    return nullptr;
}

JpegSection* JpegSectionList::InsertSection(int marker, std::unique_ptr<uint8_t[]> data, size_t size) {
    size_t position = 2;
    if (Count() < 2) {
        WriteDiagnostic("Too few sections!");
        position = entries.size();
    }
    try {
        auto inserted = entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(position),
                                       JpegSection{std::move(data), marker, size});
        return &*inserted;
    } catch (const std::bad_alloc&) {
        WriteDiagnostic("Could not allocate memory");
        return nullptr;
    }
}

void JpegSectionList::DiscardSections() {
    entries.clear();
}
