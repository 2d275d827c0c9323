#pragma once
#include "core/DeviceList.h"
#include "core/HostInfo.h"

#include <string>

namespace zelvo {

// The main window's shared state, kept apart from the widgets so that the commands'
// logic (search, enabling rules) can run on it in tests without a window.
// UI thread only.
struct DialogState
{
    HostInfo host;
    DeviceList devices;

    int language = 0;       // UiLanguage of the run
    int m_bShowMask = 0;    // "/disip"
    int m_bSetIpLayout = 0; // "/set"
    int m_bBusy = 0;        // an operation runs
    int UnitsFound = 0;     // the last search listed a unit
    int NoHostMac = 0;      // the PC's MAC is all zero
    int firstTick = 1;      // the first timer tick has not posted the first search yet
    std::string title;      // "Zelvo Setup Tool" or its Japanese form
    uint8_t dhcpMagicCookie[4] = {};
    // The user has been told of a unit on a card without an IP address (once a run).
    bool toldCardWithoutAddress = false;
};

} // namespace zelvo
