// The main of the GoogleTest programs: GoogleTest's own, except that a filter that selects
// no test fails (a renamed test must not leave its entry green) and a run whose every
// selected test skipped exits 77, which ctest shows as skipped. Built with
// ZELVO_WINDOW_TEST_MAIN for the tests that run the tool's window: in a QApplication.
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
