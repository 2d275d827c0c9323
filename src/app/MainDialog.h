#pragma once
#include "app/DialogState.h"
#include "app/MessageBoxes.h"

#include <QDialog>

class QTreeWidget;

namespace zelvo {

// The tool's only main window: banner, unit list, command buttons. Owns the shared
// state of the run. UI thread only.
class MainDialog : public QDialog
{
    Q_OBJECT
public:
    MainDialog(QWidget* parent, MessageBoxes& boxes);

    DialogState& State() { return m_state; }

    // Runs the start-up survey. False: the PC cannot serve (the user was told) and the
    // window must not be shown.
    bool Create(bool splashEnabled);

private:
    void Initialise();

    MessageBoxes& m_boxes;
    DialogState m_state;
    QTreeWidget* m_list = nullptr;
};

} // namespace zelvo
