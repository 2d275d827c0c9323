#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace zelvo {

// The record one worker thread reports through. The waiting side and the worker own
// it jointly (std::shared_ptr), so a worker that is still finishing after its waiter
// gave up never writes freed memory.
//
// Hand-over: the worker writes its results, then calls MarkDone() as its very last
// action; the waiting side reads results only after it has seen done set (acquire).
// At a deadline the waiting side sets stopRequested and stops waiting; it then no
// longer reads the worker's results unless done is set.
struct WorkerJob
{
    virtual ~WorkerJob() = default;
    std::atomic<bool> done{false};
    std::atomic<bool> stopRequested{false};
    int result = 0; // written by the worker before done

    // Sets done and wakes every WaitForDone on this job. The worker's last action.
    void MarkDone();

private:
    friend bool WaitForDone(const WorkerJob& job, std::chrono::milliseconds budget);
    mutable std::mutex m_doneMutex;
    mutable std::condition_variable m_doneChanged;
};

// The result of a worker that could not run or ended by an exception
// (ERROR_FUNCTION_FAILED of the classic error values, shown as 0x065b).
constexpr int kWorkerFailedResult = 1627;

// Waits up to `budget` for the worker to be done; true when it is. Returns the moment
// MarkDone is called. Real time on purpose, not the clock seam: these budgets cover a
// thread's last moments, which a test's clock, moved only by the progress passes, would
// never let run out.
bool WaitForDone(const WorkerJob& job, std::chrono::milliseconds budget);

} // namespace zelvo
