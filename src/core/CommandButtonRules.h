#pragma once
#include "core/DialogControls.h"

#include <optional>

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

// What the rule does to each control: enable (true), disable (false) or leave as it is.
struct ControlStates
{
    std::optional<bool> backup, restore, setIp, enableSetIpBox, exit, search;
};

// The end-of-operation enabling rule, as data. The network is "open" when no DHCP
// server configured the PC and network information is available.
ControlStates RefreshCommandButtons(RefreshVariant variant, const ButtonRuleInput& in);

// Applies the states in the rule's order: Back up, Restore, Set IP, check box, Exit,
// Search.
void ApplyControlStates(DialogControls& controls, const ControlStates& states);

} // namespace zelvo
