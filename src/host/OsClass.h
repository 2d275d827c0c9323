#pragma once
#include "core/HostInfo.h"
#include "platform/HostPlatform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelvo {

// The lowest Windows NT 4.0 Service Pack the tool accepts.
constexpr int kLowestNt4ServicePack = 4;

enum OsClassValue : int
{
    kOsUnsupported = -1,
    kOsWindows98 = 0,
    kOsWindowsNt4 = 1,
    kOsWindows2000 = 2, // also every Linux system: the class with 2000-step progress passes
    kOsWindowsMe = 3,
};

// Sorts a version record into an OsClass. version is nullopt when the system could not
// be asked. csdVersionValue is the NT registry value "CSDVersion" (nullopt when the key
// or the value is missing); only NT 4.0 and older records read it.
int ClassifyOs(const std::optional<OsVersionRecord>& version, int lowestServicePack,
               std::optional<uint32_t> csdVersionValue);

// The version record of a Linux system: the kernel's numbers from the release text
// ("6.1.0-18-amd64" gives 6, 1 and build 0) and the distribution's PRETTY_NAME as the
// Service Pack text. nullopt stays nullopt.
std::optional<OsVersionRecord> OsVersionFromLinux(const std::optional<OsRelease>& release);

// The record logged when the kernel could not be asked: a Linux record of zeros.
OsVersionRecord UnansweredLinuxRecord();

// PRETTY_NAME of an os-release text, quotes and backslash escapes removed; "Linux" when
// the text has none (the os-release default).
std::string DistributionName(std::string_view osReleaseText);

// " OS\t\t: Windows 5.0 (Build 2195 Service Pack 4)\r\n"; a Linux record names its
// system: " OS\t\t: Linux 6.1 (Build 0 Debian GNU/Linux 12 (bookworm))\r\n".
std::string OsLogLine(const OsVersionRecord& version);

// The requirements message for an unsupported system: "MS : %d.%d %s (Build %d)\r\n\r\n"
// followed by message 104 (Japanese) or 105.
std::string RequirementsMessage(const OsVersionRecord& version, int language);

} // namespace zelvo
