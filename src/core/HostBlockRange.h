#pragma once
#include "platform/NetAddress.h"
#include <array>
#include <cstdint>

namespace zelvo {

// The host octets of the PC's address block: candidates are first ... limit - 1.
struct HostBlock
{
    int first = 50;
    int limit = 250;
    friend bool operator==(HostBlock, HostBlock) = default;
};

// The PC's block from the last octet of the mask and of the address. A mask whose last
// octet is 0 gives the fixed octets 50 ... 249. Only the first 64 blocks of the last
// octet are considered, so very small blocks (masks ending in 253 ... 255) can give a
// range that is not the host's own, or an empty one.
HostBlock HostBlockRange(const SubnetMask& mask, const std::array<uint8_t, 4>& address);

// Writes the two lines that open the first search's log: the mask, then the block.
void LogHostBlockRange(const SubnetMask& mask, const std::array<uint8_t, 4>& address);

} // namespace zelvo
