#include "taglib/codepage.h"

#include <atomic>

#include "taglib/codepage_platform.h"

namespace {
// 0 until a program sets a code page: the system's is then asked for on first use.
std::atomic<int> activeCodePage{0};
}  // namespace

int ActiveCodePage() {
    int codePage = activeCodePage.load();
    return codePage != 0 ? codePage : SystemCodePage();
}

void SetActiveCodePage(int codePage) {
    activeCodePage.store(codePage);
}

bool IsCodePageSupported(int codePage) {
    std::string ignored;
    return codePage > 0 && PlatformConvert("", codePage, kCodePageUtf8, Unmappable::kFail, ignored);
}

namespace {

// Well-formed UTF-8 as Unicode defines it. Checked here rather than left to the platform: the
// converters differ on sequences above U+10FFFF and on five- and six-byte forms, which iconv accepts.
bool IsWellFormedUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        unsigned char low = 0x80;   // bounds of the second byte, which rule out overlong forms,
        unsigned char high = 0xBF;  // surrogates and code points above U+10FFFF
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        const auto second = static_cast<unsigned char>(text[i + 1]);
        if (second < low || second > high) {
            return false;
        }
        for (size_t k = 2; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

bool Convert(std::string_view text, int fromCodePage, int toCodePage, Unmappable unmappable,
             std::string& out) {
    if (fromCodePage <= 0 || toCodePage <= 0) {
        return false;
    }
    if (fromCodePage == kCodePageUtf8 && !IsWellFormedUtf8(text)) {
        return false;
    }
    if (fromCodePage == toCodePage) {
        // Still validated, so that a text that is not in the code page is reported as such.
        std::string roundTrip;
        if (fromCodePage != kCodePageUtf8 &&
            !PlatformConvert(text, fromCodePage, kCodePageUtf8, Unmappable::kFail, roundTrip)) {
            return false;
        }
        out.assign(text);
        return true;
    }
    return PlatformConvert(text, fromCodePage, toCodePage, unmappable, out);
}

}  // namespace

bool ConvertCodePage(std::string_view text, int fromCodePage, int toCodePage, std::string& out) {
    return Convert(text, fromCodePage, toCodePage, Unmappable::kFail, out);
}

bool ConvertCodePageWithDefaultChar(std::string_view text, int fromCodePage, int toCodePage,
                                    std::string& out) {
    return Convert(text, fromCodePage, toCodePage, Unmappable::kDefaultChar, out);
}

std::string Utf8ToAnsi(std::string_view text) {
    std::string converted;
    if (ConvertCodePageWithDefaultChar(text, kCodePageUtf8, ActiveCodePage(), converted)) {
        return converted;
    }
    return std::string(text);
}

std::string AnsiToUtf8(std::string_view text) {
    std::string converted;
    if (ConvertCodePageWithDefaultChar(text, ActiveCodePage(), kCodePageUtf8, converted)) {
        return converted;
    }
    return std::string(text);
}

std::string ToUtf8Lossy(std::string_view text, int codePage) {
    std::string whole;
    if (ConvertCodePage(text, codePage, kCodePageUtf8, whole)) {
        return whole;
    }
    // Convert piece by piece: the longest prefix (up to the longest character of any code page, 4 bytes)
    // that converts is taken, a byte that starts no convertible sequence becomes U+FFFD.
    std::string result;
    size_t position = 0;
    while (position < text.size()) {
        bool done = false;
        for (size_t length = 1; length <= 4 && position + length <= text.size(); ++length) {
            std::string piece;
            if (ConvertCodePage(text.substr(position, length), codePage, kCodePageUtf8, piece) &&
                !piece.empty()) {
                result += piece;
                position += length;
                done = true;
                break;
            }
        }
        if (!done) {
            result += "\xEF\xBF\xBD";
            ++position;
        }
    }
    return result;
}
