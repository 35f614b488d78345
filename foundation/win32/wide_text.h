// Text of a code page to UTF-16 and back, through the platform's converter: the wide calls of the
// platform take UTF-16, the tag library and the index keep the ANSI code page, the page model UTF-8.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

enum class InvalidSequences {
    kReplace,  // a byte sequence that is not valid in the code page becomes U+FFFD
    kReject,   // it makes the conversion fail
};

// An empty text converts to an empty one. Nothing when the conversion fails: the platform lacks the
// code page, the text is over 2 GB, or as `invalid` says.
std::optional<std::wstring> ToWide(std::string_view text, UINT codePage,
                                   InvalidSequences invalid = InvalidSequences::kReplace);

// Without `usedDefault`, a character the code page lacks may become a look-alike ("best fit") or the
// code page's default character. With it, only the default character, and `*usedDefault` tells whether
// one was used; UTF-8 and UTF-7 have a form for every character, so there it is always false.
std::optional<std::string> ToNarrow(std::wstring_view text, UINT codePage, bool* usedDefault = nullptr);
