// Code page conversion on Windows, through UTF-16. Unlike the platform's COM-based converter this works
// on every thread, with or without COM.
#include <windows.h>

#include <string>
#include <string_view>

#include "taglib/codepage.h"
#include "taglib/codepage_platform.h"

int SystemCodePage() {
    return static_cast<int>(GetACP());
}

namespace {

// The code page's default character, as WideCharToMultiByte puts it for a character it cannot map.
std::string DefaultCharOf(UINT codePage) {
    CPINFO info{};
    if (!GetCPInfo(codePage, &info)) {
        return "?";
    }
    std::string text;
    for (size_t i = 0; i < MAX_DEFAULTCHAR && info.DefaultChar[i] != 0; ++i) {
        text += static_cast<char>(info.DefaultChar[i]);
    }
    return text.empty() ? std::string("?") : text;
}

// Converts UTF-16 to a code page other than UTF-8 and UTF-7, without best-fit substitutes;
// `usedDefault` tells whether a character had no form there. False when the conversion fails.
bool FromWide(UINT to, const wchar_t* wide, int wideLength, bool& usedDefault, std::string& out) {
    BOOL used = FALSE;
    int outLength =
        WideCharToMultiByte(to, WC_NO_BEST_FIT_CHARS, wide, wideLength, nullptr, 0, nullptr, &used);
    if (outLength <= 0) {
        return false;
    }
    out.assign(static_cast<size_t>(outLength), '\0');
    WideCharToMultiByte(to, WC_NO_BEST_FIT_CHARS, wide, wideLength, out.data(), outLength, nullptr, &used);
    usedDefault = used != FALSE;
    return true;
}

bool IsHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

}  // namespace

bool PlatformConvert(std::string_view text, int fromCodePage, int toCodePage, Unmappable unmappable,
                     std::string& out) {
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

    if (to == CP_UTF8 || to == CP_UTF7) {
        // Every character has a form; the used-default flag is not allowed for these.
        int outLength = WideCharToMultiByte(to, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
        if (outLength <= 0) {
            return false;
        }
        std::string result(static_cast<size_t>(outLength), '\0');
        WideCharToMultiByte(to, 0, wide.data(), wideLength, result.data(), outLength, nullptr, nullptr);
        out = std::move(result);
        return true;
    }

    std::string result;
    bool usedDefault = false;
    if (!FromWide(to, wide.data(), wideLength, usedDefault, result)) {
        return false;
    }
    if (usedDefault) {
        if (unmappable == Unmappable::kFail) {
            return false;  // a character has no form in the target code page
        }
        // Character by character, so that a character outside the basic plane (two UTF-16 units) gets
        // one default character, as any other does.
        const std::string defaultChar = DefaultCharOf(to);
        result.clear();
        for (size_t i = 0; i < wide.size();) {
            const int units = IsHighSurrogate(wide[i]) && i + 1 < wide.size() ? 2 : 1;
            std::string piece;
            bool pieceUsedDefault = false;
            if (!FromWide(to, wide.data() + i, units, pieceUsedDefault, piece)) {
                return false;
            }
            result += pieceUsedDefault ? defaultChar : piece;
            i += static_cast<size_t>(units);
        }
    }
    out = std::move(result);
    return true;
}
