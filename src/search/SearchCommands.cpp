#include "search/SearchCommands.h"

#include "core/HostBlockRange.h"
#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"
#include "core/OperationFrame.h"
#include "core/SubnetMask.h"
#include "core/WaitWithProgress.h"
#include "core/WorkerJob.h"
#include "search/SearchWorker.h"

#include <chrono>

namespace zelvo {
namespace {

// How long the window's end waits for a worker that ran out of time to finish.
constexpr auto kStaleWorkerWait = std::chrono::seconds(5);

} // namespace

SearchCommands::SearchCommands(SearchServices services) : m_services(std::move(services)) {}

SearchCommands::~SearchCommands()
{
    if (!m_lastJob)
        return;
    m_lastJob->stopRequested.store(true, std::memory_order_release);
    WaitForDone(*m_lastJob, kStaleWorkerWait);
}

void SearchCommands::SetLookupThreads(int threads)
{
    m_lookupThreads = threads < 1 ? 1 : threads;
}

bool SearchCommands::WorkerRunning() const
{
    return m_lastJob && !m_lastJob->done.load(std::memory_order_acquire);
}

void SearchCommands::ResetList()
{
    RunState& state = m_services.state;
    state.UnitsFound = 0;
    state.devices.UnitCount = 0;
    UnitListView list = ListedRows(state.devices);
    list.newList = true;
    m_services.front.ShowList(list);
    OperationFrame(state, m_services.front).Begin();
}

void SearchCommands::RunSearch(SearchCommand command, uint32_t budgetSeconds)
{
    RunState& state = m_services.state;

    auto prepared = std::make_unique<SearchTable>();
    prepared->addresses[0] = state.host.pcAddress;
    prepared->arpCount = static_cast<int32_t>(state.devices.usedAddressCount);

    auto job = std::make_shared<SearchJob>(m_services.network, m_services.clock,
                                           m_services.lastFound, *prepared);
    job->lookupThreads = m_lookupThreads;
    job->cards = CardsForRun(m_services.cards, state.host, m_services.pcSubnet);
    LogCardBlocks(job->cards);
    m_lastJob = job;

    ProgressPasses& passes = m_services.passes;
    auto pass = [&passes, command](int secondsLeft) {
        if (command == SearchCommand::First)
            passes.RunSearchPass(secondsLeft, 0);
        else
            passes.RunProgressPass(secondsLeft, kProgressSearch);
    };
    // A budget is at most a few thousand seconds (U is bounded by the tables).
    const FollowedWorker followed(passes, *job);
    WaitWithProgress(
        job, [](WorkerJob& worker) { SearchWorker(static_cast<SearchJob&>(worker)); },
        static_cast<int>(budgetSeconds), pass, *m_services.clock);

    // Done or not: the snapshot is a table the worker published whole.
    auto table = std::move(prepared);
    job->Snapshot(*table);
    StoreSearchResults(
        *table, command,
        SearchResultTarget{state.devices, state.UnitsFound, m_services.used, m_services.lastFound});
    UnitListView list = ListedRows(state.devices);
    // The first search leaves the keyboard on the first unit's row.
    if (command == SearchCommand::First)
        list.currentRow = 1;
    m_services.front.ShowList(list);

    // A unit cabled to a card without an address answers nothing: say where it is.
    if (const std::string card = job->cards.NameOf(table->unitOnCardWithoutAddress);
        table->unitOnCardWithoutAddress != 0 && !card.empty() && !state.toldCardWithoutAddress) {
        state.toldCardWithoutAddress = true;
        m_services.boxes.Show(CardWithoutAddressText(state.language, card),
                              MessageIcon::Exclamation, MessageButtons::Ok);
    }

    // Without an ICMP socket no unit answers: say why once, not after every search.
    if (!m_toldIcmpProblem && m_services.network->IcmpProblem() != SocketProblem::None) {
        m_toldIcmpProblem = true;
        const bool notMember =
            m_services.network->IcmpProblem() == SocketProblem::HelperNotPermitted;
        m_services.boxes.Show(
            MessageCatalogue::Choose(state.language, notMember ? 920 : 901, notMember ? 921 : 902),
            MessageIcon::Stop, MessageButtons::Ok);
    }
}

void SearchCommands::RestoreButtons(bool setIpOffered)
{
    OperationFrame(m_services.state, m_services.front).End(RefreshVariant::Search, setIpOffered);
}

void SearchCommands::FirstSearch(bool setIpTicked)
{
    RunState& state = m_services.state;
    // The first search is posted by the start-up timer; a Search pressed before it
    // arrives is already running and owns the list.
    if (state.m_bBusy)
        return;

    const std::array<uint8_t, 4> mask = m_services.pcSubnet.subnetMask;
    LogHostBlockRange(mask, m_services.pcSubnet.pcAddress.Octets());

    if (!state.host.NetInfoAvailable) {
        m_services.boxes.Show(NoSubnetMaskBoxText(state.language), MessageIcon::Stop,
                              MessageButtons::Ok);
        return;
    }
    if (state.m_bShowMask)
        m_services.boxes.Show(SubnetMaskBoxText(mask), MessageIcon::Exclamation,
                              MessageButtons::Ok);
    if (IsZeroMac(state.host.pcMac)) {
        m_services.boxes.Show(MessageCatalogue::Choose(state.language, 132, 133),
                              MessageIcon::Question, MessageButtons::Ok);
        return;
    }

    LogWriter::Append("\r\nGoing to find VELDIX first.\r\n");
    ResetList();
    RunSearch(SearchCommand::First,
              SearchTimeBudget(static_cast<uint32_t>(state.devices.usedAddressCount)));
    RestoreButtons(setIpTicked);

    if (state.UnitsFound == 0) {
        m_services.boxes.Show(MessageCatalogue::Choose(state.language, 136, 137),
                              MessageIcon::Question, MessageButtons::Ok);
        if (m_services.nothingFoundReport)
            m_services.nothingFoundReport();
    }
}

void SearchCommands::SearchAgain()
{
    RunState& state = m_services.state;
    if (state.m_bBusy)
        return;

    const uint32_t budget = SearchTimeBudget(static_cast<uint32_t>(state.devices.usedAddressCount));
    state.devices.RowCount = 1;
    ResetList();
    LogWriter::Append("\r\nGoing to find VELDIX again2.\r\n");

    // The responder first serves a unit that waits for an address; when it did, it
    // has listed the unit itself and the search is over.
    const int served = m_services.listenStep ? m_services.listenStep() : 0;
    if (served == 0) {
        // The responder cleared busy when it ended.
        OperationFrame(state, m_services.front).ResumeBusy();
        RunSearch(SearchCommand::Again, budget);
    }

    if (state.UnitsFound == 0 || state.devices.UnitCount == 0) {
        m_services.boxes.Show(MessageCatalogue::Choose(state.language, 140, 141),
                              MessageIcon::Information, MessageButtons::Ok);
        if (m_services.nothingFoundReport)
            m_services.nothingFoundReport();
    }
    RestoreButtons(true);
}

} // namespace zelvo
