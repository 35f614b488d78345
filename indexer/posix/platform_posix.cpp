// POSIX side of the engine's platform needs.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <new>
#include <sstream>

#include "indexer/drive_roots.h"
#include "indexer/environment.h"
#include "indexer/platform.h"
#include "indexer/window_buffer.h"
#include "indexer/unicode_case.h"

const char kPathSeparator = '/';

std::string ExecutableFolder() {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0) {
        return ".";
    }
    std::string path(buffer, static_cast<size_t>(length));
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

struct DirectoryListing::Impl {
    DIR* dir = nullptr;
    std::string folder;
    dev_t device = 0;
    ~Impl() {
        if (dir != nullptr) {
            closedir(dir);
        }
    }
};

DirectoryListing::DirectoryListing() : impl(std::make_unique<Impl>()) {}
DirectoryListing::~DirectoryListing() = default;

bool DirectoryListing::Open(const std::string& folder) {
    impl = std::make_unique<Impl>();
    impl->folder = folder.empty() ? std::string("/") : folder;
    struct stat info {};
    if (stat(impl->folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return false;
    }
    impl->device = info.st_dev;
    impl->dir = opendir(impl->folder.c_str());
    return impl->dir != nullptr;
}

bool DirectoryListing::Next(DirectoryEntry& entry) {
    if (impl->dir == nullptr) {
        return false;
    }
    dirent* item = readdir(impl->dir);
    if (item == nullptr) {
        return false;
    }
    entry = DirectoryEntry{};
    entry.name = item->d_name;
    entry.isHidden = !entry.name.empty() && entry.name[0] == '.';
    std::string path = impl->folder;
    if (path.back() != '/') {
        path += '/';
    }
    path += entry.name;
    // Symbolic links are not followed into folders: a link to a folder could loop or leave the disk.
    bool folder = item->d_type == DT_DIR;
    if (item->d_type == DT_UNKNOWN) {
        struct stat info {};
        folder = lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }
    entry.isFolder = folder;
    if (item->d_type == DT_REG) {
        entry.isRegularFile = true;
    } else if (!folder && (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN)) {
        struct stat info {};
        entry.isRegularFile = stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    }
    if (folder && entry.name != "." && entry.name != "..") {
        struct stat info {};
        entry.isOtherDevice = lstat(path.c_str(), &info) == 0 && info.st_dev != impl->device;
    }
    return true;
}

bool CreateFolder(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0;
}

bool MarkHidden(const std::string&) {
    return true;
}

PathKind KindOfPath(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? PathKind::kMissing : PathKind::kOther;
    }
    if (S_ISREG(info.st_mode)) {
        return PathKind::kRegularFile;
    }
    return S_ISDIR(info.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

bool DeleteFileAt(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

namespace {

void SyncFolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

bool ReplaceFileAtomically(const std::string& from, const std::string& to) {
    if (rename(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    SyncFolderOf(to);
    return true;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

struct FileLock::Impl {
    int fd = -1;
};

FileLock::FileLock() : impl(std::make_unique<Impl>()) {}

FileLock::~FileLock() {
    Unlock();
}

FileLock::Result FileLock::TryLock(const std::string& path) {
    Unlock();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return Result::kFailed;
    }
    // flock, not fcntl: its lock belongs to this open file, so a second lock in the same process fails
    // too, and closing some other descriptor of the file does not drop it.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        close(fd);
        return busy ? Result::kBusy : Result::kFailed;
    }
    impl->fd = fd;
    return Result::kLocked;
}

void FileLock::Unlock() {
    if (impl->fd >= 0) {
        close(impl->fd);  // releases the lock
        impl->fd = -1;
    }
}

bool FileLock::IsLocked() const {
    return impl->fd >= 0;
}

bool FlushFileToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) {
        return false;
    }
    return fsync(fileno(file)) == 0 || errno == EINVAL;
}

int64_t TellFile(std::FILE* file) {
    return static_cast<int64_t>(ftello(file));
}

bool SeekFile(std::FILE* file, int64_t offset) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool TruncateFile(std::FILE* file, int64_t size) {
    if (std::fflush(file) != 0) {
        std::clearerr(file);
    }
    if (ftruncate(fileno(file), static_cast<off_t>(size)) != 0) {
        return false;
    }
    std::clearerr(file);
    return fseeko(file, static_cast<off_t>(size), SEEK_SET) == 0;
}

namespace {

// A whole disk whose kernel entry says it is removable (USB sticks, card readers).
bool IsRemovableDevice(const std::string& device) {
    std::string name = device.substr(device.find_last_of('/') + 1);
    // Partitions end in digits (sdb1) or "p" and digits (mmcblk0p1, nvme0n1p2); /sys/class/block has
    // both, and a partition's "removable" file is missing, so ask its disk.
    for (std::string candidate = name; !candidate.empty(); candidate.pop_back()) {
        std::ifstream flag("/sys/class/block/" + candidate + "/removable");
        int value = 0;
        if (flag >> value) {
            return value == 1;
        }
    }
    return false;
}

}  // namespace

std::vector<std::string> FixedDriveRoots() {
    std::ifstream table("/proc/self/mounts");
    if (!table) {
        table.open("/etc/mtab");
    }
    std::stringstream text;
    text << table.rdbuf();
    return LocalDiskMountPoints(text.str(), IsRemovableDevice);
}

char32_t LowerCodePoint(char32_t codePoint) {
    return SimpleLowerCodePoint(codePoint);
}

int64_t PeakResidentMemory() {
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0) {
        return 0;
    }
    return int64_t{usage.ru_maxrss} * 1024;  // Linux counts kilobytes
}

namespace {

std::atomic<bool> mapWindows{false};

}  // namespace

struct FileWindow::Impl {
    int descriptor = -1;
    int64_t size = 0;
    void* mapping = nullptr;
    size_t mappingLength = 0;
    WindowBuffer buffer;
    bool mapped = false;

    void Unmap() {
        if (mapping != nullptr) {
            munmap(mapping, mappingLength);
            mapping = nullptr;
        }
    }
    ~Impl() {
        Unmap();
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
};

FileWindow::FileWindow() : impl(std::make_unique<Impl>()) {}
FileWindow::~FileWindow() = default;

bool FileWindow::Open(const std::string& path) {
    impl = std::make_unique<Impl>();
    impl->descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (impl->descriptor < 0 || fstat(impl->descriptor, &info) != 0) {
        return false;
    }
    impl->size = S_ISREG(info.st_mode) ? static_cast<int64_t>(info.st_size) : 0;
    return true;
}

int64_t FileWindow::Size() const {
    return impl->size;
}

bool FileWindow::IsMapped() const {
    return impl->mapped;
}

const uint8_t* FileWindow::View(int64_t offset, size_t length) {
    impl->Unmap();
    impl->mapped = false;
    if (impl->descriptor < 0 || offset < 0 || length > static_cast<uint64_t>(impl->size - offset)) {
        return nullptr;
    }
    if (length == 0) {
        static const uint8_t kNothing = 0;
        return &kNothing;
    }
    if (mapWindows.load(std::memory_order_relaxed)) {
        static const auto pageSize = static_cast<int64_t>(sysconf(_SC_PAGESIZE));
        const int64_t start = offset - offset % pageSize;
        const size_t mappedLength = length + static_cast<size_t>(offset - start);
        int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
        flags |= MAP_POPULATE;  // one call sets up the whole window instead of a fault per few pages
#endif
        void* mapping =
            mmap(nullptr, mappedLength, PROT_READ, flags, impl->descriptor, static_cast<off_t>(start));
        if (mapping != MAP_FAILED) {
            impl->mapping = mapping;
            impl->mappingLength = mappedLength;
            impl->mapped = true;
            return static_cast<const uint8_t*>(mapping) + (offset - start);
        }
    }
    uint8_t* into = impl->buffer.Reserve(length);
    if (into == nullptr) {
        return nullptr;
    }
    size_t done = 0;
    while (done < length) {
        const ssize_t got = pread(impl->descriptor, into + done, length - done,
                                  static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return nullptr;  // a read error, or the file was cut meanwhile
        }
        done += static_cast<size_t>(got);
    }
    return into;
}

void MapFileWindows(bool map) {
    mapWindows = map;
}

bool FileWindowsAreMapped() {
    return mapWindows;
}
