#pragma once
#include <QPixmap>
#include <QTimer>
#include <QWidget>

// The window's images live in a resource file of a static library: nothing would pull its
// registration into the executable unless it is named. Any thread before the first image.
void RegisterWindowImages();

namespace zelvo {

// The start-up picture. At most one is open; it shows for the whole survey and closes
// itself on its first timer tick (750 ms), which can only be handled once the main
// window's event loop runs. Clicks and keys do not close it early. UI thread only.
class SplashWindow final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kTimerMs = 750;

    // Opens the splash unless it is disabled or already open; paints it at once.
    static void ShowSplash(QWidget* owner, bool enabled);
    // The open splash, or nullptr.
    static SplashWindow* Current();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    SplashWindow(QWidget* owner, QPixmap picture);
    ~SplashWindow() override;
    void Hide();

    QPixmap m_picture;
    QTimer m_timer;
};

} // namespace zelvo
