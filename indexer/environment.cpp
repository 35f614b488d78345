#include "indexer/environment.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "indexer/platform.h"

namespace {

// Plain pointers and a mutex with a trivial destructor: an abandoned worker may still report while
// the program's static objects are being destroyed.
std::mutex& FolderMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}
std::string*& FolderOverride() {
    static std::string* folder = nullptr;
    return folder;
}

void StandardErrorSink(const char* text, const char* caption, void*) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}

std::atomic<MessageSink> messageSink{StandardErrorSink};
std::atomic<void*> messageSinkData{nullptr};

}  // namespace

std::string ProgramFolder() {
    std::lock_guard<std::mutex> lock(FolderMutex());
    if (FolderOverride() != nullptr) {
        return *FolderOverride();
    }
    return ExecutableFolder();
}

void SetProgramFolder(const std::string& folder) {
    std::string trimmed = folder;
    while (trimmed.size() > 1 && EndsWithSeparator(trimmed) && trimmed[trimmed.size() - 2] != ':') {
        trimmed.pop_back();
    }
    std::lock_guard<std::mutex> lock(FolderMutex());
    if (FolderOverride() == nullptr) {
        FolderOverride() = new std::string(trimmed);  // lives to the end of the process
    } else {
        *FolderOverride() = trimmed;
    }
}

void SetMessageSink(MessageSink sink, void* userData) {
    messageSinkData.store(userData);
    messageSink.store(sink != nullptr ? sink : StandardErrorSink);
}

void ShowMessage(const char* text, const char* caption) {
    messageSink.load()(text, caption, messageSinkData.load());
}

bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (!EndsWithSeparator(path)) {
        path += kPathSeparator;
    }
    path += name;
    return path;
}
