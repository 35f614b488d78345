// The server's only ways into the index engine: the search scan, the record reader and the identity of
// the index file. Everything the server knows about the file format comes through these functions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "indexer/search_index.h"

class CodePageCase;

// What tells one state of the index file from another: a rewrite puts a new file in place (another
// inode), a job that appends or truncates changes the size and the modification time.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNanoseconds = 0;

    bool operator==(const FileIdentity&) const = default;
};

enum class FileCheck {
    kFound,
    kMissing,     // no such file
    kUnreadable,  // not a regular file, or the system refused to look at it
};

// `error` gets the system's words for kUnreadable.
FileCheck IdentifyFile(const std::string& path, FileIdentity& identity, std::string& error);

// Where a walk through the records ended.
enum class WalkEnd {
    kEndOfFile,   // every byte was read: the last record is whole, or the file ends inside it
    kDamaged,     // a field too long for a reader: the records after it cannot be read
    kUnreadable,  // the file could not be opened
};

struct WalkResult {
    WalkEnd end = WalkEnd::kUnreadable;
    int64_t readableBytes = 0;  // where the last readable record ends
    int64_t stopOffset = 0;     // where the reader stopped
};

// Reads every record the way every reader of the index does; `onRecord` gets each one with the byte
// offset where it starts.
WalkResult WalkIndex(const std::string& indexPath,
                     const std::function<void(int64_t offset, const IndexRecord& record)>& onRecord);

// The record that starts at `offset`. False when the file cannot be opened or no record can be read
// there. The caller makes sure that a record starts at `offset`.
bool ReadRecordAt(const std::string& indexPath, int64_t offset, IndexRecord& record);

// The engine's search scan: `onHit` gets the path and the thumbnail path of every record that matches,
// in file order. False when the index could not be opened.
bool ScanForHits(const std::string& indexPath, std::string_view query, const CodePageCase& textCase,
                 const std::function<void(const std::string& path, const std::string& thumbnail)>& onHit);
