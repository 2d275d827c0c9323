#include "ui/WaitWithProgress.h"
#include "FakeClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace zelvo {
namespace {

using test::FakeClock;
using namespace std::chrono_literals;

// Waits (really) until pred holds, up to a few seconds.
template <typename Pred> bool Eventually(Pred pred)
{
    for (int i = 0; i < 1000; ++i) {
        if (pred())
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return pred();
}

// A job record with results of its own, as the transfer and search jobs have.
struct NamedJob : WorkerJob
{
    char name[64] = {};
};

// A latch the test opens from a pass and the worker waits on.
struct Gate
{
    std::atomic<bool> open{false};
    void WaitOpen() const
    {
        while (!open.load())
            std::this_thread::sleep_for(1ms);
    }
};

TEST(WaitWithProgress, DoneIsNoticedAtTheEndOfThePassInWhichTheWorkerEnds)
{
    for (const int finishingPass : {1, 2, 4}) {
        FakeClock clock;
        auto job = std::make_shared<NamedJob>();
        auto gate = std::make_shared<Gate>();
        std::vector<int> passArgs;

        const WaitOutcome outcome = WaitWithProgress(
            job,
            [gate](WorkerJob& j) {
                gate->WaitOpen();
                auto& named = static_cast<NamedJob&>(j);
                std::snprintf(named.name, sizeof named.name, "%s", "UNIT-01");
                j.result = 2;
            },
            60,
            [&](int secondsLeft) {
                passArgs.push_back(secondsLeft);
                if (static_cast<int>(passArgs.size()) == finishingPass) {
                    gate->open = true;
                    // The worker's last act is setting done; the pass ends after it.
                    ASSERT_TRUE(Eventually([&] { return job->done.load(); }));
                }
                clock.Advance(1000);
            },
            clock);

        EXPECT_EQ(outcome, WaitOutcome::Done);
        ASSERT_EQ(static_cast<int>(passArgs.size()), finishingPass);
        for (int i = 0; i < finishingPass; ++i)
            EXPECT_EQ(passArgs[i], 60 - i);
        EXPECT_EQ(job->result, 2);
        EXPECT_STREQ(job->name, "UNIT-01");
        EXPECT_FALSE(job->stopRequested.load());
    }
}

struct BudgetCase
{
    int budget;
    int passMs;
    int startMsPart;
    std::vector<int> passArgs; // the seconds left handed to each pass
};

TEST(WaitWithProgress, TimesOutAWorkerThatNeverFinishesAndLeavesItTheJob)
{
    const BudgetCase cases[] = {
        {3, 1000, 0, {3, 2, 1}},
        {1, 1000, 0, {1}},
        {0, 1000, 0, {0}},            // an empty budget still runs one pass
        {2, 400, 0, {2, 2, 2, 1, 1}}, // whole seconds only, as time() counts them
        {2, 400, 900, {2, 1, 1}},     // a start late in a second loses that second
        {-5, 1000, 0, {-5}},
    };
    for (const auto& c : cases) {
        FakeClock clock(1'700'000'000'000 + c.startMsPart);
        auto job = std::make_shared<NamedJob>();
        auto release = std::make_shared<std::atomic<bool>>(false);
        std::vector<int> passArgs;

        const WaitOutcome outcome = WaitWithProgress(
            job,
            [release](WorkerJob& j) {
                // Stuck like a worker in a blocking call until it is asked to stop. It
                // answers the request at once, while its waiter has already left...
                while (!j.stopRequested.load())
                    std::this_thread::sleep_for(1ms);
                j.result = 80;
                // ...and finishes only after the waiter has let go of the job.
                while (!release->load())
                    std::this_thread::sleep_for(1ms);
                auto& named = static_cast<NamedJob&>(j);
                std::snprintf(named.name, sizeof named.name, "%s", "LATE");
            },
            c.budget,
            [&](int secondsLeft) {
                passArgs.push_back(secondsLeft);
                clock.Advance(c.passMs);
            },
            clock);

        EXPECT_EQ(outcome, WaitOutcome::TimedOut) << "budget " << c.budget;
        EXPECT_EQ(passArgs, c.passArgs) << "budget " << c.budget;
        EXPECT_TRUE(job->stopRequested.load());
        EXPECT_FALSE(job->done.load());

        // The waiter lets go of the job while the worker still runs; the worker then
        // writes its results into the record it now owns alone.
        std::weak_ptr<NamedJob> watch = job;
        job.reset();
        EXPECT_FALSE(watch.expired());
        release->store(true);
        EXPECT_TRUE(Eventually([&] { return watch.expired(); })) << "worker never ended";
    }
}

TEST(WaitWithProgress, AWorkerThatThrowsEndsAsAFailedJob)
{
    FakeClock clock;
    auto job = std::make_shared<WorkerJob>();
    int passes = 0;
    const WaitOutcome outcome = WaitWithProgress(
        job,
        [](WorkerJob& j) {
            j.result = 5;
            throw std::runtime_error("lost");
        },
        60,
        [&](int) {
            ++passes;
            ASSERT_TRUE(Eventually([&] { return job->done.load(); }));
            clock.Advance(1000);
        },
        clock);
    EXPECT_EQ(outcome, WaitOutcome::Done);
    EXPECT_EQ(passes, 1);
    EXPECT_EQ(job->result, kWorkerFailedResult);
}

TEST(WaitWithProgress, ClearsAJobLeftDoneByEarlierUse)
{
    FakeClock clock;
    auto job = std::make_shared<WorkerJob>();
    job->done = true;
    job->result = 1053;
    auto gate = std::make_shared<Gate>();
    int passes = 0;
    const WaitOutcome outcome = WaitWithProgress(
        job, [gate](WorkerJob&) { gate->WaitOpen(); }, 60,
        [&](int) {
            // A stale done flag would end the wait after the first pass.
            if (++passes == 2) {
                gate->open = true;
                ASSERT_TRUE(Eventually([&] { return job->done.load(); }));
            }
            clock.Advance(1000);
        },
        clock);
    EXPECT_EQ(outcome, WaitOutcome::Done);
    EXPECT_EQ(passes, 2);
    EXPECT_EQ(job->result, 0);
}

} // namespace
} // namespace zelvo
