// Helpers of the tag library tests: JPEG byte strings built by hand, scratch files and a diagnostics
// capture.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "taglib/diagnostics.h"
#include "test_support/jpeg_builder.h"
#include "test_support/temp_folder.h"

namespace testsupport {

// A unique path in the temporary folder, removed again with the object.
class ScratchPath {
    TempFolder folder;  // made before the path that lies in it, removed after it

public:
    explicit ScratchPath(std::string_view suffix = ".jpg")
        : path(folder.File("scratch" + std::string(suffix))) {}

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
