#include "platform/DatagramIo.h"

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace zelvo {

Outcome<DatagramReceipt> ReceiveWaiting(int fd, std::span<uint8_t> buffer, bool fromErrorQueue)
{
    sockaddr_in from{};
    iovec iov{buffer.data(), buffer.size()};
    // Room for IP_PKTINFO and for an error report with the offender's address.
    alignas(cmsghdr) char control[512];
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    do
        n = ::recvmsg(fd, &msg, MSG_DONTWAIT | (fromErrorQueue ? MSG_ERRQUEUE : 0));
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return Failure{errno};
    DatagramReceipt receipt;
    receipt.length = static_cast<std::size_t>(n);
    receipt.truncated = (msg.msg_flags & MSG_TRUNC) != 0;
    receipt.source.nbo = from.sin_addr.s_addr;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != IPPROTO_IP)
            continue;
        if (c->cmsg_type == IP_PKTINFO && c->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            receipt.interfaceIndex = info.ipi_ifindex;
        } else if (c->cmsg_type == IP_RECVERR &&
                   c->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err))) {
            sock_extended_err report;
            std::memcpy(&report, CMSG_DATA(c), sizeof report);
            ReportedError reported;
            reported.origin = report.ee_origin;
            reported.type = report.ee_type;
            reported.code = report.ee_code;
            // The offender's address follows the report in the same control message.
            sockaddr_in offender{};
            if (c->cmsg_len >= CMSG_LEN(sizeof report + sizeof offender))
                std::memcpy(&offender, CMSG_DATA(c) + sizeof report, sizeof offender);
            if (offender.sin_family == AF_INET)
                reported.offender.nbo = offender.sin_addr.s_addr;
            receipt.reported = reported;
        }
    }
    return receipt;
}

Outcome<std::size_t> SendDatagram(int fd, std::span<const uint8_t> bytes,
                                  const DatagramDestination& to, int flags)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(to.port);
    address.sin_addr.s_addr = to.address.nbo;
    iovec iov{const_cast<uint8_t*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr msg{};
    msg.msg_name = &address;
    msg.msg_namelen = sizeof address;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (to.interfaceIndex > 0) {
        // IP_PKTINFO names the way out for this datagram alone: a limited broadcast then
        // leaves through the card the unit is on even when the default route points
        // elsewhere, or there is none, or the PC has several cards.
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = to.interfaceIndex;
        info.ipi_spec_dst.s_addr = to.source.nbo;
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    ssize_t sent;
    do
        sent = ::sendmsg(fd, &msg, MSG_NOSIGNAL | flags);
    while (sent < 0 && errno == EINTR);
    if (sent < 0)
        return Failure{errno};
    return static_cast<std::size_t>(sent);
}

Outcome<DatagramReceipt> NothingReceived(const Outcome<WaitEnd>& wait)
{
    if (!wait.Ok())
        return wait.Error();
    DatagramReceipt receipt;
    receipt.end = wait.Value();
    return receipt;
}

} // namespace zelvo
