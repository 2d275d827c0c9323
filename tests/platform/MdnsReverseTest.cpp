#include "platform/MdnsReverse.h"

#include "WireBuilders.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

namespace zelvo {
namespace {

using test::Bytes;

constexpr uint16_t kId = 0x1234;
const Ipv4Address kUnit = Ipv4Address::FromOctets(10, 231, 7, 21);

TEST(MdnsReverse, reverseNameListsTheOctetsBackwards)
{
    EXPECT_EQ(ReverseQueryName(Ipv4Address::FromOctets(192, 168, 1, 5)),
              "5.1.168.192.in-addr.arpa");
    EXPECT_EQ(ReverseQueryName(Ipv4Address::FromOctets(10, 0, 0, 255)), "255.0.0.10.in-addr.arpa");
}

TEST(MdnsReverse, queryIsOnePtrQuestion)
{
    Bytes expected;
    expected.Be16(kId).Be16(0).Be16(1).Be16(0).Be16(0).Be16(0);
    expected.Name("21.7.231.10.in-addr.arpa").Be16(12).Be16(1);
    EXPECT_EQ(BuildMdnsPtrQuery(kId, kUnit), expected.data);
}

struct AnswerShape
{
    uint16_t id = kId;
    uint16_t flags = 0x8400;
    bool echoQuestion = true;   // legacy unicast replies repeat the question
    bool ownerAsPointer = true; // the answer's owner points at the question
    std::string owner = "21.7.231.10.in-addr.arpa";
    uint16_t type = 12;
    uint16_t rrClass = 0x8001; // cache-flush bit and IN
    std::string target = "nas01.local";
    int rdlengthDelta = 0;
    bool leadingARecord = false; // an unrelated answer first
};

std::vector<uint8_t> Answer(const AnswerShape& s)
{
    Bytes b;
    b.Be16(s.id).Be16(s.flags).Be16(s.echoQuestion ? 1 : 0);
    b.Be16(s.leadingARecord ? 2 : 1).Be16(0).Be16(0);
    if (s.echoQuestion)
        b.Name("21.7.231.10.in-addr.arpa").Be16(12).Be16(1);
    if (s.leadingARecord)
        b.Name("other.local").Be16(1).Be16(0x8001).Be32(120).Be16(4).Be32(0x0A0000FE);
    if (s.ownerAsPointer && s.echoQuestion)
        b.Pointer(12);
    else
        b.Name(s.owner);
    Bytes target;
    target.Name(s.target);
    b.Be16(s.type).Be16(s.rrClass).Be32(120);
    b.Be16(static_cast<uint16_t>(static_cast<int>(target.Size()) + s.rdlengthDelta));
    b.Raw(target.data);
    return b.data;
}

struct ReplyCase
{
    const char* what;
    std::vector<uint8_t> reply;
    std::optional<std::string> name;
};

template <typename F> AnswerShape Shape(F change)
{
    AnswerShape s;
    change(s);
    return s;
}

std::vector<uint8_t> CompressedTarget()
{
    // The target "nas07" + pointer to "local" held by an earlier record's name.
    Bytes b;
    b.Be16(kId).Be16(0x8400).Be16(0).Be16(2).Be16(0).Be16(0);
    const uint16_t localAt = static_cast<uint16_t>(b.Size() + 7); // "local" in "nas07x.local"
    b.Name("nas07x.local").Be16(1).Be16(1).Be32(120).Be16(4).Be32(0x0A0000FE);
    b.Name("21.7.231.10.in-addr.arpa").Be16(12).Be16(1).Be32(120);
    b.Be16(8).U8(5).Raw("nas07").Pointer(localAt);
    return b.data;
}

std::vector<ReplyCase> Cases()
{
    return {
        {"avahi's legacy unicast answer", Answer({}), "nas01"},
        {"owner written out", Answer(Shape([](auto& s) { s.ownerAsPointer = false; })), "nas01"},
        {"no question repeated", Answer(Shape([](auto& s) { s.echoQuestion = false; })), "nas01"},
        {"owner in other case", Answer(Shape([](auto& s) {
             s.ownerAsPointer = false;
             s.owner = "21.7.231.10.IN-ADDR.ARPA";
         })),
         "nas01"},
        {"an A record before the PTR", Answer(Shape([](auto& s) { s.leadingARecord = true; })),
         "nas01"},
        {"target compressed against another record", CompressedTarget(), "nas07"},
        {"a name outside .local stays whole",
         Answer(Shape([](auto& s) { s.target = "nas01.lab"; })), "nas01.lab"},
        {"PTR of another address", Answer(Shape([](auto& s) {
             s.ownerAsPointer = false;
             s.owner = "22.7.231.10.in-addr.arpa";
         })),
         std::nullopt},
        {"not a PTR", Answer(Shape([](auto& s) { s.type = 16; })), std::nullopt},
        {"another class", Answer(Shape([](auto& s) { s.rrClass = 3; })), std::nullopt},
        {"another id", Answer(Shape([](auto& s) { s.id = kId ^ 1; })), std::nullopt},
        {"a query", Answer(Shape([](auto& s) { s.flags = 0; })), std::nullopt},
        {"an error", Answer(Shape([](auto& s) { s.flags = 0x8403; })), std::nullopt},
        {"record longer than the datagram", Answer(Shape([](auto& s) { s.rdlengthDelta = 3; })),
         std::nullopt},
        {"target runs past its record", Answer(Shape([](auto& s) { s.rdlengthDelta = -2; })),
         std::nullopt},
        {"space in the name", Answer(Shape([](auto& s) { s.target = "my nas.local"; })),
         std::nullopt},
        {"only the domain", Answer(Shape([](auto& s) { s.target = "x.local"; })), "x"},
        {"empty datagram", {}, std::nullopt},
    };
}

TEST(MdnsPtrReply, findsTheHostNameOrNothing)
{
    for (const ReplyCase& c : Cases()) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ParseMdnsPtrReply(c.reply, kId, kUnit), c.name);
    }
}

TEST(MdnsPtrReply, anyTruncationIsDropped)
{
    for (const std::vector<uint8_t>& full : {Answer({}), CompressedTarget()}) {
        ASSERT_TRUE(ParseMdnsPtrReply(full, kId, kUnit).has_value());
        for (std::size_t length = 0; length < full.size(); ++length) {
            const std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(length));
            EXPECT_EQ(ParseMdnsPtrReply(cut, kId, kUnit), std::nullopt) << "cut at " << length;
        }
    }
}

TEST(MdnsPtrReply, mangledRepliesNeverYieldUnprintableNames)
{
    std::mt19937 random(5353);
    for (const std::vector<uint8_t>& full : {Answer({}), CompressedTarget()}) {
        for (int round = 0; round < 20000; ++round) {
            std::vector<uint8_t> mangled = full;
            const int flips = 1 + static_cast<int>(random() % 4);
            for (int f = 0; f < flips; ++f)
                mangled[random() % mangled.size()] = static_cast<uint8_t>(random());
            if (random() % 3 == 0)
                mangled.resize(random() % mangled.size());
            const auto name = ParseMdnsPtrReply(mangled, kId, kUnit);
            if (!name)
                continue;
            ASSERT_FALSE(name->empty());
            ASSERT_LE(name->size(), 255u);
            for (unsigned char ch : *name)
                ASSERT_TRUE(ch > 0x20 && ch < 0x7F) << "round " << round;
        }
    }
}

} // namespace
} // namespace zelvo
