// Runs the program with fork and exec, for Linux and other POSIX systems.
#include "cli_runner.h"

#include "archive/tests/test_support.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brimlet::test {

namespace {

// In the child, before exec.
void applyOptions(const RunOptions& options)
{
    for (const auto& setting : options.environment) ::putenv(const_cast<char*>(setting.c_str()));
    if (options.fileSizeLimit >= 0) {
        rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
    }
    if (options.user != 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(options.user) != 0 || ::setuid(options.user) != 0) ::_exit(124);
    }
}

[[noreturn]] void execProgram(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// Waits for the child at most `seconds`; a child still running then is killed.
int waitWithin(pid_t pid, double seconds)
{
    int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd exited{pidfd, POLLIN, 0};
        int ready = ::poll(&exited, 1, static_cast<int>(seconds * 1000));
        ::close(pidfd);
        if (ready > 0) return waitCli(pid);
    } else {
        for (double waited = 0; waited < seconds; waited += 0.001) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            ::usleep(1000);
        }
    }
    ::kill(pid, SIGKILL);
    waitCli(pid);
    return kHung;
}

}  // namespace

Result runCli(const std::vector<std::string>& args, const std::string& program, const RunOptions& options)
{
    TempDir captures;
    std::string outPath = captures / "out", errPath = captures / "err";
    pid_t pid = ::fork();
    if (pid == 0) {
        std::string out = options.stdoutPath.empty() ? outPath : options.stdoutPath;
        if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(errPath.c_str(), "w", stderr)) ::_exit(126);
        applyOptions(options);
        execProgram(program, args);
    }
    Result r;
    r.exitCode = waitWithin(pid, options.timeLimitSeconds);
    auto e = readFile(errPath);
    if (options.stdoutPath.empty()) {
        auto o = readFile(outPath);
        r.out.assign(o.begin(), o.end());
    }
    r.err.assign(e.begin(), e.end());
    return r;
}

pid_t startCli(const std::vector<std::string>& args, const std::string& program, const RunOptions& options)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        int err = options.stderrPath.empty() ? null : ::open(options.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(null, 1);
        ::dup2(err, 2);
        applyOptions(options);
        execProgram(program, args);
    }
    return pid;
}

int waitCli(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void killCli(pid_t pid) { ::kill(pid, SIGKILL); }

bool stillRunning(pid_t pid)
{
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

bool canSwitchUser() { return ::geteuid() == 0; }

}  // namespace brimlet::test
