#pragma once
#include "platform/NetAddress.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace zelvo {

// The DHCP message as the responder reads and writes it: the BOOTP header of RFC 951 and
// RFC 2131, the magic cookie, option 53 read and seven options written. Offsets count
// from the start of the UDP payload; multi-byte fields are in network byte order.
namespace dhcp {
constexpr std::size_t kOp = 0;        // 1 BOOTREQUEST, 2 BOOTREPLY
constexpr std::size_t kHops = 3;      // relay hops; 0 in a reply
constexpr std::size_t kSecs = 8;      // 2 bytes, seconds since the client began; 0 in a reply
constexpr std::size_t kCiaddr = 12;   // 4 bytes, the client's current address; 0 in a reply
constexpr std::size_t kYiaddr = 16;   // 4 bytes, "your" address: the temporary address
constexpr std::size_t kSiaddr = 20;   // 4 bytes, the server (the PC)
constexpr std::size_t kGiaddr = 24;   // 4 bytes, relay agent; 0 in a reply
constexpr std::size_t kChaddr = 28;   // 16 bytes; the first six are the client's MAC
constexpr std::size_t kCookie = 236;  // 4 bytes, 99 130 83 99
constexpr std::size_t kOptions = 240; // options, walked for 53; rewritten in a reply
constexpr std::size_t kReplyLength = 312;
// A reply is assembled over a whole copy of the request, which is at most this long.
constexpr std::size_t kReceiveLength = 1536;

constexpr uint8_t kBootRequest = 1;
constexpr uint8_t kBootReply = 2;
inline constexpr uint8_t kMagicCookie[4] = {99, 130, 83, 99};
} // namespace dhcp

// Values of option 53.
enum DhcpMessageType : uint8_t
{
    kDhcpNoType = 0, // no usable type: wrong cookie, end option or end of data first
    kDhcpDiscover = 1,
    kDhcpOffer = 2,
    kDhcpRequest = 3,
    kDhcpDecline = 4,
    kDhcpAck = 5,
    kDhcpNak = 6,
    kDhcpRelease = 7,
    kDhcpInform = 8,
    kDhcpMalformed = 255, // the option area runs past the data, or the type is not 1 ... 8
};

// The type of the received message: 0, 1 ... 8 or 255 as above. Only option 53 is
// looked for; its length byte is not checked (the value is the byte after it).
uint8_t ParseMessageType(std::span<const uint8_t> received);

// The client's MAC: bytes 28 ... 33. The message must be at least 34 bytes long.
MacAddress ClientMac(std::span<const uint8_t> received);

// What a REQUEST says about the exchange it belongs to: a client that chose an OFFER
// names its server (option 54) and asks for the offered address (option 50); a client
// that reboots asks for its old address without naming a server; a client that renews
// its lease carries that address in ciaddr.
struct RequestFields
{
    Ipv4Address ciaddr;
    std::optional<Ipv4Address> serverId;  // option 54
    std::optional<Ipv4Address> requested; // option 50
};

// Reads ciaddr and options 54 and 50 of a received message. An option that is not four
// bytes long, or that runs past the data, counts as absent; the walk ends at the end
// option.
RequestFields ReadRequestFields(std::span<const uint8_t> received);

// What a reply says about the network beyond the request's own fields.
struct ReplyAddresses
{
    Ipv4Address offered;     // yiaddr: the temporary address
    Ipv4Address server;      // siaddr and option 54: the PC's address
    SubnetMask subnetMask{}; // option 1
};

// The 312-byte OFFER (type 2) or ACK (type 5) to the request: xid, flags, htype, hlen,
// chaddr, sname, file and cookie copied; hops, secs, ciaddr and giaddr cleared; options
// 53, 54, 51 (7200 s), 58 (3000 s), 59 (5250 s), 1 and end, then zeros. Nothing of the
// request beyond the header is kept. request must hold at least the 240 bytes up to the
// options (only such requests have a type).
std::array<uint8_t, dhcp::kReplyLength>
BuildReply(std::span<const uint8_t> request, uint8_t replyType, const ReplyAddresses& addresses);

} // namespace zelvo
