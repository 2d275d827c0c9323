#pragma once
#include "core/DeviceList.h"
#include "core/HostInfo.h"

namespace zelvo {

// What the commands share over one run of the tool, whichever front end runs them: the
// PC as the start-up survey found it, the unit list, and the flags that the enabling
// rule and the one-time notices read.
// UI thread (the command line's main thread) only.
struct RunState
{
    HostInfo host;
    DeviceList devices;

    int language = 0;    // UiLanguage of the run
    int m_bShowMask = 0; // "/disip": the subnet-mask diagnostic boxes are shown
    int m_bBusy = 0;     // an operation runs
    int UnitsFound = 0;  // the last search listed a unit
    int NoHostMac = 0;   // the PC's MAC is all zero
    // The user has been told of a unit on a card without an IP address (once a run).
    bool toldCardWithoutAddress = false;
};

} // namespace zelvo
