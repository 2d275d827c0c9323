#pragma once
#include "platform/NetAddress.h"

#include <cstdint>

namespace zelvo {

// The storage units' MAC addresses: the vendor's three-byte prefix, and a fixed value
// in the high four bits of the fourth byte that marks the VELDIX product line.
inline constexpr uint8_t kUnitMacPrefix[3] = {0x02, 0x5a, 0xe1};
inline constexpr uint8_t kUnitMacByte3HighNibble = 0x40;

// True when mac belongs to a storage unit.
bool IsUnitMac(const MacAddress& mac);

} // namespace zelvo
