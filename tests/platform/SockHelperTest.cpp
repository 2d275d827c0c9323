// zelvo-sockhelper as the tool starts it: what it hands over (a raw ICMP socket whose
// locked filter lets through echo replies and errors about echo requests only), what it
// keeps of its privileges once it has answered, and how it serves an account when its file
// carries one capability only or when the account may not run it. Root only: the test
// works in a network namespace of its own and runs the helper as nobody.
#include "platform/IcmpMessage.h"
#include "platform/PrivilegedSockets.h"
#include "support/InternetChecksum.h"

#include <grp.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

namespace zelvo {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
constexpr uid_t kNobody = 65534;

uint64_t StatusField(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stoull(line.substr(field.size() + 1), nullptr, 16);
    return ~0ull;
}

std::vector<std::string> OpenDescriptorsAbove2(pid_t pid)
{
    std::vector<std::string> open;
    for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        if (std::stoi(e.path().filename().string()) > 2)
            open.push_back(e.path().filename().string());
    return open;
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

// Runs body in a child process as nobody; true when it returned true.
bool AsNobody(const std::function<bool()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const bool ok = ::setgroups(0, nullptr) == 0 &&
                        ::setresgid(kNobody, kNobody, kNobody) == 0 &&
                        ::setresuid(kNobody, kNobody, kNobody) == 0 && body();
        std::fflush(nullptr);
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class SockHelper : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (::geteuid() != 0)
            s_why = "the helper's privileges can only be checked as root";
        else if (::unshare(CLONE_NEWNET) != 0 || std::system("ip link set lo up") != 0)
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
    }
    void TearDown() override
    {
        if (!m_dir.empty())
            fs::remove_all(m_dir);
    }
    // A copy of the helper with the given mode and file capabilities ("" for none).
    std::string Copy(const std::string& name, fs::perms mode, const std::string& caps)
    {
        const fs::path copy = m_dir / name;
        fs::copy_file(ZELVO_SOCKHELPER_PATH, copy);
        fs::permissions(copy, mode);
        if (!caps.empty()) {
            EXPECT_EQ(std::system(("setcap " + caps + " " + copy.string()).c_str()), 0);
        }
        return copy.string();
    }

    static std::string s_why;
    fs::path m_dir;
};
std::string SockHelper::s_why;

TEST_F(SockHelper, handsOverALockedRawSocketAndKeepsNothingOnceItHasAnswered)
{
    SockHelperClient client(ZELVO_SOCKHELPER_PATH); // as root: every capability at start
    const SocketAcquisition raw = client.Request(PrivilegedSocketKind::RawIcmp);
    ASSERT_TRUE(raw.socket.Valid() && raw.viaHelper) << raw.detail;
    int type = 0, protocol = 0;
    socklen_t length = sizeof type;
    ::getsockopt(raw.socket.Get(), SOL_SOCKET, SO_TYPE, &type, &length);
    ::getsockopt(raw.socket.Get(), SOL_SOCKET, SO_PROTOCOL, &protocol, &length);
    EXPECT_EQ(type, SOCK_RAW);
    EXPECT_EQ(protocol, IPPROTO_ICMP);
    // The filter stays: it can be neither taken off nor replaced.
    int unused = 0;
    EXPECT_NE(::setsockopt(raw.socket.Get(), SOL_SOCKET, SO_DETACH_FILTER, &unused, sizeof unused),
              0);
    sock_filter acceptAll = BPF_STMT(BPF_RET | BPF_K, 0xFFFF);
    const sock_fprog program{1, &acceptAll};
    EXPECT_NE(
        ::setsockopt(raw.socket.Get(), SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program), 0);

    const pid_t pid = client.HelperPid();
    ASSERT_GT(pid, 0);
    for (const char* set : {"CapEff", "CapPrm", "CapInh", "CapAmb"})
        EXPECT_EQ(StatusField(pid, set), 0u) << set;
    EXPECT_EQ(StatusField(pid, "NoNewPrivs"), 1u);
    // Beyond the standard three, only its channel stays open once the socket has left.
    std::vector<std::string> open;
    for (int tries = 0; tries < 100 && open != std::vector<std::string>{"3"}; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(tries ? 10 : 0));
        open = OpenDescriptorsAbove2(pid);
    }
    EXPECT_EQ(open, std::vector<std::string>{"3"});

    // The next request gets a helper of its own; the last one has ended.
    const SocketAcquisition again = client.Request(PrivilegedSocketKind::DhcpServer);
    EXPECT_TRUE(again.socket.Valid()) << again.detail;
    EXPECT_NE(client.HelperPid(), pid);
    EXPECT_FALSE(fs::exists("/proc/" + std::to_string(pid)));
}

TEST_F(SockHelper, theRawSocketDeliversOnlyEchoRepliesAndErrorsAboutEchoRequests)
{
    SockHelperClient client(ZELVO_SOCKHELPER_PATH);
    const SocketAcquisition raw = client.Request(PrivilegedSocketKind::RawIcmp);
    ASSERT_TRUE(raw.socket.Valid()) << raw.detail;
    // Beside it, an unfiltered raw socket shows that everything below did arrive.
    UniqueFd open(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    UniqueFd udp(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(open.Valid() && udp.Valid());

    const Bytes echoHead = {8, 0, 0, 0, 0x12, 0x34, 0, 0};
    const Bytes udpHead = {0x30, 0x39, 0, 53, 0, 8, 0, 0};
    const struct
    {
        const char* what;
        Bytes message;
        bool delivered;
    } rows[] = {
        {"echo reply", Icmp(0, 0, {0xAB, 0xCD, 0, 1, 'r'}), true},
        {"unreachable about an echo request", ErrorQuoting(3, 1, echoHead), true},
        {"time exceeded about an echo request", ErrorQuoting(11, 1, echoHead), true},
        {"parameter problem about an echo request", ErrorQuoting(12, 1, echoHead), true},
        {"unreachable about a UDP datagram", ErrorQuoting(3, 17, udpHead), false},
        {"unreachable about an echo reply", ErrorQuoting(3, 1, {0, 0, 0, 0, 1, 2, 0, 0}), false},
        {"redirect about an echo request", ErrorQuoting(5, 1, echoHead), false},
        {"timestamp request", Icmp(13, 0, {0, 7, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), false},
        {"address mask request", Icmp(17, 0, {0, 8, 0, 1, 0, 0, 0, 0}), false},
        {"truncated error", Icmp(3, 1, {0, 0, 0, 0, 0x45}), false},
    };
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto read = [](int fd) {
        std::vector<Bytes> got;
        uint8_t buffer[2048];
        for (int idle = 0; idle < 3;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0) {
                ++idle;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                continue;
            }
            const auto icmp = IcmpAfterIpv4Header({buffer, std::size_t(n)});
            got.emplace_back(icmp.begin(), icmp.end());
        }
        return got;
    };
    for (const auto& row : rows) {
        ASSERT_EQ(::sendto(open.Get(), row.message.data(), row.message.size(), 0,
                           reinterpret_cast<const sockaddr*>(&loopback), sizeof loopback),
                  ssize_t(row.message.size()))
            << row.what;
        const std::vector<Bytes> seen = read(open.Get());
        const std::vector<Bytes> delivered = read(raw.socket.Get());
        EXPECT_EQ(std::count(seen.begin(), seen.end(), row.message), 1) << "void: " << row.what;
        EXPECT_EQ(std::count(delivered.begin(), delivered.end(), row.message),
                  row.delivered ? 1 : 0)
            << row.what;
    }
    // Nor does a UDP datagram, or the host's own answer to it, come through.
    loopback.sin_port = htons(9);
    ASSERT_EQ(::sendto(udp.Get(), "x", 1, 0, reinterpret_cast<const sockaddr*>(&loopback),
                       sizeof loopback),
              1);
    const std::vector<Bytes> seen = read(open.Get());
    EXPECT_FALSE(seen.empty()) << "void: the host did not answer the UDP datagram";
    EXPECT_TRUE(read(raw.socket.Get()).empty());
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
        {"cap_net_raw=ep", PrivilegedSocketKind::RawIcmp, PrivilegedSocketKind::DhcpServer,
         "lacks CAP_NET_BIND_SERVICE"},
        {"cap_net_bind_service=ep", PrivilegedSocketKind::DhcpServer, PrivilegedSocketKind::RawIcmp,
         "lacks CAP_NET_RAW"},
    };
    for (const auto& row : rows) {
        const std::string helper = Copy(std::string("one-") + row.caps, fs::perms(0755), row.caps);
        EXPECT_TRUE(AsNobody([&] {
            SockHelperClient client(helper);
            const SocketAcquisition served = client.Request(row.served);
            const SocketAcquisition refused = client.Request(row.refused);
            if (!served.socket.Valid() || refused.socket.Valid() ||
                refused.problem != SocketProblem::HelperUnprivileged ||
                refused.detail.find(row.missing) == std::string::npos) {
                std::fprintf(stderr, "served: %s\nrefused: %s\n", served.detail.c_str(),
                             refused.detail.c_str());
                return false;
            }
            return true;
        })) << row.caps;
    }
}

TEST_F(SockHelper, anAccountOutsideTheHelpersGroupIsToldHowToGetIn)
{
    const std::string helper =
        Copy("group-only", fs::perms(0750), "cap_net_raw,cap_net_bind_service=ep");
    EXPECT_TRUE(AsNobody([&] {
        SockHelperClient client(helper);
        const SocketAcquisition raw = client.Request(PrivilegedSocketKind::RawIcmp);
        const bool told = !raw.socket.Valid() && raw.problem == SocketProblem::HelperNotPermitted &&
                          raw.detail.find("usermod -aG zelvo-setup nobody") != std::string::npos;
        if (!told)
            std::fprintf(stderr, "%s\n", raw.detail.c_str());
        return told && client.HelperPid() < 0;
    }));
}

} // namespace
} // namespace zelvo
