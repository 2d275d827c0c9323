#include "app/SplashWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

void RegisterWindowImages()
{
    Q_INIT_RESOURCE(resources);
}

namespace zelvo {

namespace {
SplashWindow* g_splash = nullptr;
}

SplashWindow* SplashWindow::Current()
{
    return g_splash;
}

void SplashWindow::ShowSplash(QWidget* owner, bool enabled)
{
    if (!enabled || g_splash)
        return;
    RegisterWindowImages();
    QPixmap picture(QStringLiteral(":/images/splash.png"));
    if (picture.isNull())
        return; // no picture, no splash
    g_splash = new SplashWindow(owner, picture);
    g_splash->show();
    // Paint at once: the survey goes on blocking this thread for a while.
    g_splash->repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

SplashWindow::SplashWindow(QWidget* owner, QPixmap picture)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_picture(std::move(picture))
{
    setObjectName(QStringLiteral("SplashWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(Qt::ArrowCursor);
    setFixedSize(m_picture.deviceIndependentSize().toSize());
    // The owner is not visible yet: centre on the screen.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SplashWindow::Hide);
    m_timer.start(kTimerMs);
}

SplashWindow::~SplashWindow()
{
    if (g_splash == this)
        g_splash = nullptr;
}

void SplashWindow::Hide()
{
    QWidget* owner = parentWidget();
    close(); // deletes this (WA_DeleteOnClose)
    if (owner)
        owner->update();
}

void SplashWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

void SplashWindow::mousePressEvent(QMouseEvent* event)
{
    event->accept(); // a click does not close the splash early
}

void SplashWindow::keyPressEvent(QKeyEvent* event)
{
    event->accept();
}

} // namespace zelvo
