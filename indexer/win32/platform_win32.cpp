// Windows side of the engine's platform needs: narrow-character file functions in the ANSI code page.
#include <windows.h>
#include <psapi.h>

#include <io.h>

#include "drive_roots.h"
#include "environment.h"
#include "platform.h"

const char kPathSeparator = '\\';

std::string ExecutableFolder() {
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, length);
    size_t cut = path.find_last_of('\\');
    if (cut == std::string::npos) {
        cut = path.find_last_of('/');
    }
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

struct DirectoryListing::Impl {
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA data{};
    bool pending = false;  // `data` holds an entry not handed out yet
    ~Impl() {
        if (find != INVALID_HANDLE_VALUE) {
            FindClose(find);
        }
    }
};

DirectoryListing::DirectoryListing() : impl(std::make_unique<Impl>()) {}
DirectoryListing::~DirectoryListing() = default;

bool DirectoryListing::Open(const std::string& folder) {
    impl = std::make_unique<Impl>();
    std::string pattern = folder;
    if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) {
        pattern += '\\';
    }
    pattern += '*';
    impl->find = FindFirstFileA(pattern.c_str(), &impl->data);
    impl->pending = impl->find != INVALID_HANDLE_VALUE;
    return impl->pending;
}

bool DirectoryListing::Next(DirectoryEntry& entry) {
    if (impl->find == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (!impl->pending && !FindNextFileA(impl->find, &impl->data)) {
        return false;
    }
    impl->pending = false;
    const DWORD attributes = impl->data.dwFileAttributes;
    entry = DirectoryEntry{};
    entry.name = impl->data.cFileName;
    entry.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.isRegularFile = !entry.isFolder && (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
    entry.isHidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    entry.isTemporary = (attributes & FILE_ATTRIBUTE_TEMPORARY) != 0;
    return true;
}

bool CreateFolder(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool MarkHidden(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           SetFileAttributesA(path.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN) != FALSE;
}

PathKind KindOfPath(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kMissing
                                                                              : PathKind::kOther;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return PathKind::kFolder;
    }
    return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? PathKind::kOther : PathKind::kRegularFile;
}

bool DeleteFileAt(const std::string& path) {
    return DeleteFileA(path.c_str()) != FALSE;
}

bool ReplaceFileAtomically(const std::string& from, const std::string& to) {
    // A program that reads `to` without sharing its deletion (every C runtime's fopen) makes the replace
    // fail until it closes the file: a search of the index takes a moment, so try again for a while.
    constexpr int kAttempts = 100;
    constexpr DWORD kPauseMilliseconds = 50;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
            FALSE) {
            return true;
        }
        const DWORD error = GetLastError();
        if (attempt == kAttempts || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
            return false;
        }
        Sleep(kPauseMilliseconds);
    }
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

struct FileLock::Impl {
    HANDLE file = INVALID_HANDLE_VALUE;
};

FileLock::FileLock() : impl(std::make_unique<Impl>()) {}

FileLock::~FileLock() {
    Unlock();
}

FileLock::Result FileLock::TryLock(const std::string& path) {
    Unlock();
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Result::kFailed;
    }
    // One byte is enough; the file may stay empty (a lock may lie beyond the end).
    OVERLAPPED at{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) == FALSE) {
        const bool busy = GetLastError() == ERROR_LOCK_VIOLATION;
        CloseHandle(file);
        return busy ? Result::kBusy : Result::kFailed;
    }
    impl->file = file;
    return Result::kLocked;
}

void FileLock::Unlock() {
    if (impl->file != INVALID_HANDLE_VALUE) {
        CloseHandle(impl->file);  // releases the lock
        impl->file = INVALID_HANDLE_VALUE;
    }
}

bool FileLock::IsLocked() const {
    return impl->file != INVALID_HANDLE_VALUE;
}

bool FlushFileToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) {
        return false;
    }
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != FALSE;
}

int64_t TellFile(std::FILE* file) {
    return _ftelli64(file);
}

bool SeekFile(std::FILE* file, int64_t offset) {
    return _fseeki64(file, offset, SEEK_SET) == 0;
}

bool TruncateFile(std::FILE* file, int64_t size) {
    if (std::fflush(file) != 0) {
        std::clearerr(file);
    }
    if (_chsize_s(_fileno(file), size) != 0) {
        return false;
    }
    std::clearerr(file);
    return _fseeki64(file, size, SEEK_SET) == 0;
}

namespace {

unsigned QueryDriveType(const char* root, void*) {
    return GetDriveTypeA(root);
}

}  // namespace

std::vector<std::string> FixedDriveRoots() {
    return FixedDrivesByLetter(QueryDriveType, nullptr);
}

char32_t LowerCodePoint(char32_t codePoint) {
    if (codePoint >= 0x10000) {
        return codePoint;
    }
    WCHAR text[2] = {static_cast<WCHAR>(codePoint), 0};
    CharLowerBuffW(text, 1);
    return text[0];
}

int64_t PeakResidentMemory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) {
        return 0;
    }
    return static_cast<int64_t>(counters.PeakWorkingSetSize);
}
