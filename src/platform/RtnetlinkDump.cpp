#include "platform/RtnetlinkDump.h"

#include "platform/WaitReadable.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace zelvo {

namespace {
// A dump part is at most about a page or two; 64 KiB never truncates one.
constexpr std::size_t kReceiveBuffer = 64 * 1024;

constexpr std::size_t Align4(std::size_t n)
{
    return (n + 3u) & ~std::size_t{3};
}
} // namespace

bool ForEachAttribute(std::span<const uint8_t> area,
                      const std::function<void(const RtAttribute&)>& visit)
{
    std::size_t offset = 0;
    while (area.size() - offset >= sizeof(rtattr)) {
        rtattr header{};
        ReadAt(area, offset, header);
        if (header.rta_len < sizeof(rtattr) || header.rta_len > area.size() - offset)
            return false;
        visit(RtAttribute{static_cast<uint16_t>(header.rta_type & NLA_TYPE_MASK),
                          area.subspan(offset + sizeof(rtattr), header.rta_len - sizeof(rtattr))});
        offset = std::min(area.size(), offset + Align4(header.rta_len));
    }
    return true;
}

Outcome<DumpChunk> WalkDumpChunk(std::span<const uint8_t> datagram, uint32_t sequence,
                                 const DumpMessageVisitor& visit)
{
    DumpChunk result;
    std::size_t offset = 0;
    while (offset < datagram.size()) {
        nlmsghdr header{};
        if (!ReadAt(datagram, offset, header) || header.nlmsg_len < sizeof(nlmsghdr) ||
            header.nlmsg_len > datagram.size() - offset)
            return Failure{EBADMSG};
        const auto body = datagram.subspan(offset + NLMSG_HDRLEN, header.nlmsg_len - NLMSG_HDRLEN);
        offset = std::min(datagram.size(), offset + NLMSG_ALIGN(header.nlmsg_len));
        if (header.nlmsg_seq != sequence)
            continue;
        if ((header.nlmsg_flags & NLM_F_DUMP_INTR) != 0)
            result.interrupted = true;
        if (header.nlmsg_type == NLMSG_DONE) {
            result.progress = DumpProgress::Done;
            return result;
        }
        if (header.nlmsg_type == NLMSG_ERROR) {
            nlmsgerr error{};
            if (!ReadAt(body, 0, error))
                return Failure{EBADMSG};
            // The kernel sends -errno, 0 for an acknowledgement; anything else is malformed
            // (and INT_MIN has no positive counterpart).
            if (error.error != 0)
                return Failure{error.error < 0 && error.error > -4096 ? -error.error : EBADMSG};
            result.progress = DumpProgress::Done;
            return result;
        }
        if (!visit(header.nlmsg_type, body))
            return Failure{EBADMSG};
    }
    return result;
}

std::vector<uint8_t> BuildDumpRequest(uint16_t type, uint32_t sequence,
                                      std::span<const uint8_t> familyHeader)
{
    nlmsghdr header{};
    header.nlmsg_len = static_cast<uint32_t>(NLMSG_LENGTH(familyHeader.size()));
    header.nlmsg_type = type;
    header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    header.nlmsg_seq = sequence;
    std::vector<uint8_t> request(header.nlmsg_len, 0);
    std::memcpy(request.data(), &header, sizeof header);
    std::copy(familyHeader.begin(), familyHeader.end(), request.begin() + NLMSG_HDRLEN);
    return request;
}

Outcome<UniqueFd> OpenRouteSocket()
{
    UniqueFd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!fd.Valid())
        return Failure{errno};
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return Failure{errno};
    return fd;
}

Outcome<DumpRead> RunDump(int fd, std::span<const uint8_t> request,
                          const std::function<Outcome<DumpChunk>(std::span<const uint8_t>)>& chunk,
                          const Clock& clock, int replyTimeoutMs)
{
    DumpRead read;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do
        sent = ::sendto(fd, request.data(), request.size(), 0,
                        reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
    while (sent < 0 && errno == EINTR);
    if (sent < 0)
        return Failure{errno};
    std::vector<uint8_t> buffer(kReceiveBuffer);
    while (true) {
        const Outcome<WaitEnd> ready =
            WaitReadable(fd, {clock, DeadlineAfter(clock, replyTimeoutMs)});
        if (!IsReady(ready))
            return Failure{ready.Ok() ? ETIMEDOUT : ready.Code()};
        sockaddr_nl from{};
        iovec iov{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &iov;
        message.msg_iovlen = 1;
        const ssize_t n = ::recvmsg(fd, &message, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return Failure{errno};
        }
        if ((message.msg_flags & MSG_TRUNC) != 0)
            return Failure{EMSGSIZE};
        if (from.nl_pid != 0)
            continue; // only the kernel answers a dump
        const Outcome<DumpChunk> result =
            chunk(std::span<const uint8_t>(buffer.data(), static_cast<std::size_t>(n)));
        if (!result.Ok())
            return result.Error();
        read.interrupted = read.interrupted || result.Value().interrupted;
        if (result.Value().progress == DumpProgress::Done)
            return read;
    }
}

} // namespace zelvo
