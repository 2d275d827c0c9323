#include "core/IniSettings.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>

namespace zelvo {
namespace {

std::string Quoted(int count, const char* separator = "\r\n")
{
    std::string s;
    for (int i = 1; i <= count; ++i)
        s += "Key" + std::to_string(i) + "=\"v" + std::to_string(i) + "\"" + separator;
    return s;
}

// The six quoted values in file order, whatever surrounds them; anything less is broken.
TEST(IniSettings, readsTheSixQuotedValues)
{
    using V = std::array<const char*, 6>;
    const V numbered{"v1", "v2", "v3", "v4", "v5", "v6"};
    std::string endsAt4096 = Quoted(5);
    endsAt4096 += std::string(4096 - endsAt4096.size() - 4, ' ') + "\"v6\"";
    const std::tuple<const char*, std::string, IniReadResult, V> rows[] = {
        {"six", Quoted(6), IniReadResult::Ok, numbered},
        {"a seventh is ignored", Quoted(7), IniReadResult::Ok, numbered},
        {"five", Quoted(5), IniReadResult::Broken, {}},
        {"no quotes", "WebToolPath=/index.html\n", IniReadResult::Broken, {}},
        {"a closing quote missing", Quoted(5) + "Last=\"v6\r\n", IniReadResult::Broken, {}},
        {"bare quotes",
         "\"a\"\"b\"\"c\"\"d\"\"e\"\"f\"",
         IniReadResult::Ok,
         {"a", "b", "c", "d", "e", "f"}},
        {"two lines, empty, spaces",
         "A=\"1\r\n2\"B=\"\"C=\"  x  \"" + Quoted(3),
         IniReadResult::Ok,
         {"1\r\n2", "", "  x  ", "v1", "v2", "v3"}},
        {"comments", "; c\r\n[s]\r\n" + Quoted(6, " ; t\r\n"), IniReadResult::Ok, numbered},
        {"the sixth beyond 4096 bytes",
         Quoted(5) + std::string(4086, ';') + "F=\"v6\"",
         IniReadResult::Broken,
         {}},
        {"the sixth ends at byte 4096", endsAt4096, IniReadResult::Ok, numbered},
        {"a zero byte ends the text", Quoted(3) + '\0' + Quoted(3), IniReadResult::Broken, {}},
    };
    for (const auto& [what, text, expected, values] : rows) {
        IniValues v;
        v.SetSlot(3, "left over from an earlier read");
        EXPECT_EQ(ParseIniValues(text, v), expected) << what;
        for (int slot = 1; slot <= 6 && expected == IniReadResult::Ok; ++slot) {
            EXPECT_STREQ(v.Slot(slot), values[slot - 1]) << what << " slot " << slot;
        }
    }
}

TEST(IniSettings, namedValuesLongOnesCutAndTheFileOnDisk)
{
    IniValues v;
    ASSERT_EQ(ParseIniValues("\"" + std::string(100, 'w') + "\"\"n\"\"r\"\"f\"\"c\"\"d\"", v),
              IniReadResult::Ok);
    EXPECT_EQ(std::string(v.WebToolPath()), std::string(63, 'w'));
    EXPECT_EQ(std::string(v.NoConfigPage()) + v.RestorePage() + v.FirmwarePage() +
                  v.ConfigDirectory() + v.FirmwareDirectory() + v.Slot(0) + v.Slot(7),
              "nrfcd");

    const auto dir =
        std::filesystem::temp_directory_path() / ("zelvo-ini-" + std::to_string(getpid()));
    const std::string path = (dir / "manager.ini").string();
    std::filesystem::create_directories(dir);
    EXPECT_EQ(ReadIniFile(path, v), IniReadResult::Missing);
    std::ofstream(path) << Quoted(6);
    EXPECT_EQ(ReadIniFile(path, v), IniReadResult::Ok);
    EXPECT_STREQ(v.FirmwareDirectory(), "v6");
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    EXPECT_NE(ReadIniFile(path, v), IniReadResult::Ok);
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace zelvo
