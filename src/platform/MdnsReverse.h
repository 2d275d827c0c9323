#pragma once
#include "platform/NetAddress.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zelvo {

// Reverse lookup by multicast DNS, asked by unicast: a PTR question for
// "d.c.b.a.in-addr.arpa." sent straight to UDP 5353 of the address. Sent from another
// port than 5353, it is a "legacy unicast" query (RFC 6762, 6.7): the responder (avahi)
// answers to the sender's port and repeats the query's id.

constexpr uint16_t kMdnsPort = 5353;

// "5.1.168.192.in-addr.arpa" for 192.168.1.5.
std::string ReverseQueryName(Ipv4Address address);

// The PTR question for address with the given id (big-endian on the wire).
std::vector<uint8_t> BuildMdnsPtrQuery(uint16_t queryId, Ipv4Address address);

// The host name from the reply: the target of the first PTR answer whose owner is the
// address's reverse name, without the trailing ".local" of the mDNS domain. nullopt when
// the datagram does not answer queryId, is truncated or malformed, has no such answer, or
// the name is empty or holds bytes that are not printable ASCII.
std::optional<std::string> ParseMdnsPtrReply(std::span<const uint8_t> reply, uint16_t queryId,
                                             Ipv4Address address);

} // namespace zelvo
