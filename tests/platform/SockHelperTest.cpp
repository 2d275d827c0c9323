// zelvo-sockhelper run by a member of its group: the socket never leaves the helper, which
// keeps no capability once it serves and sends only the tool's echo requests and DHCP
// replies. Root only: a network namespace of its own, the helper run as a throwaway account.
#include "platform/IcmpMessage.h"
#include "platform/PrivilegedSockets.h"
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
constexpr uint8_t kId[2] = {0x12, 0x34};

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

// Runs body in a child process as the member; true when it returned true.
bool AsMember(bool inGroup, const std::function<bool()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const bool ok = BecomeMember(inGroup) && body();
        std::fflush(nullptr);
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

uint64_t StatusField(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stoull(line.substr(field.size() + 1), nullptr, 16);
    return ~0ull;
}

// The tool's echo request (identifier, sequence 1, tick count, 32 'E'), then changed.
Bytes EchoRequest(std::function<void(Bytes&)> change = {})
{
    Bytes m(44, 0x45);
    m[0] = 8, m[1] = 0, m[2] = 0xAA, m[3] = 0xBB, m[4] = kId[0], m[5] = kId[1];
    m[6] = 1, m[7] = 0, m[8] = 9, m[9] = 8, m[10] = 7, m[11] = 6;
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

class SockHelper : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (::geteuid() != 0)
            s_why = "the helper's privileges can only be checked as root";
        else if (::unshare(CLONE_NEWNET) != 0 ||
                 std::system("ip link set lo up && ip link add card1 type veth peer name card1p && "
                             "ip addr add 10.231.99.1/24 dev card1 && ip link set card1 up && "
                             "sysctl -qw net.ipv4.icmp_echo_ignore_all=1") != 0)
            s_why = "no network namespace of our own";
    }
    void SetUp() override
    {
        if (!s_why.empty())
            GTEST_SKIP() << s_why;
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
    const uint32_t loopback = Ipv4Address::FromOctets(127, 0, 0, 1).nbo, broadcast = 0xFFFFFFFFu;
    UniqueFd icmpSeen(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    UniqueFd udpSeen(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_UDP));
    UniqueFd client(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(icmpSeen.Valid() && udpSeen.Valid() && client.Valid());
    const auto icmp = sh::SocketKind::RawIcmp, dhcp = sh::SocketKind::DhcpServer;
    const int card1 = int(::if_nametoindex("card1"));
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
        {"the tool's echo request", icmp, icmp, EchoRequest(), true},
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
        {"on a card no request came in on", dhcp, dhcp, BootReply(), false, 1, 0, 0, card1},
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
    const int lo = int(::if_nametoindex("lo")), card1 = int(::if_nametoindex("card1"));
    const uint32_t own = Ipv4Address::FromOctets(10, 231, 99, 1).nbo;
    for (const auto& [source, card, opened] :
         {std::tuple{own, card1, 0},
          {0u, 0, 0},
          {Ipv4Address::FromOctets(10, 231, 99, 7).nbo, card1, EADDRNOTAVAIL},
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
        EXPECT_TRUE(AsMember(row.inGroup, [&] {
            PrivilegedSocketRequest served, refused;
            refused.kind = row.refused;
            if (row.served)
                served.kind = *row.served;
            const SocketAcquisition b = StartSockHelper(helper, refused);
            const bool ok = (!row.served || StartSockHelper(helper, served).session) &&
                            !b.session && b.problem == row.problem &&
                            b.detail.find(row.detail) != std::string::npos;
            if (!ok)
                std::fprintf(stderr, "refused: %s\n", b.detail.c_str());
            return ok;
        })) << row.caps;
    }
}

} // namespace
} // namespace zelvo
