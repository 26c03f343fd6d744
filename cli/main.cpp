#include "cli.h"

#include <iostream>

int main(int argc, char** argv)
{
    brimlet::cli::prepareProcess();
    std::vector<std::string> args(argv + 1, argv + argc);
    return brimlet::cli::run(args, std::cout, std::cerr);
}
