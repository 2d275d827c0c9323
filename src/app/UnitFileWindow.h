#pragma once
#include "core/UnitDialogs.h"

#include <QFileDialog>

namespace zelvo {

// The open-file window of Restore and FW Update: its title, its one filter (matched
// whatever the case of the names, so *.DAT also lists nas_ABCDEF.dat) and an OK button
// that reads "Select". UI thread only.
class UnitFileWindow final : public QFileDialog
{
    Q_OBJECT
public:
    UnitFileWindow(QWidget* parent, const UnitFileContent& content);
};

// The seam's implementation with that window.
class QtUnitFileDialog final : public UnitFileDialog
{
public:
    explicit QtUnitFileDialog(QWidget* parent) : m_parent(parent) {}
    void SetParentWindow(QWidget* parent) { m_parent = parent; }
    std::optional<ChosenFile> Run(const UnitFileContent& content) override;

private:
    QWidget* m_parent;
};

} // namespace zelvo
