#pragma once
#include <QDialog>

namespace zelvo {

// The about box: Japanese in both languages, the tool's icon, its name and version, a
// line for the publisher and an OK button. Opened modally from the main window's menu.
// UI thread only.
class AboutBox final : public QDialog
{
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent);

    // "Zelvoセットアップツール Version 1.00" for the version parts of the build.
    static QString VersionLine(int major, int minor, int patch);
    static QString Caption();
};

} // namespace zelvo
