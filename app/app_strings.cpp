#include "app/app_strings.h"

#include <array>
#include <cstddef>

namespace vellumar {

namespace {

constexpr std::array<const char*, kLastStringId> kStrings = {
    "Can't start Vellumar while Find Files dialog is running",
    "Can't start Vellumar",
    "Add Folder to Index",
    "Browse for folder to add:",
    "Folder %s is invalid for indexing",
    "Invalid folder",
    "Only local hard drive folders can be indexed",
    "Rebuild index",
    "Your search index has been updated",
    "Vellumar",
    "%d files were indexed (process folder %s)",
    "Folder %s has been added to the search index",
    "Vellumar",
    "Are you sure that you want to cancel index building?",
    "Index building in progress",
};

}  // namespace

const char* AppString(int id) {
    if (id < kFirstStringId || id > kLastStringId) {
        return nullptr;
    }
    return kStrings[static_cast<std::size_t>(id - kFirstStringId)];
}

}  // namespace vellumar
