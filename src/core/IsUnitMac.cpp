#include "core/IsUnitMac.h"

namespace zelvo {

bool IsUnitMac(const MacAddress& mac)
{
    return mac[0] == kUnitMacPrefix[0] && mac[1] == kUnitMacPrefix[1] &&
           mac[2] == kUnitMacPrefix[2] && (mac[3] & 0xF0) == kUnitMacByte3HighNibble;
}

} // namespace zelvo
