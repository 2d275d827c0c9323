#include "platform/MdnsReverse.h"
#include "platform/NameLookups.h"
#include "platform/NetbiosNodeStatus.h"
#include "platform/UniqueFd.h"
#include "platform/WaitReadable.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

namespace zelvo {

namespace {
using Parser = std::function<std::optional<std::string>(std::span<const uint8_t>)>;

uint16_t NextQueryId()
{
    // Distinct ids keep a late answer to an earlier question from being taken for this one.
    static std::atomic<uint16_t> id{static_cast<uint16_t>(SystemClock().MonotonicMs() & 0xFFFF)};
    return static_cast<uint16_t>(id.fetch_add(1) | 1);
}

// Asks one UDP question of address:port and waits up to timeoutMs for a datagram that
// parse accepts; the question is sent once more at half time, as datagrams get lost. The
// socket is connected, so only the asked address's port can answer, and an ICMP port
// unreachable (nobody listens there) ends the wait at once.
std::optional<std::string> AskUdp(Ipv4Address address, uint16_t port,
                                  std::span<const uint8_t> question, int timeoutMs,
                                  const Parser& parse)
{
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid())
        return std::nullopt;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address.nbo;
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
        return std::nullopt;
    const Clock& clock = SystemClock();
    const int64_t start = clock.MonotonicMs();
    const int64_t deadline = start + std::max(timeoutMs, 0);
    const int64_t resendAt = start + timeoutMs / 2;
    bool resent = false;
    if (::send(fd.Get(), question.data(), question.size(), MSG_NOSIGNAL) < 0)
        return std::nullopt;
    uint8_t reply[1500];
    while (true) {
        const int64_t now = clock.MonotonicMs();
        if (now >= deadline)
            return std::nullopt;
        if (!resent && now >= resendAt) {
            resent = true;
            if (::send(fd.Get(), question.data(), question.size(), MSG_NOSIGNAL) < 0)
                return std::nullopt;
        }
        const int64_t wakeAt = resent ? deadline : std::min(deadline, resendAt);
        const Outcome<WaitEnd> ready = WaitReadable(fd.Get(), {clock, wakeAt});
        if (!ready.Ok())
            return std::nullopt;
        if (ready.Value() != WaitEnd::Ready)
            continue; // time to send again, or to give up
        const ssize_t n = ::recv(fd.Get(), reply, sizeof reply, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return std::nullopt; // ECONNREFUSED: nobody serves that port
        }
        if (auto name = parse(std::span<const uint8_t>(reply, static_cast<std::size_t>(n))))
            return name;
    }
}

// getnameinfo has no time-out of its own, and a DNS server that drops queries costs
// seconds. It runs on a thread of its own that shares its result with us; when we stop
// waiting, the thread finishes alone and its result is dropped with the last reference.
struct ResolverCall
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::optional<std::string> name;
};
} // namespace

std::optional<std::string> LinuxNameLookups::NetbiosName(Ipv4Address address, int timeoutMs)
{
    const uint16_t id = NextQueryId();
    const auto question = BuildNodeStatusRequest(id);
    return AskUdp(address, m_netbiosPort, question, timeoutMs,
                  [id](std::span<const uint8_t> reply) { return ParseNodeStatusReply(reply, id); });
}

std::optional<std::string> LinuxNameLookups::MdnsName(Ipv4Address address, int timeoutMs)
{
    const uint16_t id = NextQueryId();
    const auto question = BuildMdnsPtrQuery(id, address);
    return AskUdp(address, m_mdnsPort, question, timeoutMs,
                  [id, address](std::span<const uint8_t> reply) {
                      return ParseMdnsPtrReply(reply, id, address);
                  });
}

std::optional<std::string> LinuxNameLookups::ResolverName(Ipv4Address address, int timeoutMs)
{
    auto call = std::make_shared<ResolverCall>();
    auto resolve = [call, address] {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = address.nbo;
        char host[NI_MAXHOST];
        std::optional<std::string> name;
        if (::getnameinfo(reinterpret_cast<const sockaddr*>(&in), sizeof in, host, sizeof host,
                          nullptr, 0, NI_NAMEREQD) == 0 &&
            host[0] != '\0')
            name = host;
        std::lock_guard lock(call->mutex);
        call->name = std::move(name);
        call->done = true;
        call->finished.notify_all();
    };
    try {
        std::thread(std::move(resolve)).detach();
    } catch (const std::system_error&) {
        return std::nullopt; // no thread to be had: no name rather than a blocked caller
    }
    std::unique_lock lock(call->mutex);
    if (!call->finished.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                                 [&] { return call->done; }))
        return std::nullopt;
    return call->name;
}

} // namespace zelvo
