// On loopback sockets: the datagram helpers (sender, receiving card, a cut datagram, the
// way out named per datagram, an ICMP error about our datagram from the error queue), and
// the lookups against UDP ports that stay silent or are closed, and the resolver's own
// thread, which must not keep the caller waiting.
#include "platform/DatagramReceive.h"
#include "platform/NameLookups.h"
#include "support/LoopbackSocket.h"
#include "support/OutcomeValue.h"

#include <linux/errqueue.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace zelvo {
namespace {

const Ipv4Address kLoopback = Ipv4Address::FromOctets(127, 0, 0, 1);

// A UDP socket on 127.0.0.1 with the given option on; port gives its port.
UniqueFd Udp(uint16_t& port, int option = 0)
{
    UniqueFd fd = test::LoopbackSocket(SOCK_DGRAM, port);
    const int on = 1;
    EXPECT_TRUE(option == 0 || ::setsockopt(fd.Get(), IPPROTO_IP, option, &on, sizeof on) == 0);
    return fd;
}

std::span<const uint8_t> Text(const std::string& s)
{
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST(DatagramIo, aDatagramComesWithItsSenderInterfaceAndCut)
{
    const int lo = static_cast<int>(::if_nametoindex("lo"));
    ASSERT_GT(lo, 0);
    uint16_t receiverPort = 0, senderPort = 0;
    const UniqueFd receiver = Udp(receiverPort, IP_PKTINFO);
    const UniqueFd sender = Udp(senderPort);
    // Routed, out of lo by name, longer than the room, empty.
    for (const auto& [sent, interfaceIndex, room] : {std::tuple{std::string("offer"), 0, 64ul},
                                                     {"ack", lo, 64ul},
                                                     {"a datagram of twenty", 0, 8ul},
                                                     {"", lo, 64ul}}) {
        ASSERT_EQ(test::ValueOf(SendDatagram(sender.Get(), Text(sent),
                                             {kLoopback, receiverPort, interfaceIndex, {}})),
                  sent.size());
        std::vector<uint8_t> buffer(room);
        const Outcome<DatagramReceipt> received = ReceiveDatagram(receiver.Get(), buffer, nullptr);
        ASSERT_TRUE(received.Ok() && received.Value().end == WaitEnd::Ready) << sent;
        const DatagramReceipt& got = received.Value();
        const std::size_t kept = std::min(sent.size(), room);
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + long(got.length)),
                  sent.substr(0, kept));
        EXPECT_EQ(std::tuple(got.length, got.truncated, got.source, got.interfaceIndex,
                             got.reported.has_value()),
                  std::tuple(kept, sent.size() > room, kLoopback, lo, false))
            << sent;
    }
    // Nothing waits: a read without waiting says so; an unknown interface is refused.
    uint8_t byte;
    EXPECT_EQ(ReceiveWaiting(receiver.Get(), {&byte, 1}).Code(), EAGAIN);
    EXPECT_EQ(SendDatagram(sender.Get(), Text("x"), {kLoopback, receiverPort, 999'999, {}}).Code(),
              ENODEV);
}

TEST(DatagramIo, anIcmpErrorAboutOurDatagramIsReadFromTheErrorQueue)
{
    uint16_t closedPort = 0, port = 0;
    Udp(closedPort); // closed again at once: nobody listens there
    const UniqueFd socket = Udp(port, IP_RECVERR);
    ASSERT_EQ(
        test::ValueOf(SendDatagram(socket.Get(), Text("question"), {kLoopback, closedPort, 0, {}})),
        8u);

    // The port unreachable comes back at once on the loopback; the normal read then fails
    // with the error's errno, the queue holds the report.
    uint8_t buffer[64];
    Outcome<DatagramReceipt> queued = Failure{EAGAIN};
    for (int i = 0; i < 100 && !queued.Ok(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        queued = ReceiveWaiting(socket.Get(), buffer, true);
    }
    ASSERT_TRUE(queued.Ok() && queued.Value().reported);
    const DatagramReceipt& got = queued.Value();
    // Port unreachable from the loopback, about our datagram to it.
    EXPECT_EQ(std::tuple(got.reported->origin, got.reported->type, got.reported->code,
                         got.reported->offender, got.source,
                         std::string(buffer, buffer + got.length)),
              std::tuple(SO_EE_ORIGIN_ICMP, 3, 3, kLoopback, kLoopback, "question"));
    // One report, one read.
    EXPECT_EQ(ReceiveWaiting(socket.Get(), buffer, true).Code(), EAGAIN);
}

using Steady = std::chrono::steady_clock;

TEST(NameLookups, silenceCostsTheTimeOutAClosedPortNothingTheResolverItsOwnThread)
{
    uint16_t silent = 0, closed = 0;
    const UniqueFd listener = test::LoopbackSocket(SOCK_DGRAM | SOCK_NONBLOCK, silent);
    test::LoopbackSocket(SOCK_DGRAM, closed); // closed again at once
    for (const bool netbios : {true, false}) {
        LinuxNameLookups lookups(silent, silent);
        auto start = Steady::now();
        EXPECT_EQ(netbios ? lookups.NetbiosName(kLoopback, 600) : lookups.MdnsName(kLoopback, 600),
                  std::nullopt);
        EXPECT_GE(Steady::now() - start, std::chrono::milliseconds(590));
        EXPECT_LT(Steady::now() - start, std::chrono::milliseconds(1500));
        int questions = 0; // the question, and once more at half time as datagrams get lost
        for (uint8_t q[512]; ::recv(listener.Get(), q, sizeof q, 0) > 0;)
            ++questions;
        EXPECT_EQ(questions, 2) << netbios;

        LinuxNameLookups nobody(closed, closed);
        start = Steady::now();
        EXPECT_EQ(netbios ? nobody.NetbiosName(kLoopback, 3000) : nobody.MdnsName(kLoopback, 3000),
                  std::nullopt);
        EXPECT_LT(Steady::now() - start, std::chrono::milliseconds(1000)) << "port unreachable";
    }
    EXPECT_NE(LinuxNameLookups().ResolverName(kLoopback, 2000).value_or(""), ""); // hosts file
}

} // namespace
} // namespace zelvo
