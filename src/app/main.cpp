#include "app/SetupApp.h"
#include "platform/FtpClient.h"

int main(int argc, char** argv)
{
    // libcurl's global set-up is not thread-safe: once, before any thread exists.
    zelvo::InitFtpLibrary();
    zelvo::SetupApp app(argc, argv);
    zelvo::QtToolDialogs dialogs;
    return app.Start(dialogs);
}
