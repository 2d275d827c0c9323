// The two search commands and their worker thread on the window's state: fake controls,
// passes and network, scripted message boxes.
#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"
#include "core/ScriptedMessageBoxes.h"
#include "core/UiLanguage.h"
#include "platform/Files.h"
#include "search/SearchCommands.h"
#include "search/SearchWorker.h"
#include "support/FakeClock.h"
#include "support/FakeDialogControls.h"
#include "support/WaitUntil.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace zelvo {
namespace {

Ipv4Address Ip(uint8_t last)
{
    return Ipv4Address::FromOctets(192, 168, 1, last);
}

// Any thread. A lookup of a blocked address waits until the address is released.
class FakeSearchNetwork final : public SearchNetwork
{
public:
    NeighbourRead table;                   // set before a search starts
    std::map<uint32_t, std::string> names; // likewise; by address, network order
    std::vector<std::string> events;       // under Locked, as the rest
    std::vector<uint32_t> lookups;
    std::set<uint32_t> blocked;
    std::set<uint32_t> throwing;  // lookups of these run out of memory
    std::function<void()> onRead; // runs inside the table read
    SocketProblem icmpProblem = SocketProblem::None;

    int EchoProbe(Ipv4Address a, int ms) override
    {
        return Note("echo " + a.Dotted() + " " + std::to_string(ms)), 1;
    }
    int BroadcastEcho() override { return Note("broadcast"), 1; }
    NeighbourRead ReadNeighbours() override
    {
        Note("read");
        if (onRead)
            onRead();
        return table;
    }
    SocketProblem IcmpProblem() const override { return icmpProblem; }
    std::optional<std::string> ReverseName(Ipv4Address a) override
    {
        std::unique_lock lock(m_mutex);
        lookups.push_back(a.nbo);
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return blocked.count(a.nbo) == 0; });
        if (throwing.count(a.nbo))
            throw std::bad_alloc();
        const auto it = names.find(a.nbo);
        return it == names.end() ? std::nullopt : std::optional(it->second);
    }
    template <typename F> auto Locked(F f)
    {
        std::lock_guard lock(m_mutex);
        m_changed.notify_all();
        return f();
    }
    // Whether the lookup of a began within 10 s.
    bool WaitForLookup(Ipv4Address a)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&] {
            return std::count(lookups.begin(), lookups.end(), a.nbo) > 0;
        });
    }

private:
    void Note(std::string event)
    {
        Locked([&] { events.push_back(std::move(event)); });
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

// Passes that take no time of their own: each yields briefly, then runs onPass.
struct FakePasses final : ProgressPasses
{
    std::function<void()> onPass = [] {};
    int progressPasses = 0, searchPasses = 0;

    void RunProgressPass(int, int) override { ++progressPasses, Pass(); }
    void RunTimedPass(int, int) override { Pass(); }
    void RunSearchPass(int, int) override { ++searchPasses, Pass(); }
    void RunRetrievePass(int) override { Pass(); }
    void Pass() { std::this_thread::sleep_for(std::chrono::milliseconds(1)), onPass(); }
};

// A fresh log of the test's own.
struct TemporaryLog
{
    const std::string path = "/tmp/zelvo-search-" + std::to_string(::getpid()) + ".log";
    TemporaryLog() { LogWriter::SetLogPath(path), LogWriter::CreateEmpty(); }
    ~TemporaryLog() { ::unlink(path.c_str()); }
    std::string Text() const { return ReadSmallFile(path, 1 << 20).value_or(""); }
};

struct Window
{
    TemporaryLog log; // first in, last out: a finishing worker may still log
    std::unique_ptr<DialogState> state = std::make_unique<DialogState>();
    test::FakeDialogControls controls;
    FakePasses passes;
    ScriptedMessageBoxes boxes;
    std::shared_ptr<FakeSearchNetwork> network = std::make_shared<FakeSearchNetwork>();
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    PcSubnet pcSubnet;
    UsedAddressTable used;
    LastFoundList lastFound;
    std::unique_ptr<SearchCommands> commands;

    // A named router at .1; with units, VELDIX-A, -B and -C at .20, .21 and .22.
    explicit Window(bool units = false)
    {
        state->host.pcAddress = pcSubnet.pcAddress = Ip(10);
        state->host.pcMac = {0x00, 0x16, 0x3e, 0x01, 0x02, 0x03};
        state->host.NetInfoAvailable = state->host.DhcpServerPresent = 1;
        state->devices.rows[0].SetName("MYPC");
        commands = std::make_unique<SearchCommands>(SearchServices{
            *state, controls, passes, boxes, network, clock, pcSubnet, used, lastFound});
        network->table.entries = {{Ip(1), {0x52, 0x54, 0x00, 0x12, 0x34, 0x01}}};
        network->names[Ip(1).nbo] = "ROUTER";
        for (uint8_t i = 20; units && i <= 22; ++i) {
            network->table.entries.push_back({Ip(i), {0x02, 0x5a, 0xe1, 0x42, 0x00, i}});
            network->names[Ip(i).nbo] = std::string("VELDIX-") + char('A' + i - 20);
        }
    }
    std::vector<std::string> Events()
    {
        return network->Locked([&] { return network->events; });
    }
};

TEST(FirstSearch, refusesWithoutMaskOrMacAndSaysWhy)
{
    for (const bool noMask : {true, false}) {
        Window w;
        w.state->host.NetInfoAvailable = !noMask;
        w.state->host.pcMac = {};
        w.commands->FirstSearch();
        ASSERT_EQ(w.boxes.ShownBoxes().size(), 1u);
        EXPECT_EQ(w.boxes.ShownBoxes()[0].text,
                  noMask ? "On your PC Subnet mask information can't be acquired."
                         : MessageCatalogue::Text(133));
        EXPECT_EQ(w.boxes.ShownBoxes()[0].icon, noMask ? MessageIcon::Stop : MessageIcon::Question);
        EXPECT_TRUE(w.Events().empty());
        EXPECT_EQ(w.controls.clears, 0);
        EXPECT_EQ(w.log.Text(),
                  " Mask Addr\t: 255.255.255.000\r\n Net Addr base.baseend: 050.250\r\n");
    }
}

TEST(Search, withNoUnitListedSaysSoAndOffersSetIpOnAnOpenNetwork)
{
    // After Search a unit seen without a name still counts: Backup is offered.
    for (const auto& [again, boxTicked, namelessUnit, setIp] :
         {std::tuple{false, false, false, false},
          {false, true, false, true},
          {true, false, false, true},
          {true, false, true, true}}) {
        Window w;
        if (namelessUnit)
            w.network->table.entries.push_back({Ip(40), {0x02, 0x5a, 0xe1, 0x42, 0x00, 0x40}});
        w.state->host.DhcpServerPresent = 0;
        w.controls.checked[kIdEnableSetIp] = boxTicked;
        again ? w.commands->SearchAgain() : w.commands->FirstSearch();

        ASSERT_EQ(w.boxes.ShownBoxes().size(), 1u);
        EXPECT_EQ(w.boxes.ShownBoxes()[0].text, MessageCatalogue::Text(again ? 141 : 137));
        EXPECT_EQ(w.boxes.ShownBoxes()[0].icon,
                  again ? MessageIcon::Information : MessageIcon::Question);
        EXPECT_EQ(w.controls.IsControlEnabled(kIdSetIp), setIp);
        EXPECT_EQ(w.controls.IsControlEnabled(kIdBackup), namelessUnit);
        EXPECT_EQ(w.state->m_bBusy, 0);
        EXPECT_EQ(again ? w.passes.progressPasses : w.passes.searchPasses,
                  w.passes.progressPasses + w.passes.searchPasses);
    }
}

// A failed network browse check leaves NoHostMac at 0 even with an all-zero MAC; the
// search's end must read that flag as every other end of an operation does.
TEST(Search, endReadsTheNoMacFlagNotTheMac)
{
    for (const int noHostMac : {0, 1}) {
        Window w;
        w.state->host.DhcpServerPresent = 0;
        w.state->host.pcMac = {};
        w.state->NoHostMac = noHostMac;
        w.commands->SearchAgain();
        EXPECT_EQ(w.controls.IsControlEnabled(kIdEnableSetIp), noHostMac == 0);
        EXPECT_EQ(w.controls.IsControlEnabled(kIdSetIp), noHostMac == 0);
        EXPECT_EQ(w.state->m_bBusy, 0);
    }
}

// The cards are read at every search: a card plugged in since the last one takes part
// and the log lists each card and its block; a unit whose entry sits on a card without
// an address is pointed out, once a run.
TEST(Search, readsTheCardsAtEverySearchAndPointsOutAUnitOnACardWithoutAddress)
{
    Window w(true);
    PcCards now;
    now.usable = {{2, "eth0", {}, Ip(10), {255, 255, 255, 0}}};
    SearchServices services{*w.state, w.controls, w.passes, w.boxes,    w.network,
                            w.clock,  w.pcSubnet, w.used,   w.lastFound};
    services.cards = [&now] { return now; };
    SearchCommands search(std::move(services));
    w.network->table.entries.push_back(
        {Ipv4Address::FromOctets(169, 254, 3, 3), {0x02, 0x5a, 0xe1, 0x42, 0x00, 0x33}, false, 4});
    const auto cardLines = [&w] {
        std::string lines;
        const std::string log = w.log.Text();
        for (std::size_t at = log.find(" Card["); at != std::string::npos;
             at = log.find(" Card[", at + 1))
            lines += log.substr(at, log.find("\r\n", at) - at) + "|";
        return lines;
    };

    search.SearchAgain();
    EXPECT_EQ(cardLines(), "");
    EXPECT_TRUE(w.boxes.ShownBoxes().empty());

    now.usable.push_back(
        {3, "eth1", {}, Ipv4Address::FromOctets(10, 1, 0, 200), {255, 255, 255, 128}});
    now.withoutAddress = {{4, "usb0", {}, {}, {}}};
    search.SearchAgain();
    search.SearchAgain();
    EXPECT_EQ(
        cardLines(),
        " Card[1]\t: eth0 192.168.001.010 Mask 255.255.255.000 Net Addr base.baseend: 050.250|"
        " Card[2]\t: eth1 010.001.000.200 Mask 255.255.255.128 Net Addr base.baseend: 129.255|"
        " Card[1]\t: eth0 192.168.001.010 Mask 255.255.255.000 Net Addr base.baseend: 050.250|"
        " Card[2]\t: eth1 010.001.000.200 Mask 255.255.255.128 Net Addr base.baseend: 129.255|");
    ASSERT_EQ(w.boxes.ShownBoxes().size(), 1u);
    EXPECT_EQ(w.boxes.ShownBoxes()[0].text, CardWithoutAddressText(409, "usb0"));
}

TEST(Search, withoutAnIcmpSocketTellsWhyOnceAndBeforeTheResult)
{
    const struct
    {
        SocketProblem problem;
        int english;
        int japanese;
    } rows[] = {
        {SocketProblem::HelperMissing, 902, 901},
        {SocketProblem::HelperUnprivileged, 902, 901},
        {SocketProblem::HelperNotPermitted, 921, 920}, // what is missing: the group
    };
    for (const auto& row : rows) {
        for (const bool japanese : {false, true}) {
            Window w;
            w.state->language = japanese ? kLanguageJapanese : 409;
            w.network->icmpProblem = row.problem;
            w.commands->FirstSearch();
            w.commands->SearchAgain();
            const auto& shown = w.boxes.ShownBoxes();
            ASSERT_EQ(shown.size(), 3u);
            EXPECT_EQ(shown[0].text, MessageCatalogue::Text(japanese ? row.japanese : row.english));
            EXPECT_EQ(shown[0].icon, MessageIcon::Stop);
            EXPECT_EQ(shown[1].text, MessageCatalogue::Text(japanese ? 136 : 137));
            EXPECT_EQ(shown[2].text, MessageCatalogue::Text(japanese ? 140 : 141));
        }
    }
}

TEST(Search, isIgnoredWhileASearchRuns)
{
    Window w(true);
    w.state->m_bBusy = 1;
    w.commands->SearchAgain();
    w.commands->FirstSearch();
    EXPECT_TRUE(w.Events().empty());
    EXPECT_TRUE(w.boxes.ShownBoxes().empty());
    EXPECT_EQ(w.controls.clears, 0);
}

TEST(FirstSearch, looksUpSeveralNamesAtOnce)
{
    Window w(true);
    w.network->blocked = {Ip(20).nbo, Ip(21).nbo, Ip(22).nbo};
    bool first = true, atOnce = false; // one lookup after another: the second never begins
    w.passes.onPass = [&w, &first, &atOnce] {
        if (std::exchange(first, false))
            atOnce = w.network->WaitForLookup(Ip(20)) && w.network->WaitForLookup(Ip(21)) &&
                     w.network->WaitForLookup(Ip(22));
        w.network->Locked([&w] { w.network->blocked.clear(); });
    };
    w.commands->SetLookupThreads(3);
    w.commands->FirstSearch();
    EXPECT_TRUE(atOnce);
    EXPECT_EQ(w.state->devices.UnitCount, 3);
}

TEST(Search, listsTheNamedUnitsAndAtItsDeadlineWhatIsNamedByThen)
{
    Window w(true);
    w.commands->FirstSearch();
    std::vector<std::string> shown;
    for (const auto& [row, r] : w.controls.rows)
        shown.push_back(std::string(r.name) + "|" + r.ipText + "|" + r.macText + "|" + r.typeText);
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "MYPC|||", "VELDIX-A|192.168.1.20|02-5a-e1-42-00-14|VELDIX [0]",
                         "VELDIX-B|192.168.1.21|02-5a-e1-42-00-15|VELDIX [1]",
                         "VELDIX-C|192.168.1.22|02-5a-e1-42-00-16|VELDIX [2]"}));
    EXPECT_TRUE(w.boxes.ShownBoxes().empty());
    EXPECT_EQ(w.state->UnitsFound, 1);
    EXPECT_EQ(w.controls.selectionMark, 1);
    EXPECT_TRUE(w.controls.IsControlEnabled(kIdBackup) && w.controls.IsControlEnabled(kIdSearch));
    EXPECT_EQ(w.clock->MonotonicMs(), 5000) << "the settling wait, on the clock";
    EXPECT_EQ(w.Events(), (std::vector<std::string>{"broadcast", "read"}));
    ASSERT_EQ(w.state->devices.usedAddressCount, 8); // the next budget: 52 s

    // Hold the last unit's lookup; from then on each pass takes a second.
    w.network->Locked([&w] {
        w.network->lookups.clear();
        return w.network->blocked.insert(Ip(22).nbo);
    });
    int passes = 0;
    w.passes.onPass = [&w, &passes] {
        if (w.network->WaitForLookup(Ip(22)))
            ++passes, w.clock->Advance(1000);
    };
    w.commands->SetLookupThreads(1);
    w.commands->SearchAgain();

    EXPECT_EQ(w.Events(),
              (std::vector<std::string>{"broadcast", "read", "echo 192.168.1.20 2000",
                                        "echo 192.168.1.21 2000", "echo 192.168.1.22 2000",
                                        "broadcast", "read"}));
    EXPECT_EQ(passes, 52 - 5); // less the 5 s that the worker slept on the same clock
    EXPECT_TRUE(w.commands->WorkerRunning());
    EXPECT_EQ(w.state->devices.UnitCount, 2);
    EXPECT_EQ(w.state->devices.RowCount, 4);
    EXPECT_STREQ(w.controls.rows[2].name, "VELDIX-B");
    EXPECT_EQ(w.controls.rows.count(3), 0u);
    EXPECT_EQ(w.lastFound.count, 2);
    EXPECT_EQ(w.state->m_bBusy, 0);

    // Asked to stop, the worker ends without another log line once its lookup returns.
    const std::string logAtDeadline = w.log.Text();
    w.network->Locked([&w] { return w.network->blocked.clear(); });
    EXPECT_TRUE(test::Eventually([&w] { return !w.commands->WorkerRunning(); }));
    EXPECT_EQ(w.log.Text(), logAtDeadline);
}

// A lookup that fails by an exception, on the worker's thread or a helper's, is a
// missing name; the search goes on and lists the units that have one.
TEST(Search, aLookupThatThrowsIsAMissingName)
{
    Window w(true);
    w.network->throwing = {Ip(20).nbo, Ip(22).nbo};
    w.commands->SetLookupThreads(3);
    w.commands->FirstSearch();
    EXPECT_EQ(w.state->devices.UnitCount, 1);
    EXPECT_STREQ(w.controls.rows[1].name, "VELDIX-B");
    EXPECT_EQ(w.state->devices.RowCount, 4); // the nameless slots still count
    EXPECT_EQ(w.state->m_bBusy, 0);
}

// Asked to stop while the table is read (its command has given up on it), the worker
// logs no table lines: they would land inside the next command's block.
TEST(SearchWorker, writesNothingMoreOnceAskedToStopDuringTheTableRead)
{
    TemporaryLog log;
    auto network = std::make_shared<FakeSearchNetwork>();
    network->table.entries = {{Ip(20), {0x02, 0x5a, 0xe1, 0x42, 0x00, 20}}};
    SearchTable prepared;
    auto job = std::make_shared<SearchJob>(network, std::make_shared<test::FakeClock>(),
                                           LastFoundList{}, prepared);
    network->onRead = [&job] { job->stopRequested.store(true, std::memory_order_release); };
    SearchWorker(*job);
    EXPECT_TRUE(job->done.load());
    EXPECT_EQ(log.Text(), "Last count = 0 \r\n>>> Start to retrieve network table\r\n");
    EXPECT_TRUE(network->lookups.empty());
}

} // namespace
} // namespace zelvo
