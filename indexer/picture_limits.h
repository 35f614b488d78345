// How large a picture the thumbnail decoders take on. A frame header may claim up to 65535 x 65535
// pixels in a file of a few hundred bytes; decoding that would take gigabytes, and a 32-bit process
// cannot even hold it. A picture over the limits gets the black thumbnail, as an undecodable one does.
#pragma once

#include <cstddef>
#include <cstdint>

// 2^27, about 134 megapixels: room for the largest camera photos (100 to 108 megapixels).
constexpr uint64_t kMaxPicturePixels = uint64_t{1} << 27;

// The working memory libjpeg may use. A progressive picture keeps all its coefficients, two bytes per
// sample: this admits about 64 megapixels with colour subsampled, 32 without.
constexpr long kMaxDecoderMemory = 192L * 1024 * 1024;

// True when a picture of this size is over the pixel limit.
bool IsPictureTooLarge(uint32_t width, uint32_t height);

// The width and height that the first frame header of a JPEG file in memory declares. False when the
// data is not a JPEG stream or holds no frame header before its first scan.
bool ReadFrameSize(const uint8_t* data, size_t size, uint32_t& width, uint32_t& height);
