#pragma once
// The ICMP checksum worked out the long way (RFC 1071), apart from the tool's own code,
// so that tests can build messages a real peer would send.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelvo::test {

// The checksum to store in bytes 2 and 3 of `m` (which must hold zero while it is worked
// out); an odd length counts as padded with a zero byte.
inline uint16_t InternetChecksum(const std::vector<uint8_t>& m)
{
    uint32_t sum = 0;
    for (std::size_t i = 0; i < m.size(); i += 2)
        sum += uint32_t(m[i]) << 8 | (i + 1 < m.size() ? m[i + 1] : 0);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

} // namespace zelvo::test
