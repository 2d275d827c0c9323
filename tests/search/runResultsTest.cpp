// The results step of a search and the time the next one is given.
#include "runFakes.h"
#include "search/SearchResults.h"

#include <gtest/gtest.h>
#include <memory>

namespace zelvo {
namespace {

using testing::Ip;
using testing::UnitMac;

TEST(Budget, growsWithTheAddressesInUse)
{
    const std::pair<uint32_t, uint32_t> cases[] = {
        {1, 36}, {13, 63}, {0, 34}, {19, 76}, {320, 754}};
    for (const auto& [used, seconds] : cases)
        EXPECT_EQ(SearchTimeBudget(used), seconds) << used;
}

// The window's search state; the tables start non-empty so that what a search leaves
// alone shows.
struct Target
{
    std::unique_ptr<DeviceList> devices = std::make_unique<DeviceList>();
    int unitsFound = 7;
    UsedAddressTable used;
    LastFoundList lastFound;

    Target()
    {
        used.addresses.fill(Ip(9, 9, 9, 9));
        lastFound.Append(Ip(8, 8, 8, 8));
    }
    void Store(const SearchTable& table, SearchCommand command)
    {
        StoreSearchResults(table, command, {*devices, unitsFound, used, lastFound});
    }
};

// arpCount neighbour addresses 10.0.0.1 ... and one unit slot per (address, name).
std::unique_ptr<SearchTable> Table(int arpCount,
                                   const std::vector<std::pair<Ipv4Address, std::string>>& slots)
{
    auto table = std::make_unique<SearchTable>();
    table->arpCount = arpCount;
    for (int i = 0; i < arpCount; ++i)
        table->arpAddresses[i] = Ipv4Address::FromHostOrder(0x0a000001u + static_cast<uint32_t>(i));
    table->slotCount = 1 + static_cast<int>(slots.size());
    table->unitCount = static_cast<int>(slots.size());
    table->unitSeen = slots.empty() ? 0 : 1;
    for (int s = 1; s < table->slotCount; ++s) {
        table->addresses[s] = slots[static_cast<std::size_t>(s - 1)].first;
        table->macs[s] = UnitMac(static_cast<uint8_t>(s));
        table->SetName(s, slots[static_cast<std::size_t>(s - 1)].second);
        table->unitSlots[s - 1] = s;
    }
    return table;
}

TEST(Results, twoNamedUnitsAreListedInOrderAndSizeTheNextSearch)
{
    Target t;
    t.Store(*Table(10, {{Ip(10, 0, 0, 3), "VELDIX-A"}, {Ip(10, 0, 0, 7), "VELDIX-B"}}),
            SearchCommand::Again);

    const DeviceList& d = *t.devices;
    EXPECT_EQ(d.usedAddressCount, 13); // next budget 63 s
    EXPECT_EQ(d.RowCount, 3);
    ASSERT_EQ(d.UnitCount, 2);
    EXPECT_EQ(d.UnitRows[0], 1);
    EXPECT_EQ(d.UnitRows[1], 2);
    EXPECT_EQ(t.unitsFound, 1);
    EXPECT_STREQ(d.rows[1].name, "VELDIX-A");
    EXPECT_STREQ(d.rows[1].ipText, "10.0.0.3");
    EXPECT_STREQ(d.rows[1].macText, "02-5a-e1-42-00-01");
    EXPECT_STREQ(d.rows[1].typeText, "VELDIX [0]");
    EXPECT_EQ(d.rows[1].address, Ip(10, 0, 0, 3));
    EXPECT_EQ(d.rows[1].mac, UnitMac(1));
    EXPECT_STREQ(d.rows[2].typeText, "VELDIX [1]");

    ASSERT_EQ(t.lastFound.count, 2);
    EXPECT_EQ(t.lastFound.addresses[1], Ip(10, 0, 0, 7));
    EXPECT_EQ(t.used.addresses[9], Ip(10, 0, 0, 10));
    EXPECT_EQ(t.used.addresses[10], Ip(9, 9, 9, 9)); // beyond this read: kept
    // The responder's in-use list leads with the PC.
    const auto inUse = t.used.InUseList(Ip(10, 0, 0, 200));
    EXPECT_EQ(inUse[0], Ip(10, 0, 0, 200));
    EXPECT_EQ(inUse[1], Ip(10, 0, 0, 1));
    EXPECT_EQ(inUse[254], Ip(9, 9, 9, 9));
}

// A unit without a name, and a slot without an address, before a named unit.
struct UnlistedCase
{
    SearchCommand command;
    int unitsFoundBefore;
    int unitsFound; // only Search takes unitSeen
    int used;       // only Search counts the slot without an address
};
class UnlistedSlots : public ::testing::TestWithParam<UnlistedCase>
{
};
TEST_P(UnlistedSlots, areCountedButNotListed)
{
    const UnlistedCase& c = GetParam();
    Target t;
    t.unitsFound = c.unitsFoundBefore;
    t.Store(*Table(4, {{Ip(10, 0, 0, 2), ""}, {Ipv4Address{}, "ghost"}}), c.command);
    EXPECT_EQ(t.devices->UnitCount, 0);
    EXPECT_EQ(t.devices->RowCount, 3);
    EXPECT_EQ(t.lastFound.count, 0);
    EXPECT_EQ(t.unitsFound, c.unitsFound);
    EXPECT_EQ(t.devices->usedAddressCount, c.used);

    t.Store(*Table(4, {{Ip(10, 0, 0, 2), ""}, {Ip(10, 0, 0, 3), "B"}}), c.command);
    EXPECT_EQ(t.unitsFound, 1);
    EXPECT_STREQ(t.devices->rows[1].name, "B");
    EXPECT_STREQ(t.devices->rows[1].typeText, "VELDIX [0]");
}
INSTANTIATE_TEST_SUITE_P(Table, UnlistedSlots,
                         ::testing::Values(UnlistedCase{SearchCommand::First, 0, 0, 4 + 1 + 1},
                                           UnlistedCase{SearchCommand::Again, 0, 1, 4 + 1 + 2}));

TEST(Results, countsOutsideTheTableAreClamped)
{
    // A table cut short before the worker reset arpCount still carries the command's
    // count, which can exceed the address tables.
    Target t;
    auto table = Table(0, {{Ip(10, 0, 0, 2), "A"}});
    table->arpCount = 320;
    table->slotCount = 1000;
    t.Store(*table, SearchCommand::Again);
    EXPECT_EQ(t.devices->RowCount, 64);
    EXPECT_EQ(t.devices->UnitCount, 1);
    EXPECT_EQ(t.devices->usedAddressCount, 256 + 1 + 1 + 62); // 62 slots without address
    EXPECT_TRUE(t.used.addresses[254].IsZero());

    Target negative;
    table->arpCount = -5;
    table->slotCount = -1;
    negative.Store(*table, SearchCommand::First);
    EXPECT_EQ(negative.devices->RowCount, 1);
    EXPECT_EQ(negative.devices->usedAddressCount, 1);
    EXPECT_EQ(negative.used.addresses[0], Ip(9, 9, 9, 9));
}

TEST(Results, sixtyThreeUnitsFillTheListExactly)
{
    std::vector<std::pair<Ipv4Address, std::string>> slots;
    for (uint32_t i = 0; i < 63; ++i)
        slots.emplace_back(Ipv4Address::FromHostOrder(0x0a000100u + i), "U" + std::to_string(i));
    Target t;
    t.Store(*Table(256, slots), SearchCommand::Again);
    EXPECT_EQ(t.devices->UnitCount, 63);
    EXPECT_EQ(t.devices->UnitRows[62], 63);
    EXPECT_STREQ(t.devices->rows[63].typeText, "VELDIX [62]");
    EXPECT_EQ(t.lastFound.count, 63);
    EXPECT_EQ(t.devices->usedAddressCount, 256 + 1 + 63);
    EXPECT_EQ(t.used.addresses[254], Ipv4Address::FromHostOrder(0x0a000001u + 254));
}

} // namespace
} // namespace zelvo
