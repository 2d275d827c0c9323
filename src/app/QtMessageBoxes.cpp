#include "app/QtMessageBoxes.h"

#include <QMessageBox>

namespace zelvo {

QtMessageBoxes::QtMessageBoxes(QString caption) : m_caption(std::move(caption)) {}

QString QtMessageBoxes::DisplayText(const std::string& text)
{
    QString out;
    const QString in = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    for (qsizetype i = 0; i < in.size(); ++i) {
        const QChar c = in[i];
        const bool pair = i + 1 < in.size() && ((c == u'\r' && in[i + 1] == u'\n') ||
                                                (c == u'\n' && in[i + 1] == u'\r'));
        if (pair) {
            out += u'\n';
            ++i;
        } else if (c != u'\r') {
            out += c;
        }
    }
    return out;
}

MessageAnswer QtMessageBoxes::Show(const std::string& text, MessageIcon icon,
                                   MessageButtons buttons)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(m_caption);
    box.setTextFormat(Qt::PlainText);
    box.setText(DisplayText(text));
    switch (icon) {
    case MessageIcon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
    case MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MessageIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    switch (buttons) {
    case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MessageButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    default:
        return MessageAnswer::Ok;
    }
}

} // namespace zelvo
