// The configuration file name of a unit and the firmware file-name rule.
#include "transfer/FileNameRules.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

TEST(FileNameRules, configFileNameTakesTheLastThreeMacBytesInCapitals)
{
    EXPECT_EQ(ConfigFileName("00-11-22-ab-cd-ef"), "nas_ABCDEF.dat");
    EXPECT_EQ(ConfigFileName("00-11-22-0a-1b-2c"), "nas_0A1B2C.dat");
    EXPECT_EQ(ConfigFileName("02-5a-e1-40-00-01"), "nas_400001.dat");
    EXPECT_EQ(ConfigFileName("02-5a-e1-40-00"), ""); // never read past a short text
}

TEST(FileNameRules, firmwareNames)
{
    const std::pair<const char*, bool> cases[] = {
        {"abcd1234.fup", true},  {"ABCD1234.fup", true},  {"abcd1234.fupx", true},
        {"ab1d1234.fup", false}, {"abcd12x4.fup", false}, {"abcd1234.FUP", false},
        {"abcd1234.fu", false},  {"abcd1234_fup", false}, {"", false},
        {"äbcd1234.fup", false}, {"abc1234.fup", false},
    };
    for (const auto& [name, allowed] : cases)
        EXPECT_EQ(IsFirmwareFileName(name), allowed) << name;
}

TEST(FileNameRules, pathsMustFitTheirBuffers)
{
    EXPECT_TRUE(FitsTransferBuffer(std::string(259, 'p')));
    EXPECT_FALSE(FitsTransferBuffer(std::string(260, 'p')));
    EXPECT_EQ(FileNameOfPath("/a/b/nas_ABCDEF.dat"), "nas_ABCDEF.dat");
    EXPECT_EQ(FileNameOfPath("x.fup"), "x.fup");
}

} // namespace
} // namespace zelvo
