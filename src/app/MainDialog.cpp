#include "app/MainDialog.h"

#include "app/SplashWindow.h"
#include "host/StartupSurvey.h"

#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zelvo {

MainDialog::MainDialog(QWidget* parent, MessageBoxes& boxes) : QDialog(parent), m_boxes(boxes)
{
    setObjectName(QStringLiteral("MainDialog"));
}

bool MainDialog::Create(bool splashEnabled)
{
    SurveyServices services{m_boxes, [this, splashEnabled] { SplashWindow::ShowSplash(this, splashEnabled); },
                            [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }};
    if (RunStartupSurvey(m_state, services) != 0)
        return false;
    Initialise();
    return true;
}

void MainDialog::Initialise()
{
    setWindowTitle(QStringLiteral("Zelvoセットアップツール"));
    auto* layout = new QVBoxLayout(this);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("list1001"));
    layout->addWidget(m_list);
    auto* exitButton = new QPushButton(QStringLiteral("Exit"), this);
    connect(exitButton, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(exitButton);
}

} // namespace zelvo
