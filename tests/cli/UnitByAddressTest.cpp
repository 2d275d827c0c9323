// A unit named by its address: one echo, the neighbour table's entry for it, its name;
// listed as the search lists it, or not at all.
#include "cli/UnitByAddress.h"
#include "support/FakeSearchNetwork.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

Ipv4Address Ip(uint8_t last)
{
    return Ipv4Address::FromOctets(10, 0, 0, last);
}
constexpr MacAddress kUnitMac{0x02, 0x5a, 0xe1, 0x40, 0x00, 0x21};
constexpr MacAddress kOtherMac{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
constexpr MacAddress kNoMac{};

struct Case
{
    const char* what;
    bool answers;
    std::vector<NeighbourEntry> neighbours;
    const char* name; // nullptr: no lookup gives one
    bool restrictedToCard2;
    bool listed;
    bool named; // the name lookup ran
};

class ByAddress : public testing::TestWithParam<Case>
{
};

TEST_P(ByAddress, listsTheUnitOnlyWhenASearchWould)
{
    const Case& c = GetParam();
    test::FakeSearchNetwork network;
    if (c.answers)
        network.answering.insert(Ip(21).nbo);
    network.neighbours.entries = c.neighbours;
    if (c.name)
        network.names[Ip(21).nbo] = c.name;
    PcCards cards;
    cards.usable.push_back(PcCard{1, "eth0", {}, Ip(10)});
    cards.usable.push_back(PcCard{2, "eth1", {}, Ipv4Address::FromOctets(10, 0, 1, 10)});
    cards.restricted = c.restrictedToCard2;
    if (c.restrictedToCard2)
        cards.usable.erase(cards.usable.begin());

    DeviceList devices;
    devices.rows[0].SetName("LABPC");
    const int row = FindUnitByAddress(network, Ip(21), cards, devices);

    EXPECT_EQ(network.echoed, std::vector<uint32_t>{Ip(21).nbo});
    EXPECT_EQ(network.looked.size(), c.named ? 1u : 0u);
    EXPECT_STREQ(devices.rows[0].name, "LABPC");
    if (!c.listed) {
        EXPECT_EQ(row, -1);
        EXPECT_EQ(devices.UnitCount, 0);
        return;
    }
    ASSERT_EQ(row, 1);
    ASSERT_EQ(devices.UnitCount, 1);
    EXPECT_EQ(devices.UnitRows[0], 1);
    const DeviceRecord& unit = devices.rows[1];
    EXPECT_STREQ(unit.name, c.name);
    EXPECT_EQ(unit.mac, kUnitMac);
    EXPECT_STREQ(unit.macText, "02-5a-e1-40-00-21");
    EXPECT_EQ(unit.address, Ip(21));
    EXPECT_STREQ(unit.ipText, "10.0.0.21");
    EXPECT_STREQ(unit.typeText, "VELDIX [0]");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ByAddress,
    testing::Values(
        Case{"aNamedUnit",
             true,
             {{Ip(20), kOtherMac}, {Ip(21), kUnitMac, false, 1}},
             "NAS21",
             false,
             true,
             true},
        Case{"noAnswer", false, {{Ip(21), kUnitMac, false, 1}}, "NAS21", false, false, false},
        Case{"anotherDevicesMac",
             true,
             {{Ip(21), kOtherMac, false, 1}},
             "PC21",
             false,
             false,
             false},
        Case{
            "aUnitWithoutAName", true, {{Ip(21), kUnitMac, false, 1}}, nullptr, false, false, true},
        Case{"noEntryForTheAddress",
             true,
             {{Ip(22), kUnitMac, false, 1}},
             "NAS21",
             false,
             false,
             false},
        Case{"anIncompleteEntry", true, {{Ip(21), kNoMac, false, 1}}, "NAS21", false, false, false},
        Case{"aUnitOnACardLeftOut",
             true,
             {{Ip(21), kUnitMac, false, 1}},
             "NAS21",
             true,
             false,
             false}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.what); });

} // namespace
} // namespace zelvo
