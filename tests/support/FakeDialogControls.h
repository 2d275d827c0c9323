#pragma once
#include "core/DialogControls.h"

#include <map>

namespace zelvo::test {

// The main window's controls as plain maps: what is enabled and ticked, what the list
// shows. A control never told anything reads as disabled and clear.
struct FakeDialogControls final : DialogControls
{
    std::map<int, bool> enabled, checked;
    std::map<int, DeviceRecord> rows; // what the list shows
    int clears = 0, selectionMark = -1, selectedRow = -1;

    void EnableControl(int id, bool on) override { enabled[id] = on; }
    bool IsControlEnabled(int id) const override { return enabled.count(id) && enabled.at(id); }
    bool IsChecked(int id) const override { return checked.count(id) && checked.at(id); }
    void SetChecked(int id, bool on) override { checked[id] = on; }
    void ClearList() override { ++clears, rows.clear(); }
    void ShowRow(int row, const DeviceRecord& record) override { rows[row] = record; }
    void SetSelectionMark(int row) override { selectionMark = row; }
    int FirstSelectedListRow() const override { return selectedRow; }
};

} // namespace zelvo::test
