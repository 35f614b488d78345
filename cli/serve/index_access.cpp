#include "cli/serve/index_access.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "indexer/text_case.h"

FileCheck IdentifyFile(const std::string& path, FileIdentity& identity, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return FileCheck::kMissing;
        }
        error = std::strerror(errno);
        return FileCheck::kUnreadable;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "not a regular file";
        return FileCheck::kUnreadable;
    }
    identity.device = static_cast<uint64_t>(info.st_dev);
    identity.inode = static_cast<uint64_t>(info.st_ino);
    identity.size = static_cast<int64_t>(info.st_size);
    identity.modifiedNanoseconds =
        static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + static_cast<int64_t>(info.st_mtim.tv_nsec);
    return FileCheck::kFound;
}

WalkResult WalkIndex(const std::string& indexPath,
                     const std::function<void(int64_t offset, const IndexRecord& record)>& onRecord) {
    WalkResult result;
    // The size before reading: bytes appended meanwhile by a job are no damage.
    FileIdentity identity;
    std::string error;
    const bool sized = IdentifyFile(indexPath, identity, error) == FileCheck::kFound;
    IndexReader reader;
    if (!sized || !reader.Open(indexPath)) {
        return result;
    }
    IndexRecord record;
    int64_t offset = 0;
    while (reader.Next(record)) {
        onRecord(offset, record);
        offset = reader.Position();
    }
    result.readableBytes = offset;
    result.stopOffset = reader.Position();
    // A reader that meets the end of the file has consumed it; one that stopped before the end met a
    // length above a field's limit.
    result.end =
        result.stopOffset >= 0 && result.stopOffset < identity.size ? WalkEnd::kDamaged : WalkEnd::kEndOfFile;
    return result;
}

bool ReadRecordAt(const std::string& indexPath, int64_t offset, IndexRecord& record) {
    IndexReader reader;
    return reader.OpenAt(indexPath, offset) && reader.Next(record);
}

bool ScanForHits(const std::string& indexPath, std::string_view query, const CodePageCase& textCase,
                 const std::function<void(const std::string& path, const std::string& thumbnail)>& onHit) {
    return ScanIndex(indexPath, query, textCase, onHit, nullptr);
}
