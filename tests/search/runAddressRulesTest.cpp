// The PC's own network: address block, unit MAC test, interface mask, start-up check.
#include "runFakes.h"
#include "search/HostBlockRange.h"
#include "search/NetworkBrowseCheck.h"
#include "search/ReadInterfaceMask.h"

#include "app/ScriptedMessageBoxes.h"

#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>

namespace zelvo {
namespace {

using testing::Ip;
using Mask = std::array<uint8_t, 4>;

struct BlockCase
{
    uint8_t maskLast, hostLast;
    int first, limit;
};
class HostBlock_ : public ::testing::TestWithParam<BlockCase>
{
};
TEST_P(HostBlock_, givesFirstAndLimitOctet)
{
    const BlockCase& c = GetParam();
    EXPECT_EQ(HostBlockRange({255, 255, 255, c.maskLast}, {10, 1, 2, c.hostLast}),
              (HostBlock{c.first, c.limit}));
}
INSTANTIATE_TEST_SUITE_P(
    Table, HostBlock_,
    ::testing::Values(BlockCase{0, 1, 50, 250}, BlockCase{0, 254, 50, 250},
                      BlockCase{128, 5, 1, 127}, BlockCase{128, 200, 129, 255},
                      BlockCase{192, 100, 65, 127}, BlockCase{192, 10, 1, 63},
                      BlockCase{192, 128, 65, 127}, // a boundary falls into the block below
                      BlockCase{252, 6, 5, 7}, BlockCase{252, 255, 253, 255},
                      // Tiny blocks: only 64 are looked at, the range can be foreign or empty.
                      BlockCase{254, 200, 129, 129}, BlockCase{255, 65, 65, 64}));

TEST(HostBlock_, logsMaskAndBlockLines)
{
    testing::TemporaryLog log;
    LogHostBlockRange({255, 255, 255, 192}, {192, 168, 1, 100});
    EXPECT_EQ(log.Text(), " Mask Addr\t: 255.255.255.192\r\n Net Addr base.baseend: 065.127\r\n");
}

TEST(UnitMac, needsPrefixAndNibble)
{
    EXPECT_TRUE(IsUnitMac({0x02, 0x5a, 0xe1, 0x40, 0, 0}));
    EXPECT_TRUE(IsUnitMac({0x02, 0x5a, 0xe1, 0x4f, 0xff, 0xff}));
    for (const MacAddress& other :
         {MacAddress{0x02, 0x5a, 0xe1, 0x50, 0, 1}, MacAddress{0x02, 0x5a, 0xe1, 0x3f, 0, 1},
          MacAddress{0x03, 0x5a, 0xe1, 0x41, 0, 1}, MacAddress{0x02, 0x5b, 0xe1, 0x41, 0, 1},
          MacAddress{0x02, 0x5a, 0xe0, 0x41, 0, 1}})
        EXPECT_FALSE(IsUnitMac(other)) << MacDashText(other);
}

InterfaceEntry Entry(Ipv4Address address, Ipv4Address mask, bool up = true, bool loopback = false)
{
    return InterfaceEntry{"if", address.nbo, mask.nbo, up, loopback};
}

class FakeInterfaces final : public NetworkInterfaceList
{
public:
    InterfaceListRead read;
    int socketError = 0;
    InterfaceListRead ReadIpv4Interfaces() const override { return read; }
    int ProbeUdpSocket() const override { return socketError; }
};

TEST(InterfaceMask, lastInterfaceWithThePcAddressWins)
{
    FakeInterfaces list;
    list.read.entries = {Entry(Ip(192, 168, 1, 10), Ip(255, 255, 255, 128)),
                         Entry(Ip(10, 0, 0, 1), Ip(255, 255, 0, 0)),
                         Entry(Ip(192, 168, 1, 10), Ip(255, 255, 255, 192)),
                         Entry(Ip(0, 0, 0, 0), Ip(255, 0, 0, 0))};
    Mask mask = {255, 255, 255, 0};
    EXPECT_EQ(ReadInterfaceMask(list, Ip(172, 16, 0, 1), mask), 1);
    EXPECT_EQ(mask, (Mask{255, 255, 255, 0}));
    EXPECT_EQ(ReadInterfaceMask(list, Ip(0, 0, 0, 0), mask), 1); // no address, no interface
    EXPECT_EQ(mask, (Mask{255, 255, 255, 0}));
    EXPECT_EQ(ReadInterfaceMask(list, Ip(192, 168, 1, 10), mask), 1);
    EXPECT_EQ(mask, (Mask{255, 255, 255, 192}));

    list.read.errorCode = ENOMEM;
    mask = {255, 255, 255, 0};
    EXPECT_EQ(ReadInterfaceMask(list, Ip(10, 0, 0, 1), mask), 0);
    EXPECT_EQ(mask, (Mask{255, 255, 255, 0}));
}

TEST(InterfaceMask, systemListHoldsLoopbackWithItsMask)
{
    const InterfaceListRead read = SystemNetworkInterfaceList().ReadIpv4Interfaces();
    ASSERT_EQ(read.errorCode, 0);
    const auto lo = std::find_if(read.entries.begin(), read.entries.end(), [](const auto& e) {
        return e.addressNbo == htonl(INADDR_LOOPBACK);
    });
    ASSERT_NE(lo, read.entries.end());
    EXPECT_TRUE(lo->loopback && lo->up);
    EXPECT_EQ(lo->netmaskNbo, htonl(0xff000000u));
    EXPECT_EQ(SystemNetworkInterfaceList().ProbeUdpSocket(), 0);
}

struct BrowseCase
{
    int language, socketError, readError;
    std::vector<InterfaceEntry> entries;
    const char* text; // nullptr: the check passes without a box
};
class BrowseCheck : public ::testing::TestWithParam<BrowseCase>
{
};
TEST_P(BrowseCheck, tellsTheUserWhyTheNetworkCannotBeUsed)
{
    const BrowseCase& c = GetParam();
    FakeInterfaces list;
    list.socketError = c.socketError;
    list.read = {c.readError, c.entries};
    ScriptedMessageBoxes boxes;
    EXPECT_EQ(NetworkBrowseCheck(list, boxes, c.language), c.text ? 0 : 1);
    ASSERT_EQ(boxes.ShownBoxes().size(), c.text ? 1u : 0u);
    if (c.text) {
        EXPECT_EQ(boxes.ShownBoxes()[0].text, c.text);
        EXPECT_EQ(boxes.ShownBoxes()[0].icon, MessageIcon::Question);
    }
}
const InterfaceEntry kLo = Entry(Ip(127, 0, 0, 1), Ip(255, 0, 0, 0), true, true);
const InterfaceEntry kEth = Entry(Ip(192, 168, 1, 10), Ip(255, 255, 255, 0));
const InterfaceEntry kEthDown = Entry(Ip(192, 168, 1, 10), Ip(255, 255, 255, 0), false);
INSTANTIATE_TEST_SUITE_P(
    Table, BrowseCheck,
    ::testing::Values(
        BrowseCase{409, 0, 0, {kLo, kEth}, nullptr},
        BrowseCase{409, EACCES, 0, {kEth}, "Network searching can't be started. Error. : 13\n"},
        BrowseCase{411, EMFILE, 0, {kEth}, "ネットワークの検索は開始できません。エラー : 24\n"},
        BrowseCase{409, 0, ENOBUFS, {}, "Error occurred on Network searching. Error. : 105\n"},
        BrowseCase{411, 0, 0, {kLo}, "ネットワークの検索中にエラーが発生しました。エラー : 100\n"},
        BrowseCase{
            409, 0, 0, {kLo, kEthDown}, "Error occurred on Network searching. Error. : 100\n"}));

} // namespace
} // namespace zelvo
