#pragma once
#include "platform/Clock.h"

#include <functional>

namespace zelvo {

// Steps of one stepped progress pass: 800 on the slow systems (OsClass 0 and 3),
// 2000 on every other class.
int PassStepCount(int osClass);

// How long a stepped pass lasts. The step counts above were sized for machines on
// which a pass took about a second; on today's machines the steps alone take a few
// milliseconds, so the pass is paced against the clock to keep that length.
constexpr int kSteppedPassMs = 1000;

// Steps of a timed pass's bar range; it advances one step per 5 ms of its second.
constexpr int kTimedPassSteps = 200;
constexpr int kTimedPassStepMs = 5;

// Runs step() count times, spread over durationMs of clock.MonotonicMs(): after step
// i the pass sleeps until start + i * durationMs / count, so a pass is never shorter
// than durationMs (a slow step makes it longer, never skips one). step() returns false
// to end the pass early. Returns the number of steps run.
int RunPacedSteps(int count, int durationMs, const Clock& clock, const std::function<bool()>& step);

// The pacing of a timed pass, against the wall clock (clock.NowMs()): waits until the
// clock is at most half a second into a second, then runs until that second is over,
// calling step() once for every 5 ms elapsed since the start. A pass started 200 ms
// past a second lasts 800 ms; one started 700 ms past waits for the next second and
// lasts all of it. A clock set back during the pass ends it, and so does ended()
// returning true (looked at between steps, when given). Returns the steps run.
int RunSecondBoundSteps(const Clock& clock, const std::function<void()>& step,
                        const std::function<bool()>& ended = {});

} // namespace zelvo
