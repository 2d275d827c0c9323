#pragma once
#include "core/UnitDialogs.h"

#include <string>

namespace zelvo {

// The transfer commands' unit-pick dialog, answered by the UNIT operand: OK with the
// entry of the unit the command line named (Cancel when that unit is not listed, which
// the command line has already ruled out).
class CliUnitPickDialog final : public UnitPickDialog
{
public:
    CliUnitPickDialog(const DeviceList& devices, int row) : m_devices(devices), m_row(row) {}
    bool Run(const UnitPickContent& content, int& entry) override;

private:
    const DeviceList& m_devices;
    int m_row;
};

// The open-file dialog of Restore and FW Update, answered by the FILE operand. The
// command applies its name rules to the file as it would to a file picked in the window.
class CliUnitFileDialog final : public UnitFileDialog
{
public:
    explicit CliUnitFileDialog(std::string path) : m_path(std::move(path)) {}
    std::optional<ChosenFile> Run(const UnitFileContent& content) override;

    // The file as the dialog would hand it over: its name without the folder, and its
    // full path (a relative path is taken from the working folder).
    static ChosenFile ChosenFromPath(const std::string& path, const std::string& workingFolder);

private:
    std::string m_path;
};

} // namespace zelvo
