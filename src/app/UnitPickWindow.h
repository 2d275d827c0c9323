#pragma once
#include "core/UnitDialogs.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace zelvo {

// The small modal window in which Back up, Restore and FW Update ask for the unit: a
// message with the number of listed units, a box of units and OK / Cancel. The box's
// current entry is what the command takes (the selection rule). UI thread only.
class UnitPickWindow final : public QDialog
{
    Q_OBJECT
public:
    UnitPickWindow(QWidget* parent, const UnitPickContent& content);
    // The unit box's current entry, -1 for none.
    int CurrentEntry() const;

private:
    QLabel* m_message = nullptr;
    QComboBox* m_units = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

// The seam's implementation with that window, over the main window.
class QtUnitPickDialog final : public UnitPickDialog
{
public:
    explicit QtUnitPickDialog(QWidget* parent) : m_parent(parent) {}
    void SetParentWindow(QWidget* parent) { m_parent = parent; }
    bool Run(const UnitPickContent& content, int& entry) override;

private:
    QWidget* m_parent;
};

} // namespace zelvo
