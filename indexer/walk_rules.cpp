#include "indexer/walk_rules.h"

#include "foundation/ascii_case.h"
#include "indexer/environment.h"
#include "indexer/search_index.h"

bool IsJpegName(const std::string& name) {
    return name.size() > 4 &&
           (EndsWithIgnoringAsciiCase(name, ".jpg") || EndsWithIgnoringAsciiCase(name, ".jpeg"));
}

bool IsFileToIndex(const DirectoryEntry& entry) {
    return entry.isRegularFile && !entry.isFolder && IsJpegName(entry.name);
}

bool IsFolderToEnter(const DirectoryEntry& entry) {
    return entry.isFolder && entry.name != "." && entry.name != ".." && !entry.isHidden && !entry.isTemporary;
}

bool ListingPatternFits(const std::string& folder) {
    const size_t pattern = folder.size() + (EndsWithSeparator(folder) ? 1 : 2);
    return pattern + 1 <= kMaxPathLength;
}
