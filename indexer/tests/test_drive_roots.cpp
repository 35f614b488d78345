// Which roots a rebuild walks.
#include <gtest/gtest.h>

#include <map>

#include "indexer/drive_roots.h"

namespace {

unsigned FakeDriveType(const char* root, void* userData) {
    const auto& types = *static_cast<std::map<char, unsigned>*>(userData);
    EXPECT_EQ(std::string(root).substr(1), ":\\");
    const auto found = types.find(root[0]);
    return found == types.end() ? 1 : found->second;  // 1: no such root
}

TEST(FixedDrivesByLetter, WalksOnlyFixedDrivesInLetterOrder) {
    // 2 removable, 3 fixed, 4 network, 5 optical, 6 RAM disk.
    std::map<char, unsigned> types = {{'A', 2}, {'C', 3}, {'D', 5}, {'E', 3}, {'F', 4}, {'R', 6}, {'Z', 3}};
    EXPECT_EQ(FixedDrivesByLetter(FakeDriveType, &types), (std::vector<std::string>{"C:", "E:", "Z:"}));
    types.clear();
    EXPECT_TRUE(FixedDrivesByLetter(FakeDriveType, &types).empty());
}

bool IsUsbStick(const std::string& device) {
    return device == "/dev/sdb1";
}

TEST(LocalDiskMountPoints, KeepsLocalDiskFileSystemsOnly) {
    const char* table =
        "/dev/nvme0n1p2 / ext4 rw,relatime 0 0\n"
        "proc /proc proc rw 0 0\n"
        "tmpfs /run tmpfs rw 0 0\n"
        "/dev/nvme0n1p1 /boot/efi vfat rw 0 0\n"
        "server:/export /mnt/nfs nfs4 rw 0 0\n"
        "//nas/share /mnt/smb cifs rw 0 0\n"
        "/dev/sdb1 /media/stick vfat rw 0 0\n"
        "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
        "overlay /var/lib/docker/x overlay rw 0 0\n"
        "/dev/sda1 /home/my\\040photos xfs rw 0 0\n"
        "/dev/nvme0n1p2 / ext4 rw,relatime 0 0\n"
        "tank/photos /tank/photos zfs rw 0 0\n"
        "broken line\n";
    EXPECT_EQ(LocalDiskMountPoints(table, IsUsbStick),
              (std::vector<std::string>{"/", "/boot/efi", "/home/my photos", "/tank/photos"}));
    EXPECT_EQ(LocalDiskMountPoints(table, nullptr).size(), 5u);  // the stick counts when nobody asks
}

}  // namespace
