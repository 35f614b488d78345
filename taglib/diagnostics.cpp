#include "diagnostics.h"

#include <atomic>

namespace {
std::atomic<std::FILE*> diagnosticStream{nullptr};
}

void SetDiagnosticStream(std::FILE* stream) {
    diagnosticStream.store(stream);
}

void WriteDiagnostic(const char* text) {
    std::FILE* stream = diagnosticStream.load();
    if (!stream) {
        stream = stdout;
    }
    std::fputs(text, stream);
}
