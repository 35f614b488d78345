// The thumbnail image and its file: an uncompressed Windows bitmap of 100 x 100 pixels, rows stored
// bottom-up, a 40-byte information header, a colour table only at 8 bits per pixel or fewer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kThumbnailSize = 100;

struct ThumbnailBitmap {
    int bitsPerPixel = 32;
    std::vector<uint32_t> colorTable;  // blue, green, red, reserved; 2, 16 or 256 entries at 1, 4, 8 bits
    std::vector<uint8_t> pixels;       // RowSize(bitsPerPixel) * 100 bytes, bottom row first
};

// Bytes of one row: 100 pixels padded to a multiple of 4 bytes.
size_t ThumbnailRowSize(int bitsPerPixel);
// Colour table entries for a pixel depth: 2, 16, 256 at 1, 4, 8 bits; else 0.
size_t ColorTableEntries(int bitsPerPixel);

// A black 32-bit thumbnail: what a picture that cannot be decoded gets.
ThumbnailBitmap BlackThumbnail();

// The bitmap as it is written to a file: file header, information header, colour table, pixel rows.
// Empty when the bitmap is inconsistent (wrong pixel count, colour table size or depth).
std::vector<uint8_t> EncodeBitmapFile(const ThumbnailBitmap& bitmap);

// Reads back a file written by EncodeBitmapFile (for checks and tools). False when it is not one.
bool DecodeBitmapFile(const std::vector<uint8_t>& file, ThumbnailBitmap& bitmap);
