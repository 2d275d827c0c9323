// Which device holds a folder: the sysfs facts and the mount table, as text.
#include "platform/StorageDevice.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

TEST(StorageDevice, classifiesByDeviceNotByPath)
{
    struct Case
    {
        BlockDeviceFacts facts;
        StorageKind kind;
    };
    const Case cases[] = {
        {{8, "sda", false, "0", ""}, StorageKind::Fixed},
        {{8, "sdb", true, "0", ""}, StorageKind::Removable},
        {{2, "fd0", true, "", ""}, StorageKind::Floppy},
        {{11, "sr0", true, "5", "5"}, StorageKind::Optical},
        {{8, "sdc", false, "5", ""}, StorageKind::Optical}, // a CD-ROM behind a USB bridge
        {{179, "mmcblk0", false, "SD", "SD"}, StorageKind::Removable},
        {{179, "mmcblk1", false, "MMC", "MMC"}, StorageKind::Fixed}, // soldered eMMC
        {{259, "nvme0n1", false, "", ""}, StorageKind::Fixed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.facts.name);
        EXPECT_EQ(ClassifyBlockDevice(c.facts), c.kind);
    }
}

TEST(StorageDevice, mountPointIsTheLongestOneOfTheDeviceAboveThePath)
{
    const std::string mountinfo = "22 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
                                  "30 22 8:17 / /media/u/USB\\040STICK rw - vfat /dev/sdb1 rw\n"
                                  "31 22 8:17 /sub /mnt/bind rw - vfat /dev/sdb1 rw\n"
                                  "32 22 0:45 / /media/u/USB\\040STICK/tmp rw - tmpfs tmpfs rw\n"
                                  "33 22 8:1 / /media/u/USB rw - ext4 /dev/sda1 rw\n";
    EXPECT_EQ(MountPointOf(mountinfo, 8, 17, "/media/u/USB STICK/zelvo"), "/media/u/USB STICK");
    EXPECT_EQ(MountPointOf(mountinfo, 8, 17, "/mnt/bind/zelvo"), "/mnt/bind");
    EXPECT_EQ(MountPointOf(mountinfo, 8, 1, "/home/u"), "/");
    EXPECT_EQ(MountPointOf(mountinfo, 8, 1, "/media/u/USBX"), "/");
    EXPECT_EQ(MountPointOf(mountinfo, 8, 99, "/home"), "");
    EXPECT_EQ(MountPointOf("garbage\n\n1 2\n", 8, 1, "/"), "");
}

TEST(StorageDevice, aFileSystemWithoutABlockDeviceIsFixed)
{
    // procfs has no block device behind it; its mount point is still found.
    const StorageOfPath storage = ProbeStorageOfPath("/proc/self");
    EXPECT_EQ(storage.kind, StorageKind::Fixed);
    EXPECT_EQ(storage.mountPoint, "/proc");
}

} // namespace
} // namespace zelvo
