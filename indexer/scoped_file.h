// The scoped holder of a stream: closes the stream when the holder goes away by any path, and closes
// the old stream when it is given a new one.
#pragma once

#include <cstdio>

class ScopedFile {
public:
    ScopedFile() = default;
    explicit ScopedFile(std::FILE* fileIn) : file(fileIn) {}
    ~ScopedFile() { Close(); }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;

    std::FILE* Get() const { return file; }
    explicit operator bool() const { return file != nullptr; }

    // Takes `fileIn`, closing the stream held so far.
    void Reset(std::FILE* fileIn = nullptr) {
        if (file != nullptr && file != fileIn) {
            std::fclose(file);
        }
        file = fileIn;
    }
    // False when the close reported an error (data that could not be written).
    bool Close() {
        std::FILE* old = file;
        file = nullptr;
        return old == nullptr || std::fclose(old) == 0;
    }

private:
    std::FILE* file = nullptr;
};
