// The directory of a PWD reply and the names of a name listing, hostile and oddly formed
// ones included.
#include "platform/FtpReplies.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace zelvo {
namespace {

using namespace std::string_literals;

TEST(FtpRepliesTest, pwdReplies)
{
    const struct
    {
        const char* what;
        std::string replies;
        std::optional<std::string> path;
    } cases[] = {
        {"a unit's reply", "257 \"/config\" is the current directory\r\n", "/config"},
        {"line feeds only", "250 Directory successfully changed.\n257 \"/fw\"\n", "/fw"},
        {"a doubled quote is one quote", "257 \"/a\"\"b\" is current\r\n", "/a\"b"},
        {"spaces stay", "257 \"/my dir/ two \" ok\r\n", "/my dir/ two "},
        {"no line break at the end", "257 \"/config\"", "/config"},
        {"the last reply counts", "257 \"/old\"\r\n250 ok\r\n257 \"/new\" ok\r\n", "/new"},
        {"no quotes", "257 /config is the current directory\r\n", std::nullopt},
        {"no closing quote before the line ends", "257 \"/config\r\n250 \"x\"\r\n", std::nullopt},
        {"a doubled quote that ends the input", "257 \"/a\"\"", std::nullopt},
        {"a NUL in the path", "257 \"/con\0fig\" ok\r\n"s, std::nullopt},
        {"257 inside a greeting's text", "220-hello 257 \"/evil\"\r\n220 ready\r\n", std::nullopt},
        {"a continuation line is no reply", "257-\"/x\" follows\r\n", std::nullopt},
        {"a later line starting 257 counts", "220-hello 257 \"/evil\"\r\n257 \"/ok\"\r\n", "/ok"},
        {"another reply code", "250 \"/x\" is here\r\n", std::nullopt},
        {"nothing", "", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParsePwdReply(c.replies), c.path) << c.what;
}

TEST(FtpRepliesTest, nameListings)
{
    const struct
    {
        const char* what;
        std::string listing;
        std::vector<std::string> names;
    } cases[] = {
        {"CRLF lines in the server's order", "z.fup\r\nCONFIG.INI\r\n", {"z.fup", "CONFIG.INI"}},
        {"mixed line ends, none at the end", "a\r\nb\nc", {"a", "b", "c"}},
        {"empty lines give nothing", "\r\n\na\r\n\r\n\nb\n\r\n", {"a", "b"}},
        {"a folder before the name",
         "/config/CONFIG.INI\r\nfw/new.fup\r\n",
         {"CONFIG.INI", "new.fup"}},
        {"a folder alone gives nothing", "config/\r\n/\r\n", {}},
        {"dots give nothing", ".\r\n..\r\nconfig/..\r\n...\r\n.hidden\r\n", {"...", ".hidden"}},
        {"spaces are part of the name", " my file.fup \r\n", {" my file.fup "}},
        {"a name with a carriage return inside", "a\rb.fup\r\nc.fup\r\n", {"c.fup"}},
        {"a name with a NUL", "CONFIG.INI\0.old\r\n\0\r\nb\r\n"s, {"b"}},
        {"bytes above ASCII stay", "f\xc3\xbc r\xff\r\n", {"f\xc3\xbc r\xff"}},
        {"nothing", "", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseNameListing(c.listing), c.names) << c.what;
}

} // namespace
} // namespace zelvo
