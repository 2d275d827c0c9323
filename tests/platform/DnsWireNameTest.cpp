#include "platform/DnsWireName.h"

#include "WireBuilders.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

using test::Bytes;

struct NameCase
{
    const char* what;
    std::vector<uint8_t> message;
    std::size_t offset;
    bool ok;
    std::string text;
    std::size_t next;
};

std::vector<NameCase> Cases()
{
    std::vector<NameCase> cases;
    {
        Bytes b;
        b.Name("nas01.local");
        cases.push_back({"plain labels", b.data, 0, true, "nas01.local", 13});
    }
    {
        Bytes b;
        b.Name("local").U8(5).Raw("nas01").Pointer(0);
        cases.push_back({"label then pointer back", b.data, 7, true, "nas01.local", 15});
    }
    {
        Bytes b;
        b.U8(0xAA).Name("x").Pointer(1);
        cases.push_back({"pointer alone", b.data, 4, true, "x", 6});
    }
    {
        Bytes b;
        b.Pointer(0);
        cases.push_back({"pointer to itself", b.data, 0, false, "", 0});
    }
    {
        Bytes b;
        b.Pointer(2).Name("x");
        cases.push_back({"pointer ahead", b.data, 0, false, "", 0});
    }
    {
        // A label that swallows the pointer after it, and a pointer back into the label:
        // every jump goes backwards, yet the walk would never end without a limit.
        Bytes b;
        b.U8(2).Raw("ab").Pointer(0);
        cases.push_back({"loop through backward pointers", b.data, 3, false, "", 0});
    }
    {
        Bytes b;
        b.U8(5).Raw("abc");
        cases.push_back({"label longer than the message", b.data, 0, false, "", 0});
    }
    {
        Bytes b;
        b.U8(3).Raw("abc");
        cases.push_back({"no root label", b.data, 0, false, "", 0});
    }
    {
        Bytes b;
        b.U8(0x41).Raw(std::string(1, 'a'));
        cases.push_back({"label type 0x40", b.data, 0, false, "", 0});
    }
    {
        Bytes b;
        for (int i = 0; i < 5; ++i)
            b.U8(63).Raw(std::string(63, 'a'));
        b.U8(0);
        cases.push_back({"longer than 255 bytes", b.data, 0, false, "", 0});
    }
    {
        Bytes b;
        b.U8(0xC0);
        cases.push_back({"pointer cut in half", b.data, 0, false, "", 0});
    }
    {
        Bytes b;
        b.U8(0);
        cases.push_back({"root name", b.data, 0, true, "", 1});
    }
    {
        Bytes b;
        b.Name("a");
        cases.push_back({"offset past the end", b.data, 9, false, "", 0});
    }
    return cases;
}

TEST(DnsWireName, readsNamesAndRefusesHostileOnes)
{
    for (const NameCase& c : Cases()) {
        SCOPED_TRACE(c.what);
        const auto name = ReadWireName(c.message, c.offset);
        ASSERT_EQ(name.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(name->text, c.text);
            EXPECT_EQ(name->next, c.next);
        }
    }
}

} // namespace
} // namespace zelvo
