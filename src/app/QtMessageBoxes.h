#pragma once
#include "core/MessageBoxes.h"

#include <QPointer>
#include <QString>
#include <QWidget>

namespace zelvo {

// Message boxes as Qt shows them: the executable's title as caption, the named icon,
// modal to the main window once it exists. UI thread only.
class QtMessageBoxes final : public MessageBoxes
{
public:
    explicit QtMessageBoxes(QString caption);
    void SetParentWindow(QWidget* parent) { m_parent = parent; }
    MessageAnswer Show(const std::string& text, MessageIcon icon, MessageButtons buttons) override;

    // The catalogue keeps Windows line breaks, "\n\r" included; a Qt label shows a line
    // break for each of "\r\n", "\n\r" and "\n".
    static QString DisplayText(const std::string& text);

private:
    QString m_caption;
    QPointer<QWidget> m_parent;
};

} // namespace zelvo
