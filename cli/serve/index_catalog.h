// The index as the server sees it: the state of the file, the engine's search with the records of its
// hits, and the record behind a photo id.
//
// A photo id is the byte offset at which the photo's record starts in the index file. An id is good
// only while a record starts there: the catalog keeps a table of every record's offset for the current
// state of the file (rebuilt when the file is replaced, truncated or appended to), and every record it
// reads at an id is checked against that table. So a rewritten index is picked up by the next request,
// an id of a removed record answers "no such photo", and no id ever names a file that no record names.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cli/serve/index_access.h"
#include "indexer/text_case.h"

enum class IndexState {
    kReady,
    kMissing,     // no index file yet
    kUnreadable,  // the file cannot be read
    kDamaged,     // a reader stops before the end of the file
    kChanging,    // the file changed under every attempt to read it
};

struct IndexStatus {
    IndexState state = IndexState::kReady;
    std::string message;   // UTF-8, for the user; empty when ready
    uint64_t records = 0;  // readable records, when the records could be read
};

struct CatalogHit {
    int64_t id = 0;
    IndexRecord record;  // texts in the index's code page
};

struct SearchAnswer {
    IndexStatus status;
    uint64_t count = 0;            // every hit of the scan
    std::vector<CatalogHit> hits;  // the hits from `start` on, at most `limit`
    double milliseconds = 0;       // the scan and the reading of the hits' records
};

enum class PhotoLookup {
    kFound,
    kNoSuchPhoto,   // no record starts at that id (any more)
    kIndexProblem,  // the index is missing, unreadable or changing: see the status
};

class IndexCatalog {
public:
    // `codePage` is the code page of the index's texts.
    IndexCatalog(std::string indexPath, int codePage);
    IndexCatalog(const IndexCatalog&) = delete;
    IndexCatalog& operator=(const IndexCatalog&) = delete;

    const std::string& IndexPath() const { return indexPath; }
    int CodePage() const { return textCase.CodePage(); }

    IndexStatus Status();

    // The engine's search for `query`, which is UTF-8 text (converted to the index's code page) or,
    // when it is not valid UTF-8, bytes of the index's code page as they are.
    SearchAnswer Search(std::string_view query, uint64_t start, size_t limit);

    // The record that starts at `id`.
    PhotoLookup Find(int64_t id, IndexRecord& record, IndexStatus& status);

private:
    struct RecordTable;
    struct Snapshot {
        IndexStatus status;
        std::shared_ptr<const RecordTable> table;  // null unless the records could be read
    };

    // The table of the file as it is now; built again when the file changed since the last one.
    Snapshot Current();
    std::shared_ptr<const RecordTable> Build(const FileIdentity& seen, IndexStatus& status);
    IndexStatus StatusOf(const RecordTable& table) const;
    IndexStatus MissingStatus() const;
    IndexStatus ChangingStatus() const;

    std::string indexPath;
    CodePageCase textCase;
    std::mutex mutex;  // guards `table`; held while a table is built, so that one build serves all
    std::shared_ptr<const RecordTable> table;
};
