// What the command-line tool needs to know about its standard streams; win32/ and posix/ implement it.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Whether the stream is a terminal (a console window on Windows) rather than a file or a pipe.
bool IsTerminal(std::FILE* stream);

// Makes the stream write its bytes as they are: lines end in LF on every platform, so that scripts see
// the same output from every build.
void SetBinaryOutput(std::FILE* stream);

// A text of the active code page as the terminal expects it.
std::string TerminalText(std::string_view text);
