#include "core/PassPacing.h"

#include <algorithm>
#include <cstdint>

namespace zelvo {

int PassStepCount(int osClass)
{
    return (osClass == 0 || osClass == 3) ? 800 : 2000;
}

int RunPacedSteps(int count, int durationMs, const Clock& clock, const std::function<bool()>& step)
{
    const int64_t start = clock.MonotonicMs();
    for (int i = 1; i <= count; ++i) {
        if (!step())
            return i;
        const int64_t due = start + static_cast<int64_t>(i) * durationMs / count;
        const int64_t now = clock.MonotonicMs();
        if (now < due)
            clock.SleepMs(static_cast<int>(due - now));
    }
    return std::max(count, 0);
}

int RunSecondBoundSteps(const Clock& clock, const std::function<void()>& step,
                        const std::function<bool()>& ended)
{
    const auto over = [&ended] { return ended && ended(); };
    // Start no later than half a second into a second. Sleeping to the next second
    // instead of spinning on the clock keeps the CPU free meanwhile; in steps' slices
    // when the pass may end early.
    int64_t now = clock.NowMs();
    while (now % 1000 > 500 && !over()) {
        const int64_t toNextSecond = 1000 - now % 1000;
        clock.SleepMs(static_cast<int>(ended ? std::min<int64_t>(toNextSecond, kTimedPassStepMs)
                                             : toNextSecond));
        now = clock.NowMs();
    }
    const int64_t start = now;
    const int64_t startSecond = start / 1000;
    const int64_t startMsPart = start % 1000;

    int steps = 0;
    for (;;) {
        now = clock.NowMs();
        // A wall clock that was set back would otherwise keep the pass going until
        // it reached the start's second again.
        if (now / 1000 > startSecond || now < start || over())
            break;
        const int64_t msPart = now % 1000;
        if ((msPart - startMsPart) / kTimedPassStepMs > steps) {
            step();
            ++steps;
            continue;
        }
        const int64_t nextStepAt =
            startMsPart + static_cast<int64_t>(kTimedPassStepMs) * (steps + 1);
        clock.SleepMs(static_cast<int>(std::min(nextStepAt, int64_t{1000}) - msPart));
    }
    return steps;
}

} // namespace zelvo
