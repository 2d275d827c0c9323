#pragma once
#include "core/IniSettings.h"
#include "core/MessageBoxes.h"
#include "core/RunState.h"
#include "platform/UrlOpener.h"

#include <string>

namespace zelvo {

// "http://" + the row's address text + path; the opener starts the browser and its
// outcome is not looked at. Nothing happens for a row outside the table.
void OpenUnitPage(UrlOpener& opener, const DeviceList& devices, int row, const char* path);

struct UnitPageServices
{
    RunState& state;
    MessageBoxes& boxes;
    UrlOpener& urls;
    const IniValues& settings = Settings();
};

// The two direct ways to a unit's web pages: the Web tool button (and Enter in the
// list) and a double-click in the unit list. Both do nothing while an operation runs
// or when no unit is listed. UI thread only.
class UnitPageCommands
{
public:
    explicit UnitPageCommands(UnitPageServices services) : m_services(services) {}
    // selectedRow: the list's first selected row, -1 when none is selected.
    void WebTool(int selectedRow);
    void ListDoubleClick(int selectedRow);

private:
    UnitPageServices m_services;
};

} // namespace zelvo
