// zelvo-sockhelper and the tool's side of it, as root (in a network namespace of the
// test's own, so port 67 is free): what the helper hands over, what it refuses, what it
// keeps of its privileges, and what the client reports when no socket comes.
#include "platform/PrivilegedSockets.h"

#include "PrivateNetwork.h"

#include <linux/capability.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace zelvo {
namespace {

namespace fs = std::filesystem;
using sockhelper::SocketKind;

const std::string kHelper = ZELVO_SOCKHELPER_PATH;

int Option(int fd, int level, int name)
{
    int value = -1;
    socklen_t length = sizeof value;
    ::getsockopt(fd, level, name, &value, &length);
    return value;
}

// The helper with the test holding its channel, so the test can send what the tool never would.
class Helper
{
public:
    Helper()
    {
        int pair[2];
        ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair);
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, pair[1], sockhelper::kChannelFd);
        char* argv[] = {const_cast<char*>(kHelper.c_str()), nullptr};
        char* envp[] = {nullptr};
        ::posix_spawn(&m_pid, kHelper.c_str(), &actions, nullptr, argv, envp);
        ::posix_spawn_file_actions_destroy(&actions);
        m_channel.Reset(pair[0]);
        ::close(pair[1]);
    }
    ~Helper()
    {
        m_channel.Reset(); // the helper ends on its own
        ::waitpid(m_pid, nullptr, 0);
    }
    // Sends bytes (with fd attached when given); the reply's error, or -1 without a reply.
    int Ask(const std::vector<uint8_t>& bytes, UniqueFd* received = nullptr, int attach = -1)
    {
        iovec iov{const_cast<uint8_t*>(bytes.data()), bytes.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        if (attach >= 0) {
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            cmsghdr* c = CMSG_FIRSTHDR(&msg);
            *c = cmsghdr{CMSG_LEN(sizeof(int)), SOL_SOCKET, SCM_RIGHTS};
            std::memcpy(CMSG_DATA(c), &attach, sizeof attach);
        }
        pollfd p{m_channel.Get(), POLLIN, 0};
        if (::sendmsg(m_channel.Get(), &msg, MSG_NOSIGNAL) < 0 || ::poll(&p, 1, 3000) != 1)
            return -1;
        sockhelper::ReplyMessage reply;
        iovec in{&reply, sizeof reply};
        msghdr r{};
        r.msg_iov = &in;
        r.msg_iovlen = 1;
        r.msg_control = control;
        r.msg_controllen = sizeof control;
        if (::recvmsg(m_channel.Get(), &r, MSG_CMSG_CLOEXEC) != sizeof reply)
            return -1;
        UniqueFd fd;
        if (cmsghdr* c = CMSG_FIRSTHDR(&r); c && c->cmsg_type == SCM_RIGHTS) {
            int value;
            std::memcpy(&value, CMSG_DATA(c), sizeof value);
            fd.Reset(value);
        }
        EXPECT_EQ(fd.Valid(), reply.error == 0) << "a descriptor exactly on success";
        if (received)
            *received = std::move(fd);
        return reply.error;
    }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    UniqueFd m_channel;
};

std::vector<uint8_t> Request(uint32_t kind, uint32_t magic = sockhelper::kMagic)
{
    std::vector<uint8_t> b(8);
    std::memcpy(b.data(), &magic, 4);
    std::memcpy(b.data() + 4, &kind, 4);
    return b;
}

uint64_t CapabilitySet(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stoull(line.substr(field.size() + 1), nullptr, 16);
    return ~0ull;
}

class SockHelper : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the helper's privileges can only be checked as root";
        if (!test::PrivateNetworkProblem().empty())
            GTEST_SKIP() << test::PrivateNetworkProblem();
    }
};

TEST_F(SockHelper, handsOverTheTwoSocketsAndRefusesAllElse)
{
    Helper helper;
    UniqueFd raw, dhcp;
    ASSERT_EQ(helper.Ask(Request(1), &raw), 0);
    EXPECT_EQ(Option(raw.Get(), SOL_SOCKET, SO_TYPE), SOCK_RAW);
    EXPECT_EQ(Option(raw.Get(), SOL_SOCKET, SO_PROTOCOL), IPPROTO_ICMP);
    ASSERT_EQ(helper.Ask(Request(2), &dhcp), 0);
    EXPECT_EQ(Option(dhcp.Get(), SOL_SOCKET, SO_BROADCAST), 1);
    EXPECT_EQ(Option(dhcp.Get(), IPPROTO_IP, IP_PKTINFO), 1);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(dhcp.Get(), reinterpret_cast<sockaddr*>(&bound), &length);
    EXPECT_EQ(ntohs(bound.sin_port), 67);
    EXPECT_EQ(bound.sin_addr.s_addr, htonl(INADDR_ANY));
    EXPECT_EQ(helper.Ask(Request(2)), EADDRINUSE) << "the port is taken now";

    std::vector<uint8_t> longer = Request(1);
    longer.push_back(0);
    for (const auto& odd :
         {Request(0), Request(3), Request(0xFFFFFFFF), Request(1, 0x12345678),
          std::vector<uint8_t>{1, 2, 3, 4}, longer, std::vector<uint8_t>(4096, 1)})
        EXPECT_EQ(helper.Ask(odd), EPERM) << odd.size() << " bytes";
    EXPECT_EQ(helper.Ask(Request(1)), 0) << "still serving after refusals";
}

TEST_F(SockHelper, keepsOnlyItsTwoCapabilitiesAndItsChannel)
{
    Helper helper; // started by root, with every capability
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    EXPECT_EQ(helper.Ask(Request(1), nullptr, pipeFds[0]), 0); // a descriptor sent along
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    EXPECT_EQ(helper.Ask(Request(0)), EPERM); // answered after the first socket was closed
    const uint64_t two = (1ull << CAP_NET_RAW) | (1ull << CAP_NET_BIND_SERVICE);
    EXPECT_EQ(CapabilitySet(helper.Pid(), "CapEff"), two);
    EXPECT_EQ(CapabilitySet(helper.Pid(), "CapPrm"), two);
    EXPECT_EQ(CapabilitySet(helper.Pid(), "CapInh"), 0u);
    EXPECT_EQ(CapabilitySet(helper.Pid(), "CapAmb"), 0u);
    EXPECT_EQ(CapabilitySet(helper.Pid(), "NoNewPrivs"), 1u);
    std::vector<std::string> open;
    for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(helper.Pid()) + "/fd"))
        if (std::stoi(e.path().filename().string()) > 2)
            open.push_back(e.path().filename().string());
    EXPECT_EQ(open, std::vector<std::string>{"3"});
}

TEST_F(SockHelper, clientSaysWhyNoSocketCame)
{
    char pattern[] = "/tmp/zelvo-sockhelper-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    ::chmod(pattern, 0755);
    fs::copy_file(kHelper, dir / "helper");
    // The tool run as nobody, with a helper that was not given its capabilities.
    std::ofstream(dir / "as-nobody") << "#!/bin/sh\nexec /usr/bin/setpriv --reuid=nobody "
                                        "--regid=nogroup --clear-groups "
                                     << (dir / "helper") << "\n";
    fs::permissions(dir / "as-nobody", fs::perms::all);
    fs::permissions(dir / "helper", fs::perms::all);
    struct Case
    {
        std::string path;
        SocketProblem problem;
        std::string mentions;
    };
    for (const Case& c : {Case{(dir / "missing").string(), SocketProblem::HelperMissing, "missing"},
                          Case{"/bin/true", SocketProblem::HelperFailed, "/bin/true"},
                          Case{(dir / "as-nobody").string(), SocketProblem::HelperUnprivileged,
                               "lacks CAP_NET_RAW"},
                          Case{kHelper, SocketProblem::None, ""}}) {
        SCOPED_TRACE(c.path);
        SockHelperClient client(c.path);
        const SocketAcquisition got = client.Request(PrivilegedSocketKind::RawIcmp);
        EXPECT_EQ(got.problem, c.problem);
        EXPECT_EQ(got.socket.Valid(), c.problem == SocketProblem::None);
        EXPECT_NE(got.detail.find(c.mentions), std::string::npos) << got.detail;
    }
    fs::remove_all(dir);
}

TEST_F(SockHelper, clientReplacesAHelperThatDied)
{
    SockHelperClient client(kHelper);
    ASSERT_TRUE(client.Request(PrivilegedSocketKind::RawIcmp).viaHelper);
    const pid_t first = client.HelperPid();
    ::kill(first, SIGKILL);
    const SocketAcquisition again = client.Request(PrivilegedSocketKind::RawIcmp);
    EXPECT_TRUE(again.socket.Valid()) << again.detail;
    EXPECT_NE(client.HelperPid(), first);
}

TEST_F(SockHelper, aPrivilegedProcessOpensItsOwnSockets)
{
    const SocketAcquisition raw = AcquirePrivilegedSocket(PrivilegedSocketKind::RawIcmp);
    EXPECT_TRUE(raw.socket.Valid() && !raw.viaHelper) << raw.detail;
    const SocketAcquisition dhcp = AcquirePrivilegedSocket(PrivilegedSocketKind::DhcpServer);
    EXPECT_TRUE(dhcp.socket.Valid() && !dhcp.viaHelper) << dhcp.detail;
    const SocketAcquisition taken = AcquirePrivilegedSocket(PrivilegedSocketKind::DhcpServer);
    EXPECT_EQ(taken.problem, SocketProblem::OpenFailed);
    EXPECT_EQ(taken.error, EADDRINUSE);
}

} // namespace
} // namespace zelvo
