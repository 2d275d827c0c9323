#include "platform/NetbiosNodeStatus.h"

#include "WireBuilders.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

namespace zelvo {
namespace {

using test::Bytes;
using test::EncodedWildcard;
using test::NodeName;
using test::NodeStatusReply;
using test::NodeStatusShape;

constexpr uint16_t kId = test::kNodeStatusId;

// What nmbd sends for a unit named NAS01 in workgroup WORKGROUP.
std::vector<NodeName> TypicalNames()
{
    return {{"NAS01", 0x00, 0x0400},
            {"NAS01", 0x03, 0x0400},
            {"NAS01", 0x20, 0x0400},
            {"WORKGROUP", 0x00, 0x8400},
            {"WORKGROUP", 0x1E, 0x8400}};
}

TEST(NodeStatusRequest, asksForTheWildcardNameWithTypeNbstat)
{
    Bytes expected;
    expected.Be16(0xBEEF).Be16(0x0000).Be16(1).Be16(0).Be16(0).Be16(0);
    expected.U8(32).Raw(EncodedWildcard()).U8(0).Be16(0x0021).Be16(0x0001);
    const auto request = BuildNodeStatusRequest(0xBEEF);
    EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.end()), expected.data);
}

struct ReplyCase
{
    const char* what;
    std::vector<uint8_t> reply;
    std::optional<std::string> name;
};

std::vector<ReplyCase> ReplyCases()
{
    NodeStatusShape pointerOwner;
    pointerOwner.questions = 1;
    pointerOwner.ownerAsPointer = true;
    NodeStatusShape otherId;
    otherId.id = kId + 1;
    NodeStatusShape query;
    query.flags = 0x0000;
    NodeStatusShape refused;
    refused.flags = 0x8405;
    NodeStatusShape nbType;
    nbType.type = 0x0020;
    NodeStatusShape tooManyNames;
    tooManyNames.statistics = 0;
    tooManyNames.nameCountDelta = 1;
    NodeStatusShape hugeNameCount;
    hugeNameCount.nameCountDelta = 250;
    NodeStatusShape rdlengthPastEnd;
    rdlengthPastEnd.rdlengthDelta = 1;
    NodeStatusShape noStatistics;
    noStatistics.statistics = 0;

    return {
        {"nmbd's reply gives the unique <00> name", NodeStatusReply(TypicalNames()), "NAS01"},
        {"a group <00> name before it is passed over",
         NodeStatusReply({{"WORKGROUP", 0x00, 0x8400}, {"NAS02", 0x00, 0x0400}}), "NAS02"},
        {"a 15-byte name is whole", NodeStatusReply({{"ABCDEFGHIJKLMNO", 0x00, 0x0400}}),
         "ABCDEFGHIJKLMNO"},
        {"inner spaces stay, trailing ones go", NodeStatusReply({{"MY NAS", 0x00, 0x0400}}),
         "MY NAS"},
        {"NUL padding goes too",
         NodeStatusReply({{std::string("NAS03") + std::string(10, '\0'), 0x00, 0x0400}}), "NAS03"},
        {"owner name given as a pointer to the question",
         NodeStatusReply(TypicalNames(), pointerOwner), "NAS01"},
        {"names fill the record exactly, no statistics",
         NodeStatusReply(TypicalNames(), noStatistics), "NAS01"},
        {"only group names", NodeStatusReply({{"WORKGROUP", 0x00, 0x8400}}), std::nullopt},
        {"no <00> name", NodeStatusReply({{"NAS01", 0x20, 0x0400}}), std::nullopt},
        {"no names at all", NodeStatusReply({}), std::nullopt},
        {"another transaction", NodeStatusReply(TypicalNames(), otherId), std::nullopt},
        {"a query, not a response", NodeStatusReply(TypicalNames(), query), std::nullopt},
        {"an error response", NodeStatusReply(TypicalNames(), refused), std::nullopt},
        {"a name record, not node status", NodeStatusReply(TypicalNames(), nbType), std::nullopt},
        {"more names claimed than the record holds", NodeStatusReply(TypicalNames(), tooManyNames),
         std::nullopt},
        {"255 names claimed", NodeStatusReply(TypicalNames(), hugeNameCount), std::nullopt},
        {"record longer than the datagram", NodeStatusReply(TypicalNames(), rdlengthPastEnd),
         std::nullopt},
        {"blank name", NodeStatusReply({{"", 0x00, 0x0400}}), std::nullopt},
        {"control byte in the name", NodeStatusReply({{"NAS\n1", 0x00, 0x0400}}), std::nullopt},
        {"empty datagram", {}, std::nullopt},
    };
}

TEST(NodeStatusReply, findsTheComputerNameOrNothing)
{
    for (const ReplyCase& c : ReplyCases()) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ParseNodeStatusReply(c.reply, kId), c.name);
    }
}

TEST(NodeStatusReply, anyTruncationIsDropped)
{
    const std::vector<uint8_t> full = NodeStatusReply(TypicalNames());
    ASSERT_EQ(ParseNodeStatusReply(full, kId), "NAS01");
    for (std::size_t length = 0; length < full.size(); ++length) {
        // A copy of exactly this length, so that a read past it is caught by the sanitizer.
        const std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(length));
        EXPECT_EQ(ParseNodeStatusReply(cut, kId), std::nullopt) << "cut at " << length;
    }
}

TEST(NodeStatusReply, mangledRepliesNeverYieldUnprintableNames)
{
    const std::vector<uint8_t> full = NodeStatusReply(TypicalNames());
    std::mt19937 random(20240601);
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> mangled = full;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f)
            mangled[random() % mangled.size()] = static_cast<uint8_t>(random());
        if (random() % 3 == 0)
            mangled.resize(random() % mangled.size());
        const auto name = ParseNodeStatusReply(mangled, kId);
        if (!name)
            continue;
        ASSERT_FALSE(name->empty());
        ASSERT_LE(name->size(), 15u);
        for (unsigned char ch : *name)
            ASSERT_GE(ch, 0x20) << "round " << round;
    }
}

} // namespace
} // namespace zelvo
