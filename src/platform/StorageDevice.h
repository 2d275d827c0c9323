#pragma once
#include <string>
#include <string_view>

namespace zelvo {

// What kind of device holds a file system, as far as a user saving a file cares.
enum class StorageKind
{
    Fixed,     // a disk that stays, or no block device at all (tmpfs, network)
    Floppy,    // a floppy drive
    Removable, // a USB stick, an SD card, any disk the kernel calls removable
    Optical,   // a CD or DVD drive
};

// The facts sysfs gives about the whole disk under a file system.
struct BlockDeviceFacts
{
    unsigned major = 0;
    std::string name;       // kernel name of the whole disk: "sdb", "fd0", "sr0", "mmcblk0"
    bool removable = false; // /sys/block/<name>/removable
    std::string scsiType;   // /sys/block/<name>/device/type ("5" is a CD-ROM)
    std::string mmcType;    // for mmcblk: device/type ("SD", "MMC")
};

StorageKind ClassifyBlockDevice(const BlockDeviceFacts& facts);

// The mount point from /proc/self/mountinfo text that holds path (absolute, no
// symbolic links) on device major:minor: the longest matching mount point. Empty when
// none matches.
std::string MountPointOf(std::string_view mountinfo, unsigned major, unsigned minor,
                         std::string_view path);

struct StorageOfPath
{
    StorageKind kind = StorageKind::Fixed;
    std::string mountPoint; // where the file system is mounted; "/" when unknown
};

// The device of the file system that holds path, read from sysfs (the file system's
// device, whatever the path is called).
StorageOfPath ProbeStorageOfPath(const std::string& path);

} // namespace zelvo
