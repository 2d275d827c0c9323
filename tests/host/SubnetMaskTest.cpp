#include "host/SubnetMask.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace zelvo {
namespace {

// Every contiguous mask, /0 to /32, read back from its dotted text.
TEST(MaskTextToBytes, isExactForEveryContiguousMask)
{
    for (int prefix = 0; prefix <= 32; ++prefix) {
        const MaskBytes mask = MaskFromPrefixLength(prefix);
        char text[16];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", mask[0], mask[1], mask[2], mask[3]);
        EXPECT_EQ(MaskTextToBytes(text), mask) << text;
    }
}

TEST(MaskTextToBytes, readsDigitPositionsNotNumbers)
{
    const std::pair<const char*, MaskBytes> cases[] = {
        {"255.255.255.0", {255, 255, 255, 0}},
        {"255.255.0.0", {255, 255, 0, 0}},
        {"255.255.255.192", {255, 255, 255, 192}},
        {"255.255.255.0garbage", {255, 255, 255, 0}},
        {"", {0, 0, 0, 0}},
        // Not masks: short numbers are read by position, as the adapter text always was.
        {"10.0.0.1", {100, 0, 0, 0}},
        {"255.255.255.25", {255, 255, 255, 250}},
        // 999 does not fit a byte; its low eight bits stay.
        {"999.0.0.0", {231, 0, 0, 0}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(MaskTextToBytes(text), expected) << '"' << text << '"';
}

TEST(SubnetMaskBoxText, printsHexadecimalBytesThreeWide)
{
    EXPECT_EQ(SubnetMaskBoxText({255, 255, 255, 0}), "SubnetMask :  ff. ff. ff.  0");
    EXPECT_EQ(SubnetMaskBoxText({255, 255, 240, 0}), "SubnetMask :  ff. ff. f0.  0");
}

} // namespace
} // namespace zelvo
