// Code page conversion on Windows, through UTF-16. Unlike the platform's COM-based converter this works
// on every thread, with or without COM.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "foundation/win32/wide_text.h"
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
    const std::optional<std::wstring> wide = ToWide(text, from, InvalidSequences::kReject);
    if (!wide) {
        return false;
    }
    // Without best-fit substitutes: a character the code page lacks is not given a look-alike.
    bool usedDefault = false;
    std::optional<std::string> result = ToNarrow(*wide, to, &usedDefault);
    if (!result) {
        return false;
    }
    if (usedDefault) {
        if (unmappable == Unmappable::kFail) {
            return false;  // a character has no form in the target code page
        }
        // Character by character, so that a character outside the basic plane (two UTF-16 units) gets
        // one default character, as any other does.
        const std::string defaultChar = DefaultCharOf(to);
        result->clear();
        for (size_t i = 0; i < wide->size();) {
            const size_t units = IsHighSurrogate((*wide)[i]) && i + 1 < wide->size() ? 2 : 1;
            bool pieceUsedDefault = false;
            const std::optional<std::string> piece =
                ToNarrow(std::wstring_view(*wide).substr(i, units), to, &pieceUsedDefault);
            if (!piece) {
                return false;
            }
            *result += pieceUsedDefault ? defaultChar : *piece;
            i += units;
        }
    }
    out = std::move(*result);
    return true;
}
