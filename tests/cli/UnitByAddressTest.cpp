// A unit named by its address: one echo, the neighbour table's entry for it, its name;
// listed as the search lists it, or not at all.
#include "cli/UnitByAddress.h"
#include "support/FakeSearchNetwork.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

TEST(UnitByAddress, listsTheUnitOnlyWhenASearchWould)
{
    const auto ip = [](uint8_t last) { return Ipv4Address::FromOctets(10, 0, 0, last); };
    const MacAddress unit{0x02, 0x5a, 0xe1, 0x40, 0x00, 0x21},
        other{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    const NeighbourEntry unit21{ip(21), unit, false, 1}, other21{ip(21), other, false, 1},
        unit22{ip(22), unit, false, 1}, blank21{ip(21), MacAddress{}, false, 1};
    // what, answers the echo, neighbour entries, name (nullptr: none), only card 2 worked
    // on, listed, name looked up
    const std::tuple<const char*, bool, std::vector<NeighbourEntry>, const char*, bool, bool, bool>
        rows[] = {
            {"a named unit", true, {{ip(20), other}, unit21}, "NAS21", false, true, true},
            {"no answer", false, {unit21}, "NAS21", false, false, false},
            {"another device's MAC", true, {other21}, "PC21", false, false, false},
            {"a unit without a name", true, {unit21}, nullptr, false, false, true},
            {"no entry for the address", true, {unit22}, "NAS21", false, false, false},
            {"an incomplete entry", true, {blank21}, "NAS21", false, false, false},
            {"a unit on a card left out", true, {unit21}, "NAS21", true, false, false},
        };
    for (const auto& [what, answers, neighbours, name, onlyCard2, listed, named] : rows) {
        test::FakeSearchNetwork network;
        if (answers)
            network.answering.insert(ip(21).nbo);
        network.neighbours.entries = neighbours;
        if (name)
            network.names[ip(21).nbo] = name;
        PcCards cards;
        if (!onlyCard2)
            cards.usable.push_back(PcCard{1, "eth0", {}, ip(10)});
        cards.usable.push_back(PcCard{2, "eth1", {}, Ipv4Address::FromOctets(10, 0, 1, 10)});
        cards.restricted = onlyCard2;
        DeviceList devices;
        devices.rows[0].SetName("LABPC");

        const int row = FindUnitByAddress(network, ip(21), cards, devices);
        EXPECT_EQ(network.echoed, std::vector<uint32_t>{ip(21).nbo}) << what;
        EXPECT_EQ(network.looked.size(), named ? 1u : 0u) << what;
        EXPECT_STREQ(devices.rows[0].name, "LABPC") << what;
        EXPECT_EQ(row, listed ? 1 : -1) << what;
        ASSERT_EQ(devices.UnitCount, listed ? 1 : 0) << what;
        if (!listed)
            continue;
        const DeviceRecord& r = devices.rows[1];
        EXPECT_EQ(devices.UnitRows[0], 1);
        EXPECT_EQ(r.mac, unit);
        EXPECT_EQ(r.address, ip(21));
        EXPECT_EQ(std::string(r.name) + "|" + r.macText + "|" + r.ipText + "|" + r.typeText,
                  "NAS21|02-5a-e1-40-00-21|10.0.0.21|VELDIX [0]");
    }
}

} // namespace
} // namespace zelvo
