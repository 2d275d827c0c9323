#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

// The arguments and what they switch: m the mask shown (/disip), s the Set IP layout
// (/set), n no splash (started by automation).
TEST(Switches, areFoundAsWrittenWithinTheKept79Characters)
{
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{}, ""},
        {{"/disip"}, "m"},
        {{"/DISIP"}, "m"},
        {{"/DisIp"}, ""},
        {{"/set"}, "s"},
        {{"/SET"}, "s"},
        {{"/Set"}, ""},
        {{"/SETUP"}, "s"},
        {{"/settings"}, "s"},
        {{"x/disip/file"}, "m"},
        {{"/set", "/disip"}, "ms"},
        {{"/Embedding"}, "n"},
        {{"-AUTOMATION"}, "n"},
        {{"/Embeddingx"}, ""},
        {{"-embedding", "/set"}, "sn"},
        {{std::string(77, 'a'), "/set"}, ""},
        {{std::string(74, 'a'), "/set"}, "s"},
    };
    for (const auto& [args, expected] : cases) {
        const StartSwitches s = ParseSwitches(args);
        EXPECT_EQ(std::string(s.showMask ? "m" : "") + (s.setIpLayout ? "s" : "") +
                      (s.splashEnabled ? "" : "n"),
                  expected)
            << (args.empty() ? "" : args[0]);
    }
    EXPECT_EQ(CommandLineText({"/set", "/disip"}), "/set /disip");
    EXPECT_EQ(CommandLineText({std::string(100, 'x')}).size(), 79u);
}

} // namespace
} // namespace zelvo
