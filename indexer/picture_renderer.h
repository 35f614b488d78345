// Turns a JPEG file into a 100 x 100 thumbnail bitmap: the whole picture, stretched to the square.
// Windows decodes through the platform's picture object and draws at the screen's pixel depth; POSIX
// decodes with libjpeg at a reduced scale and resamples to 32 bits per pixel.
#pragma once

#include <string>

#include "indexer/thumbnail_bitmap.h"

enum class PictureError {
    kNone,
    kCannotOpen,    // the file could not be opened; `systemText` says why, with the path in it
    kNoMemory,      // no memory for the file's data
    kNotSupported,  // the platform's decoder does not offer the picture interface
    kDecodeFailed,  // any other decoding failure (not reported to the user)
};

struct PictureResult {
    PictureError error = PictureError::kNone;
    std::string systemText;
};

// Always leaves a complete 100 x 100 bitmap in `bitmap` (black where nothing could be drawn).
PictureResult RenderThumbnail(const std::string& jpegPath, ThumbnailBitmap& bitmap);
