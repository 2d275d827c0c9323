#pragma once
#include "app/QtMessageBoxes.h"
#include "app/UnitFileWindow.h"
#include "app/UnitPickWindow.h"

#include <memory>

class QWidget;

namespace zelvo {

// What a person answers while the tool runs: its message boxes, and the unit-pick and
// file dialogs of the transfers. Given to the application by its caller. UI thread only.
class ToolDialogs
{
public:
    virtual ~ToolDialogs() = default;
    virtual MessageBoxes& Boxes() = 0;
    virtual std::shared_ptr<UnitPickDialog> UnitPick() = 0;
    virtual std::shared_ptr<UnitFileDialog> UnitFile() = 0;
    // The main window exists: what opens from now on opens over it.
    virtual void OverWindow(QWidget* window) = 0;
};

// The tool's own: Qt windows with the executable's title as caption.
class QtToolDialogs final : public ToolDialogs
{
public:
    QtToolDialogs();
    MessageBoxes& Boxes() override { return m_boxes; }
    std::shared_ptr<UnitPickDialog> UnitPick() override { return m_unitPick; }
    std::shared_ptr<UnitFileDialog> UnitFile() override { return m_unitFile; }
    void OverWindow(QWidget* window) override;

private:
    QtMessageBoxes m_boxes;
    std::shared_ptr<QtUnitPickDialog> m_unitPick = std::make_shared<QtUnitPickDialog>(nullptr);
    std::shared_ptr<QtUnitFileDialog> m_unitFile = std::make_shared<QtUnitFileDialog>(nullptr);
};

} // namespace zelvo
