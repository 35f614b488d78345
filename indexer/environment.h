// What the engine takes from the program around it: the program folder that holds the index and the
// thumbnail cache, and where its owner-less messages go.
#pragma once

#include <string>

// The folder separator the engine puts between folder and file names (the platform layer defines it).
extern const char kPathSeparator;

// The folder of the running executable unless the program chose another one (the command-line tool's
// --home). Never ends with a separator, except for a file-system root.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);

// A message for the user with an OK button: a message box in the Windows program, standard error in the
// command-line tool. The sink runs on the thread that reports; the reporting job waits for it.
using MessageSink = void (*)(const char* text, const char* caption, void* userData);
void SetMessageSink(MessageSink sink, void* userData);
void ShowMessage(const char* text, const char* caption);

// folder + separator + name, with no separator doubled after a folder that already ends in one.
std::string JoinPath(const std::string& folder, const std::string& name);
// True when the text ends with a backslash or a forward slash.
bool EndsWithSeparator(const std::string& path);
