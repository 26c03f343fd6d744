// brimlet: the desktop editor for GTA3 & VC ".dir" + ".img" archives.
#include "Unit1.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "usage: brimlet [ARCHIVE]\n"
    "       brimlet --help | --version\n"
    "\n"
    "  ARCHIVE  the archive to open at start: its .dir or its .img file;\n"
    "           without it, or when it does not exist, the open dialog is shown\n";

}  // namespace

int main(int argc, char** argv)
{
    // Answered before Qt starts, so they work without a display.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs("brimlet " BRIMLET_VERSION "\n", stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    // A write past the file-size limit then fails with "Disk full" instead
    // of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Brimlet");
    QApplication::setApplicationVersion(BRIMLET_VERSION);
    QApplication::setDesktopFileName("io.github.brimlet.Brimlet");
    QStringList arguments = QApplication::arguments().mid(1);
    Twnd_dir wnd_dir(arguments, qtDialogs(), userSettingsFile);
    wnd_dir.show();
    return QApplication::exec();
}
