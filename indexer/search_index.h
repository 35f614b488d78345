// The search index file: a flat sequence of records with no header.
//
// Record layout, every length an unsigned 32-bit little-endian byte count of the text after it, texts
// without terminator: path length, path, thumbnail length, thumbnail path, caption length, caption,
// layer count N, then N times a length and a layer name. Readers accept paths of at most 260 bytes and
// captions and names of at most 20480; a longer one ends the readable part of the file, so writers
// never write one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "scoped_file.h"
#include "text_case.h"

class FileList;
class ImageTags;
class WorkerRun;

constexpr uint32_t kMaxPathLength = 260;
constexpr uint32_t kMaxTextLength = 20480;

struct IndexRecord {
    std::string path;
    std::string thumbnail;
    std::string caption;
    std::vector<std::string> layers;
};

// The index path for a program folder.
std::string IndexPathFor(const std::string& programFolder);

// Makes sure the index file exists: an existing one is left as it is, a missing one is created empty.
bool CreateIndexIfMissing(const std::string& indexPath);

// A job's stream on the index. Every write passes the run's write gate (when there is a run), so that
// nothing is written once the run has been abandoned; the gate also closes the stream then.
class IndexOutput {
public:
    explicit IndexOutput(WorkerRun* runIn = nullptr) : run(runIn) {}

    // "wb" truncates (rebuild), "ab" appends (add-folder).
    bool Open(const std::string& path, const char* mode);
    bool IsOpen() const;
    bool Close();  // false when buffered data could not be written

    // One length-prefixed text, or a bare count, followed by a flush.
    bool WriteText(std::string_view text);
    bool WriteCount(uint32_t count);
    int64_t Position();
    // Cuts the file back to `position` (removes a record that could not be written in full).
    bool CutBackTo(int64_t position);

    ScopedFile& Stream() { return file; }  // for the run's abandon handler only

    // Makes the file behave like a disk that is full at `bytes` bytes: a write past it is cut short
    // and fails. For tests of what a full disk does to the index.
    void LimitSizeForTesting(int64_t bytes) { sizeLimit = bytes; }

private:
    bool Put(const void* data, size_t size);  // inside the gate
    WorkerRun* run;
    ScopedFile file;
    int64_t sizeLimit = -1;
};

enum class AppendResult {
    kWritten,
    kPathTooLong,  // nothing written, no thumbnail made
    kWriteFailed,  // the record was taken back out of the file (or the run was abandoned)
};

// Writes one record for the JPEG at `path`: the path (flushed), then the thumbnail that
// `makeThumbnail` makes at that moment (an empty path when it returns one longer than 260 bytes), the
// caption and the layer names of `tags`. Texts over 20480 bytes are cut at a character boundary.
AppendResult AppendRecord(IndexOutput& output, const std::string& path,
                          const std::function<std::string()>& makeThumbnail, const ImageTags& tags,
                          const CodePageCase& textCase);

enum class RemoveResult {
    kDone,             // rewritten (or there was no index)
    kNoTemporaryFile,  // ".new" could not be created; the index is unchanged
    kWriteFailed,      // the copy could not be written or put in place; the index is unchanged
    kAbandoned,        // the run was abandoned; the index is unchanged
};

// Rewrites the index without every record whose path is in `files` (exact byte comparison), through
// index path + ".new", which replaces the index in one step once it is complete and on disk. `report`
// is called before each attempt to read a record.
RemoveResult RemoveRecordsOfFiles(const std::string& indexPath, const FileList& files,
                                  const std::function<void()>& report, WorkerRun* run);

// Reads records the way every reader of the index does.
class IndexReader {
public:
    bool Open(const std::string& path);
    // Opens the index to read from `offset`, which should be where a record starts (a reader that
    // remembers where it met a record comes back to it this way).
    bool OpenAt(const std::string& path, int64_t offset);
    // The byte offset where the next record starts; after Next returned false, where reading stopped.
    int64_t Position() const;
    // The next record; false where a reader stops (end, short read, over-long path, thumbnail or
    // caption). A layer name that is too long or cut short ends that record's names: the record is
    // returned with the names before it, and reading goes on right after the bad length.
    bool Next(IndexRecord& record);

private:
    bool ReadLength(uint32_t& length);
    bool ReadText(uint32_t length, std::string& text);
    ScopedFile file;
};

// Scans the index for records whose file name (the path after its last backslash or slash), caption
// or one of whose layer names contains `query`, letter case ignored in `textCase`'s code page. `onHit`
// gets each such record's path and thumbnail path in file order; `isCancelled` is asked between
// records. False when the index could not be opened. `blockSize` (bytes read at a time; 0: the
// default, never below one longest field) is for tests of the block edges.
bool ScanIndex(const std::string& indexPath, std::string_view query, const CodePageCase& textCase,
               const std::function<void(const std::string& path, const std::string& thumbnail)>& onHit,
               const std::function<bool()>& isCancelled, size_t blockSize = 0);
