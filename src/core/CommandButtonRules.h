#pragma once
#include "core/FrontEnd.h"

namespace zelvo {

// Which end-of-operation rule applies.
enum class RefreshVariant
{
    Transfer, // back up, restore, firmware upload
    Search,   // the two search commands
    Address,  // a temporary address assignment
};

struct ButtonRuleInput
{
    int UnitsFound = 0;
    int DhcpServerPresent = 0;
    int NetInfoAvailable = 0;
    int NoHostMac = 0;
    int UnitCount = 0;
    // Search variant only: the search offers Set IP (always after Search; after the
    // first search only when Enable Set IP was ticked when it began).
    bool setIpOffered = false;
};

// The end-of-operation enabling rule, as data. The network is "open" when no DHCP
// server configured the PC and network information is available.
CommandButtons RefreshCommandButtons(RefreshVariant variant, const ButtonRuleInput& in);

} // namespace zelvo
