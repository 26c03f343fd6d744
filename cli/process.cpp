// What brimlet-cli asks of the operating system itself, outside the archive
// store: its arguments, its standard streams, its signals.
#include "cli.h"

#ifdef _WIN32
#include "archive/wide_text.h"

#include <windows.h>
#include <shellapi.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#else
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace brimlet::cli {

namespace {
bool outputClosedAtStart = false;
}  // namespace

bool outputWasClosed() { return outputClosedAtStart; }

#ifdef _WIN32

namespace {
UINT consoleCodePage = 0;
void restoreConsoleCodePage() { ::SetConsoleOutputCP(consoleCodePage); }
}  // namespace

void prepareProcess()
{
    outputClosedAtStart = ::_get_osfhandle(1) == -1;
    // Lines end in LF on every system, and an export to "-" is byte for byte.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    // Names are UTF-8; the console is given back its own code page at exit.
    consoleCodePage = ::GetConsoleOutputCP();
    if (consoleCodePage != 0 && consoleCodePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
        std::atexit(restoreConsoleCodePage);
}

std::vector<std::string> arguments(int, char**)
{
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide && i < count; ++i) args.push_back(utf8FromWide(wide[i]));
    ::LocalFree(wide);
    return args;
}

bool errorIsTerminal() { return ::_isatty(::_fileno(stderr)) != 0; }

void endQuietlyWhenTheReaderGoes() {}

#else

void prepareProcess()
{
    outputClosedAtStart = ::fcntl(STDOUT_FILENO, F_GETFD) < 0;
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && ::open("/dev/null", O_RDWR) != fd) std::abort();
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

std::vector<std::string> arguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

bool errorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

void endQuietlyWhenTheReaderGoes() { std::signal(SIGPIPE, SIG_DFL); }

#endif

}  // namespace brimlet::cli
