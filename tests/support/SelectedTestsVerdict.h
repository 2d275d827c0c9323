#pragma once
// What a test program's exit status says about the tests it selected, for ctest:
// a filter that selects nothing fails (a renamed test must not leave its entry green),
// and a run whose every selected test skipped exits 77, which ctest shows as skipped.
#include <cstdio>
#include <gtest/gtest.h>

namespace zelvo::testing {

constexpr int kSkippedExitCode = 77;

inline int RunSelectedTests()
{
    const int status = RUN_ALL_TESTS();
    const ::testing::UnitTest& run = *::testing::UnitTest::GetInstance();
    if (run.test_to_run_count() == 0) {
        std::fprintf(stderr, "no test selected: the filter matches no test of this program\n");
        return 1;
    }
    if (status == 0 && run.skipped_test_count() == run.test_to_run_count())
        return kSkippedExitCode;
    return status;
}

} // namespace zelvo::testing
