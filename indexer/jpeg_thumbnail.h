// Thumbnails through libjpeg, on every platform: the picture is decoded at the smallest of libjpeg's DCT
// scales (1/8 to 8/8) that still gives at least 100 pixels on each axis, then resampled to exactly
// 100 x 100 at 32 bits per pixel. Pictures over the pixel limit are not decoded, and libjpeg's memory is
// bounded (picture_limits.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "indexer/thumbnail_bitmap.h"

// From an open file or from the bytes of a whole file. False when libjpeg cannot decode the picture at
// all (`bitmap` is then unchanged); a picture that ends early keeps what was decoded.
bool DecodeJpegThumbnail(std::FILE* file, ThumbnailBitmap& bitmap);
bool DecodeJpegThumbnail(const uint8_t* data, size_t size, ThumbnailBitmap& bitmap);
