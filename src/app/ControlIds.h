#pragma once

namespace zelvo {

// Control ids of the main window.
enum ControlId : int
{
    kIdExit = 2,
    kIdList = 1001,
    kIdSetIp = 1002,
    kIdBackup = 1005,
    kIdRestore = 1006,
    kIdEnableSetIp = 1020,
    kIdSearch = 1021,
    kIdEnableSetIpLabel = 1023,
    kIdEnableSetIpGroup = 1034,
    kIdFirstSearchCommand = 1035, // internal command posted by the first timer tick
    kIdWebTool = 1037,
    kIdFwUpdate = 1038,
};

} // namespace zelvo
