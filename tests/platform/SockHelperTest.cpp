// The sockets that need a privilege or a system setting, root only, in a network namespace
// of this test's own. The system's ICMP sockets: the ping socket where the system admits
// our group, else the raw socket, with one view of the requests, the replies and the ICMP
// errors about the requests. zelvo-sockhelper run by a member of its group, a throwaway
// account: the socket never leaves the helper, which keeps no capability once it serves
// and sends only the tool's echo requests and DHCP replies.
#include "platform/IcmpMessage.h"
#include "platform/IcmpSocket.h"
#include "platform/PrivilegedSockets.h"
#include "platform/sockhelper/SessionRules.h"
#include "support/InternetChecksum.h"
#include "support/OutcomeValue.h"
#include "support/PrivilegedDescriptors.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <net/if.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

namespace zelvo {
namespace {

namespace fs = std::filesystem;
namespace sh = sockhelper;
using Bytes = std::vector<uint8_t>;
constexpr sh::Identifier kId = {0x12, 0x34};
const Ipv4Address kLoopback = Ipv4Address::FromOctets(127, 0, 0, 1);
const Ipv4Address kOwn = Ipv4Address::FromOctets(10, 77, 0, 1); // on zv0

uid_t FreeId(uid_t start) // an id no account and no group of this machine has
{
    while (::getpwuid(start) || ::getgrgid(start))
        ++start;
    return start;
}
const uid_t kMember = FreeId(61100);
const gid_t kGroup = FreeId(kMember + 1);

// Becomes the throwaway account, in the helper's group or in none; false when refused.
bool BecomeMember(bool inGroup)
{
    const gid_t groups[] = {kGroup};
    return ::setgroups(inGroup ? 1 : 0, groups) == 0 &&
           ::setresgid(kMember, kMember, kMember) == 0 &&
           ::setresuid(kMember, kMember, kMember) == 0;
}

uint64_t StatusField(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stoull(line.substr(field.size() + 1), nullptr, 16);
    return ~0ull;
}

// The tool's echo request (identifier, sequence, tick count, 32 'E') with a checksum of
// its own (RFC 1071), then changed.
Bytes EchoRequest(std::function<void(Bytes&)> change = {}, sh::Identifier id = kId,
                  uint8_t sequence = 1)
{
    Bytes m(44, 0x45);
    m[0] = 8, m[1] = 0, m[2] = 0, m[3] = 0, m[4] = id[0], m[5] = id[1];
    m[6] = sequence, m[7] = 0, m[8] = 9, m[9] = 8, m[10] = 7, m[11] = 6;
    const uint16_t sum = test::InternetChecksum(m);
    m[2] = uint8_t(sum >> 8), m[3] = uint8_t(sum);
    if (change)
        change(m);
    return m;
}

// The tool's DHCP reply: a 312-byte BOOTREPLY with the magic cookie, then changed.
Bytes BootReply(std::function<void(Bytes&)> change = {})
{
    Bytes m(312, 0);
    m[0] = 2, m[1] = 1, m[2] = 6;
    m[236] = 99, m[237] = 130, m[238] = 83, m[239] = 99, m[240] = 255;
    if (change)
        change(m);
    return m;
}

// Everything a raw socket sees for a moment, from the IPv4 header on.
std::vector<Bytes> Drain(int fd, int quietMs = 150)
{
    std::vector<Bytes> got;
    uint8_t buffer[4096];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, quietMs) > 0)
        if (const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0); n > 0)
            got.emplace_back(buffer, buffer + n);
    return got;
}

void SetPingRange(const char* range)
{
    std::ofstream("/proc/sys/net/ipv4/ping_group_range") << range;
}

class SockHelper : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // A card whose peer has no address: ARP for 10.77.0.2 fails after one try.
        if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0)
            s_why = "a network namespace of our own needs root";
        else if (std::system("ip link set lo up && ip link add zv0 type veth peer name zv1 && "
                             "ip addr add 10.77.0.1/24 dev zv0 && ip link set zv0 up && "
                             "ip link set zv1 up && sysctl -qw net.ipv4.neigh.zv0.mcast_solicit=1 "
                             "net.ipv4.neigh.zv0.ucast_solicit=1 net.ipv4.neigh.zv0.app_solicit=0 "
                             "net.ipv4.neigh.zv0.retrans_time_ms=200") != 0)
            s_why = "could not set up the namespace's cards (iproute2)";
    }
    void SetUp() override
    {
        if (!s_why.empty())
            GTEST_SKIP() << s_why;
        SetPingRange("0 0"); // root's group
        char dir[] = "/tmp/zelvo-sockhelper-test.XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        m_dir = dir;
        fs::permissions(m_dir, fs::perms(0755));
        m_helper = Copy("zelvo-sockhelper", "cap_net_raw,cap_net_bind_service=p");
    }
    void TearDown() override
    {
        if (!m_dir.empty())
            fs::remove_all(m_dir);
    }
    // A copy of the helper, root:GROUP 0750, with the given file capabilities.
    std::string Copy(const std::string& name, const std::string& caps)
    {
        const fs::path copy = m_dir / name;
        fs::copy_file(ZELVO_SOCKHELPER_PATH, copy);
        EXPECT_EQ(::chown(copy.c_str(), 0, kGroup), 0);
        fs::permissions(copy, fs::perms(0750));
        EXPECT_EQ(std::system(("setcap " + caps + " " + copy.string()).c_str()), 0);
        return copy.string();
    }
    // A session of the helper run as the member, opened for kind, through the tool's end of
    // it taking it for `as` (another kind: the tool asks for what the session does not do).
    std::unique_ptr<SockHelperSession> Open(sh::SocketKind kind, uint32_t source = 0, int card = 0,
                                            int32_t expect = 0,
                                            std::optional<sh::SocketKind> as = {})
    {
        int pair[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(::fcntl(pair[1], F_DUPFD, 10), sh::kChannelFd);
            char* argv[] = {const_cast<char*>(sh::kHelperFileName), nullptr};
            char* envp[] = {nullptr};
            if (BecomeMember(true))
                ::execve(m_helper.c_str(), argv, envp);
            ::_exit(127);
        }
        ::close(pair[1]);
        auto session =
            std::make_unique<SockHelperSession>(UniqueFd(pair[0]), pid, as.value_or(kind));
        sh::Message m;
        m.type = uint32_t(sh::MessageType::Open), m.kind = uint32_t(kind);
        m.address = source, m.interfaceIndex = card, m.identifier[0] = kId[0],
        m.identifier[1] = kId[1];
        const Outcome<int32_t> opened = session->Open(m);
        EXPECT_EQ(test::ValueOf(opened), expect) << opened.Code();
        return session;
    }
    // True when the helper has closed the session.
    static bool Ended(SockHelperSession& session)
    {
        uint8_t buffer[64];
        return session.Receive(buffer, {SystemClock(), DeadlineAfter(SystemClock(), 300)}).Code() ==
               EPIPE;
    }

    static std::string s_why;
    fs::path m_dir;
    std::string m_helper;
};
std::string SockHelper::s_why;
using SystemIcmp = SockHelper; // the same namespace; the copy of the helper goes unused

TEST_F(SockHelper, theSocketsStayInTheHelperWhichKeepsNoCapability)
{
    std::unique_ptr<SockHelperSession> sessions[] = {Open(sh::SocketKind::RawIcmp),
                                                     Open(sh::SocketKind::DhcpServer)};
    EXPECT_EQ(test::PrivilegedDescriptors(), 0) << "a raw or port-67 socket came to the tool";
    std::vector<pid_t> helpers;
    for (const auto& session : sessions) {
        const pid_t helper = helpers.emplace_back(session->HelperPid());
        for (const char* set : {"CapEff", "CapPrm", "CapInh", "CapAmb"})
            EXPECT_EQ(StatusField(helper, set), 0u) << set;
        EXPECT_EQ(StatusField(helper, "NoNewPrivs"), 1u);
        int open = 0;
        for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(helper) + "/fd"))
            open += std::stoi(e.path().filename().string()) > 2;
        EXPECT_EQ(open, 2) << "the helper holds more than its channel and its socket";
    }
    for (auto& session : sessions)
        session.reset(); // the session's end is the helper's
    for (const pid_t helper : helpers)
        EXPECT_FALSE(fs::exists("/proc/" + std::to_string(helper)));
}

TEST_F(SockHelper, sendsOnlyTheToolsEchoRequestsAndDhcpRepliesAndEndsTheSessionOnAnythingElse)
{
    const int lo = int(::if_nametoindex("lo"));
    const uint32_t loopback = kLoopback.nbo, broadcast = 0xFFFFFFFFu;
    UniqueFd icmpSeen(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    UniqueFd udpSeen(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_UDP));
    UniqueFd client(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(icmpSeen.Valid() && udpSeen.Valid() && client.Valid());
    const auto icmp = sh::SocketKind::RawIcmp, dhcp = sh::SocketKind::DhcpServer;
    const int zv0 = int(::if_nametoindex("zv0"));
    const struct
    {
        const char* what;
        sh::SocketKind kind, as; // the helper's session, the tool's end
        Bytes message;
        bool sent = false;
        int repeat = 1;  // sends of the same message; all but the last are let through
        uint32_t to = 0; // 0: the session's own destination, port and card
        uint16_t port = 0;
        int card = 0;
    } rows[] = {
        {"the tool's echo request, its checksum left to the helper", icmp, icmp,
         EchoRequest([](Bytes& m) { m[2] = m[3] = 0; }), true},
        {"a timestamp request", icmp, icmp, EchoRequest([](Bytes& m) { m[0] = 13; })},
        {"another identifier", icmp, icmp, EchoRequest([](Bytes& m) { m[4] = 0x99; })},
        {"another payload", icmp, icmp, EchoRequest([](Bytes& m) { m[43] = 0; })},
        {"a longer request", icmp, icmp, EchoRequest([](Bytes& m) { m.resize(1000, 0x45); })},
        {"a DHCP reply on the ICMP session", icmp, dhcp, BootReply()},
        {"the tool's DHCP reply", dhcp, dhcp, BootReply(), true},
        {"to port 69", dhcp, dhcp, BootReply(), false, 1, 0, 69},
        {"a BOOTREQUEST", dhcp, dhcp, BootReply([](Bytes& m) { m[0] = 1; })},
        {"no magic cookie", dhcp, dhcp, BootReply([](Bytes& m) { m[236] = 0; })},
        {"shorter than a BOOTP message", dhcp, dhcp, BootReply([](Bytes& m) { m.resize(299); })},
        {"longer than 576 bytes", dhcp, dhcp, BootReply([](Bytes& m) { m.resize(577); })},
        {"to one host", dhcp, dhcp, BootReply(), false, 1, loopback},
        {"on a card no request came in on", dhcp, dhcp, BootReply(), false, 1, 0, 0, zv0},
        {"a second reply to one request", dhcp, dhcp, BootReply(), false, 2},
        {"an echo request on the DHCP session", dhcp, icmp, EchoRequest()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Drain(icmpSeen.Get(), 0);
        Drain(udpSeen.Get(), 0);
        const bool onIcmp = row.kind == icmp;
        const auto c = Open(row.kind, onIcmp ? loopback : 0, onIcmp ? lo : 0, 0, row.as);
        if (!onIcmp) {
            // A request on port 67 comes with its card and sender; it allows one reply there.
            sockaddr_in port67{AF_INET, htons(67), {loopback}, {}};
            ASSERT_EQ(::sendto(client.Get(), "hello", 5, 0,
                               reinterpret_cast<const sockaddr*>(&port67), sizeof port67),
                      5);
            char got[16];
            const DatagramReceipt arrived =
                c->Receive({reinterpret_cast<uint8_t*>(got), sizeof got},
                           {SystemClock(), DeadlineAfter(SystemClock(), 2000)})
                    .ValueOr({});
            EXPECT_EQ(std::tuple(std::string(got, arrived.length), arrived.interfaceIndex,
                                 arrived.source.nbo),
                      std::tuple("hello", lo, loopback));
        }
        for (int i = 1; i <= row.repeat; ++i) {
            const bool echo = row.as == icmp;
            const DatagramDestination to{Ipv4Address{row.to ? row.to
                                                     : echo ? loopback
                                                            : broadcast},
                                         row.port ? row.port : uint16_t(echo ? 0 : 68),
                                         row.card ? row.card
                                         : echo   ? 0
                                                  : lo,
                                         {}};
            const Outcome<std::size_t> sent = c->Send(row.message, to);
            EXPECT_EQ(sent.Ok() ? long(sent.Value()) : -sent.Code(),
                      row.sent || i < row.repeat ? long(row.message.size()) : -EPERM);
        }
        EXPECT_EQ(Ended(*c), !row.sent) << "the session ends on a refusal, only then";
        // What left: only the helper's own echo request, or the reply as the tool gave it.
        int requests = 0, replies = 0;
        for (const Bytes& d : Drain(icmpSeen.Get())) {
            const auto m = IcmpAfterIpv4Header(d);
            if (m.size() == 44 && m[0] == 8 && m[4] == kId[0] && m[5] == kId[1]) {
                ++requests; // the checksum is the helper's, the sequence and ticks the tool's
                EXPECT_EQ(test::InternetChecksum(Bytes(m.begin(), m.end())), 0);
                EXPECT_EQ(Bytes(m.begin() + 4, m.end()),
                          Bytes(row.message.begin() + 4, row.message.end()));
            } else {
                EXPECT_TRUE(m.size() == 44 && m[0] == 0) << "another ICMP message left";
            }
        }
        for (const Bytes& d : Drain(udpSeen.Get())) {
            const std::size_t header = std::size_t(d[0] & 0x0F) * 4;
            if (d.size() >= header + 8 && d[header] == 0 && d[header + 1] == 67) {
                ++replies;
                EXPECT_EQ(Bytes(d.begin() + long(header) + 8, d.end()), row.message);
            }
        }
        EXPECT_EQ(requests, onIcmp && row.sent ? 1 : 0);
        EXPECT_EQ(replies, !onIcmp ? (row.sent ? 1 : row.repeat - 1) : 0);
    }
}

TEST_F(SockHelper, echoRequestsLeaveOnlyFromAnAddressOfTheirCard)
{
    const int lo = int(::if_nametoindex("lo")), zv0 = int(::if_nametoindex("zv0"));
    const uint32_t own = kOwn.nbo;
    for (const auto& [source, card, opened] :
         {std::tuple{0u, 0, 0},
          {Ipv4Address::FromOctets(10, 77, 0, 7).nbo, zv0, EADDRNOTAVAIL},
          {own, lo, EADDRNOTAVAIL},
          {own, 0, EADDRNOTAVAIL}}) {
        const auto c = Open(sh::SocketKind::RawIcmp, source, card, opened);
        EXPECT_EQ(Ended(*c), opened != 0) << source << " on " << card;
    }
}

TEST_F(SockHelper, refusesWhatItsFileOrTheAccountDoesNotAllowAndSaysWhy)
{
    const auto icmp = PrivilegedSocketKind::RawIcmp, dhcp = PrivilegedSocketKind::DhcpServer;
    const struct
    {
        const char* caps;
        bool inGroup;
        std::optional<PrivilegedSocketKind> served;
        PrivilegedSocketKind refused;
        SocketProblem problem;
        const char* detail;
    } rows[] = {
        {"cap_net_raw=p", true, icmp, dhcp, SocketProblem::HelperUnprivileged,
         "lacks CAP_NET_BIND_SERVICE"},
        {"cap_net_bind_service=p", true, dhcp, icmp, SocketProblem::HelperUnprivileged,
         "lacks CAP_NET_RAW"},
        {"cap_net_raw,cap_net_bind_service=p", false, std::nullopt, icmp,
         SocketProblem::HelperNotPermitted, "usermod -aG zelvo-setup"},
    };
    for (const auto& row : rows) {
        const std::string helper = Copy(std::string("h-") + std::to_string(&row - rows), row.caps);
        // As the member, in a child process whose exit status tells how it went.
        const pid_t pid = ::fork();
        if (pid == 0) {
            PrivilegedSocketRequest served, refused;
            refused.kind = row.refused;
            if (row.served)
                served.kind = *row.served;
            if (!BecomeMember(row.inGroup))
                ::_exit(2);
            const SocketAcquisition b = StartSockHelper(helper, refused);
            const bool ok = (!row.served || StartSockHelper(helper, served).session) &&
                            !b.session && b.problem == row.problem &&
                            b.detail.find(row.detail) != std::string::npos;
            if (!ok)
                std::fprintf(stderr, "refused: %s\n", b.detail.c_str());
            std::fflush(nullptr);
            ::_exit(ok ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << row.caps;
    }
}

// An ICMP socket of the system's for the identifier, as the probes open it.
IcmpSocketOpen OpenIcmp(sh::Identifier id, bool broadcast = false, Ipv4Address outgoing = {})
{
    IcmpSocketOptions options;
    options.identifierBytes = id;
    options.broadcast = broadcast;
    options.outgoingAddress = outgoing;
    return SystemIcmpSockets().Open(options);
}
std::optional<WaitEnd> Send(IcmpSocket& socket, Ipv4Address to, const Bytes& request)
{
    return test::ValueOf(socket.Send(to, 5005, request, 2000));
}
// The next message of type wanted within 3 s, or empty.
Bytes Next(IcmpSocket& socket, uint8_t wanted, Ipv4Address* source = nullptr)
{
    uint8_t buffer[1024];
    for (int i = 0; i < 20; ++i) {
        IcmpArrival arrival;
        if (!IsReady(socket.Receive(buffer, arrival, 3000, nullptr)))
            return {};
        if (arrival.length > 0 && buffer[0] == wanted) {
            if (source)
                *source = arrival.source;
            return Bytes(buffer, buffer + arrival.length);
        }
    }
    return {};
}

TEST_F(SystemIcmp, bothPathsSendTheRequestAsBuiltAndShowRepliesAndErrorsQuotingIt)
{
    for (const char* range : {"0 0", "1 0"}) {
        SCOPED_TRACE(range);
        SetPingRange(range);
        const bool ping = range[0] == '0';
        UniqueFd wire(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP)); // sees requests
        IcmpSocketOpen open = OpenIcmp({0x31, 0x41});
        IcmpSocketOpen second =
            OpenIcmp({0x31, 0x41}); // a ping socket: the kernel picks another id
        ASSERT_TRUE(wire.Valid() && open.socket && second.socket) << open.detail;
        EXPECT_EQ(open.path, ping ? IcmpPath::Ping : IcmpPath::OwnRaw);
        EXPECT_EQ(open.detail.find("ping_group_range is 1 0") != std::string::npos, !ping)
            << open.detail;
        const Bytes request = EchoRequest({}, {0x31, 0x41}, 1);
        ASSERT_EQ(Send(*open.socket, kLoopback, request), WaitEnd::Ready);
        uint8_t datagram[256];
        const ssize_t n = ::recv(wire.Get(), datagram, sizeof datagram, 0);
        const auto seen = IcmpAfterIpv4Header({datagram, std::size_t(std::max<ssize_t>(n, 0))});
        EXPECT_EQ(Bytes(seen.begin(), seen.end()), request) << "the kernel changed the request";
        Ipv4Address from;
        const Bytes reply = Next(*open.socket, 0, &from);
        ASSERT_EQ(reply.size(), request.size()) << "the IPv4 header is not left out";
        EXPECT_EQ(Bytes(reply.begin() + 4, reply.end()), Bytes(request.begin() + 4, request.end()));
        EXPECT_EQ(from, kLoopback);
        if (ping) {
            ASSERT_EQ(Send(*second.socket, kLoopback, EchoRequest({}, {0x31, 0x41}, 2)),
                      WaitEnd::Ready);
            const Bytes b = Next(*second.socket, 0);
            EXPECT_TRUE(b.size() == request.size() && b[6] == 2);
        }

        ASSERT_EQ(Send(*open.socket, Ipv4Address::FromOctets(10, 77, 0, 2), request),
                  WaitEnd::Ready);
        const Bytes unreachable = Next(*open.socket, 3, &from);
        ASSERT_GE(unreachable.size(), kIcmpErrorHeaderSize + kQuotedIpv4HeaderSize + 8);
        EXPECT_EQ(unreachable[1], 1) << "host unreachable";
        const uint8_t* quotedIp = unreachable.data() + kIcmpErrorHeaderSize;
        EXPECT_EQ((Bytes(quotedIp + 16, quotedIp + 20)), (Bytes{10, 77, 0, 2}));
        const auto quoted = IcmpAfterIpv4Header(
            {unreachable.data() + kIcmpErrorHeaderSize, unreachable.size() - kIcmpErrorHeaderSize});
        ASSERT_GE(quoted.size(), 8u);
        EXPECT_EQ(Bytes(quoted.begin(), quoted.begin() + 8),
                  Bytes(request.begin(), request.begin() + 8));
        EXPECT_EQ(from, kOwn) << from.Dotted();
        ASSERT_EQ(std::system("ip neigh flush dev zv0"), 0);
    }
}

TEST_F(SystemIcmp, theLimitedBroadcastNeedsItsOptionAndLeavesThroughTheGivenCard)
{
    const Ipv4Address broadcast{0xFFFFFFFFu};
    const Bytes request = EchoRequest({}, {0x71, 0x81}, 0);
    IcmpSocketOpen plain = OpenIcmp({0x71, 0x81}, false, kOwn);
    ASSERT_TRUE(plain.socket);
    EXPECT_EQ(plain.socket->Send(broadcast, 5005, request, 2000).Code(), EACCES);
    plain.socket.reset();
    IcmpSocketOpen open = OpenIcmp({0x71, 0x81}, true, kOwn);
    ASSERT_TRUE(open.socket);
    EXPECT_EQ(Send(*open.socket, broadcast, request), WaitEnd::Ready);
    // No route leads to the broadcast: only the card named by its address does.
    IcmpSocketOpen routed = OpenIcmp({0x71, 0x82}, true);
    ASSERT_TRUE(routed.socket);
    EXPECT_EQ(Send(*routed.socket, broadcast, request), std::nullopt);
}

} // namespace
} // namespace zelvo
