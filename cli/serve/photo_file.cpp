#include "cli/serve/photo_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

PhotoFile::~PhotoFile() {
    if (descriptor >= 0) {
        close(descriptor);
    }
}

PhotoFileOpen PhotoFile::Open(const std::string& path, PhotoFileKind kind) {
    // Non-blocking, so that opening a pipe that a record happens to name cannot hang the server.
    const int opened = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (opened < 0) {
        return PhotoFileOpen::kMissing;
    }
    if (descriptor >= 0) {
        close(descriptor);
    }
    descriptor = opened;
    struct stat info {};
    if (fstat(descriptor, &info) != 0) {
        return PhotoFileOpen::kMissing;
    }
    if (!S_ISREG(info.st_mode)) {
        return PhotoFileOpen::kNotRegular;
    }
    size = static_cast<int64_t>(info.st_size);
    unsigned char head[3] = {};
    const int64_t got = Read(0, reinterpret_cast<char*>(head), sizeof head);
    const bool matches = kind == PhotoFileKind::kJpeg
                             ? got == 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF
                             : got >= 2 && head[0] == 'B' && head[1] == 'M';
    return matches ? PhotoFileOpen::kOpened : PhotoFileOpen::kWrongKind;
}

int64_t PhotoFile::Read(int64_t offset, char* buffer, size_t length) const {
    for (;;) {
        const ssize_t got = pread(descriptor, buffer, length, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR) {
            return static_cast<int64_t>(got);
        }
    }
}
