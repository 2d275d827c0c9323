#pragma once
#include "app/MainDialog.h"
#include "search/LinuxSearchNetwork.h"
#include "search/SearchCommands.h"
#include "ui/ProgressPassRunner.h"

#include <memory>

namespace zelvo {

// Everything the commands need that is not the window's own. Tests may replace a part;
// the defaults are this PC's.
struct ToolParts
{
    std::shared_ptr<SearchNetwork> searchNetwork = SystemSearchNetwork();
    // The commands' budgets and the workers' sleeps; the passes keep real time.
    std::shared_ptr<const Clock> clock = SharedSystemClock();
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
    // What the window reaches outside itself at start-up on this PC: the network browse
    // check and the fallback reading of the subnet mask on the interface list.
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

private:
    MainDialog& m_dialog;
    ProgressPassRunner m_passes;
    SearchCommands m_search;
};

} // namespace zelvo
