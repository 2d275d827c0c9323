#include "dhcp/AddressCheckWorker.h"

#include <algorithm>
#include <cstring>

namespace zelvo {

namespace {
constexpr int kQuietUntilSeconds = 30;
constexpr int kGiveUpFromSeconds = 60;
constexpr int kProbeTimeoutMs = 2000;

int CheckAddress(AddressCheckJob& job, UnitProbes& network)
{
    const std::atomic<bool>& stop = job.stopRequested;
    network.BroadcastEchoUnlessStopped(stop);
    if (stop.load(std::memory_order_acquire))
        return 0;
    if (network.EchoProbeUnlessStopped(job.address, kProbeTimeoutMs, stop) == 0)
        return 0;
    if (stop.load(std::memory_order_acquire))
        return 0;
    const std::optional<std::string> name = network.ReverseName(job.address);
    if (!name)
        return 0;
    std::memset(job.name, 0, sizeof job.name);
    std::memcpy(job.name, name->data(), std::min(name->size(), sizeof job.name - 1));
    return 1;
}
} // namespace

void AddressCheckWorker(AddressCheckJob& job, UnitProbes& network)
{
    if (job.elapsedSeconds <= kQuietUntilSeconds)
        job.result = 0;
    else if (job.elapsedSeconds < kGiveUpFromSeconds)
        job.result = CheckAddress(job, network);
    job.MarkDone();
}

} // namespace zelvo
