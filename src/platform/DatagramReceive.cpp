#include "platform/DatagramReceive.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace zelvo {

namespace {
constexpr int kStopSliceMs = 50;
}

DatagramReceipt ReceiveDatagram(int fd, std::span<uint8_t> buffer, const std::atomic<bool>* stop)
{
    DatagramReceipt receipt;
    while (true) {
        if (stop && stop->load(std::memory_order_acquire)) {
            receipt.status = IoStatus::Stopped;
            return receipt;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, stop ? kStopSliceMs : -1);
        if (ready < 0 && errno != EINTR) {
            receipt.error = errno;
            return receipt;
        }
        if (ready <= 0)
            continue;
        if ((p.revents & POLLNVAL) != 0) {
            receipt.error = EBADF;
            return receipt;
        }
        sockaddr_in from{};
        iovec iov{buffer.data(), buffer.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            receipt.error = errno;
            return receipt;
        }
        receipt.status = IoStatus::Ok;
        receipt.length = static_cast<std::size_t>(n);
        receipt.truncated = (msg.msg_flags & MSG_TRUNC) != 0;
        receipt.source.nbo = from.sin_addr.s_addr;
        receipt.sourcePort = ntohs(from.sin_port);
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                receipt.interfaceIndex = info.ipi_ifindex;
            }
        }
        return receipt;
    }
}

UniqueFd DuplicateDescriptor(int fd)
{
    return UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
}

} // namespace zelvo
