#include "search/EchoProbe.h"

#include "search/EchoAnswer.h"
#include "search/EchoRequest.h"

#include <array>

namespace zelvo {

namespace {
// Receive buffer of the probes: an error's quote of our request lies well inside it.
constexpr std::size_t kReceiveBuffer = 1024;

enum class Wait
{
    Answered,
    TimedOut,
    Stopped,
    Failed
};

uint32_t TickCount(const Clock& clock)
{
    return static_cast<uint32_t>(clock.MonotonicMs());
}

// The socket keeps the requests' identifier as built (a ping socket would write its own).
IcmpSocketOptions OptionsFor(const EchoRequest& request)
{
    IcmpSocketOptions options;
    options.identifierBytes = {request[kEchoIdentifierAt], request[kEchoIdentifierAt + 1]};
    return options;
}

// Waits up to timeoutMs for the first datagram that answers a probe of probed (nullopt:
// the broadcast, which anyone answers); others are dropped and the wait goes on.
Wait AwaitAnswer(const EchoServices& services, IcmpSocket& socket,
                 std::optional<Ipv4Address> probed, int timeoutMs, const std::atomic<bool>* stop)
{
    const int64_t deadline = services.clock.MonotonicMs() + timeoutMs;
    std::array<uint8_t, kReceiveBuffer> buffer;
    while (true) {
        const int64_t left = deadline - services.clock.MonotonicMs();
        if (left <= 0)
            return Wait::TimedOut;
        IcmpArrival arrival;
        const Outcome<WaitEnd> got = socket.Receive(buffer, arrival, static_cast<int>(left), stop);
        if (!got.Ok())
            return Wait::Failed;
        switch (got.Value()) {
        case WaitEnd::Ready:
            break;
        case WaitEnd::TimedOut:
            return Wait::TimedOut;
        case WaitEnd::Stopped:
            return Wait::Stopped;
        }
        const std::span<const uint8_t> icmp(buffer.data(), arrival.length);
        if (JudgeEchoArrival(icmp, arrival.source, probed, services.identifier) ==
            EchoArrival::Answer)
            return Wait::Answered;
    }
}
} // namespace

EchoServices SystemEchoServices()
{
    return EchoServices{SystemIcmpSockets(), SystemClock(), EchoIdentifier()};
}

int EchoProbe(const EchoServices& services, Ipv4Address address, int timeoutMs,
              const std::atomic<bool>* stop)
{
    EchoRequest request = BuildEchoRequest(services.identifier);
    IcmpSocketOpen open = services.sockets.Open(OptionsFor(request));
    if (!open.socket)
        return 0;
    StampEchoRequest(request, 0, TickCount(services.clock));
    if (!IsReady(open.socket->Send(address, kEchoDestinationPort, request, timeoutMs)))
        return 0;
    return AwaitAnswer(services, *open.socket, address, timeoutMs, stop) == Wait::Answered ? 1 : 0;
}

int BroadcastEcho(const EchoServices& services, Ipv4Address outgoingAddress,
                  const std::atomic<bool>* stop)
{
    EchoRequest request = BuildEchoRequest(services.identifier);
    IcmpSocketOptions options = OptionsFor(request);
    options.broadcast = true;
    options.outgoingAddress = outgoingAddress;
    IcmpSocketOpen open = services.sockets.Open(options);
    if (!open.socket)
        return 0;
    const Ipv4Address limitedBroadcast{0xFFFFFFFFu};
    for (uint16_t sequence = 0; sequence < 2; ++sequence) {
        StampEchoRequest(request, sequence, TickCount(services.clock));
        const Outcome<WaitEnd> sent = open.socket->Send(limitedBroadcast, kEchoDestinationPort,
                                                        request, kBroadcastEchoTimeoutMs);
        if (sent.Ok() && sent.Value() == WaitEnd::TimedOut)
            continue;
        if (!IsReady(sent))
            return 0;
        const Wait wait =
            AwaitAnswer(services, *open.socket, std::nullopt, kBroadcastEchoTimeoutMs, stop);
        if (wait == Wait::Failed || wait == Wait::Stopped)
            return 0;
    }
    return 1;
}

} // namespace zelvo
