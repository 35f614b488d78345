// The few things the engine asks of the operating system. Windows implements them in win32/, POSIX
// systems in posix/; the engine's logic reaches the platform only through these.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// The folder of the running executable, cut at its last separator.
std::string ExecutableFolder();

// One entry of a folder listing.
struct DirectoryEntry {
    std::string name;
    bool isFolder = false;
    // A plain file (POSIX: also a link to one), never a FIFO, device or socket, whose opening could
    // block or never end.
    bool isRegularFile = false;
    bool isHidden = false;       // Windows: the hidden attribute; POSIX: a name that starts with "."
    bool isTemporary = false;    // Windows: the temporary attribute
    bool isOtherDevice = false;  // POSIX: a folder on another file system (a mount point)
};

// The entries of one folder in the platform's enumeration order, "." and ".." included where the
// platform lists them.
class DirectoryListing {
public:
    DirectoryListing();
    ~DirectoryListing();
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;

    // False when the folder cannot be listed.
    bool Open(const std::string& folder);
    // False at the end of the listing.
    bool Next(DirectoryEntry& entry);

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

bool CreateFolder(const std::string& path);  // false also when it exists

enum class PathKind { kMissing, kRegularFile, kFolder, kOther };
// What a path names, links followed: kOther for FIFOs, devices, sockets and paths that cannot be
// examined.
PathKind KindOfPath(const std::string& path);
// Gives a file or folder the hidden attribute (POSIX: nothing to do, a leading "." hides).
bool MarkHidden(const std::string& path);
bool DeleteFileAt(const std::string& path);
// Puts `from` in place of `to` in one step, replacing `to`, and makes the change durable. Readers that
// have `to` open keep reading the old file (Windows: the replace waits a few seconds for them).
bool ReplaceFileAtomically(const std::string& from, const std::string& to);
// The same without making it durable: after a crash of the system the old `to` may be back.
bool RenameReplacing(const std::string& from, const std::string& to);

// An exclusive lock between processes on a lock file (created when missing): on Windows LockFileEx, on
// POSIX flock. It is held until Unlock or the object's end, and the system releases it when the process
// ends by any path. A second lock of the same file fails, also within one process. The lock file itself
// stays: removing it could let two processes lock two different files of the same name.
class FileLock {
public:
    enum class Result { kLocked, kBusy, kFailed };

    FileLock();
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Never waits: kBusy when another holder has it, kFailed when the file cannot be opened or locked.
    Result TryLock(const std::string& path);
    void Unlock();
    bool IsLocked() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// Pushes a stream's buffered data to the disk. False when a write fails.
bool FlushFileToDisk(std::FILE* file);
// The byte offset of a stream, or -1.
int64_t TellFile(std::FILE* file);
// Moves a stream to a byte offset from the start of its file.
bool SeekFile(std::FILE* file, int64_t offset);
// Cuts an open stream's file to `size` bytes and moves its position there.
bool TruncateFile(std::FILE* file, int64_t size);

// The roots of the local fixed disks, in the order a rebuild walks them: "C:" style on Windows, mount
// points of local disk file systems on POSIX.
std::vector<std::string> FixedDriveRoots();

// The lower-case form of one Unicode code point as the platform sees it (itself when it has none).
char32_t LowerCodePoint(char32_t codePoint);

// The most memory the process has held resident so far, in bytes; 0 when the platform cannot say. The
// tests and benchmarks that bound the decoders' memory read it.
int64_t PeakResidentMemory();

// Read-only access to a file one window at a time, so that a scan of a file larger than the address
// space (the 32-bit build) holds only one window. A window is read into a buffer of the object's own, or,
// when MapFileWindows(true) was called, is the file's own pages mapped into memory (read where the system
// refuses the mapping). The file's size is taken when it is opened: a writer's later appends are not seen.
class FileWindow {
public:
    FileWindow();
    ~FileWindow();
    FileWindow(const FileWindow&) = delete;
    FileWindow& operator=(const FileWindow&) = delete;

    // False when the file cannot be opened for reading.
    bool Open(const std::string& path);
    int64_t Size() const;
    // Makes bytes [offset, offset + length) of the file readable, length at most the size left after
    // offset; nullptr when they can be neither mapped nor read. The previous window is released.
    const uint8_t* View(int64_t offset, size_t length);
    // Whether the last View mapped the file rather than read it.
    bool IsMapped() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// Whether FileWindow maps files (true) or reads them (false, the default). Reading is the default because
// on the machines measured (docs/PERFORMANCE.md) a read into a buffer that stays in the processor's cache
// is faster than setting up a mapping's page tables, and because a mapped window of a file that a writer
// cuts short (a rebuild truncates the index) faults on POSIX systems and makes the writer's truncation
// fail on Windows. The benchmarks and the tests of both paths switch it.
void MapFileWindows(bool map);
bool FileWindowsAreMapped();
