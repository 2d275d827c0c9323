#pragma once
#include <chrono>
#include <thread>

namespace zelvo::test {

// Waits in real time until pred() holds or timeout passes, looking every few
// milliseconds; for what another thread or process does. True when pred() held.
template <typename Pred> bool WaitUntil(std::chrono::milliseconds timeout, Pred pred)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end)
            return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// WaitUntil with the tests' usual patience of five seconds.
template <typename Pred> bool Eventually(Pred pred)
{
    return WaitUntil(std::chrono::seconds(5), pred);
}

} // namespace zelvo::test
