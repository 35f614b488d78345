// The platform's code page converter, used by codepage.cpp (Windows: through UTF-16; POSIX: iconv).
#pragma once

#include <string>
#include <string_view>

// Converts the whole text; false when any of it does not convert or a code page is not supported.
bool PlatformConvert(std::string_view text, int fromCodePage, int toCodePage, std::string& out);
