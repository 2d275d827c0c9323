#include "transfer/UnitPages.h"

#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"

#include <cstring>
#include <string>

namespace zelvo {

void OpenUnitPage(UrlOpener& opener, const DeviceList& devices, int row, const char* path)
{
    if (row < 0 || row >= DeviceList::kRows)
        return;
    // The address field is read only up to its own size, so even a damaged row stays
    // inside the table.
    const char* field = devices.rows[row].ipText;
    const std::string address(field, ::strnlen(field, sizeof devices.rows[row].ipText));
    const std::string url = "http://" + address + (path ? path : "");
    LogWriter::Appendf("  Open %s\r\n", url.c_str());
    opener.Open(url);
}

void UnitPageCommands::WebTool(int selectedRow)
{
    RunState& state = m_services.state;
    DeviceList& devices = state.devices;
    if (state.m_bBusy || !state.UnitsFound)
        return;
    if (devices.UnitCount == 1) {
        devices.SelectedRow = 1;
    } else {
        if (selectedRow < 0) {
            m_services.boxes.Show(MessageCatalogue::Choose(state.language, 155, 156),
                                  MessageIcon::Question, MessageButtons::Ok);
            return;
        }
        devices.SelectedRow = selectedRow;
    }
    if (devices.IsUnitRow(devices.SelectedRow))
        OpenUnitPage(m_services.urls, devices, devices.SelectedRow,
                     m_services.settings.WebToolPath());
    else
        m_services.boxes.Show(MessageCatalogue::Choose(state.language, 106, 107),
                              MessageIcon::Question, MessageButtons::Ok);
}

void UnitPageCommands::ListDoubleClick(int selectedRow)
{
    RunState& state = m_services.state;
    DeviceList& devices = state.devices;
    if (state.m_bBusy || !state.UnitsFound)
        return;
    if (selectedRow == 0)
        return;
    devices.SelectedRow = selectedRow;
    if (devices.IsUnitRow(selectedRow))
        OpenUnitPage(m_services.urls, devices, selectedRow, m_services.settings.WebToolPath());
}

} // namespace zelvo
