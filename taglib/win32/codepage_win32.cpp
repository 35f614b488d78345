// Code page conversion on Windows, through UTF-16. Unlike the platform's COM-based converter this works
// on every thread, with or without COM.
#include <windows.h>

#include <string>
#include <string_view>

#include "codepage.h"
#include "codepage_platform.h"

int SystemCodePage() {
    return static_cast<int>(GetACP());
}

bool PlatformConvert(std::string_view text, int fromCodePage, int toCodePage, std::string& out) {
    UINT from = static_cast<UINT>(fromCodePage);
    UINT to = static_cast<UINT>(toCodePage);
    if (!IsValidCodePage(from) || !IsValidCodePage(to)) {
        return false;
    }
    if (text.empty()) {
        out.clear();
        return true;
    }
    if (text.size() > 0x3FFFFFFF) {
        return false;
    }
    int inLength = static_cast<int>(text.size());
    int wideLength = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), inLength, nullptr, 0);
    if (wideLength <= 0) {
        return false;
    }
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), inLength, wide.data(), wideLength);

    // WC_NO_BEST_FIT_CHARS and the used-default flag are only allowed for code pages other than UTF-8.
    BOOL usedDefault = FALSE;
    bool strict = to != CP_UTF8 && to != CP_UTF7;
    DWORD flags = strict ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL* usedDefaultPointer = strict ? &usedDefault : nullptr;
    int outLength =
        WideCharToMultiByte(to, flags, wide.data(), wideLength, nullptr, 0, nullptr, usedDefaultPointer);
    if (outLength <= 0 || usedDefault) {
        return false;
    }
    std::string result(static_cast<size_t>(outLength), '\0');
    WideCharToMultiByte(to, flags, wide.data(), wideLength, result.data(), outLength, nullptr,
                        usedDefaultPointer);
    if (usedDefault) {
        return false;  // a character has no form in the target code page
    }
    out = std::move(result);
    return true;
}
