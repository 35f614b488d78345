// The search index file: a flat sequence of records with no header (the layout and the rule for where
// the readable part ends are in record_cursor.h). Readers accept paths of at most 260 bytes and captions
// and names of at most 20480, so writers never write longer ones.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "indexer/record_cursor.h"
#include "indexer/scoped_file.h"
#include "indexer/text_case.h"

class FileList;
class ImageTags;
class WorkerRun;

struct IndexRecord {
    std::string path;
    std::string thumbnail;
    std::string caption;
    std::vector<std::string> layers;
};

// The index path for a program folder.
std::string IndexPathFor(const std::string& programFolder);
// Where a rewrite keeps an index that had bytes no reader could read: index path + ".damaged".
std::string DamagedIndexPathFor(const std::string& indexPath);
// The lock file that the one writing job of a home holds: index path + ".lock".
std::string IndexLockPathFor(const std::string& indexPath);

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
    kPathTooLong,      // nothing written, no thumbnail made
    kWriteFailed,      // the record was taken back out of the file (or the run was abandoned)
    kThumbnailFailed,  // no whole thumbnail could be written: the record was taken back out
};

// Makes the thumbnail of the record being written and returns its path (empty: the record has none), or
// nothing when no whole thumbnail could be written.
using MakeThumbnailFunction = std::function<std::optional<std::string>()>;

// Writes one record for the JPEG at `path`: the path (flushed), then the thumbnail that
// `makeThumbnail` makes at that moment (an empty path when it returns one longer than 260 bytes), the
// caption and the layer names of `tags`. Texts over 20480 bytes are cut at a character boundary.
AppendResult AppendRecord(IndexOutput& output, const std::string& path,
                          const MakeThumbnailFunction& makeThumbnail, const ImageTags& tags,
                          const CodePageCase& textCase);

enum class RemoveResult {
    kDone,             // rewritten (or there was no index)
    kNoTemporaryFile,  // ".new" could not be created; the index is unchanged
    kWriteFailed,      // the copy could not be written or put in place; the index is unchanged
    kAbandoned,        // the run was abandoned; the index is unchanged
};

struct RewriteOutcome {
    RemoveResult result = RemoveResult::kDone;
    IndexStop oldIndex;  // how the old index ended
    // The old index had bytes that the copy leaves out beyond a cut-short last record (an unreadable
    // record and what follows it, or over-long layer names): it was kept as DamagedIndexPathFor.
    bool keptDamaged = false;
};

// Called for each record the rewrite reads, with whether it stays in the index.
using RewriteVisitor = std::function<void(const IndexRecord& record, bool kept)>;

// Rewrites the index without every record whose path is in `files` (exact byte comparison), through
// index path + ".new", which replaces the index in one step once it is complete and on disk. Only whole
// records are written, each as readers read it, so that whatever is appended afterwards is readable and
// nothing a reader could read is lost. `report` is called before each attempt to read a record.
RewriteOutcome RemoveRecordsOfFiles(const std::string& indexPath, const FileList& files,
                                    const std::function<void()>& report, WorkerRun* run,
                                    const RewriteVisitor& onRecord = nullptr);

// Reads records the way every reader of the index does (record_cursor.h).
class IndexReader {
public:
    bool Open(const std::string& path);
    // Opens the index to read from `offset`, which should be where a record starts (a reader that
    // remembers where it met a record comes back to it this way).
    bool OpenAt(const std::string& path, int64_t offset);
    // The byte offset where the next record starts; after Next returned false, where reading stopped.
    int64_t Position() const;
    // The next record; false where the readable part of the file ends.
    bool Next(IndexRecord& record);
    // Where and why reading stopped, once Next has returned false.
    const IndexStop& Stop() const { return stop; }
    // Lets go of the file (Windows cannot replace a file that is open without delete sharing).
    void Close() { file.Reset(); }

private:
    // Reads `size` bytes; false (consuming what there was) at the end of the file.
    bool Read(void* data, size_t size);
    ScopedFile file;
    int64_t position = 0;
    IndexStop stop;
    bool ended = false;
};

// Scans the index for records whose file name (the path after its last backslash or slash), caption
// or one of whose layer names contains `query`, letter case ignored in `textCase`'s code page. `onHit`
// gets each such record's path and thumbnail path in file order; `isCancelled` is asked between
// records. False when the index could not be opened. `stop`, when given, receives where a scan that was
// not cancelled stopped. `blockSize` (bytes read at a time; 0: the default, never below one longest
// field) is for tests of the block edges.
bool ScanIndex(const std::string& indexPath, std::string_view query, const CodePageCase& textCase,
               const std::function<void(const std::string& path, const std::string& thumbnail)>& onHit,
               const std::function<bool()>& isCancelled, size_t blockSize = 0, IndexStop* stop = nullptr);
