#pragma once
#include "core/WorkerJob.h"
#include "platform/Clock.h"

#include <functional>
#include <memory>

namespace zelvo {

enum class WaitOutcome
{
    Done,
    TimedOut
};

// The one loop of every wait for a worker: runs pass() on the calling (UI) thread
// until the job is done or over() says the caller's time is up. The done flag is
// looked at after each pass, before over(): a worker that finished in the pass in
// which the time ran out still counts as done. How long a pass lasts is the front
// end's affair (ProgressPasses): the window's last a second, the command line's end as
// soon as the worker they follow is done.
WaitOutcome RunPasses(const WorkerJob& job, const std::function<void()>& pass,
                      const std::function<bool()>& over);

// A budget that never runs out: the passes go on until the worker is done, and each
// gets kNoBudget as its seconds left.
constexpr int kNoBudget = -1;

// The wait pattern of every long operation: starts work(job) on a new thread and runs
// pass(secondsLeft) in RunPasses until the job is done or budgetSeconds have passed.
// Even a job that ends at once costs one pass. secondsLeft is the budget less the
// whole seconds gone on the wall clock.
//
// The thread calls job->MarkDone() after work returns (work need not do it itself).
// Done: the thread has been joined and the job's results can be read. TimedOut: the
// job's stopRequested is set and the thread is left to finish on its own, keeping its
// share of the job; the caller then uses its own time-out result and must not read the
// job's non-atomic results (result and whatever the derived job adds), which the
// worker may still be writing.
//
// work must not throw; an exception is caught on the thread and leaves
// kWorkerFailedResult in job->result (so does a thread that cannot be started, which
// returns Done at once). work must hold what it uses by value or through the job,
// never by reference to the caller's frame, which is gone after a time-out. Use a
// fresh job for every call: a job whose worker timed out may still be written.
// A null job runs nothing and gives TimedOut; an empty pass waits a second instead.
WaitOutcome WaitWithProgress(const std::shared_ptr<WorkerJob>& job,
                             std::function<void(WorkerJob&)> work, int budgetSeconds,
                             const std::function<void(int secondsLeft)>& pass,
                             const Clock& clock = SystemClock());

} // namespace zelvo
