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

// The one place where the tool's parts meet: the platform services the window reaches,
// the progress passes, and the commands behind the window's buttons. The application and
// the end-to-end tests both build the tool through it, so the tests run the wiring the
// user gets.
//
// The window is given a WindowCommands when it is made; the wiring is made on the window
// right after it, before the window's loop runs (ToolRun holds the two in that order).
// UI thread only.
class ToolWiring final : public WindowCommands
{
public:
    // What the window reaches outside itself on this PC.
    static MainDialogServices WindowServices(MessageBoxes& boxes);
    // The start-up sequence of the window on this PC: the survey with the splash and its
    // pause, and this PC's network checks.
    static StartupResult RunStartup(DialogState& state, MessageBoxes& boxes, bool splashEnabled);

    // The passes read the language, OS class and title that the start-up settled.
    ToolWiring(MainDialog& dialog, MessageBoxes& boxes, ToolParts parts = {});
    ToolWiring(const ToolWiring&) = delete;
    ToolWiring& operator=(const ToolWiring&) = delete;

    void Run(int id) override;

    SearchCommands& Search() { return m_search; }
    TransferCommands& Transfer() { return m_transfer; }

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

// The tool's window with its commands, built whole: the window is made with the wiring
// as its commands, the wiring on the window.
class ToolRun
{
public:
    ToolRun(DialogState started, StartupResult startup, MessageBoxes& boxes, ToolParts parts = {})
        : m_dialog(nullptr, ToolWiring::WindowServices(boxes), std::move(started), startup,
                   m_wiring),
          m_wiring(m_dialog, boxes, std::move(parts))
    {
    }
    MainDialog& Dialog() { return m_dialog; }

private:
    MainDialog m_dialog;
    ToolWiring m_wiring;
};

} // namespace zelvo
