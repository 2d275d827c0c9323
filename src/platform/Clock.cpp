#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace zelvo {
namespace {

class RealClock final : public Clock
{
public:
    int64_t NowMs() const override
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    }
    int64_t MonotonicMs() const override
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void SleepMs(int ms) const override
    {
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

} // namespace

Clock& SystemClock()
{
    static RealClock clock;
    return clock;
}

} // namespace zelvo
