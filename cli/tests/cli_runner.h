// Runs brimlet-cli (or another program) as a child process, as scripts do.
#pragma once

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

#ifdef _WIN32
using uid_t = unsigned;
#endif

namespace brimlet::test {

struct Result {
    int exitCode = -1; // -1: killed; kHung: still running at the time limit
    std::string out, err;
};

// How the child runs: extra environment, another user, a file-size limit
// (ulimit -f, in bytes), standard output into a file or a pipe.
struct RunOptions {
    std::vector<std::string> environment;
    uid_t user = 0;       // 0: as we are (POSIX only)
    long fileSizeLimit = -1; // POSIX only
    std::string stdoutPath; // empty: captured into Result::out
    double timeLimitSeconds = 60; // then the child is killed and the result is kHung
    std::string stderrPath = {}; // for startCli: standard error into this file; empty: discarded
};

// Options that only send a started program's standard error into `path`.
inline RunOptions errorsInto(const std::string& path)
{
    RunOptions options;
    options.stderrPath = path;
    return options;
}

inline constexpr int kHung = -2;

// Runs the program to its end and collects its output.
Result runCli(const std::vector<std::string>& args, const std::string& program = BRIMLET_CLI_PATH,
              const RunOptions& options = {});

// Starts the program with its output discarded (standard error into
// `stderrPath` where one is given); returns its pid.
pid_t startCli(const std::vector<std::string>& args, const std::string& program = BRIMLET_CLI_PATH,
               const RunOptions& options = {});
// Waits for it; returns its exit code, or -1 when it was killed (by a
// signal; on Windows, by TerminateProcess with kKilledExitCode).
int waitCli(pid_t pid);
// Kills it at once, as a crash would.
void killCli(pid_t pid);
inline constexpr int kKilledExitCode = 137; // what a shell shows for SIGKILL
// Whether it is still running (it is not waited for).
bool stillRunning(pid_t pid);

#ifdef _WIN32
// UTF-8 to UTF-16, for the -W calls tests make.
std::wstring wideText(const std::string& utf8);
#endif

// Waits until the file at `path` holds `text`: a started program's word
// that it has got where a test needs it (holds a lock, waits for one).
// False when it has not said so within `seconds`.
inline bool waitForWord(const std::string& path, const std::string& text, double seconds = 60)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        std::ifstream file(path, std::ios::binary);
        std::string held((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (held.find(text) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Whether tests that need another user (and root to become one) can run.
bool canSwitchUser();
inline constexpr uid_t kNobody = 65534;

}  // namespace brimlet::test
