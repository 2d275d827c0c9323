#include "ui/ProgressWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <functional>

namespace zelvo {
namespace {

constexpr size_t kMessageBufferSize = 512;

// The popup window itself. A close request from the window manager (Alt+F4) counts as
// a cancel of the pass, so the window stays under its object's control.
class ProgressPopup final : public QWidget
{
public:
    ProgressPopup(QWidget* owner, std::function<void()> onCloseRequest)
        : QWidget(owner ? owner->window() : nullptr,
                  Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
          m_onCloseRequest(std::move(onCloseRequest))
    {
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        if (m_onCloseRequest)
            m_onCloseRequest();
    }

private:
    std::function<void()> m_onCloseRequest;
};

// Cuts a UTF-8 text that was truncated to fit a buffer back to the last whole character.
size_t WholeCharacterLength(const char* text, size_t length)
{
    size_t end = length;
    while (end > 0 && (static_cast<unsigned char>(text[end - 1]) & 0xC0) == 0x80)
        --end;
    if (end == 0)
        return length;
    const auto lead = static_cast<unsigned char>(text[end - 1]);
    size_t need = 1;
    if (lead >= 0xF0)
        need = 4;
    else if (lead >= 0xE0)
        need = 3;
    else if (lead >= 0xC0)
        need = 2;
    return (length - (end - 1) >= need) ? length : end - 1;
}

} // namespace

ProgressWindow::ProgressWindow(QWidget* owner, const std::string& caption, bool smooth)
    : m_caption(caption)
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
    Open(owner, caption, smooth);
}

ProgressWindow::~ProgressWindow()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
    delete m_window.data();
}

bool ProgressWindow::Open(QWidget* owner, const std::string& caption, bool smooth)
{
    if (IsWindow())
        return true;
    // Widgets need a widget application; without one the pass runs windowless.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return false;

    m_owner = owner;
    auto* popup = new ProgressPopup(owner, [this] { RequestCancel(); });
    m_window = popup;
    popup->setObjectName(QStringLiteral("ProgressWindow"));
    popup->setAttribute(Qt::WA_ShowWithoutActivating);
    popup->setWindowTitle(QString::fromStdString(caption));
    popup->setCursor(Qt::BusyCursor);
    // The client area is painted in the colour of a button face, like a dialog.
    QPalette palette = popup->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    popup->setPalette(palette);
    popup->setAutoFillBackground(true);
    popup->resize(kTextWidth, 130);

    const QFont messageFont = QApplication::font("QMessageBox");

    m_message = new QLabel(popup);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setProperty("controlId", kMessageId);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(false);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_message->setFont(messageFont);
    m_message->setGeometry(0, 0, 10, 10);

    m_bar = new QProgressBar(popup);
    m_bar->setObjectName(QStringLiteral("bar"));
    m_bar->setProperty("controlId", kBarId);
    m_bar->setProperty("smooth", smooth);
    m_bar->setTextVisible(false);
    m_bar->setRange(m_lower, m_upper);
    m_bar->setValue(0);
    m_bar->setGeometry(0, 0, 10, 10);

    // Created and sized, but never shown: only Esc cancels a pass.
    m_cancel = new QPushButton(QString::fromStdString(m_cancelLabel), popup);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_cancel->setProperty("controlId", kCancelButtonId);
    m_cancel->setFont(messageFont);
    m_cancel->setGeometry(0, 0, 10, 10);
    m_cancel->setVisible(false);
    QObject::connect(m_cancel, &QPushButton::clicked, popup, [this] { RequestCancel(); });

    LayOut(m_textLines, kTextWidth);

    // Client area centred over the owner's client area (or the screen): frames are
    // the window manager's and are not known before the popup is shown.
    const QRect around =
        owner ? owner->window()->geometry()
              : (popup->screen() ? popup->screen()->availableGeometry() : QRect(0, 0, 0, 0));
    QRect placed(QPoint(0, 0), popup->size());
    placed.moveCenter(around.center());
    popup->setGeometry(placed);
    Reveal();
    return true;
}

void ProgressWindow::LayOut(int textLines, int width)
{
    if (!IsWindow())
        return;
    const QFontMetrics metrics(m_message->font());

    QString measure = QStringLiteral("M");
    for (int line = 1; line < textLines; ++line)
        measure += QStringLiteral("\nM");
    QRect text(kMargin, kMargin, width - 2 * kMargin, 120 - kMargin);
    text.setHeight(metrics.boundingRect(text, Qt::TextDontClip, measure).height());
    text.setWidth(width);

    const QFontMetrics buttonMetrics(m_cancel->font());
    const QString buttonText = QString::fromStdString(m_cancelLabel) + QStringLiteral("  ");
    const QSize buttonSize(buttonMetrics.horizontalAdvance(buttonText) + 4 * kEdge,
                           buttonMetrics.height() + 3 * kEdge);

    const QRect button(text.right() + 1 - buttonSize.width(), text.bottom() + 1 + kMargin,
                       buttonSize.width(), buttonSize.height());
    const QRect bar(QPoint(text.left(), button.top() + kEdge),
                    QPoint(button.left() - kMargin - 1, button.bottom() - kEdge));

    m_window->setFixedSize(kMargin + text.width() + kMargin,
                           kMargin + text.height() + kMargin + button.height() + kMargin);
    m_bar->setGeometry(bar);
    m_cancel->setGeometry(button);
    m_message->setGeometry(text);
}

int ProgressWindow::SetStepRange(int lower, int upper, int step)
{
    if (!IsWindow())
        return 0;
    m_bar->setRange(lower, upper);
    m_upper = upper;
    m_lower = lower;
    const int previous = m_step;
    m_step = step;
    return previous;
}

void ProgressWindow::SetMessage(const char* format, ...)
{
    if (!IsWindow())
        return;
    char buffer[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (written < 0)
        return;
    size_t length = static_cast<size_t>(written);
    if (length >= sizeof buffer)
        length = WholeCharacterLength(buffer, sizeof buffer - 1);
    m_message->setText(QString::fromUtf8(buffer, static_cast<qsizetype>(length)));
}

int ProgressWindow::Advance()
{
    if (!IsWindow())
        return m_lastPosition;
    Reveal();
    return SetPosition(m_lastPosition + m_step);
}

int ProgressWindow::SetPosition(int position)
{
    if (!IsWindow())
        return m_lastPosition;
    Reveal();
    m_lastPosition = position;
    int percentage = 0;
    if (m_upper > m_lower)
        percentage = static_cast<int>(static_cast<long long>(position) * 100 / (m_upper - m_lower));
    if (percentage != m_lastPercentage) {
        m_lastPercentage = percentage;
        m_window->setWindowTitle(QString::fromStdString(m_caption));
    }
    const int previous = m_bar->value();
    // The bar ignores values outside its range; the classic control pins them to its ends.
    m_bar->setValue(std::clamp(position, m_bar->minimum(), m_bar->maximum()));
    return previous;
}

void ProgressWindow::PumpMessages(bool escCancels)
{
    if (m_cancelled || QCoreApplication::instance() == nullptr)
        return;
    // A quit requested meanwhile is not taken here: Qt leaves it to the event loops,
    // which end when control returns to them.
    m_escCancels = escCancels;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_escCancels = false;
}

bool ProgressWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (m_escCancels && !m_cancelled && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        RequestCancel();
        return true; // the main window does not see this Esc
    }
    return QObject::eventFilter(watched, event);
}

void ProgressWindow::Reveal()
{
    if (!IsWindow() || m_window->isVisible())
        return;
    m_window->show();
    m_window->update();
}

void ProgressWindow::Conceal()
{
    if (!IsWindow() || !m_window->isVisible())
        return;
    m_window->hide();
}

void ProgressWindow::RequestCancel()
{
    m_cancelled = true;
    Conceal();
    if (!m_owner.isNull()) {
        QWidget* main = m_owner->window();
        main->raise();
        main->activateWindow();
    }
}

} // namespace zelvo
