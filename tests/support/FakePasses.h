#pragma once
#include "core/ProgressPasses.h"

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace zelvo::test {

// Progress passes that record what ran. Each lasts passMs of real time (the workers'
// time to move on), then runs onPass (a test moves its clock on or feeds a socket there).
struct FakePasses final : ProgressPasses
{
    std::vector<int> progressKinds, timedPhases;
    int searchPasses = 0, retrievePasses = 0;
    int passMs = 1;
    std::function<void()> onPass = [] {};

    void RunProgressPass(int, int kind) override { progressKinds.push_back(kind), Pass(); }
    void RunTimedPass(int, int phase) override { timedPhases.push_back(phase), Pass(); }
    void RunSearchPass(int, int) override { ++searchPasses, Pass(); }
    void RunRetrievePass(int) override { ++retrievePasses, Pass(); }
    void Pass()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(passMs));
        onPass();
    }
};

} // namespace zelvo::test
