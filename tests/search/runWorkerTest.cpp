// The search worker on its own thread, against a scripted network.
#include "runFakes.h"
#include "search/SearchWorker.h"

#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace zelvo {
namespace {

using testing::ForeignMac;
using testing::Ip;
using testing::UnitMac;

struct WorkerRun
{
    testing::TemporaryLog log;
    std::shared_ptr<testing::FakeSearchNetwork> network =
        std::make_shared<testing::FakeSearchNetwork>();
    std::shared_ptr<testing::FakeClock> clock = std::make_shared<testing::FakeClock>();
    LastFoundList lastFound;
    std::unique_ptr<SearchTable> result = std::make_unique<SearchTable>();

    std::shared_ptr<SearchJob> Run(int lookupThreads = 8, bool stopAtOnce = false)
    {
        auto prepared = std::make_unique<SearchTable>();
        prepared->addresses[0] = Ip(192, 168, 1, 10);
        prepared->arpCount = 5; // the previous search's count, which the worker resets
        auto job = std::make_shared<SearchJob>(network, clock, lastFound, *prepared);
        job->lookupThreads = lookupThreads;
        job->stopRequested = stopAtOnce;
        std::thread([job] { SearchWorker(*job); }).join();
        job->Snapshot(*result);
        EXPECT_TRUE(job->done.load());
        return job;
    }
};

TEST(Worker, echoesLastUnitsThenBroadcastsWaitsAndReadsNames)
{
    WorkerRun run;
    run.lastFound.Append(Ip(192, 168, 1, 30));
    run.lastFound.Append(Ipv4Address{}); // an empty entry is not echoed
    run.lastFound.Append(Ip(192, 168, 1, 31));
    run.network->table.entries = {{Ip(192, 168, 1, 1), ForeignMac(1)},
                                  {Ip(192, 168, 1, 30), UnitMac(30)},
                                  {Ip(192, 168, 1, 31), UnitMac(31)},
                                  {Ip(192, 168, 1, 32), UnitMac(32)}};
    run.network->names[Ip(192, 168, 1, 1).nbo] = "ROUTER";
    run.network->names[Ip(192, 168, 1, 30).nbo] = "ALPHA";
    run.network->names[Ip(192, 168, 1, 32).nbo] = "GAMMA";
    run.Run();

    EXPECT_EQ(run.network->Events(),
              (std::vector<std::string>{"echo 192.168.1.30 2000", "echo 192.168.1.31 2000",
                                        "broadcast", "read"}));
    EXPECT_EQ(run.clock->MonotonicMs(), 5000); // the settling wait, on the clock
    const SearchTable& t = *run.result;
    EXPECT_EQ(t.slotCount, 4);
    EXPECT_EQ(t.arpCount, 4);
    EXPECT_EQ(t.addresses[0], Ip(192, 168, 1, 10));
    EXPECT_STREQ(t.names[1], "ALPHA");
    EXPECT_STREQ(t.names[2], "");
    EXPECT_STREQ(t.names[3], "GAMMA");

    EXPECT_EQ(run.log.Text(), "Last count = 3 \r\n"
                              ">>> Start to retrieve network table\r\n"
                              " Phase1 : retcd=122 buf=100\r\n"
                              " Phase2 : retcd=0 buf=100\r\n"
                              " 4 entries are available\r\n"
                              " No     IP Address         MAC Address\r\n"
                              " 01 : 192.168.001.001 - 52.54.00.12.34.01\r\n"
                              " 02 : 192.168.001.030 - 02.5a.e1.42.00.1e\r\n"
                              " 03 : 192.168.001.031 - 02.5a.e1.42.00.1f\r\n"
                              " 04 : 192.168.001.032 - 02.5a.e1.42.00.20\r\n"
                              "<<< Close to retrieve network table\r\n");
}

TEST(Worker, failedReadLeavesAnEmptySearch)
{
    WorkerRun run;
    run.network->table = {13, "Permission denied", {}};
    run.Run();
    EXPECT_EQ(run.result->slotCount, 1);
    EXPECT_EQ(run.result->arpCount, 0);
    EXPECT_EQ(run.log.Text(), "Last count = 0 \r\n"
                              ">>> Start to retrieve network table\r\n"
                              " Phase1 : retcd=13 buf=0\r\n"
                              "Permission denied\r\n"
                              "<<< Close to retrieve network table\r\n");
}

TEST(Worker, looksUpSeveralNamesAtOnce)
{
    WorkerRun run;
    for (uint8_t i = 1; i <= 4; ++i) {
        run.network->table.entries.push_back({Ip(10, 0, 0, i), UnitMac(i)});
        run.network->names[Ip(10, 0, 0, i).nbo] = "N" + std::to_string(i);
    }
    // Lookups one after another would each wait out the fake's 10 s and never meet.
    run.network->RequireParallel(4);
    run.Run(4);
    EXPECT_TRUE(run.network->ParallelSeen());
    for (int s = 1; s <= 4; ++s)
        EXPECT_EQ(std::string(run.result->names[s]), "N" + std::to_string(s));
}

TEST(Worker, stopBeforeTheWaitEndsWithoutReadingTheTable)
{
    WorkerRun run;
    run.lastFound.Append(Ip(10, 0, 0, 1));
    run.network->table.entries = {{Ip(10, 0, 0, 1), UnitMac(1)}};
    run.Run(8, true);
    EXPECT_TRUE(run.network->Events().empty());
    EXPECT_EQ(run.log.Text(), "Last count = 1 \r\n");
    EXPECT_EQ(run.result->slotCount, 0); // as the command prepared it
}

} // namespace
} // namespace zelvo
