#pragma once
// Fakes for the probe tests: a clock that moves only when waited on, and ICMP sockets
// whose datagrams arrive when the test says.
#include "platform/Clock.h"
#include "platform/IcmpSocket.h"
#include "search/EchoRequest.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

namespace zelvo::probetest {

class ManualClock final : public Clock
{
public:
    int64_t NowMs() const override { return 1'700'000'000'000 + m_ms.load(); }
    int64_t MonotonicMs() const override { return m_ms.load(); }
    void SleepMs(int ms) const override { m_ms.fetch_add(ms > 0 ? ms : 0); }
    void Advance(int64_t ms) const { m_ms.fetch_add(ms); }

private:
    mutable std::atomic<int64_t> m_ms{5000};
};

// Something that reaches the socket afterMs after the receive that gets it began.
struct Incoming
{
    IoStatus status = IoStatus::Ok;
    std::vector<uint8_t> datagram;
    int64_t afterMs = 0;
};

struct SentDatagram
{
    Ipv4Address to;
    uint16_t port = 0;
    std::vector<uint8_t> bytes;
    int timeoutMs = 0;
    int64_t atMs = 0;
};

// The network as the fake sockets see it. Single-threaded.
struct FakeIcmpWorld
{
    explicit FakeIcmpWorld(const ManualClock& c) : clock(c) {}

    const ManualClock& clock;
    bool openFails = false;
    bool pingSocket = false;
    std::deque<IoStatus> sendResults; // Ok when empty
    std::deque<Incoming> incoming;

    std::vector<IcmpSocketOptions> opens;
    std::vector<SentDatagram> sent;
    std::vector<int> receiveTimeouts;
    int liveSockets = 0;
};

class FakeIcmpSocket final : public IcmpSocket
{
public:
    explicit FakeIcmpSocket(FakeIcmpWorld& world) : m_world(world) { ++m_world.liveSockets; }
    ~FakeIcmpSocket() override { --m_world.liveSockets; }

    bool ReceivesIpHeader() const override { return !m_world.pingSocket; }

    IoStatus Send(Ipv4Address destination, uint16_t port, std::span<const uint8_t> message,
                  int timeoutMs, int& error) override
    {
        m_world.sent.push_back({destination,
                                port,
                                {message.begin(), message.end()},
                                timeoutMs,
                                m_world.clock.MonotonicMs()});
        if (m_world.sendResults.empty())
            return IoStatus::Ok;
        const IoStatus status = m_world.sendResults.front();
        m_world.sendResults.pop_front();
        if (status == IoStatus::TimedOut)
            m_world.clock.Advance(timeoutMs);
        error = status == IoStatus::Failed ? 101 /* ENETUNREACH */ : 0;
        return status;
    }

    IoStatus Receive(std::span<uint8_t> buffer, std::size_t& length, int timeoutMs,
                     const std::atomic<bool>* stop, int& error) override
    {
        m_world.receiveTimeouts.push_back(timeoutMs);
        length = 0;
        if (stop && stop->load())
            return IoStatus::Stopped;
        if (m_world.incoming.empty() || m_world.incoming.front().afterMs > timeoutMs) {
            if (!m_world.incoming.empty())
                m_world.incoming.front().afterMs -= timeoutMs;
            m_world.clock.Advance(timeoutMs);
            return IoStatus::TimedOut;
        }
        Incoming next = std::move(m_world.incoming.front());
        m_world.incoming.pop_front();
        m_world.clock.Advance(next.afterMs);
        if (next.status != IoStatus::Ok) {
            error = 5;
            return next.status;
        }
        length = std::min(buffer.size(), next.datagram.size());
        std::memcpy(buffer.data(), next.datagram.data(), length);
        return IoStatus::Ok;
    }

private:
    FakeIcmpWorld& m_world;
};

class FakeIcmpSockets final : public IcmpSocketFactory
{
public:
    explicit FakeIcmpSockets(FakeIcmpWorld& world) : m_world(world) {}
    IcmpSocketOpen Open(const IcmpSocketOptions& options) override
    {
        m_world.opens.push_back(options);
        IcmpSocketOpen open;
        if (m_world.openFails) {
            open.problem = SocketProblem::HelperUnprivileged;
            open.error = 1;
            open.detail = "the helper lacks CAP_NET_RAW";
            return open;
        }
        open.pingFallback = m_world.pingSocket;
        if (m_world.pingSocket) {
            open.problem = SocketProblem::HelperMissing;
            open.detail = "the helper could not be started";
        }
        open.socket = std::make_unique<FakeIcmpSocket>(m_world);
        return open;
    }

private:
    FakeIcmpWorld& m_world;
};

// ICMP messages as they reach a raw socket: behind a 20-byte IPv4 header.
inline std::vector<uint8_t> WithIpHeader(const std::vector<uint8_t>& icmp)
{
    std::vector<uint8_t> packet(20, 0);
    packet[0] = 0x45;
    packet[9] = 1; // ICMP
    packet.insert(packet.end(), icmp.begin(), icmp.end());
    return packet;
}

inline std::vector<uint8_t> EchoReplyMessage(uint16_t identifier)
{
    EchoRequest reply = BuildEchoRequest(identifier);
    StampEchoRequest(reply, 0, 1234);
    reply[0] = 0; // echo reply
    return {reply.begin(), reply.end()};
}

inline std::vector<uint8_t> OwnRequestMessage(uint16_t identifier, uint16_t sequence)
{
    EchoRequest request = BuildEchoRequest(identifier);
    StampEchoRequest(request, sequence, 99);
    return {request.begin(), request.end()};
}

inline std::vector<uint8_t> HostUnreachableMessage()
{
    std::vector<uint8_t> m = {3, 1, 0, 0, 0, 0, 0, 0};
    m.resize(36, 0);
    return m;
}

} // namespace zelvo::probetest
