#pragma once
#include "core/RunState.h"
#include "host/StartupSurvey.h"

#include <functional>

namespace zelvo {

// How the start ended.
enum class StartupResult
{
    Refused,         // the survey refused the PC; the user was told, nothing may start
    NetworkUnusable, // the network check failed after telling the user; the subnet mask
                     // and the MAC were not looked at
    Ready,
};

// The two network checks after the survey. Empty members take this PC's own.
struct StartupChecks
{
    // That the network can be used: 1 passed, 0 failed after telling the user.
    std::function<int(MessageBoxes& boxes, int language)> networkBrowse = {};
    // The subnet mask read from the interface list when the survey found none: 1 when the
    // list was read (the mask is set), 0 when it could not be.
    std::function<int(Ipv4Address pcAddress, SubnetMask& mask)> interfaceMask = {};
};

// What both front ends do before their first command: the start-up survey (language,
// settings, log, the PC and row 0), the network check, the subnet mask from the interface
// list when the survey gave none, and whether the PC has a MAC (NoHostMac). Fills state;
// UI thread.
StartupResult RunStartupSequence(RunState& state, SurveyServices& survey,
                                 const StartupChecks& checks = {});

} // namespace zelvo
