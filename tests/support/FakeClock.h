#pragma once
#include "platform/Clock.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace zelvo::test {

// Stands still until told; SleepMs moves it on. The wall clock can be set apart.
class FakeClock final : public Clock
{
public:
    explicit FakeClock(int64_t wallStartMs = 1'700'000'000'000) : m_wallOffset(wallStartMs) {}

    int64_t NowMs() const override { return m_monotonic.load() + m_wallOffset.load(); }
    int64_t MonotonicMs() const override { return m_monotonic.load(); }
    void SleepMs(int ms) const override
    {
        m_monotonic += ms > 0 ? ms : 0;
        if (onSleep)
            onSleep();
    }
    void Advance(int64_t ms) { m_monotonic += ms; }
    void SetWallMs(int64_t wallMs) { m_wallOffset = wallMs - m_monotonic.load(); }

    std::function<void()> onSleep;

private:
    mutable std::atomic<int64_t> m_monotonic{0};
    std::atomic<int64_t> m_wallOffset;
};

} // namespace zelvo::test
