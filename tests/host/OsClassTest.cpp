#include "host/OsClass.h"
#include "app/MessageCatalogue.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zelvo {
namespace {

OsVersionRecord Windows(uint32_t platform, uint32_t major, uint32_t minor, uint32_t build,
                        const char* servicePack)
{
    OsVersionRecord v;
    v.platformId = platform;
    v.majorVersion = major;
    v.minorVersion = minor;
    v.buildNumber = build;
    std::strncpy(v.csdVersion, servicePack, sizeof v.csdVersion - 1);
    return v;
}

constexpr uint32_t k9x = OsVersionRecord::kPlatformWindows;
constexpr uint32_t kNt = OsVersionRecord::kPlatformWin32Nt;

struct ClassifyCase
{
    const char* what;
    OsVersionRecord version;
    std::optional<uint32_t> csdVersionValue;
    int lowestServicePack;
    int expected;
};

class ClassifyOsTable : public ::testing::TestWithParam<ClassifyCase>
{
};

TEST_P(ClassifyOsTable, givesTheClassOfTheVersion)
{
    const ClassifyCase& c = GetParam();
    EXPECT_EQ(ClassifyOs(c.version, c.lowestServicePack, c.csdVersionValue), c.expected) << c.what;
}

// Windows 9x keeps major and minor in the build number's high word: only the low 16
// bits are the build.
INSTANTIATE_TEST_SUITE_P(
    VersionTable, ClassifyOsTable,
    ::testing::Values(
        ClassifyCase{"98 first edition", Windows(k9x, 4, 10, 0x040A07CE, ""), {}, 4, 0},
        ClassifyCase{"98 SE", Windows(k9x, 4, 10, 0x040A08AE, " A "), {}, 4, 0},
        ClassifyCase{"Me", Windows(k9x, 4, 90, 0x045A0BB8, " "), {}, 4, 3},
        ClassifyCase{"95", Windows(k9x, 4, 0, 0x040003B6, ""), {}, 4, -1},
        ClassifyCase{"98 beta build 1900", Windows(k9x, 4, 10, 1900, ""), {}, 4, -1},
        ClassifyCase{"9x record of major 5", Windows(k9x, 5, 0, 3000, ""), {}, 4, -1},
        ClassifyCase{"NT 4.0 SP3", Windows(kNt, 4, 0, 1381, "Service Pack 3"), 0x300u, 4, -1},
        ClassifyCase{"NT 4.0 SP6, CSDVersion 0x600", Windows(kNt, 4, 0, 1381, "Service Pack 6"),
                     0x600u, 4, 1},
        ClassifyCase{
            "NT 4.0 SP6 without CSDVersion", Windows(kNt, 4, 0, 1381, "Service Pack 6"), {}, 4, -1},
        ClassifyCase{"NT 4.0 SP4, CSDVersion value 3", Windows(kNt, 4, 0, 1381, "Service Pack 4"),
                     3u, 4, -1},
        ClassifyCase{"NT 4.0 SP4, CSDVersion high word only",
                     Windows(kNt, 4, 0, 1381, "Service Pack 4"), 0x00060000u, 4, -1},
        ClassifyCase{"NT 4.0 without text or value", Windows(kNt, 4, 0, 1381, ""), {}, 4, -1},
        ClassifyCase{"NT 4.0 short text passes the digit test", Windows(kNt, 4, 0, 1381, ""),
                     0x400u, 4, 1},
        ClassifyCase{"NT 4.0 SP5 when 6 is required", Windows(kNt, 4, 0, 1381, "Service Pack 5"),
                     0x500u, 6, -1},
        ClassifyCase{"NT 3.51 SP5", Windows(kNt, 3, 51, 1057, "Service Pack 5"), 0x500u, 4, 1},
        ClassifyCase{"2000", Windows(kNt, 5, 0, 2195, "Service Pack 4"), {}, 4, 2},
        ClassifyCase{
            "2000 SP1 needs no registry", Windows(kNt, 5, 0, 2195, "Service Pack 1"), {}, 4, 2},
        ClassifyCase{"XP", Windows(kNt, 5, 1, 2600, "Service Pack 2"), {}, 4, 2},
        ClassifyCase{"Vista", Windows(kNt, 6, 0, 6000, ""), {}, 4, -1},
        ClassifyCase{"Win32s", Windows(OsVersionRecord::kPlatformWin32s, 3, 10, 0, ""), {}, 4, -1},
        ClassifyCase{"unknown platform", Windows(7, 4, 10, 2222, ""), {}, 4, -1},
        ClassifyCase{"Linux",
                     Windows(OsVersionRecord::kPlatformLinux, 6, 1, 0, "Debian"),
                     {},
                     4,
                     2}));

TEST(ClassifyOs, systemThatCannotBeAskedIsUnsupported)
{
    EXPECT_EQ(ClassifyOs(std::nullopt, kLowestNt4ServicePack, std::nullopt), -1);
}

struct ReleaseCase
{
    const char* release;
    uint32_t major, minor, build;
};

class LinuxReleaseTable : public ::testing::TestWithParam<ReleaseCase>
{
};

TEST_P(LinuxReleaseTable, takesTheKernelsThreeNumbers)
{
    const ReleaseCase& c = GetParam();
    const auto record = OsVersionFromLinux(OsRelease{"Linux", c.release, ""});
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->platformId, OsVersionRecord::kPlatformLinux);
    EXPECT_EQ(record->majorVersion, c.major) << c.release;
    EXPECT_EQ(record->minorVersion, c.minor) << c.release;
    EXPECT_EQ(record->buildNumber, c.build) << c.release;
    EXPECT_STREQ(record->release, c.release);
}

INSTANTIATE_TEST_SUITE_P(
    Releases, LinuxReleaseTable,
    ::testing::Values(ReleaseCase{"6.1.0-18-amd64", 6, 1, 0},
                      ReleaseCase{"6.18.44-fc-v1272", 6, 18, 44}, ReleaseCase{"5.10", 5, 10, 0},
                      ReleaseCase{"6.8.0-rc3", 6, 8, 0}, ReleaseCase{"6.1-rc2", 6, 1, 0},
                      ReleaseCase{"4.19.0+", 4, 19, 0}, ReleaseCase{"", 0, 0, 0}));

TEST(OsVersionFromLinux, noKernelAnswerStaysUnanswered)
{
    EXPECT_FALSE(OsVersionFromLinux(std::nullopt).has_value());
}

TEST(OsVersionFromLinux, cutsAnOverlongDistributionNameToItsField)
{
    const std::string longName(300, 'x');
    const auto record = OsVersionFromLinux(OsRelease{"Linux", "6.1.0", "PRETTY_NAME=" + longName});
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(std::strlen(record->csdVersion), sizeof record->csdVersion - 1);
}

TEST(DistributionName, readsPrettyNameInItsShellQuoting)
{
    const std::pair<const char*, const char*> cases[] = {
        {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n",
         "Debian GNU/Linux 12 (bookworm)"},
        {"PRETTY_NAME='Fedora Linux 40'\r\nID=fedora\r\n", "Fedora Linux 40"},
        {"ID=alpine\nPRETTY_NAME=Alpine\n", "Alpine"},
        {"PRETTY_NAME=\"Say \\\"hi\\\" OS\"", "Say \"hi\" OS"},
        {"ID=debian\nNAME=Debian\n", "Linux"},
        {"", "Linux"},
        {"PRETTY_NAME=\"\"\n", "Linux"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(DistributionName(text), expected) << text;
}

TEST(OsLogLine, namesTheSystemInTheShapeOfTheWindowsLine)
{
    const auto record = OsVersionFromLinux(
        OsRelease{"Linux", "6.18.44-fc-v1272", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"});
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(OsLogLine(*record),
              " OS\t\t: Linux 6.18 (Build 44 Debian GNU/Linux 12 (bookworm))\r\n");
    EXPECT_EQ(OsLogLine(Windows(kNt, 5, 0, 2195, "Service Pack 4")),
              " OS\t\t: Windows 5.0 (Build 2195 Service Pack 4)\r\n");
    EXPECT_EQ(OsLogLine(Windows(k9x, 4, 10, 0x040A08AE, " A ")),
              " OS\t\t: Windows 4.10 (Build 2222  A )\r\n");
}

TEST(RequirementsMessage, startsWithTheVersionLineInTheRunsLanguage)
{
    const OsVersionRecord nt4 = Windows(kNt, 4, 0, 1381, "Service Pack 3");
    EXPECT_EQ(RequirementsMessage(nt4, 409),
              std::string("MS : 4.0 Service Pack 3 (Build 1381)\r\n\r\n") +
                  MessageCatalogue::Text(105));
    EXPECT_EQ(RequirementsMessage(nt4, 411),
              std::string("MS : 4.0 Service Pack 3 (Build 1381)\r\n\r\n") +
                  MessageCatalogue::Text(104));
}

} // namespace
} // namespace zelvo
