// Helpers of the index engine's tests: hand-built index bytes (and the shared temporary folders).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "indexer/environment.h"
#include "test_support/temp_folder.h"

inline std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text) {
    WriteAll(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// Index bytes built field by field, as a test wants them (also wrong ones).
class IndexBytes {
public:
    IndexBytes& Length(uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
        return *this;
    }
    IndexBytes& Raw(const std::string& text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    IndexBytes& Text(const std::string& text) { return Length(static_cast<uint32_t>(text.size())).Raw(text); }
    IndexBytes& Record(const std::string& path, const std::string& thumbnail, const std::string& caption,
                       const std::vector<std::string>& layers) {
        Text(path).Text(thumbnail).Text(caption).Length(static_cast<uint32_t>(layers.size()));
        for (const std::string& layer : layers) {
            Text(layer);
        }
        return *this;
    }
    std::vector<uint8_t> bytes;
};

inline std::string SourcePath(const std::string& relative) {
    return std::string(VELLUMAR_SOURCE_DIR) + "/" + relative;
}
