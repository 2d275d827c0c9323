#pragma once
#include "app/MainDialog.h"
#include "dhcp/DhcpCommands.h"
#include "host/CardDiagnosis.h"
#include "search/LinuxSearchNetwork.h"
#include "search/SearchCommands.h"
#include "transfer/TransferCommands.h"
#include "transfer/UnitPages.h"
#include "ui/ProgressPassRunner.h"

#include <functional>
#include <memory>

namespace zelvo {

// Everything the commands need that is not the window's own. Tests may replace a part;
// the defaults are this PC's.
struct ToolParts
{
    std::shared_ptr<SearchNetwork> searchNetwork = SystemSearchNetwork();
    // The commands' budgets and the workers' sleeps; the passes keep real time.
    std::shared_ptr<const Clock> clock = SharedSystemClock();
    // The transfers' FTP client; port 21 on the units.
    std::shared_ptr<FtpClient> ftp = MakeCurlFtpClient();
    // The unit-pick and file dialogs. Null: the tool's windows over the main window.
    std::shared_ptr<UnitPickDialog> unitPick = nullptr;
    std::shared_ptr<UnitFileDialog> unitFile = nullptr;
    // Where backups go, ending in '/'. Empty: the tool's folder of the run.
    std::string backupFolder = {};
    // UDP port 67 of the temporary-address responder.
    DhcpSocketOpener* dhcpSockets = &SystemDhcpSockets();
    // Writes what the PC's cards show to manager.log after a search that listed no unit.
    std::function<void(const DialogState&)> nothingFoundReport = LogCardDiagnosis;
    // The PC's cards, read at each search and responder run; empty: the card of the
    // start-up survey only (a test's fake network knows no other).
    CardSource cards = SystemPcCards;
};

// The one place where the tool's parts meet: the platform services the window reaches
// at start-up, the progress passes, and the commands behind the window's buttons. The
// application and the end-to-end tests both build the tool through it, so the tests run
// the wiring the user gets.
//
// Use: make the window with WindowServices(boxes), Create() it, then make a ToolWiring
// on it and Attach() (or wrap Commands() first, as a test that times a command does).
// The wiring must not outlive the window; its destructor takes its hooks back out of it.
// UI thread only.
class ToolWiring
{
public:
    // What the window reaches outside itself on this PC: the network browse check and the
    // fallback reading of the subnet mask on the interface list at start-up, and whether
    // the tool runs as root (no browser then).
    static MainDialogServices WindowServices(MessageBoxes& boxes);

    // After the window's Create(): the passes read the language, OS class and title
    // that the start-up survey settled.
    ToolWiring(MainDialog& dialog, MessageBoxes& boxes, ToolParts parts = {});
    ~ToolWiring();
    ToolWiring(const ToolWiring&) = delete;
    ToolWiring& operator=(const ToolWiring&) = delete;

    // The window's command hooks, each calling into a command built here.
    MainDialogCommands Commands();
    // Gives the window Commands().
    void Attach();

    ProgressPasses& Passes() { return m_passes; }
    SearchCommands& Search() { return m_search; }
    TransferCommands& Transfer() { return m_transfer; }
    UnitPageCommands& UnitPages() { return m_pages; }
    DhcpCommands& Dhcp() { return m_dhcp; }

private:
    MainDialog& m_dialog;
    ToolParts m_parts;
    ProgressPassRunner m_passes;
    SearchCommands m_search;
    std::shared_ptr<UnitPickDialog> m_unitPick;
    std::shared_ptr<UnitFileDialog> m_unitFile;
    TransferCommands m_transfer;
    UnitPageCommands m_pages;
    DhcpCommands m_dhcp;
};

} // namespace zelvo
