// The main of the end-to-end window tests: GoogleTest inside a QApplication, since
// the tool's window needs one.
#include "support/SelectedTestsVerdict.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return zelvo::testing::RunSelectedTests();
}
