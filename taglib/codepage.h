// Conversion between UTF-8 and the ANSI code page in force.
//
// The whole text is converted; when a conversion is impossible the text comes back unchanged.
// Windows converts through UTF-16 (MultiByteToWideChar / WideCharToMultiByte), POSIX through iconv;
// either works on any thread, and both give the same bytes. UTF-8 counts as valid only when it is
// well-formed: no overlong forms, no surrogates, nothing above U+10FFFF.
#pragma once

#include <string>
#include <string_view>

constexpr int kCodePageUtf8 = 65001;

// The system's ANSI code page: GetACP() on Windows; on POSIX the locale's codeset, where the C/POSIX
// locale counts as UTF-8.
int SystemCodePage();

// The code page that texts of the system are in. Defaults to SystemCodePage(); a program may set it
// once at start (the command-line tool's --codepage).
int ActiveCodePage();
void SetActiveCodePage(int codePage);

// True when the platform can convert texts of this code page.
bool IsCodePageSupported(int codePage);

// Converts `text` from one code page to another. False (and `out` untouched) when the text does not
// convert or a code page is not supported.
bool ConvertCodePage(std::string_view text, int fromCodePage, int toCodePage, std::string& out);

// As the system converter does: a character that the target code page cannot represent becomes that
// code page's default character ("?"), one per character, and the rest of the text converts. Only a
// text that is not valid in its source code page (or an unsupported code page) fails; `out` is then
// untouched.
bool ConvertCodePageWithDefaultChar(std::string_view text, int fromCodePage, int toCodePage,
                                    std::string& out);

// Both convert with the default character; a text that is not valid in its source comes back unchanged.
std::string Utf8ToAnsi(std::string_view text);  // to ActiveCodePage()
std::string AnsiToUtf8(std::string_view text);  // from ActiveCodePage()

// For output that must be UTF-8 (JSON): converts from `codePage`, replacing each byte sequence that does
// not convert by U+FFFD.
std::string ToUtf8Lossy(std::string_view text, int codePage);
