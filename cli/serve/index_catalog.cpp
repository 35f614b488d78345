#include "cli/serve/index_catalog.h"

#include <algorithm>
#include <chrono>
#include <functional>

#include "taglib/codepage.h"

namespace {

constexpr int kAttempts = 3;  // reads of a file that keeps changing before the catalog gives up

// Tells records apart by what a hit of the scan reports of them.
uint64_t RecordKey(std::string_view path, std::string_view thumbnail) {
    const uint64_t a = std::hash<std::string_view>{}(path);
    const uint64_t b = std::hash<std::string_view>{}(thumbnail);
    return a ^ (b + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2));
}

std::string ForUser(const std::string& path) {
    return ToUtf8Lossy(path, kCodePageUtf8);
}

}  // namespace

struct IndexCatalog::RecordTable {
    FileIdentity identity;
    WalkResult walk;
    std::vector<int64_t> offsets;  // of every readable record, ascending
    std::vector<uint64_t> keys;    // RecordKey of each record
    std::vector<uint32_t> byKey;   // record numbers ordered by key, then number

    // The number of the first record after `after` whose key is `key`, or -1.
    int64_t FindKey(uint64_t key, int64_t after) const {
        auto range = std::equal_range(byKey.begin(), byKey.end(), key, KeyOrder{keys});
        auto found = std::upper_bound(range.first, range.second, after,
                                      [](int64_t number, uint32_t entry) { return number < entry; });
        return found == range.second ? -1 : static_cast<int64_t>(*found);
    }

    struct KeyOrder {
        const std::vector<uint64_t>& keys;
        bool operator()(uint32_t entry, uint64_t key) const { return keys[entry] < key; }
        bool operator()(uint64_t key, uint32_t entry) const { return key < keys[entry]; }
    };
};

IndexCatalog::IndexCatalog(std::string indexPathIn, int codePage)
    : indexPath(std::move(indexPathIn)), textCase(codePage) {}

IndexStatus IndexCatalog::MissingStatus() const {
    return {IndexState::kMissing,
            "There is no search index in " + ForUser(indexPath) +
                " yet. Add a folder to it with vellumar-cli add-folder.",
            0};
}

IndexStatus IndexCatalog::ChangingStatus() const {
    return {IndexState::kChanging,
            "The search index " + ForUser(indexPath) + " is being rewritten. Try again in a moment.", 0};
}

IndexStatus IndexCatalog::StatusOf(const RecordTable& current) const {
    IndexStatus status;
    status.records = current.offsets.size();
    if (current.walk.end == WalkEnd::kDamaged) {
        status.state = IndexState::kDamaged;
        status.message =
            "The search index " + ForUser(indexPath) + " is damaged: a reader stops at byte " +
            std::to_string(current.walk.stopOffset) + " of " + std::to_string(current.identity.size) +
            ", so the records after it are not searched (" + std::to_string(current.offsets.size()) +
            " records can be read). Rebuild the index, or add its folders again.";
    }
    return status;
}

std::shared_ptr<const IndexCatalog::RecordTable> IndexCatalog::Build(const FileIdentity& seen,
                                                                     IndexStatus& status) {
    FileIdentity before = seen;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        auto built = std::make_shared<RecordTable>();
        built->walk = WalkIndex(indexPath, [&](int64_t offset, const IndexRecord& record) {
            built->offsets.push_back(offset);
            built->keys.push_back(RecordKey(record.path, record.thumbnail));
        });
        FileIdentity after;
        std::string error;
        const FileCheck check = IdentifyFile(indexPath, after, error);
        if (check == FileCheck::kMissing) {
            status = MissingStatus();
            return nullptr;
        }
        if (check == FileCheck::kUnreadable || built->walk.end == WalkEnd::kUnreadable) {
            status = {IndexState::kUnreadable,
                      "The search index " + ForUser(indexPath) + " cannot be read: " +
                          (error.empty() ? std::string("it cannot be opened") : error) + ".",
                      0};
            return nullptr;
        }
        // A file that only grew was appended to by a job: the records read are records of it. (A job
        // that truncated it meanwhile would have to write it past its old size faster than this walk
        // reads; the records read at an id are checked against the table in any case.) The table keeps
        // the identity seen before the walk, so that the next request reads the new records as well.
        const bool appended =
            after.device == before.device && after.inode == before.inode && after.size >= before.size;
        if (after == before || appended) {
            built->identity = before;
            built->offsets.shrink_to_fit();
            built->keys.shrink_to_fit();
            built->byKey.resize(built->offsets.size());
            for (size_t i = 0; i < built->byKey.size(); ++i) {
                built->byKey[i] = static_cast<uint32_t>(i);
            }
            const std::vector<uint64_t>& keys = built->keys;
            std::sort(built->byKey.begin(), built->byKey.end(), [&keys](uint32_t a, uint32_t b) {
                return keys[a] != keys[b] ? keys[a] < keys[b] : a < b;
            });
            status = StatusOf(*built);
            return built;
        }
        before = after;
    }
    status = ChangingStatus();
    return nullptr;
}

IndexCatalog::Snapshot IndexCatalog::Current() {
    FileIdentity identity;
    std::string error;
    switch (IdentifyFile(indexPath, identity, error)) {
        case FileCheck::kMissing:
            return {MissingStatus(), nullptr};
        case FileCheck::kUnreadable:
            return {{IndexState::kUnreadable,
                     "The search index " + ForUser(indexPath) + " cannot be read: " + error + ".", 0},
                    nullptr};
        case FileCheck::kFound:
            break;
    }
    std::lock_guard<std::mutex> lock(mutex);
    if (table && table->identity == identity) {
        return {StatusOf(*table), table};
    }
    IndexStatus status;
    std::shared_ptr<const RecordTable> built = Build(identity, status);
    if (built) {
        table = built;
    }
    return {status, built};
}

IndexStatus IndexCatalog::Status() {
    return Current().status;
}

SearchAnswer IndexCatalog::Search(std::string_view query, uint64_t start, size_t limit) {
    SearchAnswer answer;
    const auto began = std::chrono::steady_clock::now();
    // The page sends UTF-8; a script may send the index's own bytes, which are then taken as they are.
    std::string scanned;
    bool matchable = true;
    if (CodePage() == kCodePageUtf8) {
        scanned.assign(query);
    } else if (!ConvertCodePage(query, kCodePageUtf8, CodePage(), scanned)) {
        std::string unused;
        if (ConvertCodePage(query, kCodePageUtf8, kCodePageUtf8, unused)) {
            matchable = false;  // UTF-8 whose characters the code page lacks: no text of the index holds it
        } else {
            scanned.assign(query);
        }
    }

    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        Snapshot snapshot = Current();
        answer = SearchAnswer{};
        answer.status = snapshot.status;
        if (!snapshot.table || snapshot.status.state != IndexState::kReady) {
            return answer;
        }
        const RecordTable& current = *snapshot.table;
        std::vector<uint64_t> skipped;  // keys of the hits before `start`
        std::vector<std::pair<std::string, std::string>> wanted;
        bool scannedIndex = true;
        if (matchable) {
            scannedIndex = ScanForHits(indexPath, scanned, textCase,
                                       [&](const std::string& path, const std::string& thumbnail) {
                                           if (answer.count < start) {
                                               skipped.push_back(RecordKey(path, thumbnail));
                                           } else if (wanted.size() < limit) {
                                               wanted.emplace_back(path, thumbnail);
                                           }
                                           ++answer.count;
                                       });
        }
        // Each hit is the first record after the previous hit that carries its path and thumbnail;
        // a hit the table does not know means the file changed since the table was made.
        bool consistent = scannedIndex;
        int64_t previous = -1;
        for (uint64_t key : skipped) {
            previous = consistent ? current.FindKey(key, previous) : -1;
            consistent = consistent && previous >= 0;
        }
        for (auto& [path, thumbnail] : wanted) {
            if (!consistent) {
                break;
            }
            previous = current.FindKey(RecordKey(path, thumbnail), previous);
            CatalogHit hit;
            consistent =
                previous >= 0 &&
                ReadRecordAt(indexPath, current.offsets[static_cast<size_t>(previous)], hit.record) &&
                hit.record.path == path && hit.record.thumbnail == thumbnail;
            if (consistent) {
                hit.id = current.offsets[static_cast<size_t>(previous)];
                answer.hits.push_back(std::move(hit));
            }
        }
        if (consistent) {
            answer.milliseconds =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
            return answer;
        }
    }
    answer = SearchAnswer{};
    answer.status = ChangingStatus();
    return answer;
}

PhotoLookup IndexCatalog::Find(int64_t id, IndexRecord& record, IndexStatus& status) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        Snapshot snapshot = Current();
        status = snapshot.status;
        if (!snapshot.table) {
            return PhotoLookup::kIndexProblem;
        }
        const RecordTable& current = *snapshot.table;
        auto found = std::lower_bound(current.offsets.begin(), current.offsets.end(), id);
        if (found == current.offsets.end() || *found != id) {
            return PhotoLookup::kNoSuchPhoto;
        }
        const size_t number = static_cast<size_t>(found - current.offsets.begin());
        if (ReadRecordAt(indexPath, id, record) &&
            RecordKey(record.path, record.thumbnail) == current.keys[number]) {
            return PhotoLookup::kFound;
        }
        // The file changed after the table was made: look again with a table of the file as it is.
    }
    record = IndexRecord{};
    return PhotoLookup::kNoSuchPhoto;
}
