#include "app/SetupApp.h"

int main(int argc, char** argv)
{
    zelvo::SetupApp app(argc, argv);
    return app.Start();
}
