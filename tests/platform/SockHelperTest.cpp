// zelvo-sockhelper started by root, as the tool starts it: the raw ICMP socket it hands
// over, and what it keeps of its privileges. How an unprivileged tool gets its sockets
// through it, and what it logs without it, is the probes' lab test.
#include "platform/PrivilegedSockets.h"

#include <linux/capability.h>
#include <netinet/in.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace zelvo {
namespace {

uint64_t StatusField(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stoull(line.substr(field.size() + 1), nullptr, 16);
    return ~0ull;
}

TEST(SockHelper, handsOverARawSocketAndKeepsOnlyItsTwoCapabilitiesAndItsChannel)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the helper's privileges can only be checked as root";
    SockHelperClient client(ZELVO_SOCKHELPER_PATH); // started with every capability
    const SocketAcquisition raw = client.Request(PrivilegedSocketKind::RawIcmp);
    ASSERT_TRUE(raw.socket.Valid() && raw.viaHelper) << raw.detail;
    int type = 0, protocol = 0;
    socklen_t length = sizeof type;
    ::getsockopt(raw.socket.Get(), SOL_SOCKET, SO_TYPE, &type, &length);
    ::getsockopt(raw.socket.Get(), SOL_SOCKET, SO_PROTOCOL, &protocol, &length);
    EXPECT_EQ(type, SOCK_RAW);
    EXPECT_EQ(protocol, IPPROTO_ICMP);

    const pid_t pid = client.HelperPid();
    const uint64_t two = (1ull << CAP_NET_RAW) | (1ull << CAP_NET_BIND_SERVICE);
    EXPECT_EQ(StatusField(pid, "CapEff"), two);
    EXPECT_EQ(StatusField(pid, "CapPrm"), two);
    EXPECT_EQ(StatusField(pid, "CapInh"), 0u);
    EXPECT_EQ(StatusField(pid, "CapAmb"), 0u);
    EXPECT_EQ(StatusField(pid, "NoNewPrivs"), 1u);
    // Beyond the standard three, only its channel stays open once the socket has left.
    std::vector<std::string> open;
    for (int tries = 0; tries < 100 && open != std::vector<std::string>{"3"}; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(tries ? 10 : 0));
        open.clear();
        for (const auto& e :
             std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
            if (std::stoi(e.path().filename().string()) > 2)
                open.push_back(e.path().filename().string());
    }
    EXPECT_EQ(open, std::vector<std::string>{"3"});
}

} // namespace
} // namespace zelvo
