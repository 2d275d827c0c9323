// zelvo-sockhelper and the tool's side of it. Most cases need root: to see that the
// helper gives a raw socket and drops every capability but its two, and to run it as
// an unprivileged user with and without its file capabilities.
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

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

namespace zelvo {
namespace {

namespace fs = std::filesystem;
using sockhelper::ReplyMessage;
using sockhelper::RequestMessage;

const std::string kHelper = ZELVO_SOCKHELPER_PATH;
constexpr const char* kSetpriv = "/usr/bin/setpriv";
constexpr uint64_t kTwoCapabilities = (1ull << CAP_NET_RAW) | (1ull << CAP_NET_BIND_SERVICE);

bool IsRoot()
{
    return ::geteuid() == 0;
}

// The helper started by the test, which holds the other end of its channel and so can
// send what the tool never would.
class HelperProcess
{
public:
    // argv runs with the channel as descriptor 3 (the helper, or setpriv ... helper).
    explicit HelperProcess(std::vector<std::string> argv, bool withChannel = true)
    {
        int pair[2] = {-1, -1};
        if (withChannel)
            ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair);
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        if (withChannel)
            ::posix_spawn_file_actions_adddup2(&actions, pair[1], sockhelper::kChannelFd);
        std::vector<char*> args;
        for (std::string& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        char* envp[] = {nullptr};
        if (::posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), envp) != 0)
            m_pid = -1;
        ::posix_spawn_file_actions_destroy(&actions);
        if (withChannel) {
            m_channel.Reset(pair[0]);
            ::close(pair[1]);
        }
    }
    ~HelperProcess()
    {
        m_channel.Reset();
        if (m_pid > 0 && !Exit(std::chrono::seconds(2))) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    struct Answer
    {
        bool answered = false;
        ssize_t size = 0;
        ReplyMessage reply;
        UniqueFd fd;
    };

    Answer Ask(const void* message, std::size_t size, int passFd = -1)
    {
        iovec iov{const_cast<void*>(message), size};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        if (passFd >= 0) {
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            cmsghdr* c = CMSG_FIRSTHDR(&msg);
            c->cmsg_level = SOL_SOCKET;
            c->cmsg_type = SCM_RIGHTS;
            c->cmsg_len = CMSG_LEN(sizeof(int));
            std::memcpy(CMSG_DATA(c), &passFd, sizeof passFd);
        }
        Answer answer;
        if (::sendmsg(m_channel.Get(), &msg, MSG_NOSIGNAL) < 0)
            return answer;
        pollfd p{m_channel.Get(), POLLIN, 0};
        if (::poll(&p, 1, 3000) <= 0)
            return answer;
        iovec in{&answer.reply, sizeof answer.reply};
        alignas(cmsghdr) char received[CMSG_SPACE(sizeof(int))] = {};
        msghdr r{};
        r.msg_iov = &in;
        r.msg_iovlen = 1;
        r.msg_control = received;
        r.msg_controllen = sizeof received;
        answer.size = ::recvmsg(m_channel.Get(), &r, MSG_CMSG_CLOEXEC);
        answer.answered = answer.size > 0;
        if (cmsghdr* c = answer.size > 0 ? CMSG_FIRSTHDR(&r) : nullptr;
            c && c->cmsg_type == SCM_RIGHTS) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
            answer.fd.Reset(fd);
        }
        return answer;
    }

    Answer Ask(sockhelper::SocketKind kind)
    {
        RequestMessage request;
        request.kind = static_cast<uint32_t>(kind);
        return Ask(&request, sizeof request);
    }

    void CloseChannel() { m_channel.Reset(); }
    pid_t Pid() const { return m_pid; }

    // The exit status once the helper has ended within timeout.
    std::optional<int> Exit(std::chrono::milliseconds timeout)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::nullopt;
    }

private:
    pid_t m_pid = -1;
    UniqueFd m_channel;
};

int SocketOption(int fd, int level, int name)
{
    int value = -1;
    socklen_t length = sizeof value;
    ::getsockopt(fd, level, name, &value, &length);
    return value;
}

// A field of /proc/<pid>/status ("CapEff", "NoNewPrivs").
std::string StatusField(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) {
            std::istringstream rest(line.substr(field.size() + 1));
            std::string value;
            rest >> value;
            return value;
        }
    return {};
}

uint64_t CapabilitySet(pid_t pid, const std::string& field)
{
    return std::strtoull(StatusField(pid, field).c_str(), nullptr, 16);
}

std::vector<int> OpenDescriptors(pid_t pid)
{
    std::vector<int> fds;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        fds.push_back(std::stoi(entry.path().filename().string()));
    std::sort(fds.begin(), fds.end());
    return fds;
}

// A copy of the helper in a fresh directory that every user may enter, optionally with
// its file capabilities, plus the directory.
struct HelperCopy
{
    fs::path directory;
    fs::path helper;
    ~HelperCopy() { fs::remove_all(directory); }
};

std::unique_ptr<HelperCopy> CopyHelper(bool withCapabilities)
{
    char pattern[] = "/tmp/zelvo-sockhelper-test-XXXXXX";
    if (!::mkdtemp(pattern))
        return nullptr;
    auto copy = std::make_unique<HelperCopy>();
    copy->directory = pattern;
    copy->helper = copy->directory / sockhelper::kHelperFileName;
    ::chmod(pattern, 0755);
    fs::copy_file(kHelper, copy->helper);
    ::chmod(copy->helper.c_str(), 0755);
    if (withCapabilities) {
        const std::string command =
            "/usr/sbin/setcap cap_net_raw,cap_net_bind_service=ep '" + copy->helper.string() + "'";
        if (std::system(command.c_str()) != 0)
            return nullptr;
    }
    return copy;
}

std::vector<std::string> AsNobody(const std::string& program)
{
    return {kSetpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups", program};
}

class SockHelper : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!IsRoot())
            GTEST_SKIP() << "the helper's privileges can only be checked as root";
        if (!test::PrivateNetworkProblem().empty())
            GTEST_SKIP() << "no private network namespace: " << test::PrivateNetworkProblem();
    }
};

TEST_F(SockHelper, handsOverARawIcmpSocket)
{
    HelperProcess helper({kHelper});
    const auto answer = helper.Ask(sockhelper::SocketKind::RawIcmp);
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(answer.size, static_cast<ssize_t>(sizeof(ReplyMessage)));
    EXPECT_EQ(answer.reply.magic, sockhelper::kMagic);
    EXPECT_EQ(answer.reply.kind, static_cast<uint32_t>(sockhelper::SocketKind::RawIcmp));
    EXPECT_EQ(answer.reply.error, 0);
    ASSERT_TRUE(answer.fd.Valid());
    EXPECT_EQ(SocketOption(answer.fd.Get(), SOL_SOCKET, SO_DOMAIN), AF_INET);
    EXPECT_EQ(SocketOption(answer.fd.Get(), SOL_SOCKET, SO_TYPE), SOCK_RAW);
    EXPECT_EQ(SocketOption(answer.fd.Get(), SOL_SOCKET, SO_PROTOCOL), IPPROTO_ICMP);
}

TEST_F(SockHelper, handsOverTheDhcpServerPort)
{
    HelperProcess helper({kHelper});
    const auto answer = helper.Ask(sockhelper::SocketKind::DhcpServer);
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(answer.reply.error, 0);
    ASSERT_TRUE(answer.fd.Valid());
    EXPECT_EQ(SocketOption(answer.fd.Get(), SOL_SOCKET, SO_TYPE), SOCK_DGRAM);
    EXPECT_EQ(SocketOption(answer.fd.Get(), SOL_SOCKET, SO_BROADCAST), 1);
    EXPECT_EQ(SocketOption(answer.fd.Get(), IPPROTO_IP, IP_PKTINFO), 1);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ASSERT_EQ(::getsockname(answer.fd.Get(), reinterpret_cast<sockaddr*>(&bound), &length), 0);
    EXPECT_EQ(ntohs(bound.sin_port), 67);
    EXPECT_EQ(bound.sin_addr.s_addr, htonl(INADDR_ANY));

    // The port is now ours: a second request reports why it cannot be had.
    const auto second = helper.Ask(sockhelper::SocketKind::DhcpServer);
    ASSERT_TRUE(second.answered);
    EXPECT_EQ(second.reply.error, EADDRINUSE);
    EXPECT_FALSE(second.fd.Valid());
}

TEST_F(SockHelper, refusesEverythingElseAndKeepsServing)
{
    struct Odd
    {
        const char* what;
        std::vector<uint8_t> bytes;
        uint32_t echoedKind;
    };
    auto request = [](uint32_t magic, uint32_t kind) {
        std::vector<uint8_t> b(8);
        std::memcpy(b.data(), &magic, 4);
        std::memcpy(b.data() + 4, &kind, 4);
        return b;
    };
    std::vector<uint8_t> longer = request(sockhelper::kMagic, 1);
    longer.push_back(0);
    const std::vector<Odd> odds = {
        {"kind 0", request(sockhelper::kMagic, 0), 0},
        {"kind 3", request(sockhelper::kMagic, 3), 3},
        {"kind ~0", request(sockhelper::kMagic, 0xFFFFFFFF), 0xFFFFFFFF},
        {"wrong magic", request(0x12345678, 1), 0},
        {"too short", {0x31, 0x48, 0x53, 0x5A}, 0},
        {"one byte too long", longer, 0},
        {"a long message", std::vector<uint8_t>(4096, 0x01), 0},
    };
    HelperProcess helper({kHelper});
    for (const Odd& odd : odds) {
        SCOPED_TRACE(odd.what);
        const auto answer = helper.Ask(odd.bytes.data(), odd.bytes.size());
        ASSERT_TRUE(answer.answered);
        EXPECT_EQ(answer.reply.error, EPERM);
        EXPECT_EQ(answer.reply.kind, odd.echoedKind);
        EXPECT_FALSE(answer.fd.Valid());
    }
    const auto after = helper.Ask(sockhelper::SocketKind::RawIcmp);
    EXPECT_EQ(after.reply.error, 0);
    EXPECT_TRUE(after.fd.Valid());
}

TEST_F(SockHelper, keepsOnlyItsTwoCapabilitiesAndItsChannel)
{
    // Started by root, which holds every capability: the helper drops all others.
    HelperProcess helper({kHelper});
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    RequestMessage request;
    request.kind = static_cast<uint32_t>(sockhelper::SocketKind::RawIcmp);
    // A descriptor sent along must not end up in the helper.
    const auto answer = helper.Ask(&request, sizeof request, pipeFds[0]);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    ASSERT_TRUE(answer.answered);
    // The helper closes its copy of the socket after replying; a second (refused) request
    // is answered only after that close.
    const uint32_t nothing = 0;
    ASSERT_TRUE(helper.Ask(&nothing, sizeof nothing).answered);
    EXPECT_EQ(CapabilitySet(helper.Pid(), "CapEff"), kTwoCapabilities);
    EXPECT_EQ(CapabilitySet(helper.Pid(), "CapPrm"), kTwoCapabilities);
    EXPECT_EQ(CapabilitySet(helper.Pid(), "CapInh"), 0u);
    EXPECT_EQ(CapabilitySet(helper.Pid(), "CapAmb"), 0u);
    EXPECT_EQ(StatusField(helper.Pid(), "NoNewPrivs"), "1");
    std::vector<int> open = OpenDescriptors(helper.Pid());
    // Descriptors 0-2 are whatever the test had; only the ones above matter.
    open.erase(std::remove_if(open.begin(), open.end(), [](int fd) { return fd < 3; }), open.end());
    EXPECT_EQ(open, std::vector<int>{sockhelper::kChannelFd})
        << "fd 4 is "
        << (open.size() > 1 ? fs::read_symlink("/proc/" + std::to_string(helper.Pid()) + "/fd/" +
                                               std::to_string(open[1]))
                                  .string()
                            : "");
}

TEST_F(SockHelper, endsWhenTheChannelClosesAndRefusesToRunWithoutOne)
{
    HelperProcess helper({kHelper});
    ASSERT_TRUE(helper.Ask(sockhelper::SocketKind::RawIcmp).answered);
    helper.CloseChannel();
    EXPECT_EQ(helper.Exit(std::chrono::seconds(2)), 0);

    HelperProcess alone({kHelper}, false);
    EXPECT_EQ(alone.Exit(std::chrono::seconds(2)), 2);
    HelperProcess withArgument({kHelper, "--raw"});
    EXPECT_EQ(withArgument.Exit(std::chrono::seconds(2)), 2);
}

TEST_F(SockHelper, anUnprivilegedUserGetsSocketsOnlyThroughTheFileCapabilities)
{
    const auto plain = CopyHelper(false);
    ASSERT_TRUE(plain);
    HelperProcess without(AsNobody(plain->helper.string()));
    const auto refused = without.Ask(sockhelper::SocketKind::RawIcmp);
    ASSERT_TRUE(refused.answered);
    EXPECT_EQ(refused.reply.error, EPERM);
    EXPECT_FALSE(refused.fd.Valid());

    const auto privileged = CopyHelper(true);
    if (!privileged)
        GTEST_SKIP() << "setcap failed on /tmp";
    HelperProcess with(AsNobody(privileged->helper.string()));
    const auto raw = with.Ask(sockhelper::SocketKind::RawIcmp);
    ASSERT_TRUE(raw.answered);
    EXPECT_EQ(raw.reply.error, 0);
    EXPECT_TRUE(raw.fd.Valid());
    EXPECT_EQ(CapabilitySet(with.Pid(), "CapEff"), kTwoCapabilities);
    EXPECT_NE(StatusField(with.Pid(), "Uid"), "0");
}

TEST_F(SockHelper, clientStartsTheHelperAndReplacesOneThatDied)
{
    SockHelperClient client(kHelper);
    SocketAcquisition first = client.Request(PrivilegedSocketKind::RawIcmp);
    ASSERT_EQ(first.problem, SocketProblem::None) << first.detail;
    EXPECT_TRUE(first.viaHelper);
    EXPECT_EQ(SocketOption(first.socket.Get(), SOL_SOCKET, SO_TYPE), SOCK_RAW);
    const pid_t pid = client.HelperPid();
    ASSERT_GT(pid, 0);

    ::kill(pid, SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    SocketAcquisition second = client.Request(PrivilegedSocketKind::RawIcmp);
    ASSERT_EQ(second.problem, SocketProblem::None) << second.detail;
    EXPECT_TRUE(second.socket.Valid());
    EXPECT_NE(client.HelperPid(), pid);
}

TEST_F(SockHelper, clientSaysWhyNoSocketCame)
{
    const auto copy = CopyHelper(false);
    ASSERT_TRUE(copy);
    // The tool started as nobody with a helper that was not given its capabilities.
    const fs::path wrapper = copy->directory / "as-nobody";
    {
        std::ofstream script(wrapper);
        script << "#!/bin/sh\nexec " << kSetpriv
               << " --reuid=nobody --regid=nogroup --clear-groups '" << copy->helper.string()
               << "'\n";
    }
    ::chmod(wrapper.c_str(), 0755);

    struct Case
    {
        const char* what;
        std::string path;
        SocketProblem problem;
        std::string mentions;
    };
    const std::vector<Case> cases = {
        {"no helper there", (copy->directory / "missing").string(), SocketProblem::HelperMissing,
         "missing"},
        {"not the helper", "/bin/true", SocketProblem::HelperFailed, "/bin/true"},
        {"helper without capabilities", wrapper.string(), SocketProblem::HelperUnprivileged,
         "CAP_NET_RAW"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SockHelperClient client(c.path);
        const SocketAcquisition got = client.Request(PrivilegedSocketKind::RawIcmp);
        EXPECT_EQ(got.problem, c.problem);
        EXPECT_FALSE(got.socket.Valid());
        EXPECT_NE(got.detail.find(c.mentions), std::string::npos) << got.detail;
        EXPECT_NE(got.error, 0);
    }
}

TEST_F(SockHelper, aPrivilegedProcessOpensItsOwnSockets)
{
    SocketAcquisition raw = AcquirePrivilegedSocket(PrivilegedSocketKind::RawIcmp);
    ASSERT_EQ(raw.problem, SocketProblem::None) << raw.detail;
    EXPECT_FALSE(raw.viaHelper);
    EXPECT_EQ(SocketOption(raw.socket.Get(), SOL_SOCKET, SO_TYPE), SOCK_RAW);

    SocketAcquisition dhcp = AcquirePrivilegedSocket(PrivilegedSocketKind::DhcpServer);
    ASSERT_EQ(dhcp.problem, SocketProblem::None) << dhcp.detail;
    EXPECT_FALSE(dhcp.viaHelper);
    EXPECT_EQ(SocketOption(dhcp.socket.Get(), SOL_SOCKET, SO_BROADCAST), 1);
    EXPECT_EQ(SocketOption(dhcp.socket.Get(), IPPROTO_IP, IP_PKTINFO), 1);

    SocketAcquisition taken = AcquirePrivilegedSocket(PrivilegedSocketKind::DhcpServer);
    EXPECT_EQ(taken.problem, SocketProblem::OpenFailed);
    EXPECT_EQ(taken.error, EADDRINUSE);
    EXPECT_FALSE(taken.socket.Valid());
}

} // namespace
} // namespace zelvo
