#pragma once
#include <chrono>
#include <thread>

namespace zelvo::test {

// Waits in real time, polling, until pred() holds (true) or timeout passes (false).
template <typename Pred> bool WaitUntil(std::chrono::milliseconds timeout, Pred pred)
{
    for (const auto end = std::chrono::steady_clock::now() + timeout; !pred();
         std::this_thread::sleep_for(std::chrono::milliseconds(5)))
        if (std::chrono::steady_clock::now() >= end)
            return pred();
    return true;
}

// WaitUntil with five seconds' patience.
template <typename Pred> bool Eventually(Pred pred)
{
    return WaitUntil(std::chrono::seconds(5), pred);
}

} // namespace zelvo::test
