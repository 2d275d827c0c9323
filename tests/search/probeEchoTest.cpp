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
const auto kReply = WithIpHeader(Echo(0x0777, 0, 0));

void ExpectRequest(const Sent& sent, uint16_t sequence)
{
    ASSERT_EQ(sent.bytes.size(), 44u);
    EXPECT_EQ(sent.port, 5005);
    EXPECT_EQ(sent.bytes[4] | (sent.bytes[5] << 8), kOurId);
    EXPECT_EQ(sent.bytes[6] | (sent.bytes[7] << 8), sequence);
    uint32_t tick;
    std::memcpy(&tick, &sent.bytes[8], 4); // little-endian on the hosts we build for
    EXPECT_EQ(tick, static_cast<uint32_t>(sent.atMs)) << "tick taken at the send";
    uint32_t sum = 0;
    for (std::size_t i = 0; i < 44; i += 2)
        sum += (sent.bytes[i] << 8) | sent.bytes[i + 1];
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    EXPECT_EQ(sum, 0xFFFFu) << "checksum";
}

struct Case
{
    const char* what;
    std::function<void(FakeIcmp&)> arrange;
    int result;
    std::size_t sends;
    std::vector<int> receiveTimeouts;
    int64_t elapsedMs;
};

TEST(EchoProbe, anyIcmpButOurOwnRequestIsAnAnswer)
{
    const auto own = WithIpHeader(Echo(kOurId, 0));
    const std::vector<Case> cases = {
        {"echo reply",
         [](FakeIcmp& w) {
             w.incoming = {{IoStatus::Ok, kReply, 3}};
         },
         1,
         1,
         {2000},
         3},
        {"nothing answers", [](FakeIcmp&) {}, 0, 1, {2000}, 2000},
        {"our request comes back, then nothing",
         [&](FakeIcmp& w) {
             w.incoming = {{IoStatus::Ok, own, 500}};
         },
         0,
         1,
         {2000, 1500},
         2000},
        {"our request comes back, then the reply",
         [&](FakeIcmp& w) {
             w.incoming = {{IoStatus::Ok, own, 1}, {IoStatus::Ok, kReply, 10}};
         },
         1,
         1,
         {2000, 1999},
         11},
        {"another process's request",
         [](FakeIcmp& w) {
             w.incoming = {{IoStatus::Ok, WithIpHeader(Echo(0x0999, 0)), 1}};
         },
         1,
         1,
         {2000},
         1},
        {"ping socket: reply without IP header",
         [](FakeIcmp& w) {
             w.pingSocket = true;
             w.incoming = {{IoStatus::Ok, Echo(0x0777, 0, 0), 1}};
         },
         1,
         1,
         {2000},
         1},
        {"no socket", [](FakeIcmp& w) { w.openFails = true; }, 0, 0, {}, 0},
        {"send fails", [](FakeIcmp& w) { w.sendResults = {IoStatus::Failed}; }, 0, 1, {}, 0},
        {"receive fails",
         [](FakeIcmp& w) {
             w.incoming = {{IoStatus::Failed, {}, 5}};
         },
         0,
         1,
         {2000},
         5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeIcmp w;
        c.arrange(w);
        EXPECT_EQ(EchoProbe(EchoServices{w, w.clock, kOurId}, kUnit, 2000), c.result);
        EXPECT_EQ(w.clock.m_ms - 5000, c.elapsedMs);
        EXPECT_EQ(w.sent.size(), c.sends);
        EXPECT_EQ(w.receiveTimeouts, c.receiveTimeouts);
        EXPECT_EQ(w.liveSockets, 0) << "socket closed on every path";
        if (!w.sent.empty()) {
            EXPECT_EQ(w.sent[0].to, kUnit);
            ExpectRequest(w.sent[0], 0);
        }
    }
    FakeIcmp w;
    const std::atomic<bool> stop{true};
    EXPECT_EQ(EchoProbe(EchoServices{w, w.clock, kOurId}, kUnit, 2000, &stop), 0);
    EXPECT_EQ(w.clock.m_ms, 5000) << "a stopped probe does not wait";
}

TEST(BroadcastEcho, twoAttemptsEachEndingAtTheFirstAnswer)
{
    const std::vector<Case> cases = {
        {"nobody answers: about 14 s", [](FakeIcmp&) {}, 1, 2, {7000, 7000}, 14000},
        {"units answer both",
         [](FakeIcmp& w) {
             w.incoming = {{IoStatus::Ok, kReply, 2}, {IoStatus::Ok, kReply, 3}};
         },
         1,
         2,
         {7000, 7000},
         5},
        {"our looped-back broadcasts are skipped",
         [](FakeIcmp& w) {
             w.incoming = {{IoStatus::Ok, WithIpHeader(Echo(kOurId, 0)), 0},
                           {IoStatus::Ok, kReply, 4},
                           {IoStatus::Ok, WithIpHeader(Echo(kOurId, 1)), 1},
                           {IoStatus::Ok, kReply, 1}};
         },
         1,
         2,
         {7000, 7000, 7000, 6999},
         6},
        {"a send time-out ends only its attempt",
         [](FakeIcmp& w) { w.sendResults = {IoStatus::TimedOut}; },
         1,
         2,
         {7000},
         14000},
        {"second send fails",
         [](FakeIcmp& w) {
             w.sendResults = {IoStatus::Ok, IoStatus::Failed};
         },
         0,
         2,
         {7000},
         7000},
        {"receive fails",
         [](FakeIcmp& w) {
             w.incoming = {{IoStatus::Failed, {}, 10}};
         },
         0,
         1,
         {7000},
         10},
        {"no socket", [](FakeIcmp& w) { w.openFails = true; }, 0, 0, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeIcmp w;
        c.arrange(w);
        EXPECT_EQ(BroadcastEcho(EchoServices{w, w.clock, kOurId}, kPc), c.result);
        EXPECT_EQ(w.clock.m_ms - 5000, c.elapsedMs);
        EXPECT_EQ(w.sent.size(), c.sends);
        EXPECT_EQ(w.receiveTimeouts, c.receiveTimeouts);
        EXPECT_EQ(w.liveSockets, 0);
        ASSERT_EQ(w.opens.size(), 1u);
        EXPECT_TRUE(w.opens[0].broadcast);
        EXPECT_EQ(w.opens[0].outgoingAddress, kPc) << "leaves through the PC's interface";
        for (std::size_t i = 0; i < w.sent.size(); ++i) {
            EXPECT_EQ(w.sent[i].to, Ipv4Address{0xFFFFFFFFu});
            EXPECT_EQ(w.sent[i].timeoutMs, 7000);
            ExpectRequest(w.sent[i], static_cast<uint16_t>(i));
        }
    }
    FakeIcmp w;
    const std::atomic<bool> stop{true};
    EXPECT_EQ(BroadcastEcho(EchoServices{w, w.clock, kOurId}, kPc, &stop), 0);
    EXPECT_EQ(w.sent.size(), 1u) << "no second attempt after a stop";
}

class FakeNames final : public NameLookups
{
public:
    std::optional<std::string> netbios, resolver, mdns;
    std::vector<std::string> calls;

    std::optional<std::string> NetbiosName(Ipv4Address, int ms) override
    {
        return Call("netbios", ms, netbios);
    }
    std::optional<std::string> ResolverName(Ipv4Address, int ms) override
    {
        return Call("resolver", ms, resolver);
    }
    std::optional<std::string> MdnsName(Ipv4Address, int ms) override
    {
        return Call("mdns", ms, mdns);
    }

private:
    std::optional<std::string> Call(const char* what, int ms, std::optional<std::string> answer)
    {
        calls.push_back(what + (" " + std::to_string(ms)));
        return answer;
    }
};

TEST(ComputerName, asksNetbiosThenTheResolverThenMdns)
{
    using Name = std::optional<std::string>;
    const std::vector<std::string> all = {"netbios 300", "resolver 400", "mdns 500"};
    struct NameCase
    {
        Name netbios, resolver, mdns, expected;
        std::vector<std::string> calls;
    };
    for (const NameCase& c :
         {NameCase{"NAS01", "nas01.lan", "nas01", "NAS01", {"netbios 300"}},
          NameCase{{}, "nas01.lan", "nas01", "nas01.lan", {"netbios 300", "resolver 400"}},
          NameCase{"", "", "nas01", "nas01", all}, // empty names do not count
          NameCase{{}, {}, "", {}, all}}) {
        FakeNames names;
        names.netbios = c.netbios;
        names.resolver = c.resolver;
        names.mdns = c.mdns;
        EXPECT_EQ(LookUpComputerName(names, kUnit, NameLookupTimeouts{300, 400, 500}), c.expected);
        EXPECT_EQ(names.calls, c.calls);
    }
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(LinuxSearchNetwork, logsOnceWhyNoIcmpSocketCanBeHadAndUsesThePcAddressOfTheMoment)
{
    const std::string log = std::filesystem::temp_directory_path() /
                            ("probe-echo-" + std::to_string(::getpid()) + ".log");
    LogWriter::SetLogPath(log);
    LogWriter::CreateEmpty();
    FakeIcmp w;
    FakeNames names;
    names.resolver = "nas09";
    Ipv4Address pc = kPc;
    LinuxSearchNetwork network(w, names, [&pc] { return pc; });

    EXPECT_EQ(network.IcmpProblem(), SocketProblem::None) << "nothing known yet";
    w.openFails = true;
    EXPECT_EQ(network.EchoProbe(kUnit, 2000), 0);
    EXPECT_EQ(network.BroadcastEcho(), 0);
    EXPECT_EQ(network.IcmpProblem(), SocketProblem::HelperUnprivileged);
    const std::string refused = " ICMP echo cannot be sent: the helper lacks CAP_NET_RAW\r\n";
    EXPECT_EQ(ReadFile(log), refused) << "said once";
    w.openFails = false;
    network.EchoProbe(kUnit, 2000);
    EXPECT_EQ(network.IcmpProblem(), SocketProblem::None);
    w.openFails = true;
    network.EchoProbe(kUnit, 2000);
    w.openFails = false;
    w.pingSocket = true;
    network.EchoProbe(kUnit, 2000);
    EXPECT_EQ(network.IcmpProblem(), SocketProblem::None) << "a ping socket still probes";
    EXPECT_EQ(ReadFile(log),
              refused + refused +
                  " ICMP echo through a ping socket: the helper lacks CAP_NET_RAW\r\n");

    w.sendResults = {IoStatus::Failed, IoStatus::Failed};
    w.opens.clear();
    network.BroadcastEcho();
    pc = Ipv4Address::FromOctets(192, 168, 5, 5);
    network.BroadcastEcho();
    ASSERT_EQ(w.opens.size(), 2u);
    EXPECT_EQ(w.opens[0].outgoingAddress, kPc);
    EXPECT_EQ(w.opens[1].outgoingAddress, pc);

    EXPECT_EQ(network.ReverseName(kUnit), "nas09");
    EXPECT_EQ(names.calls, (std::vector<std::string>{"netbios 1000", "resolver 2000"}));
    std::filesystem::remove(log);
}

} // namespace
} // namespace zelvo
