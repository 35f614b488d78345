// Where the tag library writes its diagnostics. Standard output unless a program points them elsewhere:
// to another stream (the texts as they are), or to a sink that also learns which file each one concerns.
#pragma once

#include <cstdio>

void SetDiagnosticStream(std::FILE* stream);

// Receives each diagnostic text with the path of the file being read on the calling thread (empty when
// the text concerns no file). Called on the thread that reads; a null sink restores the stream.
using DiagnosticSink = void (*)(const char* path, const char* text, void* userData);
void SetDiagnosticSink(DiagnosticSink sink, void* userData);

void WriteDiagnostic(const char* text);

// Names the file that the diagnostics written on this thread concern, for the object's lifetime.
class DiagnosticSubject {
public:
    explicit DiagnosticSubject(const char* path);
    ~DiagnosticSubject();
    DiagnosticSubject(const DiagnosticSubject&) = delete;
    DiagnosticSubject& operator=(const DiagnosticSubject&) = delete;

private:
    const char* previous;
};
