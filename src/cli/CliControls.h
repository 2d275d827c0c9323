#pragma once
#include "core/DialogControls.h"

#include <map>

namespace zelvo {

// The window's controls as the commands see them, kept as plain state on the command
// line: which commands the end-of-operation rule enabled, the Enable Set IP box, and
// the unit the command line named (the "selected" row that the unit commands ask for).
// The list itself is DialogState's DeviceList; nothing is drawn.
// The command line's main thread only.
class CliControls final : public DialogControls
{
public:
    void EnableControl(int id, bool enable) override { m_enabled[id] = enable; }
    bool IsControlEnabled(int id) const override;
    bool IsChecked(int id) const override;
    void SetChecked(int id, bool checked) override { m_checked[id] = checked; }
    void ClearList() override {}
    void ShowRow(int, const DeviceRecord&) override {}
    void SetSelectionMark(int) override {}
    int FirstSelectedListRow() const override { return m_selectedRow; }

    // The row a UNIT operand picked; -1: none.
    void SelectRow(int row) { m_selectedRow = row; }

private:
    std::map<int, bool> m_enabled;
    std::map<int, bool> m_checked;
    int m_selectedRow = -1;
};

} // namespace zelvo
