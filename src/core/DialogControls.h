#pragma once
#include "core/DeviceList.h"

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

// The main window's controls as the commands see them, so that the commands' logic
// runs against a fake in tests. MainDialog implements it. UI thread only.
class DialogControls
{
public:
    virtual ~DialogControls() = default;
    virtual void EnableControl(int id, bool enable) = 0;
    virtual bool IsControlEnabled(int id) const = 0;
    // The Enable Set IP check box.
    virtual bool IsChecked(int id) const = 0;
    virtual void SetChecked(int id, bool checked) = 0;

    // The unit list: remove every row; show one DeviceList record as list row `row`
    // (name, MAC, address and type columns); set the selection mark and redraw a row.
    virtual void ClearList() = 0;
    virtual void ShowRow(int row, const DeviceRecord& record) = 0;
    virtual void SetSelectionMark(int row) = 0;
    // The first selected list row, -1 when no row is selected. The web tool commands ask
    // the list this way; the default suits fakes that have no list.
    virtual int FirstSelectedListRow() const { return -1; }
};

} // namespace zelvo
