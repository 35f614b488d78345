#include "walk_rules.h"

#include "environment.h"
#include "search_index.h"

namespace {

bool EndsWithIgnoringCase(const std::string& text, const char* ending, size_t length) {
    if (text.size() < length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        char c = text[text.size() - length + i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + ('a' - 'A'));
        }
        if (c != ending[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool IsJpegName(const std::string& name) {
    return name.size() > 4 &&
           (EndsWithIgnoringCase(name, ".jpg", 4) || EndsWithIgnoringCase(name, ".jpeg", 5));
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
