// The command line's passes while a worker works: they end the moment the worker they
// follow is done, instead of at the end of the second the window would keep.
#include "cli/CliProgressPasses.h"
#include "core/WaitWithProgress.h"
#include "support/FakeConsole.h"

#include <gtest/gtest.h>

#include <thread>

namespace zelvo {
namespace {

using std::chrono::milliseconds;
using Steady = std::chrono::steady_clock;

TEST(CliProgressPasses, aWaitEndsWhenTheWorkerIsDoneNotOnASecondsBoundary)
{
    test::FakeConsole console;
    ProgressLine line(console, true);
    CliProgressPasses passes(line, 409, "t", SystemClock());
    for (const int workMs : {0, 150, 1300}) {
        auto job = std::make_shared<WorkerJob>();
        const FollowedWorker followed(passes, *job);
        const auto start = Steady::now();
        const WaitOutcome outcome = WaitWithProgress(
            job, [workMs](WorkerJob&) { std::this_thread::sleep_for(milliseconds(workMs)); }, 30,
            [&](int secondsLeft) { passes.RunProgressPass(secondsLeft, kProgressConfigDownload); });
        EXPECT_EQ(outcome, WaitOutcome::Done);
        const auto took = Steady::now() - start;
        EXPECT_GE(took, milliseconds(workMs));
        EXPECT_LT(took, milliseconds(workMs + 300)) << workMs;
    }
    // The responder's timed pass ends with the datagram its worker waited for.
    WorkerJob datagram;
    passes.Follow(&datagram);
    std::thread arrival([&] {
        std::this_thread::sleep_for(milliseconds(100));
        datagram.MarkDone();
    });
    auto start = Steady::now();
    passes.RunTimedPass(10, 0);
    EXPECT_LT(Steady::now() - start,
              milliseconds(400)); // a whole pass lasts half a second at least
    arrival.join();
    // Following no worker, a pass keeps its whole second.
    passes.Follow(nullptr);
    start = Steady::now();
    passes.RunRetrievePass(5);
    EXPECT_GE(Steady::now() - start, milliseconds(950)); // whole milliseconds of the clock
}

} // namespace
} // namespace zelvo
