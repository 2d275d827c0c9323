// What is read from an FTP server's replies: the directory of a PWD reply and the names of
// a name listing, hostile and oddly formed ones included.
#include "platform/FtpReplies.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace zelvo {
namespace {

using namespace std::string_literals;

struct PwdCase
{
    const char* what;
    std::string replies;
    std::optional<std::string> path;
};

const PwdCase kPwdCases[] = {
    {"a unit's reply", "257 \"/config\" is the current directory\r\n", "/config"},
    {"line feeds only", "250 Directory successfully changed.\n257 \"/fw\"\n", "/fw"},
    {"a doubled quote is one quote", "257 \"/a\"\"b\" is current\r\n", "/a\"b"},
    {"only a doubled quote", "257 \"\"\"\" created\r\n", "\""},
    {"the root", "257 \"/\"\r\n", "/"},
    {"an empty path", "257 \"\" is nothing\r\n", ""},
    {"spaces stay", "257 \"/my dir/ two \" ok\r\n", "/my dir/ two "},
    {"no line break at the end", "257 \"/config\"", "/config"},
    {"the last reply counts", "257 \"/old\"\r\n250 ok\r\n257 \"/new\" ok\r\n", "/new"},
    {"a step's whole exchange",
     "220 (vsFTPd 3.0.3)\r\n331 Please specify the password.\r\n230 Login successful.\r\n"
     "250 Directory successfully changed.\r\n257 \"/config\" is the current directory\r\n",
     "/config"},
    {"a long path", "257 \""s + std::string(4000, 'p') + "\"\r\n", std::string(4000, 'p')},
    {"no quotes", "257 /config is the current directory\r\n", std::nullopt},
    {"no closing quote before the line ends", "257 \"/config\r\n250 \"x\"\r\n", std::nullopt},
    {"no closing quote before a bare line feed", "257 \"/con\nfig\"\r\n", std::nullopt},
    {"no closing quote at all", "257 \"/config", std::nullopt},
    {"a doubled quote that ends the input", "257 \"/a\"\"", std::nullopt},
    {"a NUL in the path", "257 \"/con\0fig\" ok\r\n"s, std::nullopt},
    {"257 inside a greeting's text", "220-hello 257 \"/evil\"\r\n220 ready\r\n", std::nullopt},
    {"a continuation line is no reply", "257-\"/x\" follows\r\n", std::nullopt},
    {"a later line starting 257 counts", "220-hello 257 \"/evil\"\r\n257 \"/ok\"\r\n", "/ok"},
    {"257 without its space", "257\"/x\"\r\n", std::nullopt},
    {"another reply code", "250 \"/x\" is here\r\n", std::nullopt},
    {"nothing", "", std::nullopt},
};

TEST(FtpRepliesTest, pwdReplies)
{
    for (const PwdCase& c : kPwdCases)
        EXPECT_EQ(ParsePwdReply(c.replies), c.path) << c.what;
}

struct ListingCase
{
    const char* what;
    std::string listing;
    std::vector<std::string> names;
};

const ListingCase kListingCases[] = {
    {"CRLF lines", "CONFIG.INI\r\nold.fup\r\n", {"CONFIG.INI", "old.fup"}},
    {"LF lines", "CONFIG.INI\nold.fup\n", {"CONFIG.INI", "old.fup"}},
    {"no line break after the last name", "a.fup\r\nb.fup", {"a.fup", "b.fup"}},
    {"mixed line ends", "a\r\nb\nc\r\n", {"a", "b", "c"}},
    {"empty lines give nothing", "\r\n\na\r\n\r\n\nb\n\r\n", {"a", "b"}},
    {"the server's order is kept", "z\r\na\r\nm\r\n", {"z", "a", "m"}},
    {"a folder before the name", "/config/CONFIG.INI\r\nfw/new.fup\r\n", {"CONFIG.INI", "new.fup"}},
    {"a folder alone gives nothing", "config/\r\n/\r\n", {}},
    {"dots give nothing", ".\r\n..\r\n...\r\n.hidden\r\n", {"...", ".hidden"}},
    {"folder dots give nothing", "config/.\r\nconfig/..\r\n", {}},
    {"spaces are part of the name", " my file.fup \r\na b\r\n", {" my file.fup ", "a b"}},
    {"a bare carriage return", "\r", {}},
    {"a name with a carriage return inside", "a\rb.fup\r\nc.fup\r\n", {"c.fup"}},
    {"a name with a NUL", "CONFIG.INI\0.old\r\nb\r\n"s, {"b"}},
    {"a NUL alone", "\0\r\na\r\n"s, {"a"}},
    {"bytes above ASCII stay", "f\xc3\xbc r\xff\r\n", {"f\xc3\xbc r\xff"}},
    {"a long name", std::string(5000, 'n') + "\r\n", {std::string(5000, 'n')}},
    {"nothing", "", {}},
};

TEST(FtpRepliesTest, nameListings)
{
    for (const ListingCase& c : kListingCases)
        EXPECT_EQ(ParseNameListing(c.listing), c.names) << c.what;
}

TEST(FtpRepliesTest, manyNamesAreAllKept)
{
    std::string listing;
    for (int i = 0; i < 3000; ++i)
        listing += "f" + std::to_string(i) + (i % 2 ? "\r\n" : "\n");
    const auto names = ParseNameListing(listing);
    ASSERT_EQ(names.size(), 3000u);
    EXPECT_EQ(names.front(), "f0");
    EXPECT_EQ(names.back(), "f2999");
}

TEST(FtpRepliesTest, lastReplyLine)
{
    const std::pair<std::string, std::string> cases[] = {
        {"230 Login successful.\r\n550 Failed to change directory.\r\n",
         "550 Failed to change directory."},
        {"550 no\n\r\n\n", "550 no"},
        {"550 no such file", "550 no such file"},
        {"\r\n\r\n", ""},
        {"", ""},
    };
    for (const auto& [replies, last] : cases)
        EXPECT_EQ(LastReplyLine(replies), last) << replies;
}

} // namespace
} // namespace zelvo
