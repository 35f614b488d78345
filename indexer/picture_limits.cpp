#include "indexer/picture_limits.h"

namespace {

// Frame header markers: every SOFn, but not DHT (C4), JPG (C8) and DAC (CC), which share the range.
bool IsFrameHeader(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length: restarts, the start of image and TEM.
bool StandsAlone(int marker) {
    return (marker >= 0xD0 && marker <= 0xD8) || marker == 0x01;
}

}  // namespace

bool IsPictureTooLarge(uint32_t width, uint32_t height) {
    return uint64_t{width} * height > kMaxPicturePixels;
}

bool ReadFrameSize(const uint8_t* data, size_t size, uint32_t& width, uint32_t& height) {
    if (data == nullptr || size < 2 || data[0] != 0xFF || data[1] != 0xD8) {
        return false;
    }
    size_t position = 2;
    for (;;) {
        // As decoders do, bytes before a marker's 0xFF are passed over, and so are fill bytes.
        while (position < size && data[position] != 0xFF) {
            ++position;
        }
        while (position < size && data[position] == 0xFF) {
            ++position;
        }
        if (position >= size) {
            return false;
        }
        const int marker = data[position++];
        if (marker == 0 || StandsAlone(marker)) {
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) {
            return false;  // the end of the image or its first scan, and no frame before it
        }
        if (size - position < 2) {
            return false;
        }
        const size_t length = (size_t{data[position]} << 8) | data[position + 1];
        if (IsFrameHeader(marker)) {
            // Length, sample precision, then the height and the width, big-endian.
            if (length < 7 || size - position < 7) {
                return false;
            }
            height = (uint32_t{data[position + 3]} << 8) | data[position + 4];
            width = (uint32_t{data[position + 5]} << 8) | data[position + 6];
            return true;
        }
        if (length < 2) {
            return false;
        }
        position += length;
    }
}
