// Which roots a rebuild walks: the fixed drives by letter (Windows) or the mount points of local disk
// file systems (POSIX). The choice is made here from what the platform reports, so that it can be
// checked with made-up drives.
#pragma once

#include <string>
#include <string_view>
#include <vector>

constexpr unsigned kDriveFixed = 3;  // the platform's type of a local hard disk

// The type of a drive root such as "C:\".
using DriveTypeQuery = unsigned (*)(const char* root, void* userData);

// Drive letters A to Z whose root is a fixed disk, each as the letter and a colon ("C:").
std::vector<std::string> FixedDrivesByLetter(DriveTypeQuery query, void* userData);

// The mount points of local disk file systems listed in a mount table (the text of /proc/self/mounts:
// device, mount point, type, options, ...; octal escapes such as \040 in the fields). Network, pseudo,
// RAM and removable file systems are left out; `isRemovable` judges a device path (may be null).
// Sorted by path, each once.
std::vector<std::string> LocalDiskMountPoints(std::string_view mountTable,
                                              bool (*isRemovable)(const std::string& device));
