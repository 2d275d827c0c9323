// Reading the neighbour table into the search's table and the log.
#include "runFakes.h"
#include "search/NeighbourTableWalk.h"

#include <gtest/gtest.h>
#include <memory>

namespace zelvo {
namespace {

using testing::ForeignMac;
using testing::Ip;
using testing::UnitMac;

// On the heap, so that AddressSanitizer sees any write past the table.
std::unique_ptr<SearchTable> TableAfterReprobes()
{
    auto table = std::make_unique<SearchTable>();
    table->addresses[0] = Ip(192, 168, 1, 10);
    table->slotCount = 1;
    return table;
}

TEST(NeighbourWalk, unitEntriesTakeSlotsInTableOrder)
{
    // Ten entries: units at 2, 5 and 9 (the same unit twice), a wrong nibble at 7.
    NeighbourRead read;
    for (uint8_t i = 0; i < 10; ++i)
        read.entries.push_back({Ip(192, 168, 1, static_cast<uint8_t>(20 + i)), ForeignMac(i)});
    read.entries[2].mac = UnitMac(2);
    read.entries[5].mac = UnitMac(5);
    read.entries[7].mac = {0x02, 0x5a, 0xe1, 0x52, 0, 7};
    read.entries[9].mac = UnitMac(5);
    auto table = TableAfterReprobes();
    const std::vector<std::string> log = WalkNeighbourTable(read, *table).logLines;

    EXPECT_EQ(table->slotCount, 4);
    EXPECT_EQ(table->unitCount, 3);
    EXPECT_EQ(table->unitSeen, 1);
    EXPECT_EQ(table->arpCount, 10);
    const int positions[] = {2, 5, 9};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(table->unitSlots[k], k + 1);
        EXPECT_EQ(table->addresses[k + 1], read.entries[positions[k]].address);
        EXPECT_EQ(table->macs[k + 1], read.entries[positions[k]].mac);
    }
    EXPECT_EQ(table->addresses[0], Ip(192, 168, 1, 10));
    EXPECT_TRUE(table->addresses[4].IsZero());
    EXPECT_EQ(table->arpAddresses[9], Ip(192, 168, 1, 29));

    ASSERT_EQ(log.size(), 14u);
    EXPECT_EQ(log[0], " Phase1 : retcd=122 buf=244\r\n");
    EXPECT_EQ(log[1], " Phase2 : retcd=0 buf=244\r\n");
    EXPECT_EQ(log[2], " 10 entries are available\r\n");
    EXPECT_EQ(log[3], " No     IP Address         MAC Address\r\n");
    EXPECT_EQ(log[4], " 01 : 192.168.001.020 - 52.54.00.12.34.00\r\n");
    EXPECT_EQ(log[13], " 10 : 192.168.001.029 - 02.5a.e1.42.00.05\r\n");
}

struct FailureCase
{
    NeighbourRead read;
    std::vector<std::string> lines;
};
class NeighbourWalkFailure : public ::testing::TestWithParam<FailureCase>
{
};
TEST_P(NeighbourWalkFailure, leavesTheTableEmptyAndLogsWhy)
{
    auto table = TableAfterReprobes();
    EXPECT_EQ(WalkNeighbourTable(GetParam().read, *table).logLines, GetParam().lines);
    EXPECT_EQ(table->slotCount, 1);
    EXPECT_EQ(table->arpCount, 0);
}
INSTANTIATE_TEST_SUITE_P(Table, NeighbourWalkFailure,
                         ::testing::Values(FailureCase{{}, {" Phase1 : retcd=0 buf=0\r\n"}},
                                           FailureCase{{13, "Permission denied", {}},
                                                       {" Phase1 : retcd=13 buf=0\r\n",
                                                        "Permission denied\r\n"}},
                                           FailureCase{{105, std::string(400, 'x'), {}},
                                                       {" Phase1 : retcd=105 buf=0\r\n",
                                                        std::string(257, 'x') + "\r\n"}}));

TEST(NeighbourWalk, threeHundredUnitEntriesFillTheTableAndNoMore)
{
    NeighbourRead read;
    for (uint32_t i = 1; i <= 300; ++i)
        read.entries.push_back(
            {Ipv4Address::FromHostOrder(0x0a000000u + i), UnitMac(static_cast<uint8_t>(i))});
    auto table = TableAfterReprobes();
    const std::vector<std::string> log = WalkNeighbourTable(read, *table).logLines;

    EXPECT_EQ(table->arpCount, 256);
    EXPECT_EQ(table->slotCount, 64);
    EXPECT_EQ(table->unitCount, 63);
    EXPECT_EQ(table->unitSlots[62], 63);
    EXPECT_EQ(table->addresses[63], Ipv4Address::FromHostOrder(0x0a000000u + 63));
    EXPECT_EQ(table->arpAddresses[255], Ipv4Address::FromHostOrder(0x0a000000u + 256));
    // The size tells of every entry; the lines cover the entries kept.
    EXPECT_EQ(log[0], " Phase1 : retcd=122 buf=7204\r\n");
    EXPECT_EQ(log[2], " 256 entries are available\r\n");
    ASSERT_EQ(log.size(), 4u + 256u);
    EXPECT_EQ(log.back(), " 256 : 010.000.001.000 - 02.5a.e1.42.00.00\r\n");
}

} // namespace
} // namespace zelvo
