// brimlet-cli for crash tests: with BRIMLET_KILL_AT_CALL=k in its
// environment it kills itself with SIGKILL at its k-th system call; with
// BRIMLET_KILL_AFTER_BYTES=n once it has written n bytes, in the middle of
// the write that crosses that mark.
#include "archive/sys.h"
#include "cli/cli.h"

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv)
{
    brimlet::sys::FaultPlan plan;
    if (const char* k = std::getenv("BRIMLET_KILL_AT_CALL")) {
        plan.failAt = std::atol(k);
        plan.kill = true;
        brimlet::sys::setFaultPlan(&plan);
    }
    if (const char* n = std::getenv("BRIMLET_KILL_AFTER_BYTES")) {
        plan.killAfterBytes = std::atoll(n);
        brimlet::sys::setFaultPlan(&plan);
    }
    brimlet::cli::prepareProcess();
    return brimlet::cli::run(brimlet::cli::arguments(argc, argv), std::cout, std::cerr);
}
