#include "app/LogWriter.h"
#include "search/AddressCheckWorker.h"
#include "search/ReceiveWorker.h"

#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace zelvo {
namespace {

// Answers as told and records what was asked. Any thread.
class ScriptedNetwork final : public SearchNetwork
{
public:
    int echoAnswer = 1;
    std::optional<std::string> name;
    std::vector<std::string> calls;

    int EchoProbe(Ipv4Address, int) override { return Record("plain echo"), 0; }
    int BroadcastEcho() override { return Record("plain broadcast"), 0; }
    int EchoProbeUnlessStopped(Ipv4Address a, int ms, const std::atomic<bool>&) override
    {
        return Record("echo " + a.Dotted() + " " + std::to_string(ms)), echoAnswer;
    }
    int BroadcastEchoUnlessStopped(const std::atomic<bool>&) override
    {
        return Record("broadcast"), 1;
    }
    NeighbourRead ReadNeighbours() override { return {}; }
    std::optional<std::string> ReverseName(Ipv4Address a) override
    {
        return Record("name " + a.Dotted()), name;
    }

private:
    void Record(const std::string& call)
    {
        std::lock_guard lock(m_mutex);
        calls.push_back(call);
    }
    std::mutex m_mutex;
};

TEST(AddressCheckWorker, triesOnlyBetween31And59Seconds)
{
    const std::vector<std::string> all = {"broadcast", "echo 10.231.7.50 2000", "name 10.231.7.50"};
    const std::string longName(300, 'n');
    struct Case
    {
        int elapsedSeconds;
        int echoAnswer;
        std::optional<std::string> name;
        bool stopFirst;
        int result;
        std::string nameAfter;
        std::vector<std::string> calls;
    };
    for (const Case& c : {
             Case{0, 1, "NAS50", false, 0, "before", {}},
             Case{30, 1, "NAS50", false, 0, "before", {}},
             Case{31, 1, "NAS50", false, 1, "NAS50", all},
             Case{59, 1, "NAS50", false, 1, "NAS50", all},
             Case{60, 1, "NAS50", false, 7, "before", {}}, // result left as it was
             Case{45, 0, "NAS50", false, 0, "before", {"broadcast", "echo 10.231.7.50 2000"}},
             Case{45, 1, {}, false, 0, "before", all},
             Case{45, 1, longName, false, 1, std::string(259, 'n'), all},
             Case{45, 1, "NAS50", true, 0, "before", {"broadcast"}},
         }) {
        SCOPED_TRACE(c.elapsedSeconds);
        ScriptedNetwork network;
        network.echoAnswer = c.echoAnswer;
        network.name = c.name;
        auto job = std::make_shared<AddressCheckJob>();
        std::strcpy(job->name, "before");
        job->address = Ipv4Address::FromOctets(10, 231, 7, 50);
        job->elapsedSeconds = c.elapsedSeconds;
        job->result = 7;
        job->stopRequested = c.stopFirst;
        std::thread([job, &network] { AddressCheckWorker(*job, network); }).join();
        EXPECT_TRUE(job->done.load());
        EXPECT_EQ(job->result, c.result);
        EXPECT_EQ(std::string(job->name), c.nameAfter);
        EXPECT_EQ(network.calls, c.calls);
    }
}

UniqueFd LoopbackUdp(sockaddr_in& at)
{
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    ::setsockopt(fd.Get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    at = sockaddr_in{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&at), sizeof at);
    socklen_t length = sizeof at;
    ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&at), &length);
    return fd;
}

TEST(ReceiveWorker, storesOneDatagramOrFailsWithMinusOne)
{
    struct Case
    {
        const char* what;
        std::size_t datagram; // 0: none comes, the worker is asked to stop
        bool closeResponderSocket;
        int length;
    };
    for (const Case& c :
         {Case{"a DISCOVER", 300, false, 300}, Case{"too long for the buffer", 1537, false, -1},
          Case{"stopped while waiting", 0, false, -1},
          Case{"the responder closed its socket", 3, true, 3}}) {
        SCOPED_TRACE(c.what);
        const std::string log = std::filesystem::temp_directory_path() /
                                ("probe-workers-" + std::to_string(::getpid()) + ".log");
        LogWriter::SetLogPath(log);
        LogWriter::CreateEmpty();
        sockaddr_in responderAt, senderAt;
        UniqueFd responder = LoopbackUdp(responderAt);
        UniqueFd sender = LoopbackUdp(senderAt);
        auto job = std::make_shared<ReceiveJob>(responder.Get());
        if (c.closeResponderSocket)
            responder.Reset(); // the job keeps its own descriptor
        std::thread worker([job] { ReceiveWorker(*job); });
        std::vector<uint8_t> datagram(c.datagram);
        for (std::size_t i = 0; i < datagram.size(); ++i)
            datagram[i] = static_cast<uint8_t>(i * 7 + 1);
        if (c.datagram != 0) {
            ::sendto(sender.Get(), datagram.data(), datagram.size(), 0,
                     reinterpret_cast<sockaddr*>(&responderAt), sizeof responderAt);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EXPECT_FALSE(job->done.load()) << "waits for a datagram";
            job->stopRequested = true;
        }
        worker.join();
        EXPECT_TRUE(job->done.load());
        EXPECT_EQ(job->length, c.length);
        if (c.length > 0) {
            EXPECT_EQ(std::vector<uint8_t>(job->buffer, job->buffer + c.length), datagram);
            EXPECT_EQ(job->source, Ipv4Address::FromOctets(127, 0, 0, 1));
            EXPECT_EQ(job->sourcePort, ntohs(senderAt.sin_port));
            EXPECT_EQ(job->interfaceIndex, static_cast<int>(::if_nametoindex("lo")));
        }
        std::ifstream in(log, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_EQ(text.str(), " >>> Start receive from\r\n  recvfrom=" + std::to_string(c.length) +
                                  "\r\n <<< Close receive from\r\n");
        std::filesystem::remove(log);
    }
}

} // namespace
} // namespace zelvo
