#include "core/WorkerJob.h"

#include <thread>

namespace zelvo {

bool WaitForDone(const WorkerJob& job, std::chrono::microseconds budget,
                 std::chrono::microseconds step)
{
    const auto end = std::chrono::steady_clock::now() + budget;
    while (!job.done.load(std::memory_order_acquire)) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(step);
    }
    return true;
}

} // namespace zelvo
