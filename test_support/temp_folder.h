// The tests' scratch space: a fresh folder in the system's temp folder, removed with everything in it
// when the object ends.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

class TempFolder {
public:
    TempFolder() {
        static std::atomic<int> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path = std::filesystem::temp_directory_path() /
               ("vellumar-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder with native separators and no trailing one, as the engine writes paths.
    std::string Path() const { return path.string(); }
    std::string File(const std::string& name) const { return (path / name).string(); }
    // For the wide calls of Windows: a name the ANSI code page cannot spell stays whole.
    std::wstring File(const std::wstring& name) const { return (path / name).wstring(); }
    // Writes `bytes` to a file of the folder; returns its path.
    std::string Write(const std::string& name, std::string_view bytes) const {
        std::string file = File(name);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

    std::filesystem::path path;
};
