#include "core/WaitWithProgress.h"

#include <ctime>
#include <system_error>
#include <thread>
#include <utility>

namespace zelvo {
namespace {

// The worker thread's whole life. The thread holds its own share of the job, so the
// record stays valid however long the worker takes after its waiter gave up.
void RunWorker(std::shared_ptr<WorkerJob> job, std::function<void(WorkerJob&)> work)
{
    try {
        work(*job);
    } catch (...) {
        // Nothing may leave a thread; the waiting side sees an ordinary failure.
        job->result = kWorkerFailedResult;
    }
    job->MarkDone();
}

// Leaves a worker that is still running to itself, asked to stop, should the loop be
// left in any unforeseen way.
class WorkerHandle
{
public:
    explicit WorkerHandle(WorkerJob& job) : m_job(job) {}
    ~WorkerHandle()
    {
        if (thread.joinable()) {
            m_job.stopRequested.store(true, std::memory_order_release);
            thread.detach();
        }
    }
    WorkerHandle(const WorkerHandle&) = delete;
    WorkerHandle& operator=(const WorkerHandle&) = delete;
    std::thread thread;

private:
    WorkerJob& m_job;
};

} // namespace

WaitOutcome RunPasses(const WorkerJob& job, const std::function<void()>& pass,
                      const std::function<bool()>& over)
{
    for (;;) {
        pass();
        if (job.done.load(std::memory_order_acquire))
            return WaitOutcome::Done;
        if (over())
            return WaitOutcome::TimedOut;
    }
}

WaitOutcome WaitWithProgress(const std::shared_ptr<WorkerJob>& job,
                             std::function<void(WorkerJob&)> work, int budgetSeconds,
                             const std::function<void(int secondsLeft)>& pass, const Clock& clock)
{
    if (!job)
        return WaitOutcome::TimedOut; // nothing can run; the caller's time-out result fits

    const std::time_t start = clock.NowSeconds();
    int secondsLeft = budgetSeconds;

    job->result = 0;
    job->stopRequested.store(false, std::memory_order_relaxed);
    job->done.store(false, std::memory_order_relaxed);

    WorkerHandle worker(*job);
    try {
        worker.thread = std::thread(RunWorker, job, std::move(work));
    } catch (const std::system_error&) {
        job->result = kWorkerFailedResult;
        job->MarkDone();
        return WaitOutcome::Done;
    }

    const WaitOutcome outcome = RunPasses(
        *job,
        [&] {
            if (pass)
                pass(secondsLeft);
            else
                clock.SleepMs(1000); // without a pass, look once a second
        },
        [&] {
            if (budgetSeconds == kNoBudget)
                return false;
            secondsLeft =
                budgetSeconds - static_cast<int>(std::difftime(clock.NowSeconds(), start));
            return secondsLeft <= 0;
        });
    if (outcome == WaitOutcome::Done) {
        worker.thread.join(); // done is the worker's last write: this is quick
        return WaitOutcome::Done;
    }
    // No worker is killed: it is asked to stop and left with its share of the job.
    job->stopRequested.store(true, std::memory_order_release);
    worker.thread.detach();
    return WaitOutcome::TimedOut;
}

} // namespace zelvo
