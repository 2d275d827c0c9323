// The wire formats of the name lookups: what is sent, and what is read from replies,
// truncated and hostile ones included.
#include "platform/DnsWireName.h"
#include "platform/MdnsReverse.h"
#include "platform/NetbiosNodeStatus.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace zelvo {
namespace {

using Name = std::optional<std::string>;

// Builders of DNS-style messages, written the way a responder writes them, so that the
// parsers are checked against independently made bytes.
struct Bytes
{
    std::vector<uint8_t> data;

    Bytes& U8(uint8_t v) { return data.push_back(v), *this; }
    Bytes& Be16(uint16_t v) { return U8(uint8_t(v >> 8)).U8(uint8_t(v)); }
    Bytes& Be32(uint32_t v) { return Be16(uint16_t(v >> 16)).Be16(uint16_t(v)); }
    Bytes& Raw(const std::string& s) { return data.insert(data.end(), s.begin(), s.end()), *this; }
    Bytes& Header(uint16_t id, uint16_t flags, uint16_t questions, uint16_t answers)
    {
        return Be16(id).Be16(flags).Be16(questions).Be16(answers).Be32(0);
    }
    // A dotted name as length-prefixed labels and the root label.
    Bytes& Name(const std::string& dotted)
    {
        for (std::size_t start = 0; start < dotted.size();) {
            const std::size_t dot = std::min(dotted.find('.', start), dotted.size());
            U8(uint8_t(dot - start)).Raw(dotted.substr(start, dot - start));
            start = dot + 1;
        }
        return U8(0);
    }
};

// "*" and 15 NULs, first-level encoded: the node status question's name.
const std::string kEncodedWildcard = "CK" + std::string(30, 'A');

// A name, padded with spaces to 15 bytes, its suffix and its flags (0x8000: a group's).
using NodeName = std::tuple<std::string, uint8_t, uint16_t>;

struct NodeStatusShape
{
    uint16_t id = 0x4D2A, flags = 0x8400; // response, authoritative
    bool question = false;                // repeat the question; the answer's name points at it
    uint16_t type = 0x0021;
    int rdlengthDelta = 0, nameCountDelta = 0;
    std::size_t statistics = 46;
};

std::vector<uint8_t> NodeStatusReply(const std::vector<NodeName>& names,
                                     const NodeStatusShape& s = {})
{
    Bytes b;
    b.Header(s.id, s.flags, s.question ? 1 : 0, 1).U8(32).Raw(kEncodedWildcard).U8(0);
    if (s.question)
        b.Be16(0x21).Be16(1).Be16(0xC00C);
    b.Be16(s.type).Be16(1).Be32(0);
    b.Be16(uint16_t(1 + names.size() * 18 + s.statistics + s.rdlengthDelta));
    b.U8(uint8_t(names.size() + s.nameCountDelta));
    for (const auto& [name, suffix, flags] : names)
        b.Raw((name + std::string(15, ' ')).substr(0, 15)).U8(suffix).Be16(flags);
    return b.Raw(std::string(s.statistics, '\x11')).data;
}

// Names that parse are the parsers' tests below; these are the ones that must not.
TEST(DnsWireName, refusesHostileNames)
{
    const std::string a63(63, 'a'); // five labels of 63 bytes: longer than 255
    const auto tooLong = Bytes().Name(a63 + "." + a63 + "." + a63 + "." + a63 + "." + a63).data;
    for (const auto& [message, offset] :
         {std::pair<std::vector<uint8_t>, std::size_t>{{0xC0, 0}, 0}, // a pointer to itself
          {{0xC0, 2, 1, 'x', 0}, 0},                                  // a pointer ahead
          // Every jump goes back, yet the label swallows the pointer: a loop.
          {{2, 'a', 'b', 0xC0, 0}, 3},
          {{5, 'a', 'b', 'c'}, 0}, // label past the end
          {{3, 'a', 'b', 'c'}, 0}, // no root label
          {{0x41, 'a', 0}, 0},     // label type 0x40
          {tooLong, 0},
          {{0xC0}, 0}, // a pointer cut in half
          {{0}, 3}})   // an offset past the end
        EXPECT_FALSE(ReadWireName(message, offset)) << message.size() << " " << offset;
}

constexpr uint16_t kId = 0x4D2A;
// What nmbd sends for NAS01 in WORKGROUP.
const std::vector<NodeName> kNas01 = {{"NAS01", 0x00, 0x0400},
                                      {"NAS01", 0x20, 0x0400},
                                      {"WORKGROUP", 0x00, 0x8400},
                                      {"WORKGROUP", 0x1E, 0x8400}};

TEST(NodeStatus, replyGivesTheComputerNameOrNothing)
{
    const std::pair<std::vector<uint8_t>, Name> cases[] = {
        {NodeStatusReply(kNas01), "NAS01"},
        {NodeStatusReply({{"WORKGROUP", 0, 0x8400}, {"NAS02", 0, 0x0400}}), "NAS02"},
        {NodeStatusReply({{"ABCDEFGHIJKLMNO", 0, 0}}), "ABCDEFGHIJKLMNO"},
        {NodeStatusReply({{"MY NAS", 0, 0}}), "MY NAS"},
        {NodeStatusReply({{std::string("NAS03\0\0\0\0\0\0\0\0\0\0", 15), 0, 0}}), "NAS03"},
        {NodeStatusReply(kNas01, {.question = true}), "NAS01"},
        {NodeStatusReply(kNas01, {.statistics = 0}), "NAS01"},
        {NodeStatusReply({{"NAS01", 0x20, 0x0400}}), {}}, // no <00> name
        {NodeStatusReply(kNas01, {.id = kId ^ 1}), {}},
        {NodeStatusReply(kNas01, {.flags = 0}), {}},      // a query
        {NodeStatusReply(kNas01, {.flags = 0x8403}), {}}, // an error
        {NodeStatusReply(kNas01, {.type = 0x20}), {}},
        {NodeStatusReply(kNas01, {.nameCountDelta = 1, .statistics = 0}), {}},
        {NodeStatusReply(kNas01, {.rdlengthDelta = 1}), {}}, // record past the datagram
        {NodeStatusReply({{"", 0, 0}}), {}},
        {NodeStatusReply({{"NAS\n1", 0, 0}}), {}}};
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ParseNodeStatusReply(cases[i].first, kId), cases[i].second) << "row " << i;
}

const Ipv4Address kUnit = Ipv4Address::FromOctets(10, 231, 7, 21);
const std::string kReverse = "21.7.231.10.in-addr.arpa";

TEST(WireQuestions, nodeStatusAsksForTheWildcardNameMdnsForThePtrOfTheReversedOctets)
{
    Bytes nbstat, ptr;
    nbstat.Header(0xBEEF, 0, 1, 0).U8(32).Raw(kEncodedWildcard).U8(0).Be16(0x21).Be16(1);
    const auto request = BuildNodeStatusRequest(0xBEEF);
    EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.end()), nbstat.data);
    ptr.Header(kId, 0, 1, 0).Name(kReverse).Be16(12).Be16(1);
    EXPECT_EQ(BuildMdnsPtrQuery(kId, kUnit), ptr.data);
}

struct MdnsShape
{
    uint16_t id = kId, flags = 0x8400;
    std::string owner = kReverse;
    uint16_t type = 12, rrClass = 0x8001; // cache-flush bit and IN
    std::string target = "nas01.local";
    int rdlengthDelta = 0;
};

// The question (legacy unicast answers repeat it), an A record, then the PTR record.
std::vector<uint8_t> MdnsAnswer(const MdnsShape& s)
{
    Bytes b, target;
    b.Header(s.id, s.flags, 1, 2);
    b.Name(kReverse).Be16(12).Be16(1);
    b.Name("other.local").Be16(1).Be16(0x8001).Be32(120).Be16(4).Be32(0x0A0000FE);
    if (s.owner == kReverse)
        b.Be16(0xC00C); // the question's name
    else
        b.Name(s.owner);
    target.Name(s.target);
    b.Be16(s.type).Be16(s.rrClass).Be32(120).Be16(uint16_t(target.data.size() + s.rdlengthDelta));
    return b.Raw({target.data.begin(), target.data.end()}).data;
}

TEST(MdnsReverse, ptrReplyGivesTheHostNameOrNothing)
{
    // No question; the target is "nas07" and a pointer to the "local" of the A record's name.
    Bytes b;
    b.Header(kId, 0x8400, 0, 2).Name("other.local").Be16(1).Be16(1).Be32(120).Be16(4).Be32(1);
    b.Name(kReverse).Be16(12).Be16(1).Be32(120).Be16(8).U8(5).Raw("nas07").Be16(0xC000 | 18);
    const std::pair<std::vector<uint8_t>, Name> cases[] = {
        {MdnsAnswer({}), "nas01"}, // avahi's legacy unicast answer
        {MdnsAnswer({.owner = "21.7.231.10.IN-ADDR.arpa"}), "nas01"},
        {b.data, "nas07"},
        {MdnsAnswer({.owner = "22.7.231.10.in-addr.arpa"}), {}},
        {MdnsAnswer({.type = 16}), {}},
        {MdnsAnswer({.id = kId ^ 1}), {}},
        {MdnsAnswer({.flags = 0x8403}), {}},
        {MdnsAnswer({.rdlengthDelta = 3}), {}},  // record past the datagram
        {MdnsAnswer({.rdlengthDelta = -2}), {}}, // target past its record
        {MdnsAnswer({.target = "my nas.local"}), {}}};
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ParseMdnsPtrReply(cases[i].first, kId, kUnit), cases[i].second) << "row " << i;
}

} // namespace
} // namespace zelvo
