// The made-up index of the search benchmarks: word-named folders, numbered thumbnails, a caption on every
// third record, zero to three layer names.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

inline constexpr const char* kGeneratedIndexWords[] = {
    "summer", "lake", "harbour", "Grandma", "birthday", "beach",   "Paris", "holiday", "snow",   "garden",
    "Dog",    "cat",  "sunset",  "bridge",  "mountain", "Wedding", "party", "river",   "forest", "city"};

// A field of the index: its length, four bytes little-endian, then its bytes.
inline void AppendField(std::string& out, std::string_view text) {
    const auto length = static_cast<uint32_t>(text.size());
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>(length >> (8 * i));
    }
    out += text;
}

// Writes at least `megabytes` of records to `path` (the same records on every run); returns the bytes
// written.
inline size_t WriteGeneratedIndex(const std::filesystem::path& path, size_t megabytes) {
    std::mt19937 random(7);
    auto word = [&] { return std::string(kGeneratedIndexWords[random() % 20]); };
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string block;
    size_t written = 0;
    unsigned number = 0;
    while (written < megabytes << 20) {
        block.clear();
        for (int i = 0; i < 10000; ++i, ++number) {
            const std::string folder = "C:\\Photos\\" + word() + "\\" + std::to_string(2000 + number % 25);
            AppendField(block, folder + "\\IMG_" + std::to_string(number) + ".jpg");
            char thumb[64];
            std::snprintf(thumb, sizeof(thumb), "C:\\Program Files\\Vellumar\\thumbs\\%.6u.tb", number);
            AppendField(block, thumb);
            AppendField(block, number % 3 == 0 ? word() + " at the " + word() + " with " + word() : "");
            const uint32_t layers = number % 4;
            for (int k = 0; k < 4; ++k) {
                block += static_cast<char>(layers >> (8 * k));
            }
            for (uint32_t k = 0; k < layers; ++k) {
                AppendField(block, word());
            }
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
        written += block.size();
    }
    return written;
}
