#include "indexer/thumbnail_bitmap.h"

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

uint32_t Get32(const std::vector<uint8_t>& in, size_t at) {
    return static_cast<uint32_t>(in[at]) | (static_cast<uint32_t>(in[at + 1]) << 8) |
           (static_cast<uint32_t>(in[at + 2]) << 16) | (static_cast<uint32_t>(in[at + 3]) << 24);
}

uint32_t Get16(const std::vector<uint8_t>& in, size_t at) {
    return static_cast<uint32_t>(in[at]) | (static_cast<uint32_t>(in[at + 1]) << 8);
}

bool IsSupportedDepth(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;

}  // namespace

size_t ThumbnailRowSize(int bitsPerPixel) {
    return (static_cast<size_t>(kThumbnailSize) * static_cast<size_t>(bitsPerPixel) + 31) / 32 * 4;
}

size_t ColorTableEntries(int bitsPerPixel) {
    return bitsPerPixel <= 8 ? (size_t{1} << bitsPerPixel) : 0;
}

ThumbnailBitmap BlackThumbnail() {
    ThumbnailBitmap bitmap;
    bitmap.bitsPerPixel = 32;
    bitmap.pixels.assign(ThumbnailRowSize(32) * kThumbnailSize, 0);
    return bitmap;
}

std::vector<uint8_t> EncodeBitmapFile(const ThumbnailBitmap& bitmap) {
    const int bits = bitmap.bitsPerPixel;
    if (!IsSupportedDepth(bits) || bitmap.colorTable.size() != ColorTableEntries(bits) ||
        bitmap.pixels.size() != ThumbnailRowSize(bits) * kThumbnailSize) {
        return {};
    }
    const auto imageSize = static_cast<uint32_t>(bitmap.pixels.size());
    const auto tableSize = static_cast<uint32_t>(4 * bitmap.colorTable.size());
    const uint32_t dataOffset = kFileHeaderSize + kInfoHeaderSize + tableSize;
    std::vector<uint8_t> out;
    out.reserve(dataOffset + imageSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, dataOffset + imageSize);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, dataOffset);
    Put32(out, kInfoHeaderSize);
    Put32(out, kThumbnailSize);
    Put32(out, kThumbnailSize);  // positive: bottom-up rows
    Put16(out, 1);               // planes
    Put16(out, static_cast<uint32_t>(bits));
    Put32(out, 0);  // no compression
    Put32(out, imageSize);
    Put32(out, 0);  // horizontal resolution
    Put32(out, 0);  // vertical resolution
    Put32(out, 0);  // colours used
    Put32(out, 0);  // important colours
    for (uint32_t entry : bitmap.colorTable) {
        Put32(out, entry);
    }
    out.insert(out.end(), bitmap.pixels.begin(), bitmap.pixels.end());
    return out;
}

bool DecodeBitmapFile(const std::vector<uint8_t>& file, ThumbnailBitmap& bitmap) {
    if (file.size() < kFileHeaderSize + kInfoHeaderSize || file[0] != 'B' || file[1] != 'M') {
        return false;
    }
    const uint32_t dataOffset = Get32(file, 10);
    const int bits = static_cast<int>(Get16(file, 28));
    if (Get32(file, 2) != file.size() || Get32(file, 14) != kInfoHeaderSize ||
        Get32(file, 18) != kThumbnailSize || Get32(file, 22) != kThumbnailSize || !IsSupportedDepth(bits) ||
        Get32(file, 30) != 0) {
        return false;
    }
    const size_t entries = ColorTableEntries(bits);
    const size_t imageSize = ThumbnailRowSize(bits) * kThumbnailSize;
    if (dataOffset != kFileHeaderSize + kInfoHeaderSize + 4 * entries || Get32(file, 34) != imageSize ||
        file.size() != dataOffset + imageSize) {
        return false;
    }
    bitmap.bitsPerPixel = bits;
    bitmap.colorTable.clear();
    for (size_t i = 0; i < entries; ++i) {
        bitmap.colorTable.push_back(Get32(file, kFileHeaderSize + kInfoHeaderSize + 4 * i));
    }
    bitmap.pixels.assign(file.begin() + dataOffset, file.end());
    return true;
}
