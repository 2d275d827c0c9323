#pragma once
#include <QPushButton>

namespace zelvo {

// A push button that draws itself: a black one-pixel outline when its default flag is
// set, a push-button frame (sunken while held down), the caption centred (one pixel
// right and down while held, grey when disabled) and, with the focus, a dotted focus
// rectangle. It otherwise behaves as an ordinary push button. UI thread only.
class CommandButton final : public QPushButton
{
    Q_OBJECT
public:
    CommandButton(int id, const QString& text, QWidget* parent);

    int Id() const { return m_id; }

    // Makes this button the dialog's default command (Enter presses it while no other
    // button has the focus), remembers flag for the outline and repaints. Only the last
    // button told becomes the dialog's default; every button keeps its own flag.
    void SetDefault(bool flag);
    bool DefaultFlag() const { return m_defaultFlag; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_id;
    bool m_defaultFlag = false;
};

// How far inside the drawing area the focus rectangle is drawn: three pixels, or a
// quarter of the smaller side when that is less.
int FocusRectInset(int width, int height);

} // namespace zelvo
