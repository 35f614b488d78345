// What the folder walks take and skip.
#pragma once

#include <string>

#include "indexer/platform.h"

// A JPEG by its name: longer than 4 bytes, ending in ".jpg" or ".jpeg" (ASCII letter case ignored).
bool IsJpegName(const std::string& name);

// A file the walks index: a regular file with a JPEG name. FIFOs, devices and sockets are skipped,
// whatever their names: opening one could wait forever.
bool IsFileToIndex(const DirectoryEntry& entry);

// A folder the walks enter: not "." or "..", not hidden, not temporary. Files are never skipped for
// their attributes.
bool IsFolderToEnter(const DirectoryEntry& entry);

// Whether a folder's listing pattern (the folder, a separator unless it ends in one, and "*") fits the
// 260-byte buffer of the format's paths with its terminating zero. Longer folders are skipped.
bool ListingPatternFits(const std::string& folder);
