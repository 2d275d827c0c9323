// The two responder runs on the window's state: a fake port 67 (a socket pair the test
// writes requests into, replies recorded), scripted answers, a fake clock that each
// progress pass moves on by a second, and fake probes for the free address and the name.
#include "core/MessageCatalogue.h"
#include "core/ScriptedMessageBoxes.h"
#include "dhcp/DhcpCommands.h"
#include "dhcp/DhcpMessage.h"
#include "dhcp/TestLog.h"
#include "platform/DatagramReceive.h"
#include "support/FakeClock.h"
#include "support/FakeDialogControls.h"
#include "support/FakeUrlOpener.h"
#include "support/WaitUntil.h"

#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <deque>
#include <mutex>
#include <thread>

namespace zelvo {
namespace {

Ipv4Address Ip(uint8_t last)
{
    return Ipv4Address::FromOctets(192, 168, 1, last);
}
const MacAddress kUnit = {0x02, 0x5a, 0xe1, 0x42, 0x00, 0x07};
const MacAddress kForeign = {0x52, 0x54, 0x00, 0x12, 0x34, 0x56};

// A client's message; options follow option 53.
std::vector<uint8_t> Request(uint8_t type, const MacAddress& mac, uint8_t xid = 1,
                             std::vector<uint8_t> options = {})
{
    std::vector<uint8_t> m(300, 0);
    m[0] = 1, m[1] = 1, m[2] = 6, m[7] = xid;
    std::copy(mac.begin(), mac.end(), m.begin() + 28);
    std::vector<uint8_t> all = {99, 130, 83, 99, 53, 1, type};
    all.insert(all.end(), options.begin(), options.end());
    all.push_back(255);
    std::copy(all.begin(), all.end(), m.begin() + 236);
    return m;
}

// The REQUEST of a client that took the OFFER of server for address.
std::vector<uint8_t> Selecting(const MacAddress& mac, uint8_t server, uint8_t address)
{
    return Request(kDhcpRequest, mac, 1, {54, 4, 192, 168, 1, server, 50, 4, 192, 168, 1, address});
}

// The REQUEST of a client that reboots and asks for its old address.
std::vector<uint8_t> Rebooting(const MacAddress& mac, uint8_t address)
{
    return Request(kDhcpRequest, mac, 1, {50, 4, 192, 168, 1, address});
}

struct Sent
{
    std::vector<uint8_t> bytes;
    Ipv4Address to;
};

// Port 67 as a socket pair: the run reads one end, the test writes requests into the other.
struct FakeSocket final : DhcpServerSocket
{
    int fd;
    std::vector<Sent>& sent;
    FakeSocket(int f, std::vector<Sent>& s) : fd(f), sent(s) {}
    DatagramReceipt Receive(std::span<uint8_t> buffer, const std::atomic<bool>* stop) override
    {
        return ReceiveDatagram(fd, buffer, stop);
    }
    long Send(std::span<const uint8_t> bytes, Ipv4Address to, int) override
    {
        sent.push_back({{bytes.begin(), bytes.end()}, to});
        return long(bytes.size());
    }
};

struct FakeOpener final : DhcpSocketOpener
{
    int ends[2] = {-1, -1};
    int opens = 0;
    int error = 0; // when set, Open fails with it
    std::vector<Sent> sent;
    FakeOpener() { ::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, ends); }
    ~FakeOpener()
    {
        ::close(ends[0]);
        ::close(ends[1]);
    }
    DhcpSocketOpen Open() override
    {
        ++opens;
        DhcpSocketOpen open;
        if (error) {
            open.problem = SocketProblem::OpenFailed;
            open.error = error;
            open.detail = "bind failed";
            open.portHolder = error == EADDRINUSE ? "dnsmasq (libvirt)" : "";
        } else {
            open.socket = std::make_unique<FakeSocket>(ends[0], sent);
        }
        return open;
    }
    // Requests wait here and go out one per timed pass, as a client sends them.
    std::deque<std::vector<uint8_t>> queued;
    void Deliver(const std::vector<uint8_t>& datagram) { queued.push_back(datagram); }
    void SendNext()
    {
        if (queued.empty())
            return;
        const std::vector<uint8_t> d = std::move(queued.front());
        queued.pop_front();
        ASSERT_EQ(::send(ends[1], d.data(), d.size(), 0), ssize_t(d.size()));
    }
    bool Pending() const
    {
        pollfd p{ends[0], POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }
};

// The candidate is silent when the reservation probes it; once it is the unit's, it answers.
struct FakeProbes final : UnitProbes
{
    std::mutex mutex;
    std::vector<int> echoed; // last octets, reservation and name probes alike
    std::vector<int> answering;
    std::optional<std::string> name = "NAS07";
    int names = 0;
    int EchoProbe(Ipv4Address a, int) override
    {
        std::lock_guard lock(mutex);
        const int last = a.Octets()[3];
        const bool before = std::count(echoed.begin(), echoed.end(), last) > 0;
        echoed.push_back(last);
        return before || std::count(answering.begin(), answering.end(), last) ? 1 : 0;
    }
    int BroadcastEcho() override { return 1; }
    std::optional<std::string> ReverseName(Ipv4Address) override
    {
        std::lock_guard lock(mutex);
        ++names;
        return name;
    }
};

// A timed pass sends the next queued request and lets the receive worker take it; every
// pass moves the clock on by a second.
struct Passes final : ProgressPasses
{
    FakeOpener& port;
    test::FakeClock& clock;
    std::vector<int> timedPhases;
    int retrievePasses = 0;
    bool waitForReader = true; // off when another thread keeps the port busy
    Passes(FakeOpener& p, test::FakeClock& c) : port(p), clock(c) {}
    void RunProgressPass(int, int) override { Pass(); }
    void RunTimedPass(int, int phase) override
    {
        timedPhases.push_back(phase);
        port.SendNext();
        if (waitForReader)
            test::Eventually([&] { return !port.Pending(); });
        Pass();
    }
    void RunSearchPass(int, int) override { Pass(); }
    void RunRetrievePass(int) override { ++retrievePasses, Pass(); }
    void Pass()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        clock.Advance(1000);
    }
};

struct Window
{
    test::TemporaryLog log;
    std::unique_ptr<DialogState> state = std::make_unique<DialogState>();
    test::FakeDialogControls controls;
    FakeOpener port;
    test::FakeClock clock;
    Passes passes{port, clock};
    ScriptedMessageBoxes boxes;
    FakeUrlOpener urls;
    std::shared_ptr<FakeProbes> probes = std::make_shared<FakeProbes>();
    PcSubnet subnet{Ip(60), {255, 255, 255, 0}};
    UsedAddressTable used;
    IniValues settings;
    std::vector<NeighbourEntry> neighbours; // the PC's neighbour table
    DhcpCommands dhcp{Services()};

    DhcpServices Services()
    {
        DhcpServices services{*state, controls, passes, boxes, urls,    probes,
                              port,   clock,    subnet, used,  settings};
        services.neighbours = [this] {
            NeighbourRead read;
            read.entries = neighbours;
            return read;
        };
        return services;
    }

    explicit Window(std::vector<MessageAnswer> answers = {})
    {
        for (MessageAnswer a : answers)
            boxes.AddAnswer(a);
        state->language = 409;
        state->host.pcAddress = Ip(60);
        state->host.NetInfoAvailable = 1;
        settings.SetSlot(1, "/index.html");
    }
    std::vector<int> OfferedOctets(uint8_t type) const
    {
        std::vector<int> octets;
        for (const Sent& s : port.sent)
            if (ParseMessageType(s.bytes) == type)
                octets.push_back(s.bytes[dhcp::kYiaddr + 3]);
        return octets;
    }
    bool Logged(const std::string& line) const
    {
        return log.Text().find(line) != std::string::npos;
    }
};

TEST(ListenRun, withoutAUnitListensTenSecondsAndLetsTheSearchRun)
{
    Window w;
    EXPECT_EQ(w.dhcp.ListenRun(), 0);
    EXPECT_EQ(w.passes.timedPhases, std::vector<int>(10, 0));
    EXPECT_TRUE(w.port.sent.empty());
    EXPECT_TRUE(w.boxes.ShownBoxes().empty());
    EXPECT_EQ(w.log.Text(), "\r\n>>> Start DHCP function.\r\n"
                            " Create socket\r\n"
                            " >>> Start receive from\r\n" // ended while it waits
                            " Close socket\r\n"
                            " counter:1  \r\n"
                            "<<< Close DHCP function (0).\r\n");
    EXPECT_EQ(w.state->m_bBusy, 0);
    EXPECT_TRUE(w.controls.IsControlEnabled(kIdSetIp)); // open network: the address end
}

TEST(ListenRun, aUnitsDiscoverIsAskedAboutAndNoSendsNothing)
{
    Window w({MessageAnswer::No});
    w.port.Deliver(Request(kDhcpDiscover, kUnit));
    EXPECT_EQ(w.dhcp.ListenRun(), 0);
    ASSERT_EQ(w.boxes.ShownBoxes().size(), 1u);
    EXPECT_EQ(w.boxes.ShownBoxes()[0].text, std::string(MessageCatalogue::Text(131)) +
                                                " : 02-5a-e1-42-00-07\r\n\r\n" +
                                                MessageCatalogue::Text(109));
    EXPECT_EQ(w.boxes.ShownBoxes()[0].buttons, MessageButtons::YesNo);
    EXPECT_TRUE(w.port.sent.empty());
    EXPECT_TRUE(w.probes->echoed.empty());
    EXPECT_TRUE(w.Logged(" Rcv  : Dhcp_Discover [02-5a-e1-42-00-07] ... Accept.\r\n"));
}

TEST(ListenRun, servesTheUnitListsItByNameAndOpensItsPage)
{
    Window w({MessageAnswer::Yes, MessageAnswer::Ok});
    // The unit repeats its DISCOVER while the question is open; a PC asks too.
    for (uint8_t xid : {1, 2, 3})
        w.port.Deliver(Request(kDhcpDiscover, kUnit, xid));
    w.port.Deliver(Request(kDhcpDiscover, kForeign));
    w.port.Deliver(Request(kDhcpRelease, kUnit));
    w.port.Deliver(Selecting(kUnit, 60, 50));

    EXPECT_EQ(w.dhcp.ListenRun(), 1);

    EXPECT_EQ(w.OfferedOctets(kDhcpOffer), (std::vector<int>{50, 50, 50}));
    EXPECT_EQ(w.OfferedOctets(kDhcpAck), (std::vector<int>{50}));
    EXPECT_EQ(w.port.sent.size(), 4u); // nothing for the PC
    for (const Sent& s : w.port.sent) {
        EXPECT_EQ(s.bytes.size(), 312u);
        EXPECT_EQ(s.to, Ipv4Address::FromOctets(255, 255, 255, 255));
    }
    EXPECT_EQ(w.probes->echoed.front(), 50); // the reservation's one probe, then the name's
    EXPECT_EQ(std::count(w.probes->echoed.begin(), w.probes->echoed.end(), 50), 2);
    EXPECT_EQ(w.probes->names, 1);
    EXPECT_TRUE(w.Logged(" Rcv  : Dhcp_Discover [52-54-00-12-34-56] ... Reject.\r\n"));
    EXPECT_TRUE(w.Logged("  Rcv : Dhcp_Release.\r\n"));
    EXPECT_TRUE(w.Logged("  VELDIX found with no IP address\r\n"
                         "  [Phase 1] Reserved IP address : 192.168.001.050\r\n"
                         "  [Phase 2] Reserved IP address : 192.168.001.050\r\n"
                         " Send reply\r\n"
                         "  sendto (312:312)\r\n"));
    EXPECT_TRUE(w.Logged(" Close socket\r\n counter:1  \r\n\r\n Going to Get VELDIX Name.\r\n"));
    EXPECT_TRUE(w.Logged("<<< Close DHCP function (1).\r\n"));
    // Searching until the Yes, setting after it.
    ASSERT_GE(w.passes.timedPhases.size(), 2u);
    EXPECT_EQ(w.passes.timedPhases.front(), 0);
    EXPECT_EQ(w.passes.timedPhases.back(), 1);
    // No name is asked for before 31 s.
    EXPECT_GE(w.passes.retrievePasses, 31);

    const DeviceList& d = w.state->devices;
    EXPECT_EQ(d.RowCount, 2);
    EXPECT_EQ(d.UnitCount, 1);
    EXPECT_EQ(d.UnitRows[0], 1);
    EXPECT_STREQ(d.rows[1].name, "NAS07");
    EXPECT_STREQ(d.rows[1].ipText, "192.168.1.50");
    EXPECT_STREQ(d.rows[1].macText, "02-5a-e1-42-00-07");
    EXPECT_STREQ(d.rows[1].typeText, "VELDIX [0]");
    EXPECT_STREQ(w.controls.rows[1].name, "NAS07");
    EXPECT_EQ(w.state->UnitsFound, 1);
    EXPECT_TRUE(w.controls.IsControlEnabled(kIdBackup));

    ASSERT_EQ(w.boxes.ShownBoxes().size(), 2u);
    EXPECT_EQ(w.boxes.ShownBoxes()[1].text, std::string(MessageCatalogue::Text(121)) +
                                                " : 192. 168. 001. 050.\n\n" +
                                                MessageCatalogue::Text(135));
    EXPECT_EQ(w.urls.Opened(), std::vector<std::string>{"http://192.168.1.50/index.html"});
}

// Search's listening step answers a REQUEST only after its own OFFER to that unit, naming
// this PC; a forged one, a rebooting unit nobody said Yes for and a unit that took another
// server's OFFER are logged and left alone, and the exchange goes on.
TEST(ListenRun, answersOnlyARequestWithinTheAgreedExchange)
{
    Window w({MessageAnswer::Yes, MessageAnswer::Ok});
    w.port.Deliver(Selecting(kUnit, 60, 50)); // forged: nothing offered yet
    w.port.Deliver(Rebooting(kUnit, 77));     // before the user's Yes
    w.port.Deliver(Request(kDhcpDiscover, kUnit));
    w.port.Deliver(Selecting(kUnit, 1, 120)); // took another server's OFFER
    w.port.Deliver(Selecting(kUnit, 60, 50));
    EXPECT_EQ(w.dhcp.ListenRun(), 1);

    EXPECT_EQ(w.OfferedOctets(kDhcpOffer), std::vector<int>{50});
    EXPECT_EQ(w.OfferedOctets(kDhcpAck), std::vector<int>{50});
    EXPECT_EQ(w.port.sent.size(), 2u);
    const std::string unit = " Rcv  : Dhcp_Request  [02-5a-e1-42-00-07] ... ";
    EXPECT_TRUE(w.Logged(unit + "Reject (server 192.168.1.60, no offer of this run to it).\r\n" +
                         " >>> Start receive from\r\n"));
    EXPECT_TRUE(w.Logged(unit + "Reject (rebooting, not agreed to in this run).\r\n"));
    EXPECT_TRUE(w.Logged(unit + "Reject (server 192.168.1.1, not ours).\r\n"));
    EXPECT_TRUE(w.Logged(unit + "Accept.\r\n"));
    EXPECT_EQ(w.state->devices.UnitCount, 1);
}

TEST(SetIpRun, noAtTheQuestionOpensNothing)
{
    Window w({MessageAnswer::No});
    w.dhcp.SetIpRun();
    EXPECT_EQ(w.port.opens, 0);
    EXPECT_EQ(w.boxes.ShownBoxes().at(0).text, MessageCatalogue::Text(109));
    EXPECT_TRUE(w.controls.IsControlEnabled(kIdSetIp));
    EXPECT_EQ(w.state->m_bBusy, 0);
}

// The Yes came before Set IP listened: a unit that reboots is answered without a DISCOVER.
TEST(SetIpRun, answersARebootingUnitWithoutDiscoverAndIgnoresOthersQuietly)
{
    Window w({MessageAnswer::Yes, MessageAnswer::Ok});
    w.probes->name.reset(); // the unit never tells its name
    w.port.Deliver(Request(kDhcpDiscover, kForeign));
    w.port.Deliver(std::vector<uint8_t>(2000, 0x01)); // too long: dropped, not the end
    w.port.Deliver(Rebooting(kUnit, 77));
    w.dhcp.SetIpRun();

    EXPECT_EQ(w.OfferedOctets(kDhcpAck), std::vector<int>{50});
    EXPECT_EQ(w.port.sent.size(), 1u);
    EXPECT_FALSE(w.Logged("Reject"));
    EXPECT_TRUE(w.Logged("  Datagram longer than 1536 bytes: dropped\r\n"));
    EXPECT_TRUE(w.Logged("Received Dhcp_Request.\r\n"
                         "  [Phase 3] Reserved IP address : 192.168.001.050\r\n"));
    EXPECT_TRUE(w.Logged("\r\nGoing to Get VELDIX Name.\r\n"));
    EXPECT_STREQ(w.state->devices.rows[1].name, "NO NAME");
    EXPECT_EQ(w.boxes.ShownBoxes().at(1).text, std::string(MessageCatalogue::Text(121)) +
                                                   " : 192. 168. 001. 050.\n" +
                                                   MessageCatalogue::Text(135));
    EXPECT_EQ(w.urls.Opened().size(), 1u);
}

TEST(SetIpRun, canBeNarrowedToOneUnitAndGivenItsOwnWindow)
{
    // The command line's --mac and --wait: another unit asking is left unanswered.
    Window w({MessageAnswer::Yes, MessageAnswer::Ok});
    const MacAddress other = {0x02, 0x5a, 0xe1, 0x43, 0x00, 0x08};
    DhcpServices services = w.Services();
    services.onlyUnit = kUnit;
    services.setIpWindowSeconds = 5;
    DhcpCommands narrowed(services);
    w.port.Deliver(Request(kDhcpDiscover, other));
    w.port.Deliver(Rebooting(other, 78));
    w.port.Deliver(Rebooting(kUnit, 77));
    narrowed.SetIpRun();
    EXPECT_EQ(w.OfferedOctets(kDhcpAck), std::vector<int>{50});
    EXPECT_EQ(w.port.sent.size(), 1u);
    EXPECT_EQ(w.state->devices.rows[1].mac, kUnit);

    Window quiet({MessageAnswer::Yes});
    DhcpServices shortWait{*quiet.state, quiet.controls, quiet.passes,  quiet.boxes,
                           quiet.urls,   quiet.probes,   quiet.port,    quiet.clock,
                           quiet.subnet, quiet.used,     quiet.settings};
    shortWait.setIpWindowSeconds = 5;
    DhcpCommands(shortWait).SetIpRun();
    EXPECT_EQ(quiet.passes.timedPhases, std::vector<int>(5, 0));
    EXPECT_TRUE(quiet.port.sent.empty());
    // Not one datagram in the window: the user is told instead of a silent end.
    ASSERT_EQ(quiet.boxes.ShownBoxes().size(), 2u);
    EXPECT_EQ(quiet.boxes.ShownBoxes()[1].text, MessageCatalogue::Text(955));
}

// A host that drops echo requests but answered the probe's ARP request holds its address.
TEST(SetIpRun, passesOverASilentCandidateThatIsInTheNeighbourTable)
{
    Window w({MessageAnswer::Yes, MessageAnswer::Ok});
    w.neighbours = {{Ip(50), {0x00, 0x15, 0x5d, 0x01, 0x02, 0x03}, false}, {Ip(51), {}, false}};
    w.port.Deliver(Request(kDhcpDiscover, kUnit));
    w.port.Deliver(Selecting(kUnit, 60, 51));
    w.dhcp.SetIpRun();
    EXPECT_EQ(w.OfferedOctets(kDhcpOffer), std::vector<int>{51});
    EXPECT_EQ(w.OfferedOctets(kDhcpAck), std::vector<int>{51});
    EXPECT_TRUE(w.Logged("  192.168.1.50 is silent but in the neighbour table: in use\r\n"
                         "  [Phase 2] Reserved IP address : 192.168.001.051\r\n"));
}

TEST(SetIpRun, aUnitIsServedAmongAFloodOfForeignRequests)
{
    // 300 foreign DISCOVERs keep the port busy, 10 ms apart by the clock, before the
    // unit's DISCOVER and REQUEST: at a pass of a second each, the 80 s window would
    // end long before the unit's turn.
    Window w({MessageAnswer::Yes, MessageAnswer::Ok});
    w.passes.waitForReader = false;
    std::atomic<bool> stop{false};
    std::thread foreign([&] {
        std::vector<std::vector<uint8_t>> flood;
        for (int i = 0; i < 300; ++i)
            flood.push_back(Request(kDhcpDiscover, {0x52, 0x54, 0, 0, uint8_t(i >> 8), uint8_t(i)},
                                    uint8_t(i)));
        flood.push_back(Request(kDhcpDiscover, kUnit));
        flood.push_back(Selecting(kUnit, 60, 50));
        for (const auto& d : flood) {
            while (::send(w.port.ends[1], d.data(), d.size(), MSG_DONTWAIT) < 0) {
                if (stop.load() || errno != EAGAIN)
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            w.clock.Advance(10);
        }
    });
    w.dhcp.SetIpRun();
    stop = true;
    foreign.join();

    EXPECT_EQ(w.OfferedOctets(kDhcpOffer), std::vector<int>{50});
    EXPECT_EQ(w.OfferedOctets(kDhcpAck), std::vector<int>{50});
    EXPECT_EQ(w.state->devices.rows[1].mac, kUnit);
    // The flood's 3 s on the clock still saw a pass after the first, though not one per
    // datagram.
    EXPECT_GE(w.passes.timedPhases.size(), 2u);
    EXPECT_LE(w.passes.timedPhases.size(), 60u);
    // manager.log keeps the receive lines of the first 200 datagrams only, counts the
    // rest, and still has the unit's own steps.
    const std::string log = w.log.Text();
    std::size_t receives = 0;
    for (std::size_t at = log.find(" >>> Start receive from"); at != std::string::npos;
         at = log.find(" >>> Start receive from", at + 1))
        ++receives;
    EXPECT_EQ(receives, 200u);
    EXPECT_TRUE(w.Logged("  Receive lines of 102 more datagrams on port 67 not logged\r\n"));
    EXPECT_TRUE(w.Logged("Received Dhcp_Discover.\r\n"));
    EXPECT_TRUE(w.Logged("Received Dhcp_Request.\r\n"));
}

TEST(SetIpRun, aFullListGetsNoRowButTheUserStillGetsTheAddressAndThePage)
{
    for (const bool sameMac : {false, true}) {
        Window w({MessageAnswer::Yes, MessageAnswer::Ok});
        DeviceList& d = w.state->devices;
        d.UnitCount = sameMac ? 3 : DeviceList::kUnitRows;
        d.RowCount = DeviceList::kRows; // the record count may run ahead of the list
        for (int k = 0; k < d.UnitCount; ++k) {
            d.UnitRows[k] = k + 1;
            d.rows[k + 1].mac = {0x02, 0x5a, 0xe1, 0x42, 0x01, uint8_t(k)};
            d.rows[k + 1].SetTypeText("VELDIX [x]");
        }
        if (sameMac)
            d.rows[2].mac = kUnit;
        w.port.Deliver(Rebooting(kUnit, 77));
        w.dhcp.SetIpRun();

        EXPECT_EQ(w.urls.Opened().size(), 1u);
        EXPECT_EQ(w.boxes.ShownBoxes().size(), 2u);
        EXPECT_EQ(d.RowCount, DeviceList::kRows);
        if (sameMac) {
            EXPECT_EQ(d.UnitCount, 3); // its own row again, not a second one
            EXPECT_STREQ(d.rows[2].name, "NAS07");
            EXPECT_STREQ(d.rows[2].ipText, "192.168.1.50");
            EXPECT_STREQ(d.rows[4].name, "");
        } else {
            EXPECT_EQ(d.UnitCount, DeviceList::kUnitRows);
            EXPECT_TRUE(w.Logged("the unit is not listed"));
            EXPECT_TRUE(w.controls.rows.empty());
        }
    }
}

// Port 67 taken ends the run. Set IP, which the user asked for, tells why every time;
// Search, which finds units with an address without the port, tells once per program run.
TEST(Runs, port67TakenEndsTheRunSetIpTellsEveryTimeSearchOnce)
{
    const std::string note = std::string(MessageCatalogue::Text(931)) + "dnsmasq (libvirt)";
    const std::string question = MessageCatalogue::Text(109);
    struct Case
    {
        const char* what;
        std::vector<bool> setIp; // the runs in order: Set IP, or Search's listening step
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {"Set IP twice", {true, true}, {question, note, question, note}},
        {"Search twice", {false, false}, {note}},
        {"Search, then Set IP", {false, true}, {note, question, note}},
        {"Set IP, then Search", {true, false}, {question, note}},
    };
    for (const Case& c : cases) {
        Window w;
        for (int i = 0; i < 4; ++i)
            w.boxes.AddAnswer(MessageAnswer::Yes);
        w.port.error = EADDRINUSE;
        for (const bool setIp : c.setIp)
            setIp ? w.dhcp.SetIpRun() : void(w.dhcp.ListenRun());
        std::vector<std::string> shown;
        for (const auto& box : w.boxes.ShownBoxes())
            shown.push_back(box.text);
        EXPECT_EQ(shown, c.shown) << c.what;
        EXPECT_EQ(w.port.opens, 2) << c.what;
    }

    Window w;
    w.port.error = EADDRINUSE;
    EXPECT_EQ(w.dhcp.ListenRun(), 0);
    EXPECT_TRUE(w.passes.timedPhases.empty());
    EXPECT_TRUE(w.Logged(" Create socket\r\n Close socket\r\n"
                         "  UDP port 67: bind failed; held by dnsmasq (libvirt)\r\n"));
    EXPECT_TRUE(w.Logged("<<< Close DHCP function (0).\r\n"));
    EXPECT_EQ(w.state->m_bBusy, 0);
    EXPECT_TRUE(w.controls.IsControlEnabled(kIdSearch));
}

// An inet filter input chain that accepts by default and drops what matches.
constexpr const char* kDport67 =
    R"({"match": {"op": "==", "left": {"payload": {"protocol": "udp", "field": "dport"}}, )"
    R"("right": 67}})";

FirewallRuleset InputChainDropping(const std::string& matches)
{
    FirewallRuleset r;
    r.status = RulesetRead::Read;
    r.json = R"({"nftables": [{"table": {"family": "inet", "name": "filter"}},
        {"chain": {"family": "inet", "table": "filter", "name": "input", "type": "filter",
                   "hook": "input", "prio": 0, "policy": "accept"}},
        {"rule": {"family": "inet", "table": "filter", "chain": "input", "expr": [)" +
             matches + R"(, {"drop": null}]}}]})";
    return r;
}

TEST(Runs, aFirewallDroppingPort67IsLoggedAtEachStartAndToldOnce)
{
    Window w({MessageAnswer::Yes});
    w.state->host.adapterName = "eth0";
    DhcpServices services{*w.state, w.controls, w.passes, w.boxes, w.urls,    w.probes,
                          w.port,   w.clock,    w.subnet, w.used,  w.settings};
    int reads = 0;
    services.readFirewall = [&reads] {
        ++reads;
        return InputChainDropping(kDport67);
    };
    DhcpCommands dhcp(services);
    EXPECT_EQ(dhcp.ListenRun(), 0);
    dhcp.SetIpRun();
    EXPECT_EQ(reads, 2);
    ASSERT_GE(w.boxes.ShownBoxes().size(), 2u);
    EXPECT_EQ(
        w.boxes.ShownBoxes()[0].text,
        std::string(MessageCatalogue::Text(951)) +
            "  nft insert rule inet filter input iifname \"eth0\" udp dport 67 accept\r\n\r\n" +
            MessageCatalogue::Text(957) + "eth0");
    EXPECT_EQ(w.boxes.ShownBoxes()[1].text, MessageCatalogue::Text(109));
    ASSERT_EQ(w.boxes.ShownBoxes().size(), 3u); // not told again; then nothing was heard
    EXPECT_EQ(w.boxes.ShownBoxes()[2].text, MessageCatalogue::Text(955));
    const std::string line =
        "  Firewall\t: UDP 67 on eth0 dropped (nftables; dropped by inet filter "
        "input)\r\n";
    const std::string log = w.log.Text();
    EXPECT_NE(log.find(" Create socket\r\n" + line), std::string::npos);
    EXPECT_NE(log.find(line, log.find(line) + 1), std::string::npos); // Set IP logs it too
}

// With several cards the verdict is given for each (a unit may be on either), and the
// user is still told once.
TEST(Runs, theFirewallIsJudgedOnEveryCard)
{
    Window w;
    DhcpServices services{*w.state, w.controls, w.passes, w.boxes, w.urls,    w.probes,
                          w.port,   w.clock,    w.subnet, w.used,  w.settings};
    services.readFirewall = [] {
        return InputChainDropping(
            R"({"match": {"op": "==", "left": {"meta": {"key": "iifname"}}, "right": "eth0"}}, )" +
            std::string(kDport67));
    };
    services.cards = [] {
        PcCards cards;
        cards.usable = {{3, "wlan0", {}, Ipv4Address::FromOctets(10, 20, 0, 5), {255, 255, 0, 0}},
                        {2, "eth0", {}, Ip(60), {255, 255, 255, 0}}};
        return cards;
    };
    DhcpCommands dhcp(services);
    EXPECT_EQ(dhcp.ListenRun(), 0);
    const std::string log = w.log.Text();
    EXPECT_NE(log.find("  Firewall\t: UDP 67 on wlan0 "), std::string::npos) << log;
    EXPECT_NE(log.find("  Firewall\t: UDP 67 on eth0 dropped"), std::string::npos) << log;
    ASSERT_EQ(w.boxes.ShownBoxes().size(), 1u);
    EXPECT_NE(w.boxes.ShownBoxes()[0].text.find("eth0"), std::string::npos);
}

TEST(Runs, noFreeAddressEndsTheRunWithoutAnAnswer)
{
    Window w({MessageAnswer::Yes});
    w.subnet.subnetMask = {255, 255, 255, 254}; // a /31 has no address to give
    w.port.Deliver(Request(kDhcpDiscover, kUnit));
    w.port.Deliver(Request(kDhcpRequest, kUnit));
    EXPECT_EQ(w.dhcp.ListenRun(), 0);
    EXPECT_TRUE(w.port.sent.empty());
    EXPECT_TRUE(w.Logged("No free IP address"));
    EXPECT_EQ(w.state->devices.UnitCount, 0);
}

} // namespace
} // namespace zelvo
