// The main of the GoogleTest programs: GoogleTest's own, except that a run which
// selects no test fails and one whose every test skipped says so to ctest.
#include "support/SelectedTestsVerdict.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return zelvo::testing::RunSelectedTests();
}
