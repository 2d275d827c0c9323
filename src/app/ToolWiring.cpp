#include "app/ToolWiring.h"

#include "app/SplashWindow.h"
#include "app/UnitFileWindow.h"
#include "app/UnitPickWindow.h"
#include "core/HostInfo.h"
#include "core/ToolFolder.h"
#include "start/StartupSequence.h"

#include <QThread>

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
    return MainDialogServices{.boxes = boxes, .runningAsRoot = RunningAsRoot()};
}

StartupResult ToolWiring::RunStartup(DialogState& state, MessageBoxes& boxes, bool splashEnabled)
{
    SurveyServices survey{boxes,
                          [splashEnabled] { SplashWindow::ShowSplash(nullptr, splashEnabled); },
                          [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }};
    return RunStartupSequence(state, survey);
}

ToolWiring::ToolWiring(MainDialog& dialog, MessageBoxes& boxes, ToolParts parts)
    : m_dialog(dialog), m_parts(std::move(parts)),
      m_passes(&dialog, dialog.State().language, dialog.State().host.OsClass, dialog.State().title),
      m_search(
          SearchServices{.state = dialog.State(),
                         .front = dialog.Front(),
                         .passes = m_passes,
                         .boxes = boxes,
                         .network = m_parts.searchNetwork,
                         .clock = m_parts.clock,
                         .cards = m_parts.cards,
                         // Search first lets the responder serve a unit that waits for an address.
                         .listenStep = [this] { return m_dhcp.ListenRun(); },
                         .nothingFoundReport =
                             [this] {
                                 if (m_parts.nothingFoundReport)
                                     m_parts.nothingFoundReport(m_dialog.State());
                             }}),
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
}

void ToolWiring::Run(int id)
{
    switch (id) {
    case kIdFirstSearchCommand:
        return m_search.FirstSearch(m_dialog.IsChecked(kIdEnableSetIp));
    case kIdSearch:
        return m_search.SearchAgain();
    case kIdSetIp:
        return m_dhcp.SetIpRun();
    case kIdBackup:
        return m_transfer.Backup();
    case kIdRestore:
        return m_transfer.Restore();
    case kIdFwUpdate:
        return m_transfer.FirmwareUpdate();
    case kIdWebTool:
        return m_pages.WebTool(m_dialog.FirstSelectedListRow());
    case kIdList:
        return m_pages.ListDoubleClick(m_dialog.FirstSelectedListRow());
    default:
        return;
    }
}

} // namespace zelvo
