// Thumbnails on POSIX: libjpeg straight from the file (jpeg_thumbnail.h).
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "indexer/jpeg_thumbnail.h"
#include "indexer/picture_renderer.h"
#include "indexer/scoped_file.h"

PictureResult RenderThumbnail(const std::string& jpegPath, ThumbnailBitmap& bitmap) {
    bitmap = BlackThumbnail();
    PictureResult result;
    ScopedFile file(std::fopen(jpegPath.c_str(), "rb"));
    if (!file) {
        result.error = PictureError::kCannotOpen;
        result.systemText = jpegPath + ": " + std::strerror(errno);
        return result;
    }
    if (!DecodeJpegThumbnail(file.Get(), bitmap)) {
        result.error = PictureError::kDecodeFailed;
    }
    return result;
}
