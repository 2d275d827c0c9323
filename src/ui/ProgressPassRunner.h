#pragma once
#include "platform/Clock.h"
#include "core/PassTexts.h"
#include "core/ProgressPasses.h"

#include <QPointer>
#include <QWidget>

#include <string>

namespace zelvo {

// The progress passes of the main window: each pass opens a fresh ProgressWindow over
// the owner, steps its bar while it keeps the event queue flowing, and closes it.
// The stepped passes (RunProgressPass, RunSearchPass, RunRetrievePass) take
// PassStepCount(osClass) steps spread over about a second; the timed pass follows the
// wall clock's second. Esc ends the running pass only; none of them reports it.
//
// UI thread only. The owner may be destroyed meanwhile; passes then run without one.
class ProgressPassRunner final : public ProgressPasses
{
public:
    ProgressPassRunner(QWidget* owner, int language, int osClass, std::string title,
                       const Clock& clock = SystemClock());

    void RunProgressPass(int secondsLeft, int kind) override;
    void RunTimedPass(int secondsLeft, int phase) override;
    void RunSearchPass(int secondsLeft, int ignored) override;
    void RunRetrievePass(int secondsLeft) override;

private:
    void RunSteppedPass(const PassTexts& texts);

    QPointer<QWidget> m_owner;
    int m_language;
    int m_osClass;
    std::string m_title;
    const Clock* m_clock;
};

} // namespace zelvo
