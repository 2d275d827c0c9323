// GoogleTest's main, except that a filter selecting no test fails (a renamed test must not
// leave its entry green) and an all-skipped run exits 77, which ctest shows as skipped.
#include <cstdio>
#include <gtest/gtest.h>
#ifdef ZELVO_WINDOW_TEST_MAIN
#include <QApplication>
#endif

int main(int argc, char** argv)
{
#ifdef ZELVO_WINDOW_TEST_MAIN
    QApplication app(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    const ::testing::UnitTest& run = *::testing::UnitTest::GetInstance();
    if (run.test_to_run_count() == 0) {
        std::fprintf(stderr, "no test selected: the filter matches no test of this program\n");
        return 1;
    }
    return status == 0 && run.skipped_test_count() == run.test_to_run_count() ? 77 : status;
}
