#include "cli.h"

#include <csignal>
#include <iostream>

int main(int argc, char** argv)
{
    // A write past the file-size limit (ulimit -f) then fails with EFBIG and
    // is reported as a full disk, instead of ending the program unannounced.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    return brimlet::cli::run(args, std::cout, std::cerr);
}
