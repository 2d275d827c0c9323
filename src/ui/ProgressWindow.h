#pragma once
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace zelvo {

// The progress popup of one pass: a caption, a message line and a smooth bar. It is
// topmost, shown without taking the focus from the main window, and has a Cancel
// button that is created hidden; Esc, seen while the popup pumps the event queue,
// cancels the pass instead.
//
// The object and its window are two things: the window is created by Open and can be
// gone while the object lives (it could not be created, or its owner took it down).
// Every operation first asks IsWindow and then does nothing, or returns its fallback,
// so a pass without a window is a plain responsive delay.
//
// UI thread only.
class ProgressWindow final : public QObject
{
public:
    // Control ids of the popup's children (also their "controlId" property).
    static constexpr int kCancelButtonId = 10;
    static constexpr int kMessageId = 11;
    static constexpr int kBarId = 12;
    static constexpr int kMargin = 10;
    static constexpr int kTextWidth = 390;
    static constexpr int kEdge = 2; // the width of a 3-D edge of the classic look

    // Opens the window at once; the result of Open is not looked at.
    ProgressWindow(QWidget* owner, const std::string& caption, bool smooth);
    ~ProgressWindow() override; // takes the window down first

    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // Creates the popup and its controls, laid out, centred over the owner's window
    // (or the screen without an owner) and shown. False when no window can be made
    // (no widget application runs). With a window already open it keeps that one.
    bool Open(QWidget* owner, const std::string& caption, bool smooth);

    // Sets the bar's range and the step of Advance; returns the previous step.
    // Without a window it stores nothing and returns 0.
    int SetStepRange(int lower, int upper, int step);

    // Formats printf-style into a 512-byte buffer (longer text is cut at a character
    // boundary) and makes it the message line.
    void SetMessage(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // SetPosition(last position + step). Without a window: the last position.
    int Advance();

    // Moves the bar; re-sets the caption whenever the whole percentage changes (to the
    // same text, so nothing visible changes). Returns the bar's previous position;
    // without a window the last position.
    int SetPosition(int position);

    // Dispatches the events that are waiting, for every window of the thread. With
    // escCancels, an Esc key press among them cancels the pass and is not passed on.
    // After a cancel it dispatches nothing.
    void PumpMessages(bool escCancels);

    bool IsCancelled() const { return m_cancelled; }
    bool IsWindow() const { return !m_window.isNull(); }
    QWidget* Window() const { return m_window.data(); }

    void Reveal();
    void Conceal();
    // Cancels the pass: hides the popup and gives the owner's window the focus back.
    void RequestCancel();
    // Sizes the message line for textLines lines of width pixels and places the bar
    // and the (hidden) button under it; the popup's client area fits around them.
    void LayOut(int textLines, int width);

    const std::string& Caption() const { return m_caption; }
    int LastPosition() const { return m_lastPosition; }
    int Step() const { return m_step; }
    int LowerBound() const { return m_lower; }
    int UpperBound() const { return m_upper; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_owner;
    QLabel* m_message = nullptr; // children of m_window: valid while it is
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;

    std::string m_caption;
    std::string m_cancelLabel = " Cancel ";
    int m_textLines = 2;
    int m_lastPosition = 0;
    int m_lastPercentage = 0;
    int m_step = 1;
    int m_lower = 0;
    int m_upper = 100;
    bool m_cancelled = false;
    bool m_escCancels = false; // true only while PumpMessages(true) dispatches
};

} // namespace zelvo
