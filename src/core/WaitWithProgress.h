#pragma once
#include "platform/Clock.h"
#include "core/WorkerJob.h"

#include <functional>
#include <memory>

namespace zelvo {

enum class WaitOutcome
{
    Done,
    TimedOut
};

// The wait pattern of every long operation: starts work(job) on a new thread and runs
// pass(secondsLeft) on the calling (UI) thread until the job is done or budgetSeconds
// have passed. The done flag is looked at between passes only, so even a job that
// ends at once costs one pass. secondsLeft is the budget less the whole seconds gone.
//
// The thread sets job->done after work returns (work need not set it itself). Done:
// the thread has been joined and the job's results can be read. TimedOut: the job's
// stopRequested is set and the thread is left to finish on its own, keeping its share
// of the job; the caller then uses its own time-out result and must not read the
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
