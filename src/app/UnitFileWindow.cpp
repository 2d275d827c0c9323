#include "app/UnitFileWindow.h"

#include <QFile>
#include <QFileInfo>

namespace zelvo {

UnitFileWindow::UnitFileWindow(QWidget* parent, const UnitFileContent& content)
    : QFileDialog(parent)
{
    setObjectName(QStringLiteral("unitFile"));
    // Qt's own dialog everywhere: the relabelled OK button and the filter behave the
    // same on every desktop.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setWindowTitle(QString::fromStdString(content.title));
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    // Without QDir::CaseSensitive the file model matches the filter's pattern in any case.
    setFilter(filter() & ~QDir::CaseSensitive);
    setNameFilter(QString::fromStdString(content.filterName));
    setDefaultSuffix(QString::fromStdString(content.defaultExtension));
    setLabelText(QFileDialog::Accept, QString::fromStdString(content.okCaption));
    if (!content.startFolder.empty())
        setDirectory(QFile::decodeName(QByteArray::fromStdString(content.startFolder)));
    selectFile(QString::fromStdString(content.initialName));
}

std::optional<ChosenFile> QtUnitFileDialog::Run(const UnitFileContent& content)
{
    UnitFileWindow window(m_parent, content);
    if (window.exec() != QDialog::Accepted || window.selectedFiles().isEmpty())
        return std::nullopt;
    const QString path = window.selectedFiles().constFirst();
    return ChosenFile{QFile::encodeName(QFileInfo(path).fileName()).toStdString(),
                      QFile::encodeName(path).toStdString()};
}

} // namespace zelvo
