#include "cli/CliUnitDialogs.h"

#include "platform/Files.h"

namespace zelvo {

bool CliUnitPickDialog::Run(const UnitPickContent&, int& entry)
{
    for (int k = 0; k < m_devices.UnitCount && k < DeviceList::kUnitRows; ++k)
        if (RowForUnitEntry(m_devices, k) == m_row) {
            entry = k;
            return true;
        }
    entry = -1;
    return false;
}

ChosenFile CliUnitFileDialog::ChosenFromPath(const std::string& path,
                                             const std::string& workingFolder)
{
    ChosenFile chosen;
    chosen.path = path;
    if (!path.empty() && path[0] != '/' && !workingFolder.empty())
        chosen.path = workingFolder + (workingFolder.back() == '/' ? "" : "/") + path;
    const std::size_t slash = chosen.path.rfind('/');
    chosen.name = slash == std::string::npos ? chosen.path : chosen.path.substr(slash + 1);
    return chosen;
}

std::optional<ChosenFile> CliUnitFileDialog::Run(const UnitFileContent&)
{
    return ChosenFromPath(m_path, CurrentDirectory());
}

} // namespace zelvo
