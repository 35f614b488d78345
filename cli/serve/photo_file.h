// A file that a record of the index names, opened for serving: only a regular file whose first bytes
// are those of the expected kind, read piece by piece so that a file of any size is never held whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class PhotoFileKind {
    kJpeg,    // starts with a JPEG start-of-image marker
    kBitmap,  // a thumbnail of the cache: a BMP file
};

enum class PhotoFileOpen {
    kOpened,
    kMissing,     // no such file, or the system refused to open it
    kNotRegular,  // a folder, device, pipe or socket: never read
    kWrongKind,   // its first bytes are not those of the kind asked for
};

class PhotoFile {
public:
    PhotoFile() = default;
    ~PhotoFile();
    PhotoFile(const PhotoFile&) = delete;
    PhotoFile& operator=(const PhotoFile&) = delete;

    PhotoFileOpen Open(const std::string& path, PhotoFileKind kind);
    int64_t Size() const { return size; }
    // Up to `length` bytes from `offset`; the count read, 0 at the end, -1 on an error.
    int64_t Read(int64_t offset, char* buffer, size_t length) const;

private:
    int descriptor = -1;
    int64_t size = 0;
};
