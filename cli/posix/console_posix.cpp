#include "cli/console.h"

#include <unistd.h>

#include "taglib/codepage.h"

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

void SetBinaryOutput(std::FILE*) {
    // POSIX streams never translate line ends.
}

std::string TerminalText(std::string_view text) {
    // A POSIX terminal expects UTF-8, whatever code page the index is in.
    return ToUtf8Lossy(text, ActiveCodePage());
}
