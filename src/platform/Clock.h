#pragma once
#include <cstdint>
#include <ctime>

namespace zelvo {

// Time as the rest of the tool sees it. Budgets and sleeps go through this seam so
// that tests of the waiting logic do not wait in real time.
// Thread safety: implementations must be callable from any thread.
class Clock
{
public:
    virtual ~Clock() = default;
    // Wall-clock milliseconds since the epoch (seconds and milliseconds of the day's clock).
    virtual int64_t NowMs() const = 0;
    // Monotonic milliseconds, for elapsed times.
    virtual int64_t MonotonicMs() const = 0;
    virtual void SleepMs(int ms) const = 0;
    std::time_t NowSeconds() const { return static_cast<std::time_t>(NowMs() / 1000); }
};

// The process's real clock.
Clock& SystemClock();

} // namespace zelvo
