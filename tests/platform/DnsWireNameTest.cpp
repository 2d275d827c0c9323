#include "platform/DnsWireName.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

TEST(DnsWireName, readsNamesAndRefusesHostileOnes)
{
    struct Case
    {
        const char* what;
        std::vector<uint8_t> message;
        std::size_t offset;
        std::optional<std::string> text;
        std::size_t next;
    };
    std::vector<uint8_t> tooLong;
    for (int i = 0; i < 5; ++i) {
        tooLong.push_back(63);
        tooLong.insert(tooLong.end(), 63, 'a');
    }
    tooLong.push_back(0);
    const std::vector<Case> cases = {
        {"labels", {3, 'n', 'a', 's', 5, 'l', 'o', 'c', 'a', 'l', 0}, 0, "nas.local", 11},
        {"label, then a pointer back", {1, 'x', 0, 1, 'y', 0xC0, 0}, 3, "y.x", 7},
        {"root name", {0}, 0, "", 1},
        {"pointer to itself", {0xC0, 0}, 0, std::nullopt, 0},
        {"pointer ahead", {0xC0, 2, 1, 'x', 0}, 0, std::nullopt, 0},
        // Every jump goes back, yet the label swallows the pointer: a loop without a limit.
        {"loop through backward pointers", {2, 'a', 'b', 0xC0, 0}, 3, std::nullopt, 0},
        {"label past the end", {5, 'a', 'b', 'c'}, 0, std::nullopt, 0},
        {"no root label", {3, 'a', 'b', 'c'}, 0, std::nullopt, 0},
        {"label type 0x40", {0x41, 'a', 0}, 0, std::nullopt, 0},
        {"longer than 255 bytes", tooLong, 0, std::nullopt, 0},
        {"pointer cut in half", {0xC0}, 0, std::nullopt, 0},
        {"offset past the end", {0}, 3, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto name = ReadWireName(c.message, c.offset);
        ASSERT_EQ(name.has_value(), c.text.has_value());
        if (name) {
            EXPECT_EQ(name->text, *c.text);
            EXPECT_EQ(name->next, c.next);
        }
    }
}

} // namespace
} // namespace zelvo
