#include "app/ToolDialogs.h"

#include "core/ExePath.h"

namespace zelvo {

QtToolDialogs::QtToolDialogs() : m_boxes(QString::fromStdString(ExecutableTitle())) {}

void QtToolDialogs::OverWindow(QWidget* window)
{
    m_boxes.SetParentWindow(window);
    m_unitPick->SetParentWindow(window);
    m_unitFile->SetParentWindow(window);
}

} // namespace zelvo
