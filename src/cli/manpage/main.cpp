// Writes the command line's manual page from the command table; the build runs it.
#include "cli/CliHelp.h"
#include "cli/CliRun.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.1\n", argv[0]);
        return 2;
    }
    const std::string page = zelvo::CliManualPage(zelvo::CliVersionText());
    FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(page.data(), 1, page.size(), out) != page.size()) {
        std::perror(argv[1]);
        if (out)
            std::fclose(out);
        return 1;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
