#include "app/ToolWiring.h"

#include "app/UnitFileWindow.h"
#include "app/UnitPickWindow.h"
#include "core/HostInfo.h"
#include "core/ToolFolder.h"
#include "platform/NetworkInterfaceList.h"
#include "search/NetworkBrowseCheck.h"
#include "search/ReadInterfaceMask.h"

namespace zelvo {
namespace {

std::shared_ptr<UnitPickDialog> PickDialogFor(QWidget* parent,
                                              std::shared_ptr<UnitPickDialog> given)
{
    return given ? given : std::make_shared<QtUnitPickDialog>(parent);
}

std::shared_ptr<UnitFileDialog> FileDialogFor(QWidget* parent,
                                              std::shared_ptr<UnitFileDialog> given)
{
    return given ? given : std::make_shared<QtUnitFileDialog>(parent);
}

TransferServices TransferServicesOf(MainDialog& dialog, ProgressPasses& passes, MessageBoxes& boxes,
                                    UnitPickDialog& pick, UnitFileDialog& file,
                                    const ToolParts& parts)
{
    return TransferServices{dialog.State(),
                            dialog.Front(),
                            passes,
                            boxes,
                            pick,
                            file,
                            dialog.Urls(),
                            parts.ftp,
                            parts.backupFolder.empty() ? RunToolFolders().dataFolder
                                                       : parts.backupFolder};
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
