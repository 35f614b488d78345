#include "indexer/jpeg_thumbnail.h"

#include <csetjmp>
#include <cstring>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "indexer/picture_limits.h"
#include "indexer/resample.h"

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void OnFatalError(j_common_ptr info) {
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    std::longjmp(manager->jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

// The decoding itself (from `file`, or from `data` when it is null), free of C++ objects with
// destructors, since a libjpeg error leaves it by longjmp. Fills `pixels` (BGR, top-down) and the decoded
// size; false when the picture could not be decoded at all. A picture that ends early keeps what was decoded.
bool Decode(std::FILE* file, const uint8_t* data, size_t size, std::vector<uint8_t>* pixels, int* width,
            int* height) {
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnFatalError;
    errors.base.output_message = IgnoreMessage;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);  // also frees the row buffer of the library's pool
        return false;
    }
    jpeg_create_decompress(&info);
    // Beyond this the library reports an error (it has no backing store) instead of allocating.
    info.mem->max_memory_to_use = kMaxDecoderMemory;
    if (file != nullptr) {
        jpeg_stdio_src(&info, file);
    } else {
        jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    }
    jpeg_read_header(&info, TRUE);
    if (IsPictureTooLarge(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return false;
    }

    // The smallest scale n/8 at which both axes still have at least 100 pixels.
    info.scale_denom = 8;
    info.scale_num = 8;
    for (unsigned n = 1; n <= 8; ++n) {
        const unsigned long scaledWidth = (info.image_width * n + 7) / 8;
        const unsigned long scaledHeight = (info.image_height * n + 7) / 8;
        if (scaledWidth >= 100 && scaledHeight >= 100) {
            info.scale_num = n;
            break;
        }
    }
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    info.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&info);
    const int components = info.output_components;
    const size_t outWidth = info.output_width;
    *width = static_cast<int>(info.output_width);
    *height = static_cast<int>(info.output_height);
    pixels->assign(outWidth * info.output_height * 3, 0);
    JSAMPARRAY rows = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                static_cast<JDIMENSION>(outWidth * components), 1);
    JSAMPROW row = rows[0];
    while (info.output_scanline < info.output_height) {
        const size_t y = info.output_scanline;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) {
            break;
        }
        uint8_t* out = pixels->data() + y * outWidth * 3;
        if (!cmyk) {
            std::memcpy(out, row, outWidth * 3);
            continue;
        }
        for (size_t x = 0; x < outWidth; ++x) {
            // Adobe's CMYK JPEGs store the inks inverted: 255 is no ink.
            const unsigned c = row[4 * x], m = row[4 * x + 1], yellow = row[4 * x + 2], k = row[4 * x + 3];
            out[3 * x] = static_cast<uint8_t>(yellow * k / 255);
            out[3 * x + 1] = static_cast<uint8_t>(m * k / 255);
            out[3 * x + 2] = static_cast<uint8_t>(c * k / 255);
        }
    }
    // A picture cut short ends with an error here, after its rows were filled as far as they go.
    jpeg_abort_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

namespace {

bool DecodeInto(std::FILE* file, const uint8_t* data, size_t size, ThumbnailBitmap& bitmap) {
    std::vector<uint8_t> decoded;
    int width = 0;
    int height = 0;
    if (!Decode(file, data, size, &decoded, &width, &height) || width <= 0 || height <= 0) {
        return false;
    }
    std::vector<uint8_t> square(static_cast<size_t>(kThumbnailSize) * kThumbnailSize * 3);
    ResampleImage(decoded.data(), width, height, 3, square.data(), kThumbnailSize, kThumbnailSize);
    // 32 bits per pixel, blue green red and an unused byte, bottom row first.
    bitmap = BlackThumbnail();
    const size_t rowSize = ThumbnailRowSize(32);
    for (int y = 0; y < kThumbnailSize; ++y) {
        const uint8_t* in = &square[static_cast<size_t>(y) * kThumbnailSize * 3];
        uint8_t* out = &bitmap.pixels[static_cast<size_t>(kThumbnailSize - 1 - y) * rowSize];
        for (int x = 0; x < kThumbnailSize; ++x, in += 3, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 0;
        }
    }
    return true;
}

}  // namespace

bool DecodeJpegThumbnail(std::FILE* file, ThumbnailBitmap& bitmap) {
    return file != nullptr && DecodeInto(file, nullptr, 0, bitmap);
}

bool DecodeJpegThumbnail(const uint8_t* data, size_t size, ThumbnailBitmap& bitmap) {
    return data != nullptr && size > 0 && DecodeInto(nullptr, data, size, bitmap);
}
