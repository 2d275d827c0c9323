#include "app/CommandButton.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <algorithm>

namespace zelvo {

CommandButton::CommandButton(int id, const QString& text, QWidget* parent)
    : QPushButton(text, parent), m_id(id)
{
    setObjectName(QStringLiteral("button%1").arg(id));
}

void CommandButton::SetDefault(bool flag)
{
    setDefault(true);
    m_defaultFlag = flag;
    update();
}

int FocusRectInset(int width, int height)
{
    return std::min(3, std::min(width, height) / 4);
}

void CommandButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QRect area = rect();

    if (m_defaultFlag) {
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(area.adjusted(0, 0, -1, -1));
        area.adjust(1, 1, -1, -1);
    }

    const bool down = isDown();
    QStyleOptionButton frame;
    frame.initFrom(this);
    frame.rect = area;
    // The focus is drawn below in our own way; the style must not add its own.
    frame.state &= ~QStyle::State_HasFocus;
    frame.state |= down ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &frame, &painter, this);

    const QColor textColour = isEnabled()
                                  ? palette().color(QPalette::Active, QPalette::ButtonText)
                                  : palette().color(QPalette::Disabled, QPalette::ButtonText);
    painter.setPen(textColour);
    painter.setFont(font());
    const QRect textArea = down ? area.translated(1, 1) : area;
    painter.drawText(textArea, Qt::AlignCenter | Qt::TextSingleLine, text());

    if (hasFocus() && isEnabled()) {
        const int inset = FocusRectInset(area.width(), area.height());
        const QRect focus = area.adjusted(inset, inset, -inset, -inset);
        QPen dotted(palette().color(QPalette::Active, QPalette::ButtonText), 1);
        dotted.setDashPattern({1.0, 1.0});
        painter.setPen(dotted);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(focus.adjusted(0, 0, -1, -1));
    }
}

} // namespace zelvo
