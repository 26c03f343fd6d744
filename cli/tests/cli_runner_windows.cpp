// Runs the program with CreateProcessW, for Windows (and wine).
#include "cli_runner.h"

#include "archive/tests/test_support.h"

#include <windows.h>

#include <map>

namespace brimlet::test {

std::wstring wideText(const std::string& utf8)
{
    std::wstring out(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), static_cast<int>(out.size()));
    out.pop_back();
    return out;
}

namespace {

// The build passes the host's path of the program; under wine the host's
// root is drive Z:.
std::wstring programPath(const std::string& program)
{
    std::wstring path = wideText(program);
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

// One argument as the C runtime's parser reads it back.
std::wstring quoted(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

HANDLE inheritable(const std::wstring& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Why the last start failed (GetLastError), for the test's own message.
DWORD& startFailure()
{
    static DWORD error = 0;
    return error;
}

// The processes started and not yet waited for, by id.
std::map<pid_t, HANDLE>& running()
{
    static std::map<pid_t, HANDLE> processes;
    return processes;
}

// Starts the program with its output into the named files ("NUL": none).
HANDLE start(const std::string& program, const std::vector<std::string>& args, const RunOptions& options,
             const std::wstring& outPath, const std::wstring& errPath)
{
    std::wstring line = quoted(programPath(program));
    for (const auto& a : args) line += L" " + quoted(wideText(a));
    HANDLE in = inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = inheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = inheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    // The child inherits our environment, with the settings asked for.
    std::vector<std::pair<std::wstring, std::wstring>> saved;
    for (const auto& setting : options.environment) {
        auto eq = setting.find('=');
        std::wstring name = wideText(setting.substr(0, eq)), value = wideText(setting.substr(eq + 1));
        std::wstring old(32767, L'\0');
        DWORD length = ::GetEnvironmentVariableW(name.c_str(), old.data(), static_cast<DWORD>(old.size()));
        saved.push_back({name, length ? old.substr(0, length) : L""});
        ::SetEnvironmentVariableW(name.c_str(), value.c_str());
    }
    PROCESS_INFORMATION process{};
    BOOL made = FALSE;
    // A loaded wine now and then fails to make a process at all; the program
    // has not run, so trying again changes nothing.
    for (int attempt = 0; attempt < 3 && !made; ++attempt) {
        if (attempt) ::Sleep(200);
        made = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    }
    if (!made) startFailure() = ::GetLastError();
    for (const auto& [name, value] : saved) ::SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    ::CloseHandle(in);
    ::CloseHandle(out);
    ::CloseHandle(err);
    if (!made) return nullptr;
    ::CloseHandle(process.hThread);
    return process.hProcess;
}

int exitCodeOf(HANDLE process)
{
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    ::CloseHandle(process);
    return code == kKilledExitCode ? -1 : static_cast<int>(code);
}

}  // namespace

Result runCli(const std::vector<std::string>& args, const std::string& program, const RunOptions& options)
{
    TempDir captures;
    std::string outPath = options.stdoutPath.empty() ? captures / "out" : options.stdoutPath;
    std::string errPath = captures / "err";
    Result r;
    // STATUS_DLL_INIT_FAILED: a loaded wine now and then cannot set a new
    // process up. Its main never ran, so running it again is safe; any other
    // end is the program's own and is kept.
    constexpr int kDllInitFailed = static_cast<int>(0xC0000142);
    for (int attempt = 0; attempt < 3 && (attempt == 0 || r.exitCode == kDllInitFailed); ++attempt) {
        HANDLE process = start(program, args, options, wideText(outPath), wideText(errPath));
        if (!process) {
            r.err = "(the test could not start " + program + ": error " + std::to_string(startFailure()) + ")";
            return r;
        }
        if (::WaitForSingleObject(process, static_cast<DWORD>(options.timeLimitSeconds * 1000)) == WAIT_TIMEOUT) {
            ::TerminateProcess(process, 1);
            ::WaitForSingleObject(process, INFINITE);
            ::CloseHandle(process);
            r.exitCode = kHung;
        } else {
            r.exitCode = exitCodeOf(process);
        }
    }
    auto e = readFile(errPath);
    r.err.assign(e.begin(), e.end());
    if (options.stdoutPath.empty()) {
        auto o = readFile(outPath);
        r.out.assign(o.begin(), o.end());
    }
    return r;
}

pid_t startCli(const std::vector<std::string>& args, const std::string& program, const RunOptions& options)
{
    HANDLE process = start(program, args, options, L"NUL",
                           options.stderrPath.empty() ? std::wstring(L"NUL") : wideText(options.stderrPath));
    if (!process) return -1;
    auto pid = static_cast<pid_t>(::GetProcessId(process));
    running()[pid] = process;
    return pid;
}

int waitCli(pid_t pid)
{
    auto it = running().find(pid);
    if (it == running().end()) return -1;
    HANDLE process = it->second;
    running().erase(it);
    ::WaitForSingleObject(process, INFINITE);
    return exitCodeOf(process);
}

void killCli(pid_t pid)
{
    auto it = running().find(pid);
    if (it != running().end()) ::TerminateProcess(it->second, kKilledExitCode);
}

bool stillRunning(pid_t pid)
{
    auto it = running().find(pid);
    return it != running().end() && ::WaitForSingleObject(it->second, 0) == WAIT_TIMEOUT;
}

bool canSwitchUser() { return false; }

}  // namespace brimlet::test
