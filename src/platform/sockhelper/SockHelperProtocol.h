#pragma once
#include <cstddef>
#include <cstdint>

// The conversation between the tool and zelvo-sockhelper, its small privileged helper.
//
// The tool starts one helper per socket session, with one end of an AF_UNIX
// SOCK_SEQPACKET socket pair as descriptor 3. The first message is an Open; the helper
// opens its socket, drops every capability and answers Opened. From then on the socket
// stays in the helper: the tool asks it to send (SendEcho, SendReply), each answered by
// one Sent, and the helper passes on, as Arrived, what the tool may read of what the
// socket receives. No descriptor ever crosses the channel, in either direction. A message
// the helper refuses is answered by Sent or Opened with kRefused, and the session ends;
// so does the helper when the tool closes its end.
//
// Every message is one Message header, then for SendEcho, SendReply and Arrived the
// datagram's bytes. Both ends run on the same machine: fields are in host byte order,
// except addresses, which are kept as the network has them.
namespace zelvo::sockhelper {

constexpr int kChannelFd = 3;
constexpr const char* kHelperFileName = "zelvo-sockhelper";
constexpr uint32_t kMagic = 0x5A534832; // "ZSH2": guards against a stray writer

enum class SocketKind : uint32_t
{
    // A raw ICMP socket (CAP_NET_RAW), for echo requests and what answers them.
    RawIcmp = 1,
    // UDP bound to 0.0.0.0:67 with SO_BROADCAST and IP_PKTINFO (CAP_NET_BIND_SERVICE).
    DhcpServer = 2,
};

enum class MessageType : uint32_t
{
    Open = 1,      // tool: kind; for RawIcmp address/interfaceIndex (the source and its
                   // card, both zero: routing decides), identifier, broadcast
    Opened = 2,    // helper: value 0, or the errno of the failure
    SendEcho = 3,  // tool: address (destination), then the echo request as the tool built it
    SendReply = 4, // tool: address, port, interfaceIndex, then the DHCP reply
    Sent = 5,      // helper: value, the bytes sent or minus the errno
    Arrived = 6,   // helper: address (sender), interfaceIndex (receiving card, DHCP only),
                   // truncated; then the ICMP message (its IPv4 header left out) or the
                   // UDP payload
};

struct Message
{
    uint32_t magic = kMagic;
    uint32_t type = 0; // a MessageType
    uint32_t kind = 0; // Open: a SocketKind
    uint32_t address = 0;
    int32_t interfaceIndex = 0;
    int32_t value = 0;
    uint16_t port = 0;
    uint8_t identifier[2] = {}; // Open: the identifier bytes of the echo requests
    uint8_t broadcast = 0;      // Open: SO_BROADCAST
    uint8_t truncated = 0;      // Arrived: the datagram was longer than what follows
    uint8_t reserved[2] = {};
};
static_assert(sizeof(Message) == 32);

// The most datagram bytes one message carries; longer arrivals are cut and marked.
constexpr std::size_t kMaxDatagram = 2048;

// The errno of a refusal.
constexpr int32_t kRefused = 1; // EPERM

} // namespace zelvo::sockhelper
