#include "app/UnitPickWindow.h"

#include "app/MainDialogLayout.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

namespace zelvo {
namespace {

constexpr int kDialogFontPoints = 9;

QFont PickFont(const std::string& family)
{
    // The resource's Japanese face is rarely installed; the CJK face stands in for it.
    QFont font(QString::fromStdString(family));
    font.setFamilies({QString::fromStdString(family), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSize(kDialogFontPoints);
    return font;
}

DialogRect ToRect(const DialogUnitsRect& r)
{
    return {r.x, r.y, r.width, r.height};
}

} // namespace

UnitPickWindow::UnitPickWindow(QWidget* parent, const UnitPickContent& content) : QDialog(parent)
{
    setObjectName(QStringLiteral("unitPick%1").arg(content.dialogId));
    setWindowTitle(QString::fromStdString(content.title));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(PickFont(content.fontFamily));
    const QFontMetrics metrics(font());
    const DialogBaseUnits base{BaseUnitXFromAlphabetWidth(metrics.horizontalAdvance(QStringLiteral(
                                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"))),
                               metrics.height()};
    auto place = [&base](QWidget* widget, const DialogUnitsRect& dlu) {
        const DialogRect r = DialogUnitsToPixels(ToRect(dlu), base);
        widget->setGeometry(r.x, r.y, r.w, r.h);
    };

    m_message = new QLabel(QString::fromStdString(content.message), this);
    m_message->setObjectName(QStringLiteral("message%1").arg(content.messageControlId));
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_message->setTextFormat(Qt::PlainText);
    place(m_message, content.messageRect);

    m_units = new QComboBox(this);
    m_units->setObjectName(QStringLiteral("units%1").arg(content.unitBoxId));
    for (const std::string& entry : content.entries)
        m_units->addItem(QString::fromStdString(entry));
    // A drop-down list: the rectangle's height is the open list's, the box one line.
    DialogUnitsRect box = content.unitBoxRect;
    place(m_units, box);
    m_units->setFixedHeight(m_units->sizeHint().height());
    m_units->setMaxVisibleItems(8);
    if (m_units->count() > 0)
        m_units->setCurrentIndex(0);

    m_ok = new QPushButton(QString::fromStdString(content.okCaption), this);
    m_ok->setObjectName(QStringLiteral("ok"));
    m_ok->setDefault(true);
    place(m_ok, content.okRect);
    m_cancel = new QPushButton(QString::fromStdString(content.cancelCaption), this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    place(m_cancel, content.cancelRect);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    const DialogRect size = DialogUnitsToPixels(ToRect(content.size), base);
    setFixedSize(size.w, size.h);
}

int UnitPickWindow::CurrentEntry() const
{
    return m_units->currentIndex();
}

bool QtUnitPickDialog::Run(const UnitPickContent& content, int& entry)
{
    UnitPickWindow window(m_parent, content);
    const bool ok = window.exec() == QDialog::Accepted;
    entry = window.CurrentEntry();
    return ok;
}

} // namespace zelvo
