// Conversion between UTF-8 and the ANSI code page in force.
//
// The whole text is converted; when a conversion is impossible the text comes back unchanged.
// Windows converts through UTF-16 (MultiByteToWideChar / WideCharToMultiByte), POSIX through iconv;
// either works on any thread.
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

std::string Utf8ToAnsi(std::string_view text);  // to ActiveCodePage(), unchanged when impossible
std::string AnsiToUtf8(std::string_view text);  // from ActiveCodePage(), unchanged when impossible

// For output that must be UTF-8 (JSON): converts from `codePage`, replacing each byte sequence that does
// not convert by U+FFFD.
std::string ToUtf8Lossy(std::string_view text, int codePage);
