#pragma once
#include <cstddef>
#include <cstdint>

namespace zelvo {

// The ones'-complement checksum of ICMP (RFC 1071), computed over 16-bit words read in
// the host's byte order. Stored back in host order at its place in the message, it is
// the right checksum on the wire on any host.
uint16_t InternetChecksum(const uint8_t* data, std::size_t length);

} // namespace zelvo
