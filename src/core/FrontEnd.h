#pragma once
#include "core/DeviceList.h"

#include <optional>
#include <vector>

namespace zelvo {

// The command buttons as the start or the end of an operation leaves them: enable
// (true), disable (false) or leave as it is (empty).
struct CommandButtons
{
    std::optional<bool> backup, restore, setIp, enableSetIpBox, exit, search;
};

// What the unit list shows: the PC's row, then each listed unit in order.
struct UnitListView
{
    std::vector<DeviceRecord> rows;
    // A search began: earlier rows and the selection are gone.
    bool newList = false;
    // The keyboard's current row after the change (without selecting it); -1 leaves it.
    int currentRow = -1;
};
UnitListView ListedRows(const DeviceList& devices);

// What the commands (search, temporary address, transfers) hand to the front end that
// runs them: the buttons' states and the unit list, each as data and whole. Questions go
// to MessageBoxes and progress to ProgressPasses; what a command needs from the user
// (the Enable Set IP box, the selected row) it takes as an argument. The window shows
// both; the command line reports from the run's state when the command is over.
// UI thread only.
class FrontEnd
{
public:
    virtual ~FrontEnd() = default;
    virtual void ShowButtons(const CommandButtons& buttons) = 0;
    virtual void ShowList(const UnitListView& list) = 0;
};

} // namespace zelvo
