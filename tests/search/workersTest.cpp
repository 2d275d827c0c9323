#include "core/MessageCatalogue.h"
#include "search/SearchCommands.h"
#include "search/SearchWorker.h"
#include "support/FakeClock.h"
#include "support/FakeFrontEnd.h"
#include "support/FakePasses.h"
#include "support/FakeSearchNetwork.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/TemporaryLog.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

Ipv4Address Ip(uint8_t last)
{
    return Ipv4Address::FromOctets(192, 168, 1, last);
}

struct Searcher
{
    test::TemporaryLog log; // first in, last out: a finishing worker may still log
    std::unique_ptr<RunState> state = std::make_unique<RunState>();
    test::FakeFrontEnd front;
    test::FakePasses passes;
    ScriptedMessageBoxes boxes;
    std::shared_ptr<test::FakeSearchNetwork> network = std::make_shared<test::FakeSearchNetwork>();
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    PcSubnet pcSubnet;
    UsedAddressTable used;
    LastFoundList lastFound;
    std::unique_ptr<SearchCommands> commands = Commands();

    explicit Searcher(bool units = false) // a router at .1; units VELDIX-A to -C at .20 to .22
    {
        state->host.pcAddress = pcSubnet.pcAddress = Ip(10);
        state->host.pcMac = {0x00, 0x16, 0x3e, 0x01, 0x02, 0x03};
        state->host.NetInfoAvailable = 1;
        state->devices.rows[0].SetName("MYPC");
        network->neighbours.Value() = {{Ip(1), {0x52, 0x54, 0x00, 0x12, 0x34, 0x01}}};
        network->names[Ip(1).nbo] = "ROUTER";
        for (uint8_t i = 20; units && i <= 22; ++i) {
            network->neighbours.Value().push_back({Ip(i), {0x02, 0x5a, 0xe1, 0x42, 0x00, i}});
            network->names[Ip(i).nbo] = std::string("VELDIX-") + char('A' + i - 20);
            network->answering.insert(Ip(i).nbo);
        }
    }
    std::unique_ptr<SearchCommands> Commands(CardSource cards = {})
    {
        return std::make_unique<SearchCommands>(SearchServices{*state, front, passes, boxes,
                                                               network, clock, pcSubnet, used,
                                                               lastFound, std::move(cards)});
    }
    std::vector<std::string> Events()
    {
        return network->Locked([&] { return network->events; });
    }
    std::vector<std::string> Texts() const { return boxes.Texts(); }
};

TEST(FirstSearch, refusesWithoutMaskOrMacAndSaysWhy)
{
    for (const bool noMask : {true, false}) {
        Searcher r;
        r.state->host.NetInfoAvailable = !noMask;
        r.state->host.pcMac = {};
        r.commands->FirstSearch(true);
        EXPECT_EQ(r.Texts().at(0), noMask ? "On your PC Subnet mask information can't be acquired."
                                          : MessageCatalogue::Text(133));
        EXPECT_TRUE(r.Events().empty());
        EXPECT_EQ(r.front.newLists, 0);
    }
    Searcher busy(true);
    busy.state->m_bBusy = 1;
    busy.commands->SearchAgain();
    busy.commands->FirstSearch(true);
    EXPECT_TRUE(busy.Events().empty());
    EXPECT_EQ(busy.front.newLists, 0);
}

TEST(Search, withNoUnitListedSaysSoAndOffersSetIpOnAnOpenNetwork)
{
    // After Search a unit seen without a name still offers Backup.
    for (const auto& [again, ticked, namelessUnit, buttons] :
         {std::tuple{false, false, false, "--0111"},
          {false, true, false, "--1111"},
          {true, false, false, "--1111"},
          {true, false, true, "111111"}}) {
        Searcher r;
        if (namelessUnit)
            r.network->neighbours.Value().push_back({Ip(40), {0x02, 0x5a, 0xe1, 0x42, 0x00, 0x40}});
        again ? r.commands->SearchAgain() : r.commands->FirstSearch(ticked);
        EXPECT_EQ(r.Texts(), std::vector<std::string>{MessageCatalogue::Text(again ? 141 : 137)});
        EXPECT_EQ(r.boxes.ShownBoxes()[0].icon,
                  again ? MessageIcon::Information : MessageIcon::Question);
        EXPECT_EQ(r.front.Buttons(), buttons);
        EXPECT_EQ(r.front.Rows(), std::vector<std::string>{"MYPC|||"});
        EXPECT_EQ(r.state->m_bBusy, 0);
        EXPECT_EQ(r.passes.searchPasses > 0, !again);
    }
}

// A unit on a card without an address, or a missing ICMP socket, is told once a run.
TEST(Search, readsTheCardsAtEverySearchAndTellsWhatHidesAUnitOnce)
{
    Searcher r(true);
    PcCards now;
    now.usable = {{2, "eth0", {}, Ip(10), {255, 255, 255, 0}}};
    r.commands = r.Commands([&now] { return now; });
    r.network->neighbours.Value().push_back(
        {Ipv4Address::FromOctets(169, 254, 3, 3), {0x02, 0x5a, 0xe1, 0x42, 0x00, 0x33}, false, 4});
    r.network->problem = SocketProblem::HelperNotPermitted;
    r.commands->SearchAgain();
    EXPECT_FALSE(r.log.Has(" Card["));
    now.usable.push_back(
        {3, "eth1", {}, Ipv4Address::FromOctets(10, 1, 0, 200), {255, 255, 255, 128}});
    now.withoutAddress = {{4, "usb0", {}, {}, {}}};
    r.commands->SearchAgain();
    r.commands->SearchAgain();
    const std::string cards =
        " Card[1]\t: eth0 192.168.001.010 Mask 255.255.255.000 Net Addr base.baseend: 050.250\r\n"
        " Card[2]\t: eth1 010.001.000.200 Mask 255.255.255.128 Net Addr base.baseend: 129.255\r\n";
    const std::string log = r.log.Text();
    EXPECT_NE(log.find(cards), log.rfind(cards));
    EXPECT_EQ(r.Texts(), (std::vector<std::string>{MessageCatalogue::Text(921),
                                                   CardWithoutAddressText(409, "usb0")}));
    Searcher missing;
    missing.network->problem = SocketProblem::HelperMissing;
    missing.commands->FirstSearch(false);
    EXPECT_EQ(missing.Texts(),
              (std::vector<std::string>{MessageCatalogue::Text(902), MessageCatalogue::Text(137)}));
}

TEST(Search, listsTheNamedUnitsAndAtItsDeadlineWhatIsNamedByThen)
{
    Searcher r(true);
    r.commands->FirstSearch(false);
    EXPECT_EQ(r.front.Rows(), (std::vector<std::string>{
                                  "MYPC|||", "VELDIX-A|192.168.1.20|02-5a-e1-42-00-14|VELDIX [0]",
                                  "VELDIX-B|192.168.1.21|02-5a-e1-42-00-15|VELDIX [1]",
                                  "VELDIX-C|192.168.1.22|02-5a-e1-42-00-16|VELDIX [2]"}));
    EXPECT_EQ(r.front.list.currentRow, 1);
    EXPECT_TRUE(r.boxes.ShownBoxes().empty());
    EXPECT_EQ(r.front.Buttons(), "110111");
    EXPECT_EQ(r.clock->MonotonicMs(), 5000) << "the settling wait, on the clock";
    EXPECT_EQ(r.Events(), (std::vector<std::string>{"broadcast", "read"}));
    ASSERT_EQ(r.state->devices.usedAddressCount, 8); // the next budget: 52 s

    // The last unit's lookup hangs past the deadline; the first one's throws.
    r.network->Locked([&r] {
        r.network->looked.clear();
        r.network->throwing = {Ip(20).nbo};
        return r.network->blocked.insert(Ip(22).nbo);
    });
    int passes = 0;
    r.passes.onPass = [&r, &passes] {
        if (r.network->WaitForLookup(Ip(22)))
            ++passes, r.clock->Advance(1000);
    };
    r.commands->SetLookupThreads(1);
    r.commands->SearchAgain();
    EXPECT_EQ(r.Events(),
              (std::vector<std::string>{"broadcast", "read", "echo 192.168.1.20 2000",
                                        "echo 192.168.1.21 2000", "echo 192.168.1.22 2000",
                                        "broadcast", "read"}));
    EXPECT_EQ(passes, 52 - 5); // less the 5 s that the worker slept on the same clock
    EXPECT_TRUE(r.commands->WorkerRunning());
    EXPECT_EQ(r.front.Rows(),
              (std::vector<std::string>{"MYPC|||",
                                        "VELDIX-B|192.168.1.21|02-5a-e1-42-00-15|VELDIX [0]"}));
    EXPECT_EQ(r.state->devices.RowCount, 4); // the nameless slots still count
    EXPECT_EQ(r.lastFound.count, 1);
    EXPECT_EQ(r.state->m_bBusy, 0);

    const std::string logAtDeadline = r.log.Text();
    r.network->Locked([&r] { return r.network->blocked.clear(); });
    EXPECT_TRUE(test::Eventually([&r] { return !r.commands->WorkerRunning(); }));
    EXPECT_EQ(r.log.Text(), logAtDeadline);
}

// Table lines logged after a stop would land inside the next command's block.
TEST(SearchWorker, writesNothingMoreOnceAskedToStopDuringTheTableRead)
{
    test::TemporaryLog log;
    auto network = std::make_shared<test::FakeSearchNetwork>();
    network->neighbours.Value() = {{Ip(20), {0x02, 0x5a, 0xe1, 0x42, 0x00, 20}}};
    SearchTable prepared;
    auto job = std::make_shared<SearchJob>(network, std::make_shared<test::FakeClock>(),
                                           LastFoundList{}, prepared);
    network->onRead = [&job] { job->stopRequested.store(true, std::memory_order_release); };
    SearchWorker(*job);
    EXPECT_TRUE(job->done.load());
    EXPECT_EQ(log.Text(), "Last count = 0 \r\n>>> Start to retrieve network table\r\n");
    EXPECT_TRUE(network->looked.empty());
}

} // namespace
} // namespace zelvo
