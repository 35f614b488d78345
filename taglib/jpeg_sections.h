// The marker segments ("sections") of one JPEG file, from the start-of-image marker up to and including
// the start-of-scan segment, and on request the compressed image data after it as one block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

// Read mode flags of ReadSections.
enum JpegReadMode : int {
    kReadMetadata = 1,  // hold the Exif segment and the first comment
    kReadImage = 2,     // read the compressed image data after the start of scan
};

constexpr int kMarkerSoi = 0xD8;
constexpr int kMarkerEoi = 0xD9;
constexpr int kMarkerSos = 0xDA;
constexpr int kMarkerApp0 = 0xE0;
constexpr int kMarkerApp1 = 0xE1;
constexpr int kMarkerApp9 = 0xE9;
constexpr int kMarkerComment = 0xFE;
// Not a marker of the file format: tags the block of compressed image data.
constexpr int kMarkerImageData = 0x123;

struct JpegSection {
    // The segment as stored: its two big-endian length bytes, then its payload. For the image data
    // block, the raw bytes.
    std::unique_ptr<uint8_t[]> data;
    int marker = 0;   // marker code byte as read, or kMarkerImageData
    size_t size = 0;  // bytes in data: the segment's length field, or the length of the image data

    // The payload as text: from after the length bytes up to the first zero byte, read no further than
    // the length field says nor past the buffer.
    std::string_view PayloadText() const;
};

// The list grows with what it reads: every held segment costs its own bytes and needs at least four
// bytes of the file, so a read is bounded by the file's size rather than by a count of sections.
class JpegSectionList {
public:
    JpegSectionList() = default;
    JpegSectionList(const JpegSectionList&) = delete;
    JpegSectionList& operator=(const JpegSectionList&) = delete;
    ~JpegSectionList() = default;

    // Reads sections from a stream positioned at the start of the file. True when the start-of-scan
    // segment was reached. What was read stays in the list, also after a failure, until DiscardSections.
    bool ReadSections(std::FILE* stream, int mode);

    // The first entry with this marker among all entries but the last (after a read with kReadImage
    // the last one is the image data), or nullptr.
    const JpegSection* FindSection(int marker) const;

    // Stores a new entry at position 2, behind the first two sections, moving the later ones up. A
    // list of fewer than two entries gets it at its end, so no gap is left. Returns the new entry.
    JpegSection* InsertSection(int marker, std::unique_ptr<uint8_t[]> data, size_t size);

    void DiscardSections();

    int Count() const { return static_cast<int>(entries.size()); }
    const JpegSection& At(int index) const { return entries[static_cast<size_t>(index)]; }

private:
    bool AddEntry(JpegSection section);
    bool ReadImageData(std::FILE* stream);

    std::vector<JpegSection> entries;
};
