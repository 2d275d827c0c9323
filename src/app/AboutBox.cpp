#include "app/AboutBox.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace zelvo {

namespace {
// The publisher's line under the version.
constexpr const char* kPublisherLine = "VELDIXシリーズ ネットワークストレージ用";
} // namespace

QString AboutBox::Caption()
{
    return QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報");
}

QString AboutBox::VersionLine(int major, int minor, int patch)
{
    return QStringLiteral("Zelvoセットアップツール Version %1.%2%3")
        .arg(major)
        .arg(minor)
        .arg(patch);
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(Caption());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(QIcon(QStringLiteral(":/images/icon.png")).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* version = new QLabel(
        VersionLine(ZELVO_VERSION_MAJOR, ZELVO_VERSION_MINOR, ZELVO_VERSION_PATCH), this);
    version->setObjectName(QStringLiteral("aboutVersion"));
    auto* publisher = new QLabel(QString::fromUtf8(kPublisherLine), this);
    publisher->setObjectName(QStringLiteral("aboutPublisher"));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("aboutOk"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 12);
    grid->setHorizontalSpacing(16);
    grid->addWidget(icon, 0, 0, 2, 1);
    grid->addWidget(version, 0, 1);
    grid->addWidget(publisher, 1, 1);
    grid->addWidget(buttons, 0, 2, 2, 1, Qt::AlignTop);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace zelvo
