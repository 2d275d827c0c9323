// The responder runs; each progress pass moves the clock on by a second.
#include "core/MessageCatalogue.h"
#include "dhcp/DhcpCommands.h"
#include "dhcp/DhcpMessage.h"
#include "platform/DatagramReceive.h"
#include "support/FakeClock.h"
#include "support/FakeFrontEnd.h"
#include "support/FakePasses.h"
#include "support/FakeUrlOpener.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/TemporaryLog.h"
#include "support/WaitUntil.h"

#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <deque>

namespace zelvo {
namespace {

Ipv4Address Ip(uint8_t last)
{
    return Ipv4Address::FromOctets(192, 168, 1, last);
}
const MacAddress kUnit = {0x02, 0x5a, 0xe1, 0x42, 0x00, 0x07};
const MacAddress kForeign = {0x52, 0x54, 0x00, 0x12, 0x34, 0x56};

std::vector<uint8_t> Request(uint8_t type, const MacAddress& mac, std::vector<uint8_t> options = {})
{
    std::vector<uint8_t> m(300, 0);
    m[0] = 1, m[1] = 1, m[2] = 6;
    std::copy(mac.begin(), mac.end(), m.begin() + 28);
    std::vector<uint8_t> all = {99, 130, 83, 99, 53, 1, type};
    all.insert(all.end(), options.begin(), options.end());
    all.push_back(255);
    std::copy(all.begin(), all.end(), m.begin() + 236);
    return m;
}
const std::vector<uint8_t> kSelecting =
    Request(kDhcpRequest, kUnit, {54, 4, 192, 168, 1, 60, 50, 4, 192, 168, 1, 50}); // .60's OFFER

// Port 67 as a socket pair; the test writes a queued request each progress pass.
struct FakePort final : DhcpSocketOpener
{
    struct End final : DhcpServerSocket
    {
        int fd;
        std::vector<std::vector<uint8_t>>& sent;
        End(int f, std::vector<std::vector<uint8_t>>& s) : fd(f), sent(s) {}
        Outcome<DatagramReceipt> Receive(std::span<uint8_t> buffer,
                                         const std::atomic<bool>* stop) override
        {
            return ReceiveDatagram(fd, buffer, stop);
        }
        Outcome<std::size_t> Send(std::span<const uint8_t> bytes, Ipv4Address to, int) override
        {
            EXPECT_EQ(to, Ipv4Address::FromOctets(255, 255, 255, 255));
            return sent.emplace_back(bytes.begin(), bytes.end()).size();
        }
    };
    int ends[2] = {-1, -1};
    std::vector<std::vector<uint8_t>> sent;
    std::deque<std::vector<uint8_t>> queued;
    FakePort() { ::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, ends); }
    ~FakePort() override { ::close(ends[0]), ::close(ends[1]); }
    DhcpSocketOpen Open() override
    {
        DhcpSocketOpen open;
        open.socket = std::make_unique<End>(ends[0], sent);
        return open;
    }
    void SendNext()
    {
        if (queued.empty())
            return;
        ASSERT_EQ(::send(ends[1], queued.front().data(), queued.front().size(), 0),
                  ssize_t(queued.front().size()));
        queued.pop_front();
        pollfd p{ends[0], POLLIN, 0};
        test::Eventually([&] { return ::poll(&p, 1, 0) == 0; }); // the run took it
    }
    std::vector<int> Offered(uint8_t type) const // the last octets of the replies' addresses
    {
        std::vector<int> octets;
        for (const auto& s : sent)
            if (ParseMessageType(s) == type)
                octets.push_back(s[dhcp::kYiaddr + 3]);
        return octets;
    }
};

struct FakeProbes final : UnitProbes // an address answers from its second probe on
{
    std::vector<int> echoed; // last octets, reservation and name probes alike
    std::optional<std::string> name = "NAS07";
    int EchoProbe(Ipv4Address a, int) override
    {
        echoed.push_back(a.Octets()[3]);
        return std::count(echoed.begin(), echoed.end(), a.Octets()[3]) > 1 ? 1 : 0;
    }
    int BroadcastEcho() override { return 1; }
    std::optional<std::string> ReverseName(Ipv4Address) override { return name; }
};

struct Responder
{
    test::TemporaryLog log;
    std::unique_ptr<RunState> state = std::make_unique<RunState>();
    test::FakeFrontEnd front;
    FakePort port;
    test::FakeClock clock;
    test::FakePasses passes;
    ScriptedMessageBoxes boxes;
    FakeUrlOpener urls;
    std::shared_ptr<FakeProbes> probes = std::make_shared<FakeProbes>();
    PcSubnet subnet{Ip(60), {255, 255, 255, 0}};
    UsedAddressTable used;
    IniValues settings;
    DhcpCommands dhcp{Services()};

    explicit Responder(std::vector<MessageAnswer> answers = {},
                       std::vector<std::vector<uint8_t>> in = {})
    {
        for (MessageAnswer a : answers)
            boxes.AddAnswer(a);
        port.queued.assign(in.begin(), in.end());
        passes.onPass = [this] { port.SendNext(), clock.Advance(1000); };
        state->language = 409;
        state->host.pcAddress = Ip(60);
        state->host.NetInfoAvailable = 1;
        settings.SetSlot(1, "/index.html");
    }
    DhcpServices Services()
    {
        DhcpServices s{*state, front, passes, boxes, urls,    probes,
                       port,   clock, subnet, used,  settings};
        s.readFirewall = nullptr;
        s.neighbours = nullptr;
        return s;
    }
    std::vector<std::string> Texts() const { return boxes.Texts(); }
};

TEST(ListenRun, servesTheUnitAfterTheUsersYesListsItByNameAndOpensItsPage)
{
    Responder r({MessageAnswer::Yes, MessageAnswer::Ok},
                {Request(kDhcpDiscover, kUnit), Request(kDhcpDiscover, kUnit),
                 Request(kDhcpDiscover, kForeign), Request(kDhcpRelease, kUnit), kSelecting});
    EXPECT_EQ(r.dhcp.ListenRun(), 1);
    EXPECT_EQ(r.Texts().at(0), std::string(MessageCatalogue::Text(131)) +
                                   " : 02-5a-e1-42-00-07\r\n\r\n" + MessageCatalogue::Text(109));
    EXPECT_EQ(r.port.Offered(kDhcpOffer), (std::vector<int>{50, 50}));
    EXPECT_EQ(r.port.Offered(kDhcpAck), std::vector<int>{50});
    EXPECT_EQ(r.port.sent.size(), 3u);                       // nothing for the PC
    EXPECT_EQ(r.probes->echoed, (std::vector<int>{50, 50})); // the reservation's, the name's
    for (
        const char* line :
        {" Rcv  : Dhcp_Discover [02-5a-e1-42-00-07] ... Accept.\r\n",
         " Rcv  : Dhcp_Discover [52-54-00-12-34-56] ... Reject.\r\n", "  Rcv : Dhcp_Release.\r\n",
         "  [Phase 2] Reserved IP address : 192.168.001.050\r\n Send reply\r\n  sendto (312:312)\r\n",
         " Close socket\r\n counter:1  \r\n\r\n Going to Get VELDIX Name.\r\n",
         "<<< Close DHCP function (1).\r\n"})
        EXPECT_TRUE(r.log.Has(line)) << line;
    // No name is asked for before 31 s.
    EXPECT_EQ(r.passes.timedPhases.front(), 0);
    EXPECT_EQ(r.passes.timedPhases.back(), 1);
    EXPECT_GE(r.passes.retrievePasses, 31);
    EXPECT_EQ(r.front.Rows(),
              (std::vector<std::string>{"|||", "NAS07|192.168.1.50|02-5a-e1-42-00-07|VELDIX [0]"}));
    EXPECT_EQ(r.state->devices.RowCount, 2);
    EXPECT_EQ(r.front.Buttons(), "111111");
    EXPECT_EQ(r.Texts().at(1), std::string(MessageCatalogue::Text(121)) +
                                   " : 192. 168. 001. 050.\n\n" + MessageCatalogue::Text(135));
    EXPECT_EQ(r.urls.Opened(), std::vector<std::string>{"http://192.168.1.50/index.html"});
}

TEST(SetIpRun, thatHeardNothingSaysSo)
{
    Responder r({MessageAnswer::Yes});
    DhcpServices shortWait = r.Services();
    shortWait.setIpWindowSeconds = 5;
    DhcpCommands(shortWait).SetIpRun();
    EXPECT_EQ(r.passes.timedPhases, std::vector<int>(5, 0));
    EXPECT_EQ(r.Texts(),
              (std::vector<std::string>{MessageCatalogue::Text(109), MessageCatalogue::Text(955)}));
    EXPECT_EQ(r.front.Buttons(), "--1111"); // open network: the address end
}

// At a pass a datagram, 300 foreign DISCOVERs would end the 80 s window before the unit's.
TEST(SetIpRun, aUnitIsServedAmongAFloodOfForeignRequests)
{
    Responder r({MessageAnswer::Yes, MessageAnswer::Ok});
    r.passes.onPass = [&r] { r.clock.Advance(1000); };
    std::atomic<bool> stop{false};
    std::thread foreign([&] {
        std::vector<std::vector<uint8_t>> flood;
        for (int i = 0; i < 300; ++i)
            flood.push_back(
                Request(kDhcpDiscover, {0x52, 0x54, 0, 0, uint8_t(i >> 8), uint8_t(i)}));
        flood.push_back(Request(kDhcpDiscover, kUnit));
        flood.push_back(kSelecting);
        for (const auto& d : flood) {
            while (::send(r.port.ends[1], d.data(), d.size(), MSG_DONTWAIT) < 0) {
                if (stop.load() || errno != EAGAIN)
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            r.clock.Advance(10);
        }
    });
    r.dhcp.SetIpRun();
    stop = true;
    foreign.join();
    EXPECT_EQ(r.port.Offered(kDhcpAck), std::vector<int>{50});
    EXPECT_EQ(r.state->devices.rows[1].mac, kUnit);
    EXPECT_GE(r.passes.timedPhases.size(), 2u);
    EXPECT_LE(r.passes.timedPhases.size(), 60u);
    const std::string log = r.log.Text();
    int receives = 0;
    for (std::size_t at = log.find(">>> Start receive"); at != log.npos;
         at = log.find(">>> Start receive", at + 1))
        ++receives;
    EXPECT_EQ(receives, 200);
    EXPECT_TRUE(r.log.Has("  Receive lines of 102 more datagrams on port 67 not logged\r\n"));
    EXPECT_TRUE(r.log.Has("Received Dhcp_Discover.\r\n"));
}

TEST(SetIpRun, aFullListGetsNoRowButTheUserStillGetsTheAddressAndThePage)
{
    for (const bool sameMac : {false, true}) {
        Responder r({MessageAnswer::Yes, MessageAnswer::Ok},
                    {Request(kDhcpRequest, kUnit, {50, 4, 192, 168, 1, 77})}); // rebooting
        DeviceList& d = r.state->devices;
        d.UnitCount = sameMac ? 3 : DeviceList::kUnitRows;
        d.RowCount = DeviceList::kRows; // the record count may run ahead of the list
        for (int k = 0; k < d.UnitCount; ++k) {
            d.UnitRows[k] = k + 1;
            d.rows[k + 1].mac = {0x02, 0x5a, 0xe1, 0x42, 0x01, uint8_t(k)};
        }
        if (sameMac)
            d.rows[2].mac = kUnit;
        r.dhcp.SetIpRun();
        EXPECT_EQ(r.urls.Opened().size(), 1u);
        EXPECT_EQ(r.boxes.ShownBoxes().size(), 2u);
        EXPECT_EQ(d.UnitCount, sameMac ? 3 : DeviceList::kUnitRows); // its own row again
        const std::vector<std::string> rows = r.front.Rows();
        EXPECT_EQ(rows.size() > 2 ? rows[2] : "",
                  sameMac ? "NAS07|192.168.1.50|02-5a-e1-42-00-07|" : "");
        EXPECT_EQ(r.log.Has("the unit is not listed"), !sameMac);
    }
}

} // namespace
} // namespace zelvo
