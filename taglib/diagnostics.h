// Where the tag library writes its diagnostics. Standard output unless a program points it elsewhere
// (the command-line tool keeps them off its JSON output).
#pragma once

#include <cstdio>

void SetDiagnosticStream(std::FILE* stream);
void WriteDiagnostic(const char* text);
