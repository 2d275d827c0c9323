#pragma once
#include "core/FrontEnd.h"
#include "core/HostInfo.h"
#include "core/MessageBoxes.h"
#include "core/PcCards.h"
#include "core/ProgressPasses.h"
#include "core/RunState.h"
#include "core/UsedAddressTable.h"
#include "platform/Clock.h"
#include "search/LastFoundList.h"
#include "search/SearchJob.h"
#include "search/SearchNetwork.h"
#include "search/SearchResults.h"

#include <functional>
#include <memory>
#include <string>

namespace zelvo {

// What the search commands work on: the run's state, the front end that shows the buttons
// and the list, its progress passes and message boxes; the process-wide tables are the
// defaults.
struct SearchServices
{
    RunState& state;
    FrontEnd& front;
    ProgressPasses& passes;
    MessageBoxes& boxes;
    std::shared_ptr<SearchNetwork> network;
    std::shared_ptr<const Clock> clock = SharedSystemClock();
    PcSubnet& pcSubnet = ProcessPcSubnet(); // the PC's address and subnet mask
    UsedAddressTable& used = ProcessUsedAddresses();
    LastFoundList& lastFound = ProcessLastFound();
    // The cards to search on, read at every search (a card plugged in since the last
    // one takes part); empty: the PC's own card of the start-up survey.
    CardSource cards = {};
    // The responder's listening run that Search starts with, so that a unit waiting for an
    // address is served first: non-zero when it served one and listed it itself (the
    // search then ends), 0 otherwise. Empty: Search runs no listening step.
    std::function<int()> listenStep = {};
    // Runs after a search that listed no unit, once its message was shown.
    std::function<void()> nothingFoundReport = {};
};

// The two search commands: the first search that the window's start-up timer posts and
// Search. Each resets the list to the PC's row, runs a
// SearchWorker while progress passes keep the window responsive, lists the units found
// and restores the buttons.
//
// At the deadline the worker is asked to stop and the command lists what the worker had
// published by then; the worker finishes on its own (it shares its job record).
//
// UI thread only. The destructor asks a worker that is still finishing to stop and
// waits a few seconds at most for it, so no search thread outlives the window.
class SearchCommands
{
public:
    explicit SearchCommands(SearchServices services);
    ~SearchCommands();
    SearchCommands(const SearchCommands&) = delete;
    SearchCommands& operator=(const SearchCommands&) = delete;

    // How many reverse lookups a search may run at once (default 16).
    void SetLookupThreads(int threads);

    // setIpTicked: the Enable Set IP box is ticked as the search begins (the first search
    // offers Set IP at its end only then).
    void FirstSearch(bool setIpTicked);
    void SearchAgain();

    // True while the worker of an earlier search is still finishing.
    bool WorkerRunning() const;

private:
    // Empties the list to the PC's row and begins the operation frame.
    void ResetList();
    // Steps 2 to 6 of a search: prepare the table, run the worker with progress passes
    // until done or the deadline, then store the results.
    void RunSearch(SearchCommand command, uint32_t budgetSeconds);
    void RestoreButtons(bool setIpOffered);

    SearchServices m_services;
    int m_lookupThreads = 16;
    std::shared_ptr<SearchJob> m_lastJob;
    bool m_toldIcmpProblem = false;
};

} // namespace zelvo
