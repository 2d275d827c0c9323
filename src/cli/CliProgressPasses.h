#pragma once
#include "cli/ProgressLine.h"
#include "core/ProgressPasses.h"
#include "platform/Clock.h"

#include <string>

namespace zelvo {

// The progress passes of the command line. A pass lasts as long as the window's does
// (paced by the same rules, so every wait keeps its rhythm and budget) and draws the
// window's pass text with a bar that fills during the pass and the seconds left.
// Without a terminal the passes only keep time. A pass ends the moment the worker it
// follows is done: nobody at a terminal needs the rest of the second.
// The command line's main thread only.
class CliProgressPasses final : public ProgressPasses
{
public:
    CliProgressPasses(ProgressLine& line, int language, std::string title,
                      const Clock& clock = SystemClock());

    void RunProgressPass(int secondsLeft, int kind) override;
    void RunTimedPass(int secondsLeft, int phase) override;
    void RunSearchPass(int secondsLeft, int ignored) override;
    void RunRetrievePass(int secondsLeft) override;
    void Follow(const WorkerJob* job) override { m_followed = job; }

    // The text of one redraw: the message, a bar of `width` cells with `filled` of them
    // drawn, and the seconds left when there are any.
    static std::string LineText(const std::string& message, int filled, int width, int secondsLeft);

private:
    void Stepped(const std::string& message, int secondsLeft);
    bool FollowedDone() const;

    ProgressLine& m_line;
    int m_language;
    std::string m_title;
    const Clock& m_clock;
    const WorkerJob* m_followed = nullptr;
};

} // namespace zelvo
