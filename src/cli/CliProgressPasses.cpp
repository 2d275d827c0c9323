#include "cli/CliProgressPasses.h"

#include "core/PassPacing.h"
#include "core/PassTexts.h"
#include "core/WorkerJob.h"

#include <chrono>

namespace zelvo {
namespace {

// Redraws per stepped pass: enough for a bar that moves, few enough for a slow link.
constexpr int kBarCells = 20;

} // namespace

CliProgressPasses::CliProgressPasses(ProgressLine& line, int language, std::string title,
                                     const Clock& clock)
    : m_line(line), m_language(language), m_title(std::move(title)), m_clock(clock)
{
}

std::string CliProgressPasses::LineText(const std::string& message, int filled, int width,
                                        int secondsLeft)
{
    std::string text;
    for (char c : message)
        if (c != '\r' && c != '\n')
            text += c;
    text += " [";
    for (int i = 0; i < width; ++i)
        text += i < filled ? '#' : '.';
    text += ']';
    if (secondsLeft > 0)
        text += ' ' + std::to_string(secondsLeft) + 's';
    return text;
}

void CliProgressPasses::Stepped(const std::string& message, int secondsLeft)
{
    if (FollowedDone())
        return;
    // The window's pacing, the bar redrawn a cell at a time; between two cells the pass
    // waits on the followed worker, so that it ends the moment the worker is done.
    const int64_t start = m_clock.MonotonicMs();
    for (int step = 1; step <= kBarCells; ++step) {
        m_line.Show(LineText(message, step, kBarCells, secondsLeft));
        const int64_t due = start + int64_t{step} * kSteppedPassMs / kBarCells;
        const int64_t now = m_clock.MonotonicMs();
        if (now >= due)
            continue;
        if (!m_followed)
            m_clock.SleepMs(static_cast<int>(due - now));
        else if (WaitForDone(*m_followed, std::chrono::milliseconds(due - now)))
            return;
    }
}

void CliProgressPasses::RunProgressPass(int secondsLeft, int kind)
{
    Stepped(ProgressPassTexts(m_language, kind).message, secondsLeft);
}

void CliProgressPasses::RunSearchPass(int secondsLeft, int)
{
    Stepped(SearchPassTexts(m_language, m_title).message, secondsLeft);
}

void CliProgressPasses::RunRetrievePass(int secondsLeft)
{
    Stepped(RetrievePassTexts(m_language).message, secondsLeft);
}

void CliProgressPasses::RunTimedPass(int secondsLeft, int phase)
{
    // The timed pass follows the wall clock's second as the window's does; its bar
    // advances every few milliseconds, so only every tenth step is drawn.
    // It too ends once the worker it follows is done.
    const std::string message = TimedPassTexts(m_language, phase).message;
    int step = 0;
    RunSecondBoundSteps(
        m_clock,
        [&] {
            if (step++ % 10 == 0)
                m_line.Show(
                    LineText(message, step * kBarCells / kTimedPassSteps, kBarCells, secondsLeft));
        },
        [this] { return FollowedDone(); });
}

bool CliProgressPasses::FollowedDone() const
{
    return m_followed && m_followed->done.load(std::memory_order_acquire);
}

} // namespace zelvo
