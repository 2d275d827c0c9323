#include "platform/NetbiosNodeStatus.h"

#include "WireBuilders.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

using test::NodeStatusReply;
using test::NodeStatusShape;

constexpr uint16_t kId = NodeStatusShape{}.id;

// What nmbd sends for NAS01 in WORKGROUP.
const std::vector<test::NodeName> kNas01 = {{"NAS01", 0x00, 0x0400},
                                            {"NAS01", 0x20, 0x0400},
                                            {"WORKGROUP", 0x00, 0x8400},
                                            {"WORKGROUP", 0x1E, 0x8400}};

TEST(NodeStatusRequest, asksForTheWildcardNameWithTypeNbstat)
{
    test::Bytes expected;
    expected.Be16(0xBEEF).Be16(0).Be16(1).Be16(0).Be16(0).Be16(0);
    expected.U8(32).Raw(test::kEncodedWildcard).U8(0).Be16(0x0021).Be16(0x0001);
    const auto request = BuildNodeStatusRequest(0xBEEF);
    EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.end()), expected.data);
}

NodeStatusShape Shape(void (*change)(NodeStatusShape&))
{
    NodeStatusShape s;
    change(s);
    return s;
}

TEST(NodeStatusReply, findsTheComputerNameOrNothing)
{
    struct Case
    {
        const char* what;
        std::vector<uint8_t> reply;
        std::optional<std::string> name;
    };
    const std::vector<Case> cases = {
        {"nmbd's reply", NodeStatusReply(kNas01), "NAS01"},
        {"group <00> name passed over",
         NodeStatusReply({{"WORKGROUP", 0x00, 0x8400}, {"NAS02", 0x00, 0x0400}}), "NAS02"},
        {"15 bytes", NodeStatusReply({{"ABCDEFGHIJKLMNO", 0, 0}}), "ABCDEFGHIJKLMNO"},
        {"inner space kept", NodeStatusReply({{"MY NAS", 0, 0}}), "MY NAS"},
        {"NUL padding trimmed",
         NodeStatusReply({{std::string("NAS03\0\0\0\0\0\0\0\0\0\0", 15), 0, 0}}), "NAS03"},
        {"answer name points at the question",
         NodeStatusReply(kNas01, Shape([](auto& s) { s.questionAndPointer = true; })), "NAS01"},
        {"no statistics after the names",
         NodeStatusReply(kNas01, Shape([](auto& s) { s.statistics = 0; })), "NAS01"},
        {"only group names", NodeStatusReply({{"WORKGROUP", 0x00, 0x8400}}), std::nullopt},
        {"no <00> name", NodeStatusReply({{"NAS01", 0x20, 0x0400}}), std::nullopt},
        {"another transaction", NodeStatusReply(kNas01, Shape([](auto& s) { s.id ^= 1; })),
         std::nullopt},
        {"a query", NodeStatusReply(kNas01, Shape([](auto& s) { s.flags = 0; })), std::nullopt},
        {"an error", NodeStatusReply(kNas01, Shape([](auto& s) { s.flags = 0x8403; })),
         std::nullopt},
        {"not node status", NodeStatusReply(kNas01, Shape([](auto& s) { s.type = 0x20; })),
         std::nullopt},
        {"more names claimed than held", NodeStatusReply(kNas01, Shape([](auto& s) {
                                                             s.statistics = 0;
                                                             s.nameCountDelta = 1;
                                                         })),
         std::nullopt},
        {"record past the datagram",
         NodeStatusReply(kNas01, Shape([](auto& s) { s.rdlengthDelta = 1; })), std::nullopt},
        {"blank name", NodeStatusReply({{"", 0, 0}}), std::nullopt},
        {"control byte", NodeStatusReply({{"NAS\n1", 0, 0}}), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseNodeStatusReply(c.reply, kId), c.name) << c.what;
}

TEST(NodeStatusReply, truncatedOrDamagedRepliesGiveNoBadName)
{
    const std::vector<uint8_t> full = NodeStatusReply(kNas01);
    for (std::size_t length = 0; length < full.size(); ++length) {
        // An exact-size copy: a read past it is caught by the address sanitizer.
        const std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(length));
        EXPECT_EQ(ParseNodeStatusReply(cut, kId), std::nullopt) << "cut at " << length;
    }
    test::ForEachMangled(full, [](const std::vector<uint8_t>& m) {
        if (const auto name = ParseNodeStatusReply(m, kId)) {
            ASSERT_TRUE(!name->empty() && name->size() <= 15);
            for (unsigned char ch : *name)
                ASSERT_TRUE(ch >= 0x20 && ch != 0x7F);
        }
    });
}

} // namespace
} // namespace zelvo
