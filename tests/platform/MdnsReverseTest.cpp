#include "platform/MdnsReverse.h"

#include "WireBuilders.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

using test::Bytes;

constexpr uint16_t kId = 0x1234;
const Ipv4Address kUnit = Ipv4Address::FromOctets(10, 231, 7, 21);
const std::string kReverse = "21.7.231.10.in-addr.arpa";

TEST(MdnsReverse, asksOnePtrQuestionForTheReversedOctets)
{
    EXPECT_EQ(ReverseQueryName(Ipv4Address::FromOctets(192, 168, 1, 5)),
              "5.1.168.192.in-addr.arpa");
    Bytes expected;
    expected.Be16(kId).Be16(0).Be16(1).Be16(0).Be16(0).Be16(0).Name(kReverse).Be16(12).Be16(1);
    EXPECT_EQ(BuildMdnsPtrQuery(kId, kUnit), expected.data);
}

struct Shape
{
    uint16_t id = kId;
    uint16_t flags = 0x8400;
    bool question = true; // legacy unicast answers repeat it; the owner then points at it
    std::string owner = kReverse;
    uint16_t type = 12;
    uint16_t rrClass = 0x8001; // cache-flush bit and IN
    std::string target = "nas01.local";
    int rdlengthDelta = 0;
};

std::vector<uint8_t> Answer(const Shape& s)
{
    Bytes b;
    b.Be16(s.id).Be16(s.flags).Be16(s.question ? 1 : 0).Be16(2).Be16(0).Be16(0);
    if (s.question)
        b.Name(kReverse).Be16(12).Be16(1);
    b.Name("other.local").Be16(1).Be16(0x8001).Be32(120).Be16(4).Be32(0x0A0000FE); // an A first
    if (s.question && s.owner == kReverse)
        b.Pointer(12);
    else
        b.Name(s.owner);
    Bytes target;
    target.Name(s.target);
    b.Be16(s.type).Be16(s.rrClass).Be32(120);
    b.Be16(static_cast<uint16_t>(static_cast<int>(target.data.size()) + s.rdlengthDelta));
    b.data.insert(b.data.end(), target.data.begin(), target.data.end());
    return b.data;
}

// "nas07" and a pointer to the "local" of an earlier record's name.
std::vector<uint8_t> CompressedTarget()
{
    Bytes b;
    b.Be16(kId).Be16(0x8400).Be16(0).Be16(2).Be16(0).Be16(0);
    b.Name("other.local").Be16(1).Be16(1).Be32(120).Be16(4).Be32(0x0A0000FE);
    b.Name(kReverse).Be16(12).Be16(1).Be32(120).Be16(8).U8(5).Raw("nas07").Pointer(12 + 6);
    return b.data;
}

template <typename F> std::vector<uint8_t> AnswerWith(F change)
{
    Shape s;
    change(s);
    return Answer(s);
}

TEST(MdnsPtrReply, findsTheHostNameOrNothing)
{
    struct Case
    {
        const char* what;
        std::vector<uint8_t> reply;
        std::optional<std::string> name;
    };
    const std::vector<Case> cases = {
        {"avahi's legacy unicast answer", Answer({}), "nas01"},
        {"no question repeated", AnswerWith([](Shape& s) { s.question = false; }), "nas01"},
        {"owner in other case", AnswerWith([](Shape& s) { s.owner = "21.7.231.10.IN-ADDR.arpa"; }),
         "nas01"},
        {"target compressed", CompressedTarget(), "nas07"},
        {"outside .local", AnswerWith([](Shape& s) { s.target = "nas01.lab"; }), "nas01.lab"},
        {"another address's PTR",
         AnswerWith([](Shape& s) { s.owner = "22.7.231.10.in-addr.arpa"; }), std::nullopt},
        {"not a PTR", AnswerWith([](Shape& s) { s.type = 16; }), std::nullopt},
        {"another class", AnswerWith([](Shape& s) { s.rrClass = 3; }), std::nullopt},
        {"another id", AnswerWith([](Shape& s) { s.id ^= 1; }), std::nullopt},
        {"a query", AnswerWith([](Shape& s) { s.flags = 0; }), std::nullopt},
        {"an error", AnswerWith([](Shape& s) { s.flags = 0x8403; }), std::nullopt},
        {"record past the datagram", AnswerWith([](Shape& s) { s.rdlengthDelta = 3; }),
         std::nullopt},
        {"target past its record", AnswerWith([](Shape& s) { s.rdlengthDelta = -2; }),
         std::nullopt},
        {"space in the name", AnswerWith([](Shape& s) { s.target = "my nas.local"; }),
         std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseMdnsPtrReply(c.reply, kId, kUnit), c.name) << c.what;
}

TEST(MdnsPtrReply, truncatedOrDamagedRepliesGiveNoBadName)
{
    for (const std::vector<uint8_t>& full : {Answer({}), CompressedTarget()}) {
        for (std::size_t length = 0; length < full.size(); ++length) {
            const std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(length));
            EXPECT_EQ(ParseMdnsPtrReply(cut, kId, kUnit), std::nullopt) << "cut at " << length;
        }
        test::ForEachMangled(full, [](const std::vector<uint8_t>& m) {
            const auto name = ParseMdnsPtrReply(m, kId, kUnit);
            for (unsigned char ch : name.value_or(""))
                ASSERT_TRUE(ch > 0x20 && ch < 0x7F);
        });
    }
}

} // namespace
} // namespace zelvo
