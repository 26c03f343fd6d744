#include "cli_runner.h"

#include "archive/tests/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brimlet::test {

namespace {

[[noreturn]] void execProgram(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

}  // namespace

Result runCli(const std::vector<std::string>& args, const std::string& program)
{
    TempDir captures;
    std::string outPath = captures / "out", errPath = captures / "err";
    pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen(outPath.c_str(), "w", stdout) || !std::freopen(errPath.c_str(), "w", stderr)) ::_exit(126);
        execProgram(program, args);
    }
    Result r;
    r.exitCode = waitCli(pid);
    auto o = readFile(outPath), e = readFile(errPath);
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    return r;
}

pid_t startCli(const std::vector<std::string>& args, const std::string& program,
               const std::vector<std::string>& environment)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        for (const auto& setting : environment) ::putenv(const_cast<char*>(setting.c_str()));
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

}  // namespace brimlet::test
