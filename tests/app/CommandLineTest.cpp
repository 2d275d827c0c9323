#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

struct SwitchCase
{
    const char* name;
    std::vector<std::string> args;
    bool showMask;
    bool setIpLayout;
    bool splash;
};

class Switches : public ::testing::TestWithParam<SwitchCase>
{
};

TEST_P(Switches, areFoundAsWritten)
{
    const SwitchCase& c = GetParam();
    const StartSwitches s = ParseSwitches(c.args);
    EXPECT_EQ(s.showMask, c.showMask);
    EXPECT_EQ(s.setIpLayout, c.setIpLayout);
    EXPECT_EQ(s.splashEnabled, c.splash);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Switches,
    ::testing::Values(
        SwitchCase{"none", {}, false, false, true},
        SwitchCase{"disipLower", {"/disip"}, true, false, true},
        SwitchCase{"disipUpper", {"/DISIP"}, true, false, true},
        SwitchCase{"disipMixedCase", {"/DisIp"}, false, false, true},
        SwitchCase{"setLower", {"/set"}, false, true, true},
        SwitchCase{"setUpper", {"/SET"}, false, true, true},
        SwitchCase{"setMixedCase", {"/Set"}, false, false, true},
        SwitchCase{"setupContainsSET", {"/SETUP"}, false, true, true},
        SwitchCase{"settingsContainsSet", {"/settings"}, false, true, true},
        SwitchCase{"insidePath", {"x/disip/file"}, true, false, true},
        SwitchCase{"both", {"/set", "/disip"}, true, true, true},
        SwitchCase{"embedding", {"/Embedding"}, false, false, false},
        SwitchCase{"automationDash", {"-AUTOMATION"}, false, false, false},
        SwitchCase{"embeddingNeedsItsOwnArgument", {"/Embeddingx"}, false, false, true},
        SwitchCase{"embeddingWithSet", {"-embedding", "/set"}, false, true, false},
        // The kept text is 79 characters long: a switch past that is not seen.
        SwitchCase{"switchPastTheBuffer", {std::string(77, 'a'), "/set"}, false, false, true},
        SwitchCase{"switchAtTheEndOfTheBuffer", {std::string(74, 'a'), "/set"}, false, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLineText, joinsAndCutsTo79Characters)
{
    EXPECT_EQ(CommandLineText({"/set", "/disip"}), "/set /disip");
    EXPECT_EQ(CommandLineText({std::string(100, 'x')}).size(), 79u);
}

} // namespace
} // namespace zelvo
