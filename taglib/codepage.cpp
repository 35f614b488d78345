#include "codepage.h"

#include <atomic>

#include "codepage_platform.h"

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
    return codePage > 0 && PlatformConvert("", codePage, kCodePageUtf8, ignored);
}

bool ConvertCodePage(std::string_view text, int fromCodePage, int toCodePage, std::string& out) {
    if (fromCodePage <= 0 || toCodePage <= 0) {
        return false;
    }
    if (fromCodePage == toCodePage) {
        // Still validated, so that a text that is not in the code page is reported as such.
        std::string roundTrip;
        if (!PlatformConvert(text, fromCodePage, kCodePageUtf8, roundTrip)) {
            return false;
        }
        out.assign(text);
        return true;
    }
    return PlatformConvert(text, fromCodePage, toCodePage, out);
}

std::string Utf8ToAnsi(std::string_view text) {
    std::string converted;
    if (ConvertCodePage(text, kCodePageUtf8, ActiveCodePage(), converted)) {
        return converted;
    }
    return std::string(text);
}

std::string AnsiToUtf8(std::string_view text) {
    std::string converted;
    if (ConvertCodePage(text, ActiveCodePage(), kCodePageUtf8, converted)) {
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
