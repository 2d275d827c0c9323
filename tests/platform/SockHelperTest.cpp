// zelvo-sockhelper as a member of its group runs it: the socket never leaves the helper,
// which keeps no capability once it serves; it sends only the tool's echo requests and
// DHCP replies and refuses anything else; it passes back only echo replies and errors
// about our echo requests, and what reaches port 67. Root only: the test works in a
// network namespace of its own (the host answers no echo request there) and runs the
// helper, installed root:GROUP 0750 with its capabilities, as a throwaway account.
#include "platform/IcmpMessage.h"
#include "platform/PrivilegedSockets.h"
#include "support/InternetChecksum.h"
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

#include <algorithm>
#include <cstring>
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

uint32_t Nbo(const char* dotted)
{
    in_addr a{};
    ::inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

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

Bytes Icmp(uint8_t type, Bytes rest) // with its checksum (RFC 1071)
{
    Bytes m = {type, 0, 0, 0};
    m.insert(m.end(), rest.begin(), rest.end());
    const uint16_t sum = test::InternetChecksum(m);
    m[2] = uint8_t(sum >> 8), m[3] = uint8_t(sum);
    return m;
}

// An ICMP error quoting a datagram of the given protocol whose first bytes are quoted.
Bytes ErrorQuoting(uint8_t type, uint8_t protocol, Bytes quoted)
{
    Bytes rest = {0, 0, 0, 0, 0x45, 0, 0, uint8_t(20 + quoted.size()), 0, 0, 0, 0, 64, protocol};
    rest.insert(rest.end(), {0, 0, 127, 0, 0, 1, 127, 0, 0, 1});
    rest.insert(rest.end(), quoted.begin(), quoted.end());
    return Icmp(type, rest);
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

struct Said
{
    sh::Message header;
    Bytes bytes;
};

// The tool's end of a helper's channel, spoken to byte by byte; the helper runs as the
// member. Notes any descriptor that comes along with a message.
class Channel
{
public:
    explicit Channel(const std::string& helper)
    {
        int pair[2];
        ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair);
        m_fd = UniqueFd(pair[0]);
        UniqueFd theirs(pair[1]);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(::fcntl(theirs.Get(), F_DUPFD, 10), sh::kChannelFd);
            char* argv[] = {const_cast<char*>(sh::kHelperFileName), nullptr};
            char* envp[] = {nullptr};
            if (BecomeMember(true))
                ::execve(helper.c_str(), argv, envp);
            ::_exit(127);
        }
    }
    ~Channel()
    {
        m_fd.Reset();
        ::waitpid(m_pid, nullptr, 0);
    }
    void Tell(sh::MessageType type, const Bytes& bytes, std::function<void(sh::Message&)> fill)
    {
        sh::Message m;
        m.type = static_cast<uint32_t>(type);
        fill(m);
        Bytes all(sizeof m);
        std::memcpy(all.data(), &m, sizeof m);
        all.insert(all.end(), bytes.begin(), bytes.end());
        ASSERT_EQ(::send(m_fd.Get(), all.data(), all.size(), MSG_NOSIGNAL), ssize_t(all.size()));
    }
    // The next message within ms; nullopt when none came or the helper ended.
    std::optional<Said> Next(int ms = 2000)
    {
        pollfd p{m_fd.Get(), POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return std::nullopt;
        Said said;
        uint8_t buffer[4096];
        iovec iov{buffer, sizeof buffer};
        alignas(cmsghdr) char control[256];
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(m_fd.Get(), &msg, MSG_CMSG_CLOEXEC);
        m_descriptor = m_descriptor || msg.msg_controllen > 0 || (msg.msg_flags & MSG_CTRUNC);
        if (n < ssize_t(sizeof said.header))
            return m_ended = true, std::nullopt;
        std::memcpy(&said.header, buffer, sizeof said.header);
        said.bytes.assign(buffer + sizeof said.header, buffer + n);
        return said;
    }
    std::optional<Said> Answer() // the next message that is not an arrival
    {
        while (auto said = Next())
            if (said->header.type != static_cast<uint32_t>(sh::MessageType::Arrived))
                return said;
        return std::nullopt;
    }
    bool Ended()
    {
        while (Next(300)) {
        }
        return m_ended;
    }
    bool SawDescriptor() const { return m_descriptor; }

private:
    UniqueFd m_fd;
    pid_t m_pid = -1;
    bool m_ended = false, m_descriptor = false;
};

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
    // A session as the tool opens it; checks the helper's answer to the open.
    std::unique_ptr<Channel> Open(sh::SocketKind kind, uint32_t source = 0, int card = 0,
                                  int32_t expect = 0)
    {
        auto c = std::make_unique<Channel>(m_helper);
        c->Tell(sh::MessageType::Open, {}, [&](sh::Message& m) {
            m.kind = static_cast<uint32_t>(kind);
            m.address = source;
            m.interfaceIndex = card;
            m.identifier[0] = kId[0], m.identifier[1] = kId[1];
        });
        const auto opened = c->Answer();
        EXPECT_TRUE(opened && opened->header.type == uint32_t(sh::MessageType::Opened) &&
                    opened->header.value == expect)
            << (opened ? opened->header.value : -1);
        return c;
    }

    static std::string s_why;
    fs::path m_dir;
    std::string m_helper;
};
std::string SockHelper::s_why;

TEST_F(SockHelper, theSocketsStayInTheHelperWhichKeepsNoCapability)
{
    // The member opens both sessions through the tool's own code and says which helpers
    // serve them and how many privileged sockets it holds itself; the helpers are looked
    // at while the member waits.
    int report[2], go[2];
    ASSERT_EQ(::pipe(report), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t member = ::fork();
    if (member == 0) {
        ::close(report[0]);
        ::close(go[1]);
        bool ok = BecomeMember(true);
        if (ok) {
            PrivilegedSocketRequest icmp, dhcp;
            icmp.identifierBytes = {kId[0], kId[1]};
            dhcp.kind = PrivilegedSocketKind::DhcpServer;
            const SocketAcquisition a = StartSockHelper(m_helper, icmp);
            const SocketAcquisition b = StartSockHelper(m_helper, dhcp);
            const int said[3] = {a.session ? a.session->HelperPid() : -1,
                                 b.session ? b.session->HelperPid() : -1,
                                 test::PrivilegedDescriptors()};
            char done;
            ok = ::write(report[1], said, sizeof said) == ssize_t(sizeof said) &&
                 ::read(go[0], &done, 1) >= 0;
        } // the sessions end here
        ::_exit(ok ? 0 : 1);
    }
    ::close(report[1]);
    ::close(go[0]);
    int said[3] = {-1, -1, -1};
    ASSERT_EQ(::read(report[0], said, sizeof said), ssize_t(sizeof said));
    EXPECT_GT(said[0], 0) << "no ICMP session";
    EXPECT_GT(said[1], 0) << "no DHCP session";
    EXPECT_EQ(said[2], 0) << "the member holds a raw or port-67 socket";
    for (const pid_t helper : {said[0], said[1]}) {
        for (const char* set : {"CapEff", "CapPrm", "CapInh", "CapAmb"})
            EXPECT_EQ(StatusField(helper, set), 0u) << set;
        EXPECT_EQ(StatusField(helper, "NoNewPrivs"), 1u);
        int open = 0;
        for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(helper) + "/fd"))
            open += std::stoi(e.path().filename().string()) > 2;
        EXPECT_EQ(open, 2) << "the helper holds more than its channel and its socket";
    }
    ::close(go[1]); // the member ends its sessions
    ::close(report[0]);
    int status = 0;
    ::waitpid(member, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const pid_t helper : {said[0], said[1]}) // the session's end is the helper's
        EXPECT_FALSE(helper > 0 && fs::exists("/proc/" + std::to_string(helper)));
}

TEST_F(SockHelper, sendsOnlyTheToolsEchoRequestsAndDhcpRepliesAndEndsTheSessionOnAnythingElse)
{
    const int lo = int(::if_nametoindex("lo"));
    const uint32_t loopback = Nbo("127.0.0.1"), broadcast = Nbo("255.255.255.255");
    UniqueFd icmpSeen(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    UniqueFd udpSeen(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_UDP));
    UniqueFd client(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(icmpSeen.Valid() && udpSeen.Valid() && client.Valid());
    const auto echo = sh::MessageType::SendEcho, reply = sh::MessageType::SendReply;
    const auto icmp = sh::SocketKind::RawIcmp, dhcp = sh::SocketKind::DhcpServer;
    const struct
    {
        const char* what;
        sh::SocketKind kind;
        sh::MessageType type;
        Bytes message;
        uint32_t to;
        uint16_t port;
        int card;
        bool sent;
        int repeat = 1; // sends of the same message; all but the last are let through
    } rows[] = {
        {"the tool's echo request", icmp, echo, EchoRequest(), loopback, 0, 0, true},
        {"a timestamp request", icmp, echo, EchoRequest([](Bytes& m) { m[0] = 13; }), loopback, 0,
         0, false},
        {"another identifier", icmp, echo, EchoRequest([](Bytes& m) { m[4] = 0x99; }), loopback, 0,
         0, false},
        {"another payload", icmp, echo, EchoRequest([](Bytes& m) { m[43] = 0; }), loopback, 0, 0,
         false},
        {"a longer request", icmp, echo, EchoRequest([](Bytes& m) { m.resize(1000, 0x45); }),
         loopback, 0, 0, false},
        {"a DHCP reply on the ICMP session", icmp, reply, BootReply(), broadcast, 68, lo, false},
        {"the tool's DHCP reply", dhcp, reply, BootReply(), broadcast, 68, lo, true},
        {"to port 69", dhcp, reply, BootReply(), broadcast, 69, lo, false},
        {"a BOOTREQUEST", dhcp, reply, BootReply([](Bytes& m) { m[0] = 1; }), broadcast, 68, lo,
         false},
        {"no magic cookie", dhcp, reply, BootReply([](Bytes& m) { m[236] = 0; }), broadcast, 68, lo,
         false},
        {"shorter than a BOOTP message", dhcp, reply, BootReply([](Bytes& m) { m.resize(299); }),
         broadcast, 68, lo, false},
        {"longer than 576 bytes", dhcp, reply, BootReply([](Bytes& m) { m.resize(577); }),
         broadcast, 68, lo, false},
        {"to one host", dhcp, reply, BootReply(), loopback, 68, lo, false},
        {"on a card no request came in on", dhcp, reply, BootReply(), broadcast, 68,
         int(::if_nametoindex("card1")), false},
        {"a second reply to one request", dhcp, reply, BootReply(), broadcast, 68, lo, false, 2},
        {"an echo request on the DHCP session", dhcp, echo, EchoRequest(), loopback, 0, 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Drain(icmpSeen.Get(), 0);
        Drain(udpSeen.Get(), 0);
        const bool onIcmp = row.kind == icmp;
        const auto c = Open(row.kind, onIcmp ? loopback : 0, onIcmp ? lo : 0);
        if (!onIcmp) {
            // A request on port 67 comes back with its card and sender; it allows one
            // reply on that card.
            sockaddr_in port67{AF_INET, htons(67), {loopback}, {}};
            ASSERT_EQ(::sendto(client.Get(), "hello", 5, 0,
                               reinterpret_cast<const sockaddr*>(&port67), sizeof port67),
                      5);
            const auto arrived = c->Next();
            ASSERT_TRUE(arrived && arrived->header.type == uint32_t(sh::MessageType::Arrived));
            EXPECT_EQ(arrived->bytes, Bytes({'h', 'e', 'l', 'l', 'o'}));
            EXPECT_EQ(std::pair(arrived->header.interfaceIndex, arrived->header.address),
                      std::pair(int32_t(lo), loopback));
        }
        for (int i = 1; i <= row.repeat; ++i) {
            c->Tell(row.type, row.message, [&](sh::Message& m) {
                m.address = row.to;
                m.port = row.port;
                m.interfaceIndex = row.card;
            });
            const auto sent = c->Answer();
            ASSERT_TRUE(sent && sent->header.type == uint32_t(sh::MessageType::Sent));
            EXPECT_EQ(sent->header.value,
                      row.sent || i < row.repeat ? int(row.message.size()) : -EPERM);
        }
        EXPECT_EQ(c->Ended(), !row.sent) << "the session ends on a refusal, only then";

        // What left: only the helper's own echo request, or the reply as the tool gave it.
        int requests = 0, replies = 0;
        for (const Bytes& d : Drain(icmpSeen.Get())) {
            const auto m = IcmpAfterIpv4Header(d);
            if (m.size() == 44 && m[0] == 8 && m[4] == kId[0] && m[5] == kId[1]) {
                ++requests;
                EXPECT_EQ(Bytes(m.begin() + 12, m.end()), Bytes(32, 0x45));
                EXPECT_EQ(test::InternetChecksum(Bytes(m.begin(), m.end())), 0);
                EXPECT_EQ(Bytes(m.begin() + 6, m.begin() + 12),
                          Bytes(row.message.begin() + 6, row.message.begin() + 12));
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
        EXPECT_FALSE(c->SawDescriptor());
    }
}

TEST_F(SockHelper, echoRequestsLeaveOnlyFromAnAddressOfTheirCard)
{
    const int lo = int(::if_nametoindex("lo")), card1 = int(::if_nametoindex("card1"));
    const uint32_t own = Nbo("10.231.99.1");
    for (const auto& [source, card, opened] : {std::tuple{own, card1, 0},
                                               {0u, 0, 0},
                                               {Nbo("10.231.99.7"), card1, EADDRNOTAVAIL},
                                               {own, lo, EADDRNOTAVAIL},
                                               {own, 0, EADDRNOTAVAIL}}) {
        const auto c = Open(sh::SocketKind::RawIcmp, source, card, opened);
        EXPECT_EQ(c->Ended(), opened != 0) << source << " on " << card;
    }
}

TEST_F(SockHelper, passesBackOnlyEchoRepliesAndErrorsAboutOurEchoRequests)
{
    const auto c = Open(sh::SocketKind::RawIcmp);
    // Beside it, an unfiltered raw socket shows that everything below did arrive.
    UniqueFd open(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    ASSERT_TRUE(open.Valid());
    const Bytes ourEcho = {8, 0, 0, 0, kId[0], kId[1], 0, 0};
    const struct
    {
        const char* what;
        Bytes message;
        bool delivered;
    } rows[] = {
        {"our echo reply", Icmp(0, {kId[0], kId[1], 0, 1, 'r'}), true},
        {"unreachable about our echo request", ErrorQuoting(3, 1, ourEcho), true},
        {"time exceeded about our echo request", ErrorQuoting(11, 1, ourEcho), true},
        {"parameter problem about our echo request", ErrorQuoting(12, 1, ourEcho), true},
        {"another's echo reply", Icmp(0, {0x56, 0x78, 0, 1, 'r'}), false},
        {"unreachable about an echo reply", ErrorQuoting(3, 1, {0, 0, 0, 0, kId[0], kId[1], 0, 0}),
         false},
        {"unreachable about another's echo request",
         ErrorQuoting(3, 1, {8, 0, 0, 0, 0x56, 0x78, 0, 0}), false},
        {"unreachable about a UDP datagram", ErrorQuoting(3, 17, {0x30, 0x39, 0, 53, 0, 8, 0, 0}),
         false},
        {"redirect about our echo request", ErrorQuoting(5, 1, ourEcho), false},
        {"our echo request", Icmp(8, {kId[0], kId[1], 0, 1, 'q'}), false},
        {"truncated error", Icmp(3, {0, 0, 0, 0, 0x45}), false},
    };
    sockaddr_in loopback{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    for (const auto& row : rows) {
        ASSERT_EQ(::sendto(open.Get(), row.message.data(), row.message.size(), 0,
                           reinterpret_cast<const sockaddr*>(&loopback), sizeof loopback),
                  ssize_t(row.message.size()))
            << row.what;
        int seen = 0;
        for (const Bytes& d : Drain(open.Get())) {
            const auto m = IcmpAfterIpv4Header(d);
            seen += Bytes(m.begin(), m.end()) == row.message;
        }
        std::vector<Bytes> delivered;
        while (auto said = c->Next(150)) {
            EXPECT_EQ(said->header.type, uint32_t(sh::MessageType::Arrived));
            EXPECT_EQ(said->header.address, htonl(INADDR_LOOPBACK));
            delivered.push_back(said->bytes);
        }
        EXPECT_EQ(seen, 1) << "void: " << row.what;
        EXPECT_EQ(delivered, row.delivered ? std::vector<Bytes>{row.message} : std::vector<Bytes>{})
            << row.what;
    }
    EXPECT_FALSE(c->SawDescriptor());
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
