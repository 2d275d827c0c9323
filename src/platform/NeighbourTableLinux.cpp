#include "platform/NeighbourTable.h"
#include "platform/UniqueFd.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace zelvo {

namespace {
// The kernel answers a dump at once; the limit only guards against a stuck socket.
constexpr int kReplyTimeoutMs = 2000;
// A dump part is at most about a page or two; 64 KiB never truncates one.
constexpr std::size_t kReceiveBuffer = 64 * 1024;

NeighbourRead Failed(int error)
{
    NeighbourRead read;
    read.errorCode = error;
    char text[256];
    // The GNU strerror_r returns its text, which may or may not be in our buffer.
    read.errorText = ::strerror_r(error, text, sizeof text);
    return read;
}

uint32_t NextSequence()
{
    static std::atomic<uint32_t> sequence{1};
    return sequence.fetch_add(1);
}
} // namespace

NeighbourRead ReadNeighbourTable()
{
    UniqueFd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!fd.Valid())
        return Failed(errno);
    const uint32_t seq = NextSequence();
    const std::vector<uint8_t> request = BuildNeighbourDumpRequest(seq);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd.Get(), request.data(), request.size(), 0,
                 reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) < 0)
        return Failed(errno);

    NeighbourRead read;
    std::vector<uint8_t> buffer(kReceiveBuffer);
    while (true) {
        pollfd p{fd.Get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, kReplyTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return Failed(ready == 0 ? ETIMEDOUT : errno);
        sockaddr_nl from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd.Get(), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return Failed(errno);
        }
        if (from.nl_pid != 0) // only the kernel speaks on this socket
            continue;
        const NeighbourDumpChunk chunk =
            ParseNeighbourDump(std::span<const uint8_t>(buffer.data(), static_cast<std::size_t>(n)),
                               seq, read.entries);
        if (chunk.errorCode != 0)
            return Failed(chunk.errorCode);
        if (chunk.finished)
            break;
    }
    SortByAddress(read.entries);
    return read;
}

} // namespace zelvo
