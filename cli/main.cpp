#include "cli.h"

#include <iostream>

int main(int argc, char** argv)
{
    brimlet::cli::prepareProcess();
    return brimlet::cli::run(brimlet::cli::arguments(argc, argv), std::cout, std::cerr);
}
