#include "taglib/diagnostics.h"

#include <atomic>
#include <mutex>

namespace {
std::atomic<std::FILE*> diagnosticStream{nullptr};

// The sink and its user data change together.
std::mutex sinkMutex;
DiagnosticSink diagnosticSink = nullptr;
void* sinkUserData = nullptr;

thread_local const char* currentSubject = nullptr;
}  // namespace

void SetDiagnosticStream(std::FILE* stream) {
    diagnosticStream.store(stream);
}

void SetDiagnosticSink(DiagnosticSink sink, void* userData) {
    std::lock_guard<std::mutex> lock(sinkMutex);
    diagnosticSink = sink;
    sinkUserData = userData;
}

void WriteDiagnostic(const char* text) {
    DiagnosticSink sink = nullptr;
    void* userData = nullptr;
    {
        std::lock_guard<std::mutex> lock(sinkMutex);
        sink = diagnosticSink;
        userData = sinkUserData;
    }
    if (sink != nullptr) {
        sink(currentSubject != nullptr ? currentSubject : "", text, userData);
        return;
    }
    std::FILE* stream = diagnosticStream.load();
    if (!stream) {
        stream = stdout;
    }
    std::fputs(text, stream);
}

DiagnosticSubject::DiagnosticSubject(const char* path) : previous(currentSubject) {
    currentSubject = path;
}

DiagnosticSubject::~DiagnosticSubject() {
    currentSubject = previous;
}
