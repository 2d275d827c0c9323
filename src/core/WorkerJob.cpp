#include "core/WorkerJob.h"

namespace zelvo {

void WorkerJob::MarkDone()
{
    {
        const std::lock_guard<std::mutex> lock(m_doneMutex);
        done.store(true, std::memory_order_release);
    }
    m_doneChanged.notify_all();
}

bool WaitForDone(const WorkerJob& job, std::chrono::milliseconds budget)
{
    std::unique_lock<std::mutex> lock(job.m_doneMutex);
    return job.m_doneChanged.wait_for(lock, budget,
                                      [&job] { return job.done.load(std::memory_order_acquire); });
}

} // namespace zelvo
