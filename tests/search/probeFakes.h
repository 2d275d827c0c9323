#pragma once
// Fakes for the probe tests: a clock that moves only when waited on, and ICMP sockets
// whose datagrams arrive when the test says.
#include "platform/Clock.h"
#include "platform/IcmpSocket.h"
#include "search/EchoRequest.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <vector>

namespace zelvo::probetest {

class ManualClock final : public Clock
{
public:
    int64_t NowMs() const override { return m_ms; }
    int64_t MonotonicMs() const override { return m_ms; }
    void SleepMs(int ms) const override { m_ms += ms; }

    mutable std::atomic<int64_t> m_ms{5000};
};

// What reaches the socket afterMs after the receive that gets it began.
struct Incoming
{
    IoStatus status;
    std::vector<uint8_t> datagram;
    int64_t afterMs;
};

struct Sent
{
    Ipv4Address to;
    uint16_t port;
    std::vector<uint8_t> bytes;
    int timeoutMs;
    int64_t atMs;
};

// The network as the fake sockets see it; also the factory. Single-threaded.
struct FakeIcmp final : IcmpSocketFactory
{
    ManualClock clock;
    bool openFails = false;
    bool pingSocket = false;
    std::deque<IoStatus> sendResults; // Ok when empty
    std::deque<Incoming> incoming;
    std::vector<IcmpSocketOptions> opens;
    std::vector<Sent> sent;
    std::vector<int> receiveTimeouts;
    int liveSockets = 0;

    IcmpSocketOpen Open(const IcmpSocketOptions& options) override;
};

class FakeSocket final : public IcmpSocket
{
public:
    explicit FakeSocket(FakeIcmp& w) : m_w(w) { ++m_w.liveSockets; }
    ~FakeSocket() override { --m_w.liveSockets; }
    bool ReceivesIpHeader() const override { return !m_w.pingSocket; }

    IoStatus Send(Ipv4Address to, uint16_t port, std::span<const uint8_t> message, int timeoutMs,
                  int&) override
    {
        m_w.sent.push_back({to, port, {message.begin(), message.end()}, timeoutMs, m_w.clock.m_ms});
        const IoStatus status = m_w.sendResults.empty() ? IoStatus::Ok : m_w.sendResults.front();
        if (!m_w.sendResults.empty())
            m_w.sendResults.pop_front();
        if (status == IoStatus::TimedOut)
            m_w.clock.m_ms += timeoutMs;
        return status;
    }

    IoStatus Receive(std::span<uint8_t> buffer, std::size_t& length, int timeoutMs,
                     const std::atomic<bool>* stop, int&) override
    {
        m_w.receiveTimeouts.push_back(timeoutMs);
        if (stop && *stop)
            return IoStatus::Stopped;
        if (m_w.incoming.empty() || m_w.incoming.front().afterMs > timeoutMs) {
            if (!m_w.incoming.empty())
                m_w.incoming.front().afterMs -= timeoutMs;
            m_w.clock.m_ms += timeoutMs;
            return IoStatus::TimedOut;
        }
        const Incoming next = m_w.incoming.front();
        m_w.incoming.pop_front();
        m_w.clock.m_ms += next.afterMs;
        length = std::min(buffer.size(), next.datagram.size());
        if (length != 0)
            std::memcpy(buffer.data(), next.datagram.data(), length);
        return next.status;
    }

private:
    FakeIcmp& m_w;
};

inline IcmpSocketOpen FakeIcmp::Open(const IcmpSocketOptions& options)
{
    opens.push_back(options);
    IcmpSocketOpen open;
    open.pingFallback = pingSocket;
    if (openFails || pingSocket) {
        open.problem = SocketProblem::HelperUnprivileged;
        open.detail = "the helper lacks CAP_NET_RAW";
    }
    if (!openFails)
        open.socket = std::make_unique<FakeSocket>(*this);
    return open;
}

// An ICMP message as a raw socket delivers it: behind a 20-byte IPv4 header.
inline std::vector<uint8_t> WithIpHeader(std::vector<uint8_t> icmp)
{
    std::vector<uint8_t> packet(20, 0);
    packet[0] = 0x45;
    packet.insert(packet.end(), icmp.begin(), icmp.end());
    return packet;
}

// An echo request of identifier; type 0 makes it a reply.
inline std::vector<uint8_t> Echo(uint16_t identifier, uint16_t sequence, uint8_t type = 8)
{
    EchoRequest m = BuildEchoRequest(identifier);
    StampEchoRequest(m, sequence, 99);
    m[0] = type;
    return {m.begin(), m.end()};
}

} // namespace zelvo::probetest
