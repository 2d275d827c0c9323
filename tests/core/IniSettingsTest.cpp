#include "core/IniSettings.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace zelvo {
namespace {

struct IniCase
{
    const char* name;
    std::string text;
    IniReadResult expected;
    std::array<const char*, 6> values;
};

std::string Quoted(int count, const char* separator = "\r\n")
{
    std::string s;
    for (int i = 1; i <= count; ++i)
        s += "Key" + std::to_string(i) + "=\"v" + std::to_string(i) + "\"" + separator;
    return s;
}

class IniParse : public ::testing::TestWithParam<IniCase>
{
};

TEST_P(IniParse, readsTheSixQuotedValues)
{
    const IniCase& c = GetParam();
    IniValues values;
    values.SetSlot(3, "left over from an earlier read");
    EXPECT_EQ(ParseIniValues(c.text, values), c.expected);
    if (c.expected != IniReadResult::Ok)
        return;
    for (int slot = 1; slot <= 6; ++slot)
        EXPECT_STREQ(values.Slot(slot), c.values[slot - 1]) << "slot " << slot;
}

const std::string kPadding(4096 - 10, ';');

INSTANTIATE_TEST_SUITE_P(
    Table, IniParse,
    ::testing::Values(
        IniCase{"six", Quoted(6), IniReadResult::Ok, {"v1", "v2", "v3", "v4", "v5", "v6"}},
        IniCase{
            "seventhIgnored", Quoted(7), IniReadResult::Ok, {"v1", "v2", "v3", "v4", "v5", "v6"}},
        IniCase{"five", Quoted(5), IniReadResult::Broken, {}},
        IniCase{"noQuotes", "WebToolPath=/index.html\n", IniReadResult::Broken, {}},
        IniCase{"empty", "", IniReadResult::Broken, {}},
        IniCase{"closingQuoteMissing", Quoted(5) + "Last=\"v6\r\n", IniReadResult::Broken, {}},
        IniCase{"bareQuotesNoKeys",
                "\"a\"\"b\"\"c\"\"d\"\"e\"\"f\"",
                IniReadResult::Ok,
                {"a", "b", "c", "d", "e", "f"}},
        IniCase{"valueOverTwoLines",
                "A=\"line one\r\nline two\"" + Quoted(5),
                IniReadResult::Ok,
                {"line one\r\nline two", "v1", "v2", "v3", "v4", "v5"}},
        IniCase{"emptyValue",
                "A=\"\"" + Quoted(5),
                IniReadResult::Ok,
                {"", "v1", "v2", "v3", "v4", "v5"}},
        IniCase{"spacesKept",
                "A=\"  x y  \"" + Quoted(5),
                IniReadResult::Ok,
                {"  x y  ", "v1", "v2", "v3", "v4", "v5"}},
        IniCase{"commentsOutsideQuotesIgnored",
                "; comment\r\n[section]\r\n" + Quoted(6, " ; trailing\r\n"),
                IniReadResult::Ok,
                {"v1", "v2", "v3", "v4", "v5", "v6"}},
        // Five values in the first 4096 bytes and the sixth beyond them: not seen.
        IniCase{"sixthBeyond4096", Quoted(5) + kPadding + "F=\"v6\"", IniReadResult::Broken, {}},
        // The last closing quote is the 4096th byte: still seen.
        IniCase{"sixthEndsAtByte4096",
                [] {
                    std::string s = Quoted(5);
                    s += std::string(4096 - s.size() - 4, ' ');
                    return s + "\"v6\"";
                }(),
                IniReadResult::Ok,
                {"v1", "v2", "v3", "v4", "v5", "v6"}},
        // A zero byte ends what is examined, as in a zero-filled read buffer.
        IniCase{"zeroByteEndsText",
                Quoted(3) + std::string(1, '\0') + Quoted(3),
                IniReadResult::Broken,
                {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniValuesTest, longValueIsCutTo63Characters)
{
    const std::string longValue(100, 'x');
    IniValues values;
    ASSERT_EQ(ParseIniValues("\"" + longValue + "\"" + Quoted(5), values), IniReadResult::Ok);
    EXPECT_EQ(std::string(values.WebToolPath()), std::string(63, 'x'));
    // The cut value does not run into the next slot.
    EXPECT_STREQ(values.NoConfigPage(), "v1");
}

TEST(IniValuesTest, namedAccessorsFollowTheOrderOfTheFile)
{
    IniValues v;
    ASSERT_EQ(ParseIniValues("\"w\"\"n\"\"r\"\"f\"\"c\"\"d\"", v), IniReadResult::Ok);
    EXPECT_STREQ(v.WebToolPath(), "w");
    EXPECT_STREQ(v.NoConfigPage(), "n");
    EXPECT_STREQ(v.RestorePage(), "r");
    EXPECT_STREQ(v.FirmwarePage(), "f");
    EXPECT_STREQ(v.ConfigDirectory(), "c");
    EXPECT_STREQ(v.FirmwareDirectory(), "d");
    EXPECT_STREQ(v.Slot(0), "");
    EXPECT_STREQ(v.Slot(7), "");
}

TEST(IniFileTest, missingFileAndFileOnDisk)
{
    const auto dir =
        std::filesystem::temp_directory_path() / ("zelvo-ini-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    IniValues values;
    EXPECT_EQ(ReadIniFile((dir / "manager.ini").string(), values), IniReadResult::Missing);

    std::ofstream(dir / "manager.ini") << Quoted(6);
    EXPECT_EQ(ReadIniFile((dir / "manager.ini").string(), values), IniReadResult::Ok);
    EXPECT_STREQ(values.FirmwareDirectory(), "v6");

    // A directory of that name cannot be read as a file.
    std::filesystem::remove(dir / "manager.ini");
    std::filesystem::create_directory(dir / "manager.ini");
    EXPECT_NE(ReadIniFile((dir / "manager.ini").string(), values), IniReadResult::Ok);
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace zelvo
