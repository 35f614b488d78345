// The platform's code page converter, used by codepage.cpp (Windows: through UTF-16; POSIX: iconv).
#pragma once

#include <string>
#include <string_view>

// What a conversion does with a character that has no form in the target code page.
enum class Unmappable {
    kFail,         // the conversion fails
    kDefaultChar,  // the character becomes the target code page's default character ("?"), one per character
};

// Converts the whole text; false when any of it is not valid in the source code page, when a character
// does not map and `unmappable` is kFail, or when a code page is not supported. UTF-8 sources reach it
// well-formed.
bool PlatformConvert(std::string_view text, int fromCodePage, int toCodePage, Unmappable unmappable,
                     std::string& out);
