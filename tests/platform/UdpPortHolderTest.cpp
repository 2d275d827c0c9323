// Who holds a UDP port: the /proc/net/udp reading, the program's short name, and a real
// socket of this test found by its port.
#include "platform/UdpPortHolder.h"
#include "support/LoopbackSocket.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

TEST(UdpSocketInodes, picksTheSocketsOfThePort)
{
    const std::string table =
        "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode ref pointer drops\n"
        "  101: 00000000:0043 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        "
        "0 31337 2 0000000000000000 0\n"
        "  102: 0100007F:0044 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        "
        "0 4242 2 0000000000000000 0\n"
        "  103: 0A0000C0:0043 00000000:0000 07 00000000:00000000 00:00000000 00000000   101        "
        "0 777 2 0000000000000000 0\n"
        "  104: garbage\n"
        "  105: 00000000:0043 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        "
        "0 0 2 0000000000000000 0\n";
    EXPECT_EQ(UdpSocketInodes(table, 67), (std::vector<uint64_t>{31337, 777}));
    EXPECT_EQ(UdpSocketInodes(table, 68), (std::vector<uint64_t>{4242}));
    EXPECT_TRUE(UdpSocketInodes(table, 69).empty());
    EXPECT_TRUE(UdpSocketInodes("", 67).empty());
}

TEST(DescribePortHolder, namesTheDhcpServersOfVirtualAndSharedNetworks)
{
    using namespace std::string_literals;
    EXPECT_EQ(DescribePortHolder("dnsmasq\n",
                                 "/usr/sbin/dnsmasq\0--conf-file=/var/lib/libvirt/dnsmasq/"
                                 "default.conf\0"s),
              "dnsmasq (libvirt)");
    EXPECT_EQ(DescribePortHolder("dnsmasq\n", "/usr/sbin/dnsmasq\0--conf-file=/var/run/"
                                              "NetworkManager/dnsmasq.conf\0"s),
              "dnsmasq (NetworkManager)");
    EXPECT_EQ(DescribePortHolder("dhcpd\n", "/usr/sbin/dhcpd\0-4\0"s), "dhcpd");
    EXPECT_EQ(DescribePortHolder("", ""), "?");
}

TEST(UdpPortHolder, findsThisProcessBehindItsOwnSocket)
{
    uint16_t port = 0;
    UniqueFd socket = test::LoopbackSocket(SOCK_DGRAM, port);
    ASSERT_TRUE(socket.Valid());
    // The kernel keeps the first 15 bytes of the program's name.
    EXPECT_EQ(UdpPortHolder(port), std::optional<std::string>("platform_udp_po"));
    socket.Reset();
    EXPECT_EQ(UdpPortHolder(port), std::nullopt);
}

} // namespace
} // namespace zelvo
