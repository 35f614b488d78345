// Thumbnails on Windows: libjpeg decodes the file's bytes as on every platform (jpeg_thumbnail.h). What it
// cannot decode goes to the platform's picture object, which decodes the whole picture and draws it,
// stretched, into a 100 x 100 bitmap compatible with the desktop; that bitmap is then copied into a
// device-independent section at its own pixel depth.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <cstring>
#include <mutex>

#include "foundation/win32/com_ptr.h"
#include "foundation/win32/handles.h"
#include "indexer/jpeg_thumbnail.h"
#include "indexer/picture_limits.h"
#include "indexer/picture_renderer.h"

namespace {

// The picture object needs COM on the thread that decodes; a thread starts it once and ends it when the
// thread ends.
struct ThreadCom {
    bool started = false;
    ~ThreadCom() {
        if (started) {
            CoUninitialize();
        }
    }
};

void EnsureComOnThisThread() {
    thread_local ThreadCom com;
    if (!com.started) {
        com.started = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
}

// The picture object holds a whole picture at full size: one at a time, however many threads decode.
std::mutex& PictureObjectTurn() {
    static std::mutex turn;
    return turn;
}

// The platform's text for the last error, with the path put in for %1 (or after the text when the text
// has no place for it).
std::string FileErrorText(DWORD error, const std::string& path) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length > 0 && buffer != nullptr ? std::string(buffer, length) : std::string();
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    const size_t insert = text.find("%1");
    if (insert != std::string::npos) {
        text.replace(insert, 2, path);
    } else {
        text = path + ": " + (text.empty() ? "cannot be opened" : text);
    }
    return text;
}

// The decoded picture of one JPEG.
class PictureLoader {
public:
    // Sets `drawn` when libjpeg has made the thumbnail in `bitmap`; else, without an error, the picture
    // object holds the picture.
    PictureResult Load(const std::string& path, ThumbnailBitmap& bitmap, bool& drawn) {
        PictureResult result;
        KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            result.error = PictureError::kCannotOpen;
            result.systemText = FileErrorText(GetLastError(), path);
            return result;
        }
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 || size.QuadPart > 0x7FFFFFFF) {
            result.error = PictureError::kDecodeFailed;
            return result;
        }
        const auto bytes = static_cast<DWORD>(size.QuadPart);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
        if (memory == nullptr) {
            result.error = PictureError::kNoMemory;
            return result;
        }
        void* data = GlobalLock(memory);
        DWORD read = 0;
        const bool complete =
            data != nullptr && ReadFile(file.Get(), data, bytes, &read, nullptr) && read == bytes;
        drawn = complete && DecodeJpegThumbnail(static_cast<const uint8_t*>(data), bytes, bitmap);
        if (drawn) {
            GlobalUnlock(memory);
            GlobalFree(memory);
            return result;
        }
        // The picture object decodes the whole picture at full size: one over the pixel limit is
        // refused before it can take the address space.
        uint32_t width = 0;
        uint32_t height = 0;
        const bool tooLarge = complete &&
                              ReadFrameSize(static_cast<const uint8_t*>(data), bytes, width, height) &&
                              IsPictureTooLarge(width, height);
        if (data != nullptr) {
            GlobalUnlock(memory);
        }
        if (tooLarge) {
            GlobalFree(memory);
            result.error = PictureError::kDecodeFailed;
            return result;
        }
        ComPtr<IStream> stream;
        // The stream owns the memory block from here on and frees it when released.
        if (!complete || FAILED(CreateStreamOnHGlobal(memory, TRUE, stream.Put()))) {
            if (!stream) {
                GlobalFree(memory);
            }
            result.error = PictureError::kDecodeFailed;
            return result;
        }
        EnsureComOnThisThread();
        turn = std::unique_lock<std::mutex>(PictureObjectTurn());
        const HRESULT hr =
            OleLoadPicture(stream.Get(), static_cast<LONG>(bytes), FALSE, IID_IPicture, picture.PutVoid());
        if (hr == E_NOINTERFACE) {
            result.error = PictureError::kNotSupported;
        } else if (FAILED(hr) || !picture) {
            result.error = PictureError::kDecodeFailed;
        }
        return result;
    }

    // Draws the whole picture into the rectangle. The picture's extent is in hundredths of a
    // millimetre, with the vertical axis turned over as the picture object expects.
    void Render(HDC dc, const RECT& rect) const {
        if (!picture) {
            return;
        }
        OLE_XSIZE_HIMETRIC width = 0;
        OLE_YSIZE_HIMETRIC height = 0;
        picture->get_Width(&width);
        picture->get_Height(&height);
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        picture->Render(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, 0, height,
                        width, -height, nullptr);
    }

private:
    std::unique_lock<std::mutex> turn;  // released after the picture
    ComPtr<IPicture> picture;
};

// A device-independent copy of a bitmap at the bitmap's own pixel depth.
bool MakeDibImage(HBITMAP source, ThumbnailBitmap& out) {
    BITMAP info{};
    if (GetObject(source, sizeof(info), &info) == 0) {
        return false;
    }
    int bits = info.bmBitsPixel * info.bmPlanes;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        bits = 32;
    }
    const size_t entries = ColorTableEntries(bits);
    std::vector<uint8_t> header(sizeof(BITMAPINFOHEADER) + 4 * 256, 0);
    auto* bitmapInfo = reinterpret_cast<BITMAPINFO*>(header.data());
    bitmapInfo->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bitmapInfo->bmiHeader.biWidth = kThumbnailSize;
    bitmapInfo->bmiHeader.biHeight = kThumbnailSize;
    bitmapInfo->bmiHeader.biPlanes = 1;
    bitmapInfo->bmiHeader.biBitCount = static_cast<WORD>(bits);
    bitmapInfo->bmiHeader.biCompression = BI_RGB;
    bitmapInfo->bmiHeader.biSizeImage = static_cast<DWORD>(ThumbnailRowSize(bits) * kThumbnailSize);

    MemoryDc dc(CreateCompatibleDC(nullptr));
    if (!dc) {
        return false;
    }
    if (entries > 0) {
        // The palette the bitmap's colours refer to.
        GetDIBits(dc.Get(), source, 0, kThumbnailSize, nullptr, bitmapInfo, DIB_RGB_COLORS);
        bitmapInfo->bmiHeader.biBitCount = static_cast<WORD>(bits);
        bitmapInfo->bmiHeader.biCompression = BI_RGB;
    }
    void* pixels = nullptr;
    BitmapHandle section(CreateDIBSection(dc.Get(), bitmapInfo, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!section || pixels == nullptr) {
        return false;
    }
    MemoryDc sourceDc(CreateCompatibleDC(nullptr));
    HGDIOBJ oldSection = SelectObject(dc.Get(), section.Get());
    HGDIOBJ oldSource = SelectObject(sourceDc.Get(), source);
    BitBlt(dc.Get(), 0, 0, kThumbnailSize, kThumbnailSize, sourceDc.Get(), 0, 0, SRCCOPY);
    GdiFlush();
    SelectObject(sourceDc.Get(), oldSource);
    SelectObject(dc.Get(), oldSection);

    out.bitsPerPixel = bits;
    out.colorTable.assign(entries, 0);
    for (size_t i = 0; i < entries; ++i) {
        const RGBQUAD& q = bitmapInfo->bmiColors[i];
        out.colorTable[i] = q.rgbBlue | (q.rgbGreen << 8) | (q.rgbRed << 16);
    }
    const size_t size = ThumbnailRowSize(bits) * kThumbnailSize;
    out.pixels.assign(static_cast<const uint8_t*>(pixels), static_cast<const uint8_t*>(pixels) + size);
    return true;
}

}  // namespace

PictureResult RenderThumbnail(const std::string& jpegPath, ThumbnailBitmap& bitmap) {
    bitmap = BlackThumbnail();
    PictureLoader loader;
    bool drawn = false;
    PictureResult result = loader.Load(jpegPath, bitmap, drawn);
    if (drawn || result.error != PictureError::kNone) {
        return result;
    }
    HDC desktop = GetDC(GetDesktopWindow());
    MemoryDc memory(CreateCompatibleDC(desktop));
    BitmapHandle target(CreateCompatibleBitmap(desktop, kThumbnailSize, kThumbnailSize));
    ReleaseDC(GetDesktopWindow(), desktop);
    if (!memory || !target) {
        return result;  // no drawing surface: the black picture
    }
    HGDIOBJ old = SelectObject(memory.Get(), target.Get());
    const RECT rect = {0, 0, kThumbnailSize, kThumbnailSize};
    // A bitmap is created with undefined content: start from black.
    PatBlt(memory.Get(), 0, 0, kThumbnailSize, kThumbnailSize, BLACKNESS);
    loader.Render(memory.Get(), rect);
    SelectObject(memory.Get(), old);
    if (!MakeDibImage(target.Get(), bitmap)) {
        bitmap = BlackThumbnail();
    }
    return result;
}
