#include "ui/ProgressPassRunner.h"

#include "core/PassPacing.h"
#include "ui/ProgressWindow.h"

#include <utility>

namespace zelvo {

ProgressPassRunner::ProgressPassRunner(QWidget* owner, int language, int osClass, std::string title,
                                       const Clock& clock)
    : m_owner(owner), m_language(language), m_osClass(osClass), m_title(std::move(title)),
      m_clock(&clock)
{
}

// The callers' remaining seconds are not needed: every pass has its own length.
void ProgressPassRunner::RunProgressPass(int /*secondsLeft*/, int kind)
{
    RunSteppedPass(ProgressPassTexts(m_language, kind));
}

void ProgressPassRunner::RunSearchPass(int /*secondsLeft*/, int /*ignored*/)
{
    RunSteppedPass(SearchPassTexts(m_language, m_title));
}

void ProgressPassRunner::RunRetrievePass(int /*secondsLeft*/)
{
    RunSteppedPass(RetrievePassTexts(m_language));
}

void ProgressPassRunner::RunSteppedPass(const PassTexts& texts)
{
    ProgressWindow window(m_owner.data(), texts.caption, true);
    const int count = PassStepCount(m_osClass);
    window.SetStepRange(0, count, 1);
    // The message is text, not a format of its own.
    window.SetMessage("%s", texts.message.c_str());
    RunPacedSteps(count, kSteppedPassMs, *m_clock, [&window] {
        window.Advance();
        window.PumpMessages(true);
        return !window.IsCancelled();
    });
}

void ProgressPassRunner::RunTimedPass(int /*secondsLeft*/, int phase)
{
    const PassTexts texts = TimedPassTexts(m_language, phase);
    ProgressWindow window(m_owner.data(), texts.caption, true);
    window.SetStepRange(0, kTimedPassSteps, 1);
    window.SetMessage("%s", texts.message.c_str());
    // This pass does not stop at Esc: it keeps to its second. The Esc hides the popup
    // and stills the pump; the next step's Advance shows the popup again, while the pump
    // stays still until the pass ends.
    RunSecondBoundSteps(*m_clock, [&window] {
        window.Advance();
        window.PumpMessages(true);
    });
}

} // namespace zelvo
