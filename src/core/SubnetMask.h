#pragma once
#include "platform/NetAddress.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zelvo {

// A dotted mask text read digit by digit: byte k is 100 * d(4k) + 10 * d(4k + 1) +
// d(4k + 2), where d(i) is the digit at position i and 0 for anything else (also past
// the end). Exact for every contiguous mask, whose non-zero bytes all have three
// digits; other texts give other bytes (a value above 255 keeps its low eight bits).
SubnetMask MaskTextToBytes(std::string_view text);

// The mask of a prefix length (24 gives 255.255.255.0); lengths above 32 count as 32.
SubnetMask MaskFromPrefixLength(int prefixLength);

// "SubnetMask :  ff. ff. ff.  0", the text of the "/disip" box.
std::string SubnetMaskBoxText(const SubnetMask& mask);
// The box of a first search that has no subnet mask to work with, in the run's language.
std::string NoSubnetMaskBoxText(int language);

} // namespace zelvo
