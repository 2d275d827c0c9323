#include "app/LogWriter.h"
#include "search/ComputerName.h"
#include "search/EchoProbe.h"
#include "search/LinuxSearchNetwork.h"

#include "probeFakes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace zelvo {
namespace {

using namespace probetest;

constexpr uint16_t kOurId = 0x2A17;
const Ipv4Address kUnit = Ipv4Address::FromOctets(10, 231, 7, 21);
const Ipv4Address kPc = Ipv4Address::FromOctets(10, 231, 7, 10);

uint16_t NetworkOrderSum(const std::vector<uint8_t>& m)
{
    uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < m.size(); i += 2)
        sum += (uint32_t{m[i]} << 8) | m[i + 1];
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

uint32_t TickOf(const std::vector<uint8_t>& request)
{
    return uint32_t{request[8]} | (uint32_t{request[9]} << 8) | (uint32_t{request[10]} << 16) |
           (uint32_t{request[11]} << 24);
}

uint16_t SequenceOf(const std::vector<uint8_t>& request)
{
    return static_cast<uint16_t>(request[6] | (request[7] << 8));
}

void ExpectWellFormedRequest(const SentDatagram& sent, uint16_t sequence)
{
    ASSERT_EQ(sent.bytes.size(), 44u);
    EXPECT_EQ(sent.port, 5005);
    EXPECT_EQ(sent.bytes[0], 8);
    EXPECT_EQ(sent.bytes[4], kOurId & 0xFF);
    EXPECT_EQ(sent.bytes[5], kOurId >> 8);
    EXPECT_EQ(SequenceOf(sent.bytes), sequence);
    EXPECT_EQ(TickOf(sent.bytes), static_cast<uint32_t>(sent.atMs)) << "tick taken at the send";
    EXPECT_EQ(NetworkOrderSum(sent.bytes), 0xFFFF) << "checksum";
}

struct ProbeCase
{
    const char* what;
    std::function<void(FakeIcmpWorld&)> arrange;
    int result;
    std::size_t sends;
    std::vector<int> receiveTimeouts;
};

TEST(EchoProbe, anyIcmpButOurOwnRequestIsAnAnswer)
{
    const auto reply = WithIpHeader(EchoReplyMessage(0x0777));
    const auto own = WithIpHeader(OwnRequestMessage(kOurId, 0));
    const std::vector<ProbeCase> cases = {
        {"echo reply",
         [&](FakeIcmpWorld& w) {
             w.incoming.push_back({IoStatus::Ok, reply, 3});
         },
         1,
         1,
         {2000}},
        {"nothing answers", [](FakeIcmpWorld&) {}, 0, 1, {2000}},
        {"our request comes back, then nothing",
         [&](FakeIcmpWorld& w) {
             w.incoming.push_back({IoStatus::Ok, own, 500});
         },
         0,
         1,
         {2000, 1500}},
        {"our request comes back, then the reply",
         [&](FakeIcmpWorld& w) {
             w.incoming.push_back({IoStatus::Ok, own, 1});
             w.incoming.push_back({IoStatus::Ok, reply, 10});
         },
         1,
         1,
         {2000, 1999}},
        {"host unreachable",
         [](FakeIcmpWorld& w) {
             w.incoming.push_back({IoStatus::Ok, WithIpHeader(HostUnreachableMessage()), 1});
         },
         1,
         1,
         {2000}},
        {"another process's request",
         [](FakeIcmpWorld& w) {
             w.incoming.push_back({IoStatus::Ok, WithIpHeader(OwnRequestMessage(0x0999, 0)), 1});
         },
         1,
         1,
         {2000}},
        {"a datagram with a broken IP header",
         [](FakeIcmpWorld& w) {
             w.incoming.push_back({IoStatus::Ok, {0x00, 0x01}, 1});
         },
         1,
         1,
         {2000}},
        {"ping socket: reply without IP header",
         [](FakeIcmpWorld& w) {
             w.pingSocket = true;
             w.incoming.push_back({IoStatus::Ok, EchoReplyMessage(0x0777), 1});
         },
         1,
         1,
         {2000}},
        {"the answer comes too late",
         [&](FakeIcmpWorld& w) {
             w.incoming.push_back({IoStatus::Ok, reply, 2001});
         },
         0,
         1,
         {2000}},
        {"no socket", [](FakeIcmpWorld& w) { w.openFails = true; }, 0, 0, {}},
        {"send fails",
         [](FakeIcmpWorld& w) { w.sendResults.push_back(IoStatus::Failed); },
         0,
         1,
         {}},
        {"send times out",
         [](FakeIcmpWorld& w) { w.sendResults.push_back(IoStatus::TimedOut); },
         0,
         1,
         {}},
        {"receive fails",
         [](FakeIcmpWorld& w) {
             w.incoming.push_back({IoStatus::Failed, {}, 5});
         },
         0,
         1,
         {2000}},
    };
    for (const ProbeCase& c : cases) {
        SCOPED_TRACE(c.what);
        ManualClock clock;
        FakeIcmpWorld world(clock);
        c.arrange(world);
        FakeIcmpSockets sockets(world);
        const EchoServices services{sockets, clock, kOurId};

        EXPECT_EQ(EchoProbe(services, kUnit, 2000), c.result);
        EXPECT_EQ(world.sent.size(), c.sends);
        EXPECT_EQ(world.receiveTimeouts, c.receiveTimeouts);
        EXPECT_EQ(world.liveSockets, 0) << "socket closed on every path";
        if (!world.sent.empty()) {
            EXPECT_EQ(world.sent[0].to, kUnit);
            EXPECT_EQ(world.sent[0].timeoutMs, 2000);
            ExpectWellFormedRequest(world.sent[0], 0);
        }
        if (!world.opens.empty()) {
            EXPECT_FALSE(world.opens[0].broadcast);
        }
    }
}

TEST(EchoProbe, noAnswerCostsTheWholeTimeOutAndStopEndsItEarly)
{
    ManualClock clock;
    FakeIcmpWorld world(clock);
    FakeIcmpSockets sockets(world);
    const EchoServices services{sockets, clock, kOurId};
    const int64_t start = clock.MonotonicMs();
    EXPECT_EQ(EchoProbe(services, kUnit, 2000), 0);
    EXPECT_EQ(clock.MonotonicMs() - start, 2000);

    const std::atomic<bool> stop{true};
    EXPECT_EQ(EchoProbe(services, kUnit, 2000, &stop), 0);
    EXPECT_EQ(clock.MonotonicMs() - start, 2000) << "a stopped probe waits no more";
    EXPECT_EQ(world.liveSockets, 0);
}

struct BroadcastCase
{
    const char* what;
    std::function<void(FakeIcmpWorld&)> arrange;
    int result;
    std::size_t sends;
    std::vector<int> receiveTimeouts;
    int64_t elapsedMs;
};

TEST(BroadcastEcho, twoAttemptsEachEndingAtTheFirstAnswer)
{
    const auto reply = WithIpHeader(EchoReplyMessage(0x0777));
    const std::vector<BroadcastCase> cases = {
        {"nobody answers: about 14 s", [](FakeIcmpWorld&) {}, 1, 2, {7000, 7000}, 14000},
        {"units answer both",
         [&](FakeIcmpWorld& w) {
             w.incoming.push_back({IoStatus::Ok, reply, 2});
             w.incoming.push_back({IoStatus::Ok, reply, 3});
         },
         1,
         2,
         {7000, 7000},
         5},
        {"our looped-back broadcasts are skipped",
         [&](FakeIcmpWorld& w) {
             w.incoming.push_back({IoStatus::Ok, WithIpHeader(OwnRequestMessage(kOurId, 0)), 0});
             w.incoming.push_back({IoStatus::Ok, reply, 4});
             w.incoming.push_back({IoStatus::Ok, WithIpHeader(OwnRequestMessage(kOurId, 1)), 1});
             w.incoming.push_back({IoStatus::Ok, reply, 1});
         },
         1,
         2,
         {7000, 7000, 7000, 6999},
         6},
        {"a send time-out ends only its attempt",
         [](FakeIcmpWorld& w) {
             w.sendResults = {IoStatus::TimedOut, IoStatus::Ok};
         },
         1,
         2,
         {7000},
         14000},
        {"first send fails",
         [](FakeIcmpWorld& w) { w.sendResults = {IoStatus::Failed}; },
         0,
         1,
         {},
         0},
        {"second send fails",
         [](FakeIcmpWorld& w) {
             w.sendResults = {IoStatus::Ok, IoStatus::Failed};
         },
         0,
         2,
         {7000},
         7000},
        {"receive fails",
         [](FakeIcmpWorld& w) {
             w.incoming.push_back({IoStatus::Failed, {}, 10});
         },
         0,
         1,
         {7000},
         10},
        {"no socket", [](FakeIcmpWorld& w) { w.openFails = true; }, 0, 0, {}, 0},
    };
    for (const BroadcastCase& c : cases) {
        SCOPED_TRACE(c.what);
        ManualClock clock;
        FakeIcmpWorld world(clock);
        c.arrange(world);
        FakeIcmpSockets sockets(world);
        const EchoServices services{sockets, clock, kOurId};
        const int64_t start = clock.MonotonicMs();

        EXPECT_EQ(BroadcastEcho(services, kPc), c.result);
        EXPECT_EQ(clock.MonotonicMs() - start, c.elapsedMs);
        EXPECT_EQ(world.sent.size(), c.sends);
        EXPECT_EQ(world.receiveTimeouts, c.receiveTimeouts);
        EXPECT_EQ(world.liveSockets, 0);
        ASSERT_EQ(world.opens.size(), 1u);
        EXPECT_TRUE(world.opens[0].broadcast);
        EXPECT_EQ(world.opens[0].outgoingAddress, kPc) << "leaves through the PC's interface";
        for (std::size_t i = 0; i < world.sent.size(); ++i) {
            EXPECT_EQ(world.sent[i].to, Ipv4Address{0xFFFFFFFFu});
            EXPECT_EQ(world.sent[i].timeoutMs, 7000);
            ExpectWellFormedRequest(world.sent[i], static_cast<uint16_t>(i));
        }
    }
}

TEST(BroadcastEcho, aStopEndsTheCallWithoutTheSecondAttempt)
{
    ManualClock clock;
    FakeIcmpWorld world(clock);
    FakeIcmpSockets sockets(world);
    const std::atomic<bool> stop{true};
    EXPECT_EQ(BroadcastEcho(EchoServices{sockets, clock, kOurId}, kPc, &stop), 0);
    EXPECT_EQ(world.sent.size(), 1u);
    EXPECT_EQ(world.liveSockets, 0);
}

class FakeNameLookups final : public NameLookups
{
public:
    std::optional<std::string> netbios, resolver, mdns;
    std::vector<std::string> calls;

    std::optional<std::string> NetbiosName(Ipv4Address, int timeoutMs) override
    {
        calls.push_back("netbios " + std::to_string(timeoutMs));
        return netbios;
    }
    std::optional<std::string> ResolverName(Ipv4Address, int timeoutMs) override
    {
        calls.push_back("resolver " + std::to_string(timeoutMs));
        return resolver;
    }
    std::optional<std::string> MdnsName(Ipv4Address, int timeoutMs) override
    {
        calls.push_back("mdns " + std::to_string(timeoutMs));
        return mdns;
    }
};

TEST(ComputerName, asksNetbiosThenTheResolverThenMdns)
{
    using Name = std::optional<std::string>;
    struct Case
    {
        const char* what;
        Name netbios, resolver, mdns;
        Name expected;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"NetBIOS answers", "NAS01", "nas01.lan", "nas01", "NAS01", {"netbios 300"}},
        {"then the resolver",
         std::nullopt,
         "nas01.lan",
         "nas01",
         "nas01.lan",
         {"netbios 300", "resolver 400"}},
        {"then mDNS",
         std::nullopt,
         std::nullopt,
         "nas01",
         "nas01",
         {"netbios 300", "resolver 400", "mdns 500"}},
        {"empty names do not count",
         "",
         "",
         "nas01",
         "nas01",
         {"netbios 300", "resolver 400", "mdns 500"}},
        {"nobody knows",
         std::nullopt,
         std::nullopt,
         "",
         std::nullopt,
         {"netbios 300", "resolver 400", "mdns 500"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeNameLookups lookups;
        lookups.netbios = c.netbios;
        lookups.resolver = c.resolver;
        lookups.mdns = c.mdns;
        EXPECT_EQ(LookUpComputerName(lookups, kUnit, NameLookupTimeouts{300, 400, 500}),
                  c.expected);
        EXPECT_EQ(lookups.calls, c.calls);
    }
}

class LogFile
{
public:
    LogFile()
    {
        m_path = std::filesystem::temp_directory_path() /
                 ("probe-echo-" + std::to_string(::getpid()) + ".log");
        LogWriter::SetLogPath(m_path.string());
        LogWriter::CreateEmpty();
    }
    ~LogFile() { std::filesystem::remove(m_path); }
    std::string Text() const
    {
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    std::filesystem::path m_path;
};

TEST(LinuxSearchNetwork, logsOnceWhyNoIcmpSocketCanBeHad)
{
    LogFile log;
    ManualClock clock;
    FakeIcmpWorld world(clock);
    FakeIcmpSockets sockets(world);
    FakeNameLookups lookups;
    Ipv4Address pc = kPc;
    LinuxSearchNetwork network(sockets, lookups, [&pc] { return pc; });

    EXPECT_EQ(network.IcmpProblem(), SocketProblem::None) << "nothing known yet";
    world.openFails = true;
    EXPECT_EQ(network.EchoProbe(kUnit, 2000), 0);
    EXPECT_EQ(network.BroadcastEcho(), 0);
    const std::string refused = " ICMP echo cannot be sent: the helper lacks CAP_NET_RAW\r\n";
    EXPECT_EQ(log.Text(), refused);
    EXPECT_EQ(network.IcmpProblem(), SocketProblem::HelperUnprivileged);

    world.openFails = false; // set up meanwhile
    network.EchoProbe(kUnit, 2000);
    EXPECT_EQ(log.Text(), refused) << "success is not logged";
    EXPECT_EQ(network.IcmpProblem(), SocketProblem::None);
    world.openFails = true;
    network.EchoProbe(kUnit, 2000);
    EXPECT_EQ(log.Text(), refused + refused) << "lost again: said again";

    world.openFails = false;
    world.pingSocket = true;
    network.EchoProbe(kUnit, 2000);
    network.EchoProbe(kUnit, 2000);
    EXPECT_EQ(network.IcmpProblem(), SocketProblem::None) << "a ping socket still probes";
    EXPECT_EQ(log.Text(), refused + refused +
                              " ICMP echo through a ping socket: the helper could not be "
                              "started\r\n");
}

TEST(LinuxSearchNetwork, broadcastsThroughThePcAddressOfTheMomentAndNamesThroughTheChain)
{
    LogFile log;
    ManualClock clock;
    FakeIcmpWorld world(clock);
    world.sendResults = {IoStatus::Failed, IoStatus::Failed};
    FakeIcmpSockets sockets(world);
    FakeNameLookups lookups;
    lookups.resolver = "nas09";
    Ipv4Address pc = kPc;
    LinuxSearchNetwork network(sockets, lookups, [&pc] { return pc; });

    network.BroadcastEcho();
    pc = Ipv4Address::FromOctets(192, 168, 5, 5);
    network.BroadcastEcho();
    ASSERT_EQ(world.opens.size(), 2u);
    EXPECT_EQ(world.opens[0].outgoingAddress, kPc);
    EXPECT_EQ(world.opens[1].outgoingAddress, pc);

    EXPECT_EQ(network.ReverseName(kUnit), "nas09");
    EXPECT_EQ(lookups.calls, (std::vector<std::string>{"netbios 1000", "resolver 2000"}));
}

} // namespace
} // namespace zelvo
