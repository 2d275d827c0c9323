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
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

namespace zelvo {
namespace {

const Ipv4Address kUnit = Ipv4Address::FromOctets(10, 231, 7, 50);

// Answers as told and records what was asked. Any thread.
class ScriptedNetwork final : public SearchNetwork
{
public:
    int echoAnswer = 1;
    std::optional<std::string> name = "NAS50";

    int EchoProbe(Ipv4Address, int) override { return Record("plain echo"), 0; }
    int BroadcastEcho() override { return Record("plain broadcast"), 0; }
    int EchoProbeUnlessStopped(Ipv4Address address, int timeoutMs,
                               const std::atomic<bool>&) override
    {
        Record("echo " + address.Dotted() + " " + std::to_string(timeoutMs));
        return echoAnswer;
    }
    int BroadcastEchoUnlessStopped(const std::atomic<bool>&) override
    {
        Record("broadcast");
        return 1;
    }
    NeighbourRead ReadNeighbours() override { return {}; }
    std::optional<std::string> ReverseName(Ipv4Address address) override
    {
        Record("name " + address.Dotted());
        return name;
    }
    std::vector<std::string> Calls()
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    void Record(const std::string& call)
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(call);
    }
    std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

struct CheckCase
{
    const char* what;
    int elapsedSeconds;
    int echoAnswer;
    std::optional<std::string> name;
    bool stopFirst;
    int result;
    std::string nameAfter;
    std::vector<std::string> calls;
};

TEST(AddressCheckWorker, triesOnlyBetween31And59Seconds)
{
    const std::vector<std::string> everything = {"broadcast", "echo 10.231.7.50 2000",
                                                 "name 10.231.7.50"};
    const std::string longName(300, 'n');
    const std::vector<CheckCase> cases = {
        {"at once", 0, 1, "NAS50", false, 0, "before", {}},
        {"30 s: still quiet", 30, 1, "NAS50", false, 0, "before", {}},
        {"31 s: answers with a name", 31, 1, "NAS50", false, 1, "NAS50", everything},
        {"59 s: answers with a name", 59, 1, "NAS50", false, 1, "NAS50", everything},
        {"60 s: nothing sent, result kept", 60, 1, "NAS50", false, 7, "before", {}},
        {"no echo answer",
         45,
         0,
         "NAS50",
         false,
         0,
         "before",
         {"broadcast", "echo 10.231.7.50 2000"}},
        {"answers but has no name", 45, 1, std::nullopt, false, 0, "before", everything},
        {"a long name is cut to the buffer", 45, 1, longName, false, 1, std::string(259, 'n'),
         everything},
        {"stopped before it began", 45, 1, "NAS50", true, 0, "before", {"broadcast"}},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedNetwork network;
        network.echoAnswer = c.echoAnswer;
        network.name = c.name;
        auto job = std::make_shared<AddressCheckJob>();
        std::strcpy(job->name, "before");
        job->address = kUnit;
        job->elapsedSeconds = c.elapsedSeconds;
        job->result = 7; // what the worker must overwrite, or keep at 60 s
        job->stopRequested = c.stopFirst;

        std::thread worker([job, &network] { AddressCheckWorker(*job, network); });
        worker.join();

        EXPECT_TRUE(job->done.load());
        EXPECT_EQ(job->result, c.result);
        EXPECT_EQ(std::string(job->name), c.nameAfter);
        EXPECT_EQ(job->name[AddressCheckJob::kNameBuffer - 1], '\0');
        EXPECT_EQ(network.Calls(), c.calls);
    }
}

class LogFile
{
public:
    LogFile()
    {
        m_path = std::filesystem::temp_directory_path() /
                 ("probe-workers-" + std::to_string(::getpid()) + ".log");
        LogWriter::SetLogPath(m_path.string());
        LogWriter::CreateEmpty();
    }
    ~LogFile() { std::filesystem::remove(m_path); }
    std::string Text() const
    {
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    std::filesystem::path m_path;
};

// A UDP socket on the loopback with IP_PKTINFO on, as the responder's socket has it.
struct LoopbackSocket
{
    LoopbackSocket()
    {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    }
    ~LoopbackSocket()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
    sockaddr_in address{};
};

struct Sender
{
    Sender()
    {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
        socklen_t length = sizeof at;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
        port = ntohs(at.sin_port);
    }
    ~Sender() { ::close(fd); }
    void Send(const LoopbackSocket& to, const std::vector<uint8_t>& bytes) const
    {
        ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to.address),
                 sizeof to.address);
    }
    int fd;
    uint16_t port;
};

const char* const kWorkerLog =
    " >>> Start receive from\r\n  recvfrom=%d\r\n <<< Close receive from\r\n";

std::string WorkerLog(int value)
{
    char text[128];
    std::snprintf(text, sizeof text, kWorkerLog, value);
    return text;
}

TEST(ReceiveWorker, storesOneDatagramWithItsSenderAndInterface)
{
    LogFile log;
    LoopbackSocket socket;
    Sender sender;
    auto job = std::make_shared<ReceiveJob>(socket.fd);
    std::thread worker([job] { ReceiveWorker(*job); });
    std::vector<uint8_t> discover(300);
    for (std::size_t i = 0; i < discover.size(); ++i)
        discover[i] = static_cast<uint8_t>(i * 7);
    discover[0] = 1;
    sender.Send(socket, discover);
    worker.join();

    ASSERT_TRUE(job->done.load());
    EXPECT_EQ(job->length, 300);
    EXPECT_EQ(std::vector<uint8_t>(job->buffer, job->buffer + 300), discover);
    EXPECT_EQ(job->source, Ipv4Address::FromOctets(127, 0, 0, 1));
    EXPECT_EQ(job->sourcePort, sender.port);
    EXPECT_EQ(job->interfaceIndex, static_cast<int>(::if_nametoindex("lo")));
    EXPECT_EQ(log.Text(), WorkerLog(300));
}

TEST(ReceiveWorker, failsOnADatagramTooLongAndOnAStop)
{
    struct Case
    {
        const char* what;
        std::size_t datagram; // 0: none, the worker is stopped instead
    };
    for (const Case& c : {Case{"1537 bytes", 1537}, Case{"stopped while waiting", 0}}) {
        SCOPED_TRACE(c.what);
        LogFile log;
        LoopbackSocket socket;
        Sender sender;
        auto job = std::make_shared<ReceiveJob>(socket.fd);
        std::thread worker([job] { ReceiveWorker(*job); });
        const auto start = std::chrono::steady_clock::now();
        if (c.datagram != 0)
            sender.Send(socket, std::vector<uint8_t>(c.datagram, 0x55));
        else {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EXPECT_FALSE(job->done.load()) << "waits for a datagram";
            job->stopRequested = true;
        }
        worker.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_TRUE(job->done.load());
        EXPECT_EQ(job->length, -1);
        EXPECT_EQ(log.Text(), WorkerLog(-1));
    }
}

TEST(ReceiveWorker, keepsReadingAfterTheResponderClosedItsSocket)
{
    LogFile log;
    auto socket = std::make_unique<LoopbackSocket>();
    const sockaddr_in address = socket->address;
    auto job = std::make_shared<ReceiveJob>(socket->fd);
    socket.reset(); // the responder's descriptor is gone; the job's own one is not
    std::thread worker([job] { ReceiveWorker(*job); });
    Sender sender;
    LoopbackSocket target;
    ::close(target.fd);
    target.fd = -1;
    target.address = address;
    sender.Send(target, {1, 2, 3});
    worker.join();
    EXPECT_EQ(job->length, 3);
}

} // namespace
} // namespace zelvo
