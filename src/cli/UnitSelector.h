#pragma once
#include "core/DeviceList.h"

#include <optional>
#include <string>

namespace zelvo {

enum class UnitMatch
{
    Found,
    NotFound,
    Ambiguous, // a name that two listed units carry
};

struct UnitChoice
{
    UnitMatch match = UnitMatch::NotFound;
    int row = -1; // the DeviceList row of the unit when Found
};

// Finds a unit among the units the last search listed (never the PC's own row):
// a dotted address picks the unit with that address, a MAC address (':' or '-'
// between the pairs, any case) the unit with that MAC, anything else the unit whose
// computer name it is, compared without regard to ASCII case.
UnitChoice SelectUnit(const DeviceList& devices, const std::string& unit);

// "10.0.0.21" as an address; nullopt for anything else (no leading zeros beyond a
// single "0", four parts, each 0 to 255).
std::optional<Ipv4Address> ParseDottedAddress(const std::string& text);

} // namespace zelvo
