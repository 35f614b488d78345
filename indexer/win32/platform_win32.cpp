// Windows side of the engine's platform needs: narrow-character file functions in the ANSI code page.
#include <windows.h>
#include <psapi.h>

#include <io.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <utility>

#include "foundation/win32/handles.h"
#include "indexer/drive_roots.h"
#include "indexer/environment.h"
#include "indexer/platform.h"
#include "indexer/window_buffer.h"

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
    FindHandle find;
    WIN32_FIND_DATAA data{};
    bool pending = false;  // `data` holds an entry not handed out yet
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
    impl->find.Reset(FindFirstFileA(pattern.c_str(), &impl->data));
    impl->pending = impl->find.Valid();
    return impl->pending;
}

bool DirectoryListing::Next(DirectoryEntry& entry) {
    if (!impl->find) {
        return false;
    }
    if (!impl->pending && !FindNextFileA(impl->find.Get(), &impl->data)) {
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
    KernelHandle file;  // closing it releases the lock
};

FileLock::FileLock() : impl(std::make_unique<Impl>()) {}

FileLock::~FileLock() {
    Unlock();
}

FileLock::Result FileLock::TryLock(const std::string& path) {
    Unlock();
    KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return Result::kFailed;
    }
    // One byte is enough; the file may stay empty (a lock may lie beyond the end).
    OVERLAPPED at{};
    if (LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) == FALSE) {
        return GetLastError() == ERROR_LOCK_VIOLATION ? Result::kBusy : Result::kFailed;
    }
    impl->file = std::move(file);
    return Result::kLocked;
}

void FileLock::Unlock() {
    impl->file.Reset();
}

bool FileLock::IsLocked() const {
    return impl->file.Valid();
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

namespace {

std::atomic<bool> mapWindows{false};

}  // namespace

struct FileWindow::Impl {
    KernelHandle file;
    int64_t size = 0;
    MappedView view;  // unmapped before the file closes
    WindowBuffer buffer;
    bool mapped = false;
};

FileWindow::FileWindow() : impl(std::make_unique<Impl>()) {}
FileWindow::~FileWindow() = default;

bool FileWindow::Open(const std::string& path) {
    impl = std::make_unique<Impl>();
    // Writers keep appending and replacing the index while it is read, as with the C library's streams.
    impl->file.Reset(CreateFileA(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!impl->file || !GetFileSizeEx(impl->file.Get(), &size)) {
        return false;
    }
    impl->size = GetFileType(impl->file.Get()) == FILE_TYPE_DISK ? static_cast<int64_t>(size.QuadPart) : 0;
    return true;
}

int64_t FileWindow::Size() const {
    return impl->size;
}

bool FileWindow::IsMapped() const {
    return impl->mapped;
}

const uint8_t* FileWindow::View(int64_t offset, size_t length) {
    impl->view.Reset();
    impl->mapped = false;
    if (!impl->file || offset < 0 ||
        static_cast<uint64_t>(length) > static_cast<uint64_t>(impl->size - offset)) {
        return nullptr;
    }
    if (length == 0) {
        static const uint8_t kNothing = 0;
        return &kNothing;
    }
    if (mapWindows.load(std::memory_order_relaxed)) {
        static const int64_t granularity = [] {
            SYSTEM_INFO info{};
            GetSystemInfo(&info);
            return static_cast<int64_t>(info.dwAllocationGranularity);
        }();
        const int64_t start = offset - offset % granularity;
        const auto end = static_cast<uint64_t>(offset) + length;
        // A mapping object only for this window: the view keeps what it needs, and no section outlives
        // the scan of one window.
        const KernelHandle mapping(CreateFileMappingA(impl->file.Get(), nullptr, PAGE_READONLY,
                                                      static_cast<DWORD>(end >> 32), static_cast<DWORD>(end),
                                                      nullptr));
        if (mapping) {
            const void* view = MapViewOfFile(
                mapping.Get(), FILE_MAP_READ, static_cast<DWORD>(static_cast<uint64_t>(start) >> 32),
                static_cast<DWORD>(start), length + static_cast<size_t>(offset - start));
            if (view != nullptr) {
                impl->view.Reset(view);
                impl->mapped = true;
                return static_cast<const uint8_t*>(view) + (offset - start);
            }
        }
    }
    uint8_t* into = impl->buffer.Reserve(length);
    if (into == nullptr) {
        return nullptr;
    }
    size_t done = 0;
    while (done < length) {
        OVERLAPPED at{};
        const auto position = static_cast<uint64_t>(offset) + done;
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(length - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(impl->file.Get(), into + done, chunk, &got, &at) || got == 0) {
            return nullptr;  // a read error, or the file was cut meanwhile
        }
        done += got;
    }
    return into;
}

void MapFileWindows(bool map) {
    mapWindows = map;
}

bool FileWindowsAreMapped() {
    return mapWindows;
}
