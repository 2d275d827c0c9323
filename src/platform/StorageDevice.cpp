#include "platform/StorageDevice.h"

#include "platform/Files.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace zelvo {
namespace {

// Kernel block majors (Documentation/admin-guide/devices.txt).
constexpr unsigned kFloppyMajor = 2;
constexpr unsigned kScsiCdromMajor = 11;

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::string ReadAttribute(const std::string& path)
{
    return Trimmed(ReadSmallFile(path, 256).value_or(""));
}

// mountinfo writes space, tab, newline and backslash as octal escapes.
std::string Unescape(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string_view digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string_view::npos) {
                out += static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 +
                                         (digits[2] - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool UnderMountPoint(std::string_view path, std::string_view mountPoint)
{
    if (mountPoint == "/")
        return !path.empty() && path[0] == '/';
    return StartsWith(path, mountPoint) &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

} // namespace

StorageKind ClassifyBlockDevice(const BlockDeviceFacts& facts)
{
    if (facts.major == kFloppyMajor || StartsWith(facts.name, "fd"))
        return StorageKind::Floppy;
    if (facts.major == kScsiCdromMajor || StartsWith(facts.name, "sr") || facts.scsiType == "5")
        return StorageKind::Optical;
    // SD cards in a card slot often do not set the removable flag.
    if (facts.removable || (StartsWith(facts.name, "mmcblk") && facts.mmcType == "SD"))
        return StorageKind::Removable;
    return StorageKind::Fixed;
}

std::string MountPointOf(std::string_view mountinfo, unsigned major, unsigned minor,
                         std::string_view path)
{
    const std::string device = std::to_string(major) + ":" + std::to_string(minor);
    std::string best;
    std::size_t start = 0;
    while (start < mountinfo.size()) {
        std::size_t end = mountinfo.find('\n', start);
        if (end == std::string_view::npos)
            end = mountinfo.size();
        const std::string_view line = mountinfo.substr(start, end - start);
        start = end + 1;
        // id parent major:minor root mount-point options ...
        std::string_view fields[5];
        std::size_t at = 0;
        int count = 0;
        while (count < 5 && at < line.size()) {
            const std::size_t space = line.find(' ', at);
            const std::size_t stop = space == std::string_view::npos ? line.size() : space;
            fields[count++] = line.substr(at, stop - at);
            at = stop + 1;
        }
        if (count < 5 || fields[2] != device)
            continue;
        const std::string mountPoint = Unescape(fields[4]);
        if (UnderMountPoint(path, mountPoint) && mountPoint.size() >= best.size())
            best = mountPoint;
    }
    return best;
}

StorageOfPath ProbeStorageOfPath(const std::string& path)
{
    StorageOfPath result;
    result.mountPoint = "/";
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return result;
    struct stat info
    {
    };
    if (::stat(resolved, &info) != 0)
        return result;
    const unsigned major = ::major(info.st_dev);
    const unsigned minor = ::minor(info.st_dev);
    const std::string mountPoint = MountPointOf(
        ReadSmallFile("/proc/self/mountinfo", 1 << 20).value_or(""), major, minor, resolved);
    if (!mountPoint.empty())
        result.mountPoint = mountPoint;

    // /sys/dev/block/M:m leads to the partition or the disk; a partition's folder lies
    // inside its disk's.
    char device[PATH_MAX];
    const std::string link =
        "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    if (!::realpath(link.c_str(), device))
        return result; // not a block device: tmpfs, overlay, a network file system
    std::string disk = device;
    if (::access((disk + "/partition").c_str(), F_OK) == 0)
        disk = disk.substr(0, disk.rfind('/'));
    BlockDeviceFacts facts;
    facts.major = major;
    facts.name = disk.substr(disk.rfind('/') + 1);
    facts.removable = ReadAttribute(disk + "/removable") == "1";
    facts.scsiType = ReadAttribute(disk + "/device/type");
    facts.mmcType = facts.scsiType;
    result.kind = ClassifyBlockDevice(facts);
    return result;
}

} // namespace zelvo
