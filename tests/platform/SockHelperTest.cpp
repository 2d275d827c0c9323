// zelvo-sockhelper as a member of its group runs it: the socket never leaves the helper,
// which keeps no capability once it serves; it sends only the tool's echo requests and
// DHCP replies and refuses anything else; it passes back only echo replies and errors
// about our echo requests, and what reaches port 67. Root only: the test works in a
// network namespace of its own (loopback and a veth card; the host answers no echo
// request, so that every echo reply is the test's) and runs the helper, installed
// root:GROUP 0750 with its two capabilities permitted, as a throwaway account in GROUP.
#include "platform/IcmpMessage.h"
#include "platform/PrivilegedSockets.h"
#include "support/InternetChecksum.h"
#include "support/PrivilegedDescriptors.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <vector>

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
const uint32_t kCardAddress = Nbo("10.231.99.1"); // the card's

// An id that no account and no group of this machine has, from start on.
uid_t FreeId(uid_t start)
{
    while (::getpwuid(start) || ::getgrgid(start))
        ++start;
    return start;
}
const uid_t kMember = FreeId(61100);
const gid_t kGroup = FreeId(kMember + 1);

uint64_t StatusField(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stoull(line.substr(field.size() + 1), nullptr, 16);
    return ~0ull;
}

// An ICMP message with a correct checksum (RFC 1071).
Bytes Icmp(uint8_t type, uint8_t code, Bytes rest)
{
    Bytes m = {type, code, 0, 0};
    m.insert(m.end(), rest.begin(), rest.end());
    if (m.size() % 2)
        m.push_back(0);
    const uint16_t sum = test::InternetChecksum(m);
    m[2] = uint8_t(sum >> 8), m[3] = uint8_t(sum);
    return m;
}

// An ICMP error quoting a datagram of the given protocol whose first bytes are quoted.
Bytes ErrorQuoting(uint8_t type, uint8_t protocol, Bytes quoted)
{
    Bytes rest = {0,   0, 0, 0, 0x45, 0,        0, uint8_t(20 + quoted.size()),
                  0,   0, 0, 0, 64,   protocol, 0, 0,
                  127, 0, 0, 1, 127,  0,        0, 1};
    rest.insert(rest.end(), quoted.begin(), quoted.end());
    return Icmp(type, 0, rest);
}

// An echo request as the tool builds it (type, code, identifier, sequence 1, tick count,
// 32 bytes of 'E'), with the given changes.
Bytes EchoRequest(std::function<void(Bytes&)> change = {})
{
    Bytes m(44, 0x45);
    m[0] = 8, m[1] = 0, m[2] = 0xAA, m[3] = 0xBB, m[4] = kId[0], m[5] = kId[1];
    m[6] = 1, m[7] = 0, m[8] = 9, m[9] = 8, m[10] = 7, m[11] = 6;
    if (change)
        change(m);
    return m;
}

// A DHCP reply of the tool's form: a 312-byte BOOTREPLY with the magic cookie.
Bytes BootReply(std::function<void(Bytes&)> change = {})
{
    Bytes m(312, 0);
    m[0] = 2, m[1] = 1, m[2] = 6;
    m[236] = 99, m[237] = 130, m[238] = 83, m[239] = 99, m[240] = 255;
    if (change)
        change(m);
    return m;
}

// What a helper said, one message.
struct Said
{
    sh::Message header;
    Bytes bytes;
};

// The tool's end of a helper's channel, spoken to byte by byte. The helper runs as the
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
            const gid_t groups[] = {kGroup};
            char* argv[] = {const_cast<char*>(sh::kHelperFileName), nullptr};
            char* envp[] = {nullptr};
            if (::setgroups(1, groups) == 0 && ::setresgid(kMember, kMember, kMember) == 0 &&
                ::setresuid(kMember, kMember, kMember) == 0)
                ::execve(helper.c_str(), argv, envp);
            ::_exit(127);
        }
    }
    ~Channel()
    {
        m_fd.Reset();
        ::waitpid(m_pid, nullptr, 0);
    }
    pid_t Pid() const { return m_pid; }

    void Tell(sh::MessageType type, const Bytes& bytes = {},
              std::function<void(sh::Message&)> fill = {})
    {
        sh::Message m;
        m.type = static_cast<uint32_t>(type);
        if (fill)
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
        if (n < ssize_t(sizeof said.header)) {
            m_ended = true;
            return std::nullopt;
        }
        std::memcpy(&said.header, buffer, sizeof said.header);
        said.bytes.assign(buffer + sizeof said.header, buffer + n);
        return said;
    }
    // The next message that is not an arrival.
    std::optional<Said> Answer()
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
    bool m_ended = false;
    bool m_descriptor = false;
};

// Everything a raw socket of the given protocol sees for a moment, from the IPv4 header on.
std::vector<Bytes> Drain(int fd, int quietMs = 150)
{
    std::vector<Bytes> got;
    uint8_t buffer[4096];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, quietMs) > 0) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0)
            got.emplace_back(buffer, buffer + n);
    }
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
        m_helper =
            Copy("zelvo-sockhelper", kGroup, fs::perms(0750), "cap_net_raw,cap_net_bind_service=p");
    }
    void TearDown() override
    {
        if (!m_dir.empty())
            fs::remove_all(m_dir);
    }
    // A copy of the helper, root:group, with the given mode and file capabilities.
    std::string Copy(const std::string& name, gid_t group, fs::perms mode, const std::string& caps)
    {
        const fs::path copy = m_dir / name;
        fs::copy_file(ZELVO_SOCKHELPER_PATH, copy);
        EXPECT_EQ(::chown(copy.c_str(), 0, group), 0);
        fs::permissions(copy, mode);
        if (!caps.empty()) {
            EXPECT_EQ(std::system(("setcap " + caps + " " + copy.string()).c_str()), 0);
        }
        return copy.string();
    }
    // A session as the tool opens it; asserts the helper opened its socket.
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
    // The member opens both sessions through the tool's own code, and says which
    // privileged sockets it holds; the helpers wait until they have been looked at.
    int report[2], go[2];
    ASSERT_EQ(::pipe(report), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t member = ::fork();
    if (member == 0) {
        ::close(report[0]);
        ::close(go[1]);
        const gid_t groups[] = {kGroup};
        if (::setgroups(1, groups) != 0 || ::setresgid(kMember, kMember, kMember) != 0 ||
            ::setresuid(kMember, kMember, kMember) != 0)
            ::_exit(1);
        bool ok = false;
        {
            PrivilegedSocketRequest icmp;
            icmp.identifierBytes = {kId[0], kId[1]};
            PrivilegedSocketRequest dhcp;
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
        if (helper <= 0)
            continue;
        for (const char* set : {"CapEff", "CapPrm", "CapInh", "CapAmb"})
            EXPECT_EQ(StatusField(helper, set), 0u) << set;
        EXPECT_EQ(StatusField(helper, "NoNewPrivs"), 1u);
        std::vector<std::string> open;
        for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(helper) + "/fd"))
            if (std::stoi(e.path().filename().string()) > 2)
                open.push_back(e.path().filename().string());
        EXPECT_EQ(open.size(), 2u) << "the helper holds more than its channel and its socket";
    }
    ::close(go[1]);
    ::close(report[0]);
    int status = 0;
    ::waitpid(member, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // The session's end is the helper's.
    for (const pid_t helper : {said[0], said[1]})
        EXPECT_FALSE(helper > 0 && fs::exists("/proc/" + std::to_string(helper)));
}

TEST_F(SockHelper, sendsOnlyTheToolsEchoRequestsAndDhcpRepliesAndEndsTheSessionOnAnythingElse)
{
    const int lo = int(::if_nametoindex("lo"));
    const int card1 = int(::if_nametoindex("card1"));
    const uint32_t loopback = Nbo("127.0.0.1");
    const uint32_t broadcast = Nbo("255.255.255.255");
    UniqueFd icmpSeen(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    UniqueFd udpSeen(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_UDP));
    UniqueFd client(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(icmpSeen.Valid() && udpSeen.Valid() && client.Valid());
    const sh::MessageType echo = sh::MessageType::SendEcho, reply = sh::MessageType::SendReply;
    const sh::SocketKind icmp = sh::SocketKind::RawIcmp, dhcp = sh::SocketKind::DhcpServer;

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
        {"an echo reply", icmp, echo, EchoRequest([](Bytes& m) { m[0] = 0; }), loopback, 0, 0,
         false},
        {"another identifier", icmp, echo, EchoRequest([](Bytes& m) { m[4] = 0x99; }), loopback, 0,
         0, false},
        {"another payload", icmp, echo, EchoRequest([](Bytes& m) { m[43] = 0; }), loopback, 0, 0,
         false},
        {"a longer request", icmp, echo, EchoRequest([](Bytes& m) { m.resize(1000, 0x45); }),
         loopback, 0, 0, false},
        {"an IPv4 header of its own", icmp, echo, EchoRequest([](Bytes& m) {
             m.insert(m.begin(), {0x45, 0, 0, 64});
         }),
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
        {"on a card no request came in on", dhcp, reply, BootReply(), broadcast, 68, card1, false},
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
            // A request on port 67 comes back with its card and sender; it allows one reply
            // on that card.
            sockaddr_in port67{};
            port67.sin_family = AF_INET;
            port67.sin_port = htons(67);
            port67.sin_addr.s_addr = loopback;
            ASSERT_EQ(::sendto(client.Get(), "hello", 5, 0,
                               reinterpret_cast<const sockaddr*>(&port67), sizeof port67),
                      5);
            const auto arrived = c->Next();
            ASSERT_TRUE(arrived && arrived->header.type == uint32_t(sh::MessageType::Arrived));
            EXPECT_EQ(arrived->bytes, Bytes({'h', 'e', 'l', 'l', 'o'}));
            EXPECT_EQ(arrived->header.interfaceIndex, lo);
            EXPECT_EQ(arrived->header.address, loopback);
        }
        for (int i = 1; i <= row.repeat; ++i) {
            c->Tell(row.type, row.message, [&](sh::Message& m) {
                m.address = row.to;
                m.port = row.port;
                m.interfaceIndex = row.card;
            });
            const bool last = i == row.repeat;
            const auto sent = c->Answer();
            ASSERT_TRUE(sent && sent->header.type == uint32_t(sh::MessageType::Sent));
            EXPECT_EQ(sent->header.value, row.sent || !last ? int(row.message.size()) : -EPERM);
        }
        EXPECT_EQ(c->Ended(), !row.sent)
            << "the session goes on after a refusal, or not after a send";

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
    const int lo = int(::if_nametoindex("lo"));
    const int card1 = int(::if_nametoindex("card1"));
    const struct
    {
        const char* what;
        uint32_t source;
        int card;
        int32_t opened;
    } rows[] = {
        {"the card's address", kCardAddress, card1, 0},
        {"routing decides", 0, 0, 0},
        {"no address of the PC", Nbo("10.231.99.7"), card1, EADDRNOTAVAIL},
        {"another card's address", kCardAddress, lo, EADDRNOTAVAIL},
        {"an address without its card", kCardAddress, 0, EADDRNOTAVAIL},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const auto c = Open(sh::SocketKind::RawIcmp, row.source, row.card, row.opened);
        EXPECT_EQ(c->Ended(), row.opened != 0);
    }
}

TEST_F(SockHelper, passesBackOnlyEchoRepliesAndErrorsAboutOurEchoRequests)
{
    const auto c = Open(sh::SocketKind::RawIcmp);
    // Beside it, an unfiltered raw socket shows that everything below did arrive.
    UniqueFd open(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    UniqueFd udp(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(open.Valid() && udp.Valid());

    const Bytes ourEcho = {8, 0, 0, 0, kId[0], kId[1], 0, 0};
    const Bytes otherEcho = {8, 0, 0, 0, 0x56, 0x78, 0, 0};
    const Bytes udpHead = {0x30, 0x39, 0, 53, 0, 8, 0, 0};
    const struct
    {
        const char* what;
        Bytes message;
        bool delivered;
    } rows[] = {
        {"our echo reply", Icmp(0, 0, {kId[0], kId[1], 0, 1, 'r'}), true},
        {"unreachable about our echo request", ErrorQuoting(3, 1, ourEcho), true},
        {"time exceeded about our echo request", ErrorQuoting(11, 1, ourEcho), true},
        {"parameter problem about our echo request", ErrorQuoting(12, 1, ourEcho), true},
        {"another's echo reply", Icmp(0, 0, {0x56, 0x78, 0, 1, 'r'}), false},
        {"unreachable about another's echo request", ErrorQuoting(3, 1, otherEcho), false},
        {"unreachable about a UDP datagram", ErrorQuoting(3, 17, udpHead), false},
        {"unreachable about an echo reply", ErrorQuoting(3, 1, {0, 0, 0, 0, kId[0], kId[1], 0, 0}),
         false},
        {"redirect about our echo request", ErrorQuoting(5, 1, ourEcho), false},
        {"our echo request", Icmp(8, 0, {kId[0], kId[1], 0, 1, 'q'}), false},
        {"timestamp request", Icmp(13, 0, {kId[0], kId[1], 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}), false},
        {"address mask request", Icmp(17, 0, {0, 8, 0, 1, 0, 0, 0, 0}), false},
        {"truncated error", Icmp(3, 1, {0, 0, 0, 0, 0x45}), false},
    };
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto passed = [&c] {
        std::vector<Bytes> got;
        while (auto said = c->Next(150)) {
            EXPECT_EQ(said->header.type, uint32_t(sh::MessageType::Arrived));
            EXPECT_EQ(said->header.address, htonl(INADDR_LOOPBACK));
            got.push_back(said->bytes);
        }
        return got;
    };
    for (const auto& row : rows) {
        ASSERT_EQ(::sendto(open.Get(), row.message.data(), row.message.size(), 0,
                           reinterpret_cast<const sockaddr*>(&loopback), sizeof loopback),
                  ssize_t(row.message.size()))
            << row.what;
        std::vector<Bytes> seen;
        for (const Bytes& d : Drain(open.Get())) {
            const auto m = IcmpAfterIpv4Header(d);
            seen.emplace_back(m.begin(), m.end());
        }
        const std::vector<Bytes> delivered = passed();
        EXPECT_EQ(std::count(seen.begin(), seen.end(), row.message), 1) << "void: " << row.what;
        EXPECT_EQ(std::count(delivered.begin(), delivered.end(), row.message),
                  row.delivered ? 1 : 0)
            << row.what;
        EXPECT_EQ(delivered.size(), row.delivered ? 1u : 0u) << row.what;
    }
    // Nor does a UDP datagram, or the host's own answer to it, come through.
    loopback.sin_port = htons(9);
    ASSERT_EQ(::sendto(udp.Get(), "x", 1, 0, reinterpret_cast<const sockaddr*>(&loopback),
                       sizeof loopback),
              1);
    EXPECT_FALSE(Drain(open.Get()).empty()) << "void: the host did not answer the UDP datagram";
    EXPECT_TRUE(passed().empty());
    EXPECT_FALSE(c->SawDescriptor());
}

TEST_F(SockHelper, aFileWithOneCapabilityServesWhatThatOneAllows)
{
    const struct
    {
        const char* caps;
        PrivilegedSocketKind served;
        PrivilegedSocketKind refused;
        const char* missing;
    } rows[] = {
        {"cap_net_raw=p", PrivilegedSocketKind::RawIcmp, PrivilegedSocketKind::DhcpServer,
         "lacks CAP_NET_BIND_SERVICE"},
        {"cap_net_bind_service=p", PrivilegedSocketKind::DhcpServer, PrivilegedSocketKind::RawIcmp,
         "lacks CAP_NET_RAW"},
    };
    for (const auto& row : rows) {
        const std::string helper =
            Copy(std::string("one-") + row.caps, kGroup, fs::perms(0750), row.caps);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const gid_t groups[] = {kGroup};
            if (::setgroups(1, groups) != 0 || ::setresgid(kMember, kMember, kMember) != 0 ||
                ::setresuid(kMember, kMember, kMember) != 0)
                ::_exit(1);
            PrivilegedSocketRequest served, refused;
            served.kind = row.served;
            refused.kind = row.refused;
            const SocketAcquisition a = StartSockHelper(helper, served);
            const SocketAcquisition b = StartSockHelper(helper, refused);
            const bool ok = a.session && !b.session &&
                            b.problem == SocketProblem::HelperUnprivileged &&
                            b.detail.find(row.missing) != std::string::npos;
            if (!ok)
                std::fprintf(stderr, "served: %s\nrefused: %s\n", a.detail.c_str(),
                             b.detail.c_str());
            std::fflush(nullptr);
            ::_exit(ok ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << row.caps;
    }
}

TEST_F(SockHelper, anAccountOutsideTheHelpersGroupIsToldHowToGetIn)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kMember, kMember, kMember) != 0 ||
            ::setresuid(kMember, kMember, kMember) != 0)
            ::_exit(1);
        const SocketAcquisition raw = StartSockHelper(m_helper, PrivilegedSocketRequest{});
        const bool told = !raw.session && raw.problem == SocketProblem::HelperNotPermitted &&
                          raw.detail.find("usermod -aG zelvo-setup") != std::string::npos;
        if (!told)
            std::fprintf(stderr, "%s\n", raw.detail.c_str());
        std::fflush(nullptr);
        ::_exit(told ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
} // namespace zelvo
