#include "core/WaitWithProgress.h"
#include "support/FakeClock.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

namespace zelvo {
namespace {

using test::Eventually;

// A job record with results of its own, as the transfer and search jobs have.
struct NamedJob : WorkerJob
{
    char name[64] = {};
};

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
