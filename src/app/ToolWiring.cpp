#include "app/ToolWiring.h"

#include "app/UnitFileWindow.h"
#include "app/UnitPickWindow.h"
#include "core/HostInfo.h"
#include "core/ScriptedUnitDialogs.h"
#include "core/ToolFolder.h"
#include "platform/NetworkInterfaceList.h"
#include "search/NetworkBrowseCheck.h"
#include "search/ReadInterfaceMask.h"

#include <cstdlib>

namespace zelvo {
namespace {

bool Scripted()
{
    return std::getenv("ZELVO_UNIT_PICKS") || std::getenv("ZELVO_FILE_CHOICES");
}

std::shared_ptr<UnitPickDialog> PickDialogFor(QWidget* parent,
                                              std::shared_ptr<UnitPickDialog> given)
{
    if (given)
        return given;
    if (!Scripted())
        return std::make_shared<QtUnitPickDialog>(parent);
    const char* text = std::getenv("ZELVO_UNIT_PICKS");
    // The application refuses to start on a script it cannot read; one given to a wiring
    // made elsewhere answers nothing, so every pick is cancelled.
    return std::make_shared<ScriptedUnitPickDialog>(
        ScriptedUnitPickDialog::AnswersFromText(text ? text : "")
            .value_or(std::vector<std::optional<int>>{}));
}

std::shared_ptr<UnitFileDialog> FileDialogFor(QWidget* parent,
                                              std::shared_ptr<UnitFileDialog> given)
{
    if (given)
        return given;
    if (!Scripted())
        return std::make_shared<QtUnitFileDialog>(parent);
    const char* text = std::getenv("ZELVO_FILE_CHOICES");
    return std::make_shared<ScriptedUnitFileDialog>(
        ScriptedUnitFileDialog::AnswersFromText(text ? text : ""));
}

TransferServices TransferServicesOf(MainDialog& dialog, ProgressPasses& passes, MessageBoxes& boxes,
                                    UnitPickDialog& pick, UnitFileDialog& file,
                                    const ToolParts& parts)
{
    TransferServices services{dialog.State(),
                              dialog.Front(),
                              passes,
                              boxes,
                              pick,
                              file,
                              dialog.Urls(),
                              parts.ftp,
                              parts.backupFolder.empty() ? RunToolFolders().dataFolder
                                                         : parts.backupFolder};
    services.ftpPort = parts.ftpPort;
    return services;
}

} // namespace

MainDialogServices ToolWiring::WindowServices(MessageBoxes& boxes)
{
    MainDialogServices services{.boxes = boxes};
    services.runningAsRoot = RunningAsRoot;
    services.networkBrowseCheck = [](MainDialog& d) {
        return NetworkBrowseCheck(SystemNetworkInterfaceList(), d.Boxes(), d.State().language);
    };
    services.readInterfaceMask = [](MainDialog&) {
        return ReadInterfaceMask(SystemNetworkInterfaceList(), ProcessPcSubnet().pcAddress,
                                 ProcessPcSubnet().subnetMask);
    };
    return services;
}

ToolWiring::ToolWiring(MainDialog& dialog, MessageBoxes& boxes, ToolParts parts)
    : m_dialog(dialog), m_parts(std::move(parts)),
      m_passes(&dialog, dialog.State().language, dialog.State().host.OsClass, dialog.State().title),
      m_search(SearchServices{.state = dialog.State(),
                              .front = dialog.Front(),
                              .passes = m_passes,
                              .boxes = boxes,
                              .network = m_parts.searchNetwork,
                              .clock = m_parts.clock,
                              .cards = m_parts.cards}),
      m_unitPick(PickDialogFor(&dialog, m_parts.unitPick)),
      m_unitFile(FileDialogFor(&dialog, m_parts.unitFile)),
      m_transfer(TransferServicesOf(dialog, m_passes, boxes, *m_unitPick, *m_unitFile, m_parts)),
      m_pages(UnitPageServices{dialog.State(), boxes, dialog.Urls()}),
      m_dhcp(DhcpServices{.state = dialog.State(),
                          .front = dialog.Front(),
                          .passes = m_passes,
                          .boxes = boxes,
                          .urls = dialog.Urls(),
                          .probes = m_parts.searchNetwork,
                          .sockets = *m_parts.dhcpSockets,
                          .clock = *m_parts.clock,
                          .cards = m_parts.cards})
{
    m_dialog.SetProgressPasses(&m_passes);
    // Search first lets the responder serve a unit that waits for an address.
    m_search.SetListenRun([this] { return m_dhcp.ListenRun(); });
    if (m_parts.nothingFoundReport)
        m_search.SetNothingFoundReport([this] { m_parts.nothingFoundReport(m_dialog.State()); });
}

ToolWiring::~ToolWiring()
{
    // The window may outlive the wiring: it must not call into commands that are gone.
    m_dialog.SetCommands({});
    m_dialog.SetProgressPasses(nullptr);
}

MainDialogCommands ToolWiring::Commands()
{
    MainDialogCommands commands;
    commands.firstSearch = [this](MainDialog& d) {
        m_search.FirstSearch(d.IsChecked(kIdEnableSetIp));
    };
    commands.searchAgain = [this](MainDialog&) { m_search.SearchAgain(); };
    commands.backup = [this](MainDialog&) { m_transfer.Backup(); };
    commands.restore = [this](MainDialog&) { m_transfer.Restore(); };
    commands.fwUpdate = [this](MainDialog&) { m_transfer.FirmwareUpdate(); };
    commands.webTool = [this](MainDialog& d) { m_pages.WebTool(d.FirstSelectedListRow()); };
    commands.listDoubleClick = [this](MainDialog& d) {
        m_pages.ListDoubleClick(d.FirstSelectedListRow());
    };
    commands.setIp = [this](MainDialog&) { m_dhcp.SetIpRun(); };
    return commands;
}

void ToolWiring::Attach()
{
    m_dialog.SetCommands(Commands());
}

} // namespace zelvo
