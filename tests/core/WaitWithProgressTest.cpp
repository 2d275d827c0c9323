// The waits for a worker, the pacing of a pass, and the DHCP responder's receive worker on a
// loopback socket.
#include "core/WaitWithProgress.h"
#include "core/PassPacing.h"
#include "dhcp/ReceiveWorker.h"
#include "support/FakeClock.h"
#include "support/LoopbackSocket.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <thread>

namespace zelvo {
namespace {

using std::chrono::milliseconds;
using test::Eventually;
constexpr int64_t kSecond = 1'700'000'000'000; // a wall-clock time on a whole second

struct NamedJob : WorkerJob // results of its own, as the transfer and search jobs have
{
    std::string name;
};

TEST(WaitForDone, returnsWhenTheWorkerIsDoneNotAtTheEndOfTheBudget)
{
    WorkerJob doneAlready;
    doneAlready.MarkDone();
    EXPECT_TRUE(WaitForDone(doneAlready, milliseconds(0)));

    WorkerJob finishing, never;
    const auto start = std::chrono::steady_clock::now();
    std::jthread worker([&] {
        std::this_thread::sleep_for(milliseconds(20));
        finishing.MarkDone();
    });
    EXPECT_TRUE(WaitForDone(finishing, milliseconds(10000)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(2000));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(WaitForDone(never, milliseconds(30)));
    EXPECT_GE(std::chrono::steady_clock::now() - before, milliseconds(30));
}

TEST(WaitWithProgress, DoneAfterThePassInWhichTheWorkerEndsElseTimedOutLeavingItTheJob)
{
    const struct
    {
        int budget, passMs, startMsPart;
        int finishingPass;         // 0: never, stuck like a worker in a blocking call
        bool throws;               // must not end the program: the job fails instead
        std::vector<int> passArgs; // the seconds left handed to each pass
    } cases[] = {
        {60, 1000, 0, 1, false, {60}},
        {60, 1000, 0, 3, false, {60, 59, 58}},
        {60, 1000, 0, 2, true, {60, 59}},
        {kNoBudget, 1000, 0, 4, false, {-1, -1, -1, -1}}, // no end but the worker's
        {3, 1000, 0, 3, false, {3, 2, 1}},                // done in the pass that ends the budget
        {3, 1000, 0, 0, false, {3, 2, 1}},
        {0, 1000, 0, 0, false, {0}},            // an empty budget still runs one pass
        {2, 400, 0, 0, false, {2, 2, 2, 1, 1}}, // whole seconds only, as time() counts them
        {2, 400, 900, 0, false, {2, 1, 1}},     // a start late in a second loses that second
    };
    for (const auto& c : cases) {
        test::FakeClock clock(kSecond + c.startMsPart);
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
                static_cast<NamedJob&>(j).name = "UNIT-01";
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
            EXPECT_EQ(job->name, c.throws ? "" : "UNIT-01");
            EXPECT_FALSE(job->stopRequested.load());
            continue;
        }
        EXPECT_EQ(outcome, WaitOutcome::TimedOut) << "budget " << c.budget;
        EXPECT_TRUE(job->stopRequested.load() && !job->done.load());
        // The waiter lets go; the worker then writes into the record it holds alone.
        std::weak_ptr<NamedJob> watch = job;
        job.reset();
        EXPECT_FALSE(watch.expired());
        *gate = true;
        EXPECT_TRUE(Eventually([&] { return watch.expired(); })) << "worker never ended";
    }
}

// Start in its second, the step that sets the wall clock back an hour, steps, elapsed ms: a
// start too late in its second waits for the next and lasts all of it; a clock set back ends
// the pass, not the hour.
TEST(RunSecondBoundSteps, RunsToTheEndOfTheSecondItStartsIn)
{
    const std::array<int64_t, 4> cases[] = {
        {200, 0, 159, 800}, {500, 0, 99, 500}, {501, 0, 199, 1499}, {100, 10, 10, 50}};
    for (const auto& [startMsPart, setBackAtStep, steps, elapsedMs] : cases) {
        test::FakeClock clock(kSecond + startMsPart);
        int64_t ran = 0;
        const auto step = [&, setBackAtStep = setBackAtStep] {
            if (++ran == setBackAtStep)
                clock.SetWallMs(kSecond - 3'600'000);
        };
        EXPECT_EQ(RunSecondBoundSteps(clock, step), steps) << "start at " << startMsPart;
        EXPECT_EQ(clock.MonotonicMs(), elapsedMs) << "start at " << startMsPart;
    }
}

// A UDP socket on the loopback as the responder's socket, and a sender to it.
struct Loopback
{
    UniqueFd sender{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    sockaddr_in at{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    std::unique_ptr<DhcpServerSocket> socket;
    Loopback()
    {
        uint16_t port = 0;
        UniqueFd fd = test::LoopbackSocket(SOCK_DGRAM, port);
        const int on = 1;
        EXPECT_EQ(::setsockopt(fd.Get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on), 0);
        at.sin_port = htons(port);
        socket = MakeDhcpServerSocket(std::move(fd));
    }
    void Send(const std::string& text)
    {
        ASSERT_EQ(::sendto(sender.Get(), text.data(), text.size(), 0,
                           reinterpret_cast<const sockaddr*>(&at), sizeof at),
                  ssize_t(text.size()));
    }
};

std::string Received(const ReceiveJob& job)
{
    return job.length < 0 ? "-" : std::string(job.buffer, job.buffer + job.length);
}

TEST(ReceiveWorker, oneWorkerTakesOneDatagramAtATimeUntilStopped)
{
    Loopback loopback;
    auto job = std::make_shared<ReceiveJob>(*loopback.socket);
    std::thread worker([job] { ReceiveWorker(*job); });
    loopback.Send("discover");
    loopback.Send("request");
    ASSERT_TRUE(WaitForDone(*job, milliseconds(5000)));
    EXPECT_EQ(Received(*job), "discover");
    // The next datagram is taken only when asked for: the first stays to be read.
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(Received(*job), "discover");
    job->Next(true);
    ASSERT_TRUE(WaitForDone(*job, milliseconds(5000)));
    EXPECT_EQ(Received(*job), "request");
    // Stopped while it waits for a datagram: it ends without one, soon.
    job->Next(false);
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_FALSE(job->done.load());
    job->Stop();
    ASSERT_TRUE(WaitForDone(*job, milliseconds(2000)));
    EXPECT_EQ(Received(*job), "-");
    worker.join();

    // Stopped while it waits to be asked for the next: it ends too.
    auto idle = std::make_shared<ReceiveJob>(*loopback.socket);
    std::thread second([idle] { ReceiveWorker(*idle); });
    loopback.Send("inform");
    ASSERT_TRUE(WaitForDone(*idle, milliseconds(5000)));
    idle->Stop();
    second.join();
    EXPECT_EQ(Received(*idle), "inform");
}

} // namespace
} // namespace zelvo
