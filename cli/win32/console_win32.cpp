#include "cli/console.h"

#include <fcntl.h>
#include <io.h>

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

void SetBinaryOutput(std::FILE* stream) {
    _setmode(_fileno(stream), _O_BINARY);
}

std::string TerminalText(std::string_view text) {
    // The console shows the narrow text of the code page the tool works in.
    return std::string(text);
}
