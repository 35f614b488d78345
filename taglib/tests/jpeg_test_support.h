// Helpers of the tag library tests: JPEG byte strings built by hand, scratch files and a diagnostics
// capture.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "diagnostics.h"

namespace testsupport {

inline std::string StartOfImage() {
    return std::string("\xFF\xD8", 2);
}

// One marker segment: 0xFF, the code, the big-endian length (counting itself) and the payload.
inline std::string Segment(int marker, std::string_view payload) {
    size_t length = payload.size() + 2;
    std::string bytes;
    bytes += static_cast<char>(0xFF);
    bytes += static_cast<char>(marker);
    bytes += static_cast<char>((length >> 8) & 0xFF);
    bytes += static_cast<char>(length & 0xFF);
    bytes.append(payload);
    return bytes;
}

// A start-of-scan header for one component, as an encoder writes it.
inline std::string StartOfScan() {
    return Segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6));
}

// A unique path in the temporary folder, removed again with the object.
class ScratchPath {
public:
    explicit ScratchPath(std::string_view suffix = ".jpg") {
        static std::atomic<unsigned> counter{0};
        std::random_device random;
        std::string name = "vellumar_test_" + std::to_string(random()) + "_" + std::to_string(counter++) +
                           std::string(suffix);
        path = (std::filesystem::temp_directory_path() / name).string();
    }
    ~ScratchPath() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    ScratchPath(const ScratchPath&) = delete;
    ScratchPath& operator=(const ScratchPath&) = delete;

    void Write(std::string_view bytes) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good()) << path;
    }

    std::string path;
};

// An open stdio file that closes itself.
class StdioFile {
public:
    StdioFile(const std::string& path, const char* mode) : file(std::fopen(path.c_str(), mode)) {}
    ~StdioFile() {
        if (file) {
            std::fclose(file);
        }
    }
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;

    std::FILE* file;
};

// Points the library's diagnostics at a scratch file for the lifetime of the object.
class DiagnosticCapture {
public:
    DiagnosticCapture() : stream(scratch.path, "w+b") { SetDiagnosticStream(stream.file); }
    ~DiagnosticCapture() { SetDiagnosticStream(nullptr); }
    DiagnosticCapture(const DiagnosticCapture&) = delete;
    DiagnosticCapture& operator=(const DiagnosticCapture&) = delete;

    bool IsOpen() const { return stream.file != nullptr; }

    // Everything written so far; the capture is emptied.
    std::string Take() {
        std::string text;
        if (!stream.file) {
            return text;
        }
        std::fflush(stream.file);
        std::rewind(stream.file);
        char buffer[256];
        size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, stream.file)) > 0) {
            text.append(buffer, got);
        }
        std::fclose(stream.file);
        stream.file = std::fopen(scratch.path.c_str(), "w+b");
        SetDiagnosticStream(stream.file);
        return text;
    }

private:
    ScratchPath scratch{".log"};
    StdioFile stream;
};

}  // namespace testsupport
