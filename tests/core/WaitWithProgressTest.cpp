#include "core/WaitWithProgress.h"
#include "support/FakeClock.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace zelvo {
namespace {

using test::Eventually;

// A job record with results of its own, as the transfer and search jobs have.
struct NamedJob : WorkerJob
{
    char name[64] = {};
};

// The short real-time waits for a worker's last moments: done already, done by the worker
// within the budget, and never done, where the budget must end the wait.
TEST(WaitForDone, endsWhenTheWorkerIsDoneOrTheBudgetIsSpent)
{
    using std::chrono::milliseconds;
    WorkerJob doneAlready;
    doneAlready.done.store(true);
    EXPECT_TRUE(WaitForDone(doneAlready, milliseconds(0), milliseconds(1)));

    WorkerJob finishing;
    std::thread worker([&] {
        std::this_thread::sleep_for(milliseconds(5));
        finishing.done.store(true, std::memory_order_release);
    });
    EXPECT_TRUE(WaitForDone(finishing, milliseconds(10000), milliseconds(1)));
    worker.join();

    WorkerJob never;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WaitForDone(never, milliseconds(30), milliseconds(1)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(30));
}

TEST(WaitWithProgress, DoneAfterThePassInWhichTheWorkerEndsElseTimedOutLeavingItTheJob)
{
    struct Case
    {
        int budget, passMs, startMsPart;
        int finishingPass;         // 0: never, stuck like a worker in a blocking call
        bool throws;               // must not end the program: the job fails instead
        std::vector<int> passArgs; // the seconds left handed to each pass
    } const cases[] = {
        {60, 1000, 0, 1, false, {60}},
        {60, 1000, 0, 3, false, {60, 59, 58}},
        {60, 1000, 0, 2, true, {60, 59}},
        {3, 1000, 0, 0, false, {3, 2, 1}},
        {0, 1000, 0, 0, false, {0}},            // an empty budget still runs one pass
        {2, 400, 0, 0, false, {2, 2, 2, 1, 1}}, // whole seconds only, as time() counts them
        {2, 400, 900, 0, false, {2, 1, 1}},     // a start late in a second loses that second
    };
    for (const auto& c : cases) {
        test::FakeClock clock(1'700'000'000'000 + c.startMsPart);
        auto job = std::make_shared<NamedJob>();
        job->done = true; // left from an earlier use: must not end this wait early
        auto gate = std::make_shared<std::atomic<bool>>(false);
        std::vector<int> passArgs;

        const WaitOutcome outcome = WaitWithProgress(
            job,
            [gate, throws = c.throws](WorkerJob& j) {
                Eventually([&] { return gate->load() || j.stopRequested.load(); });
                j.result = 2;
                if (throws)
                    throw std::runtime_error("lost");
                if (j.stopRequested) // its waiter has left; it finishes after the job was let go
                    Eventually([&] { return gate->load(); });
                std::snprintf(static_cast<NamedJob&>(j).name, 64, "%s", "UNIT-01");
            },
            c.budget,
            [&](int secondsLeft) {
                passArgs.push_back(secondsLeft);
                if (static_cast<int>(passArgs.size()) == c.finishingPass) {
                    *gate = true;
                    // The worker's last act is setting done; the pass ends after it.
                    ASSERT_TRUE(Eventually([&] { return job->done.load(); }));
                }
                clock.Advance(c.passMs);
            },
            clock);

        EXPECT_EQ(passArgs, c.passArgs) << c.budget << "/" << c.finishingPass;
        if (c.finishingPass) {
            EXPECT_EQ(outcome, WaitOutcome::Done);
            EXPECT_EQ(job->result, c.throws ? kWorkerFailedResult : 2);
            EXPECT_STREQ(job->name, c.throws ? "" : "UNIT-01");
            EXPECT_FALSE(job->stopRequested.load());
            continue;
        }
        EXPECT_EQ(outcome, WaitOutcome::TimedOut) << "budget " << c.budget;
        EXPECT_TRUE(job->stopRequested.load());
        EXPECT_FALSE(job->done.load());
        // The waiter lets go of the job while the worker runs; the worker then writes
        // its results into the record it now holds alone (ASan sees a freed one).
        std::weak_ptr<NamedJob> watch = job;
        job.reset();
        EXPECT_FALSE(watch.expired());
        *gate = true;
        EXPECT_TRUE(Eventually([&] { return watch.expired(); })) << "worker never ended";
    }
}

} // namespace
} // namespace zelvo
