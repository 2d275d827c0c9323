#pragma once
#include "platform/Clock.h"
#include "ui/WorkerJob.h"

#include <functional>
#include <memory>

namespace zelvo {

enum class WaitOutcome { Done, TimedOut };

// The wait pattern of every long operation: starts work(job) on a new thread and runs
// pass(secondsLeft) on the calling (UI) thread until the job is done or budgetSeconds
// have passed. The done flag is looked at between passes only. On time-out the job is
// asked to stop and the thread is left to finish on its own (it keeps its share of
// the job); the caller then uses its own time-out result and must not read the job's
// non-atomic results.
// work must not throw.
WaitOutcome WaitWithProgress(const std::shared_ptr<WorkerJob>& job,
                             std::function<void(WorkerJob&)> work, int budgetSeconds,
                             const std::function<void(int secondsLeft)>& pass,
                             const Clock& clock = SystemClock());

} // namespace zelvo
