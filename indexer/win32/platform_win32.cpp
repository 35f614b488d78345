// Windows side of the engine's platform needs: narrow-character file functions in the ANSI code page.
#include <windows.h>

#include <io.h>

#include "drive_roots.h"
#include "platform.h"

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

bool DeleteFileAt(const std::string& path) {
    return DeleteFileA(path.c_str()) != FALSE;
}

bool ReplaceFileAtomically(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
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
