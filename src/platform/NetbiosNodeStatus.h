#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zelvo {

// NetBIOS node status (RFC 1002, 4.2.17 and 4.2.18): the question "which names does the
// node at this address hold?", sent to UDP 137 of that address. nmbd and Windows answer it.

constexpr uint16_t kNetbiosNamePort = 137;
constexpr std::size_t kNodeStatusRequestSize = 50;

// The request for the wildcard name "*" (padded with NULs, as RFC 1002 asks for a node
// status query), question type NBSTAT (0x21), class IN. transactionId is written big-endian.
std::array<uint8_t, kNodeStatusRequestSize> BuildNodeStatusRequest(uint16_t transactionId);

// The computer name from a node status reply: the first unique (not group) name with
// suffix 0x00, trailing spaces and NULs trimmed. nullopt when the datagram is not the
// answer to transactionId, is truncated or malformed, or holds no such name, or when
// that name is empty or carries control bytes.
std::optional<std::string> ParseNodeStatusReply(std::span<const uint8_t> reply,
                                                uint16_t transactionId);

} // namespace zelvo
