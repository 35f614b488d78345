#include "indexer/drive_roots.h"

#include <algorithm>
#include <array>
#include <sstream>

std::vector<std::string> FixedDrivesByLetter(DriveTypeQuery query, void* userData) {
    std::vector<std::string> roots;
    char root[] = "A:\\";
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        root[0] = letter;
        if (query(root, userData) == kDriveFixed) {
            roots.push_back(std::string(1, letter) + ":");
        }
    }
    return roots;
}

namespace {

// File systems that live on a local disk. Everything else (nfs, cifs, tmpfs, proc, overlay, iso9660,
// fuse file systems other than fuseblk, ...) is not walked.
constexpr std::array<std::string_view, 16> kDiskFileSystems = {
    "ext2", "ext3",  "ext4", "xfs",   "btrfs",   "f2fs",    "jfs", "reiserfs",
    "vfat", "exfat", "ntfs", "ntfs3", "fuseblk", "hfsplus", "zfs", "bcachefs",
};

std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

}  // namespace

std::vector<std::string> LocalDiskMountPoints(std::string_view mountTable,
                                              bool (*isRemovable)(const std::string& device)) {
    std::vector<std::string> points;
    std::istringstream lines{std::string(mountTable)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device;
        std::string mountPoint;
        std::string type;
        if (!(fields >> device >> mountPoint >> type)) {
            continue;
        }
        if (std::find(kDiskFileSystems.begin(), kDiskFileSystems.end(), type) == kDiskFileSystems.end()) {
            continue;
        }
        device = Unescape(device);
        // Disk file systems sit on a block device; zfs and btrfs name pools and subvolumes instead.
        if (type != "zfs" && device.rfind("/dev/", 0) != 0) {
            continue;
        }
        if (isRemovable != nullptr && isRemovable(device)) {
            continue;
        }
        points.push_back(Unescape(mountPoint));
    }
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}
