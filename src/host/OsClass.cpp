#include "host/OsClass.h"

#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zelvo {
namespace {

int ClassifyWindows9x(const OsVersionRecord& v)
{
    if (v.majorVersion != 4)
        return kOsUnsupported;
    const uint32_t build = v.buildNumber & 0xFFFF;
    if (build == 1998 || build == 2222)
        return kOsWindows98;
    if (build > 2222)
        return kOsWindowsMe;
    return kOsUnsupported;
}

int ClassifyWindowsNt(const OsVersionRecord& v, int lowestServicePack,
                      std::optional<uint32_t> csdVersionValue)
{
    // The digit of "Service Pack n" sits at index 13. A shorter text has a zero byte
    // there, which as an unsigned difference is huge and so never fails this test.
    const uint32_t digit =
        static_cast<uint32_t>(static_cast<unsigned char>(v.csdVersion[13])) - uint32_t{'0'};
    if (digit < static_cast<uint32_t>(lowestServicePack) && v.majorVersion <= 4)
        return kOsUnsupported;
    if (v.majorVersion <= 4) {
        if (csdVersionValue && static_cast<int>(*csdVersionValue & 0xFFFF) >= lowestServicePack)
            return kOsWindowsNt4;
        return kOsUnsupported;
    }
    if (v.majorVersion == 5)
        return kOsWindows2000;
    return kOsUnsupported;
}

// Copies text into a fixed zero-terminated field, cutting what does not fit.
template <std::size_t N> void CopyField(char (&field)[N], std::string_view text)
{
    const std::size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// Reads a leading decimal number at pos and moves pos past it and one following dot.
uint32_t NextVersionNumber(std::string_view text, std::size_t& pos)
{
    uint32_t value = 0;
    bool any = false;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (value < 100000000u)
            value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
        ++pos;
        any = true;
    }
    if (any && pos < text.size() && text[pos] == '.')
        ++pos;
    else if (any)
        pos = text.size(); // "6.1-rc2": no third number
    return value;
}

std::string Unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size())
            ++i;
        out += value[i];
    }
    return out;
}

} // namespace

int ClassifyOs(const std::optional<OsVersionRecord>& version, int lowestServicePack,
               std::optional<uint32_t> csdVersionValue)
{
    if (!version)
        return kOsUnsupported;
    switch (version->platformId) {
    case OsVersionRecord::kPlatformWindows:
        return ClassifyWindows9x(*version);
    case OsVersionRecord::kPlatformWin32Nt:
        return ClassifyWindowsNt(*version, lowestServicePack, csdVersionValue);
    case OsVersionRecord::kPlatformLinux:
        return kOsWindows2000;
    default:
        return kOsUnsupported;
    }
}

std::string DistributionName(std::string_view osReleaseText)
{
    std::size_t start = 0;
    while (start < osReleaseText.size()) {
        auto end = osReleaseText.find('\n', start);
        if (end == std::string_view::npos)
            end = osReleaseText.size();
        std::string_view line = osReleaseText.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.starts_with("PRETTY_NAME=")) {
            std::string name = Unquote(line.substr(12));
            if (!name.empty())
                return name;
        }
        start = end + 1;
    }
    return "Linux";
}

std::optional<OsVersionRecord> OsVersionFromLinux(const std::optional<OsRelease>& release)
{
    if (!release)
        return std::nullopt;
    OsVersionRecord record;
    record.platformId = OsVersionRecord::kPlatformLinux;
    std::size_t pos = 0;
    record.majorVersion = NextVersionNumber(release->release, pos);
    record.minorVersion = NextVersionNumber(release->release, pos);
    record.buildNumber = NextVersionNumber(release->release, pos);
    CopyField(record.csdVersion, DistributionName(release->osReleaseText));
    CopyField(record.systemName, release->systemName.empty() ? "Linux" : release->systemName);
    CopyField(record.release, release->release);
    return record;
}

OsVersionRecord UnansweredLinuxRecord()
{
    OsVersionRecord record;
    record.platformId = OsVersionRecord::kPlatformLinux;
    CopyField(record.systemName, "Linux");
    return record;
}

std::string OsLogLine(const OsVersionRecord& version)
{
    const char* system =
        version.platformId == OsVersionRecord::kPlatformLinux ? version.systemName : "Windows";
    char line[LogWriter::kLineBuffer];
    std::snprintf(line, sizeof line, " OS\t\t: %s %d.%d (Build %d %s)\r\n", system,
                  static_cast<int>(version.majorVersion), static_cast<int>(version.minorVersion),
                  static_cast<int>(version.buildNumber & 0xFFFF), version.csdVersion);
    return line;
}

std::string RequirementsMessage(const OsVersionRecord& version, int language)
{
    char first[LogWriter::kLineBuffer];
    std::snprintf(first, sizeof first, "MS : %d.%d %s (Build %d)\r\n\r\n",
                  static_cast<int>(version.majorVersion), static_cast<int>(version.minorVersion),
                  version.csdVersion, static_cast<int>(version.buildNumber & 0xFFFF));
    return first + MessageCatalogue::Choose(language, 104, 105);
}

} // namespace zelvo
