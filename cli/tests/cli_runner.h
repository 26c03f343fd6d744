// Runs brimlet-cli (or another program) as a child process, as scripts do.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace brimlet::test {

struct Result {
    int exitCode = -1; // -1: killed by a signal
    std::string out, err;
};

// Runs the program to its end and collects its output.
Result runCli(const std::vector<std::string>& args, const std::string& program = BRIMLET_CLI_PATH);

// Starts the program with its output discarded; returns its pid.
pid_t startCli(const std::vector<std::string>& args, const std::string& program = BRIMLET_CLI_PATH,
               const std::vector<std::string>& environment = {});
// Waits for it; returns its exit code, or -1 when a signal ended it.
int waitCli(pid_t pid);

}  // namespace brimlet::test
