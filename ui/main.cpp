// brimlet: the desktop editor for GTA3 & VC ".dir" + ".img" archives.
#include "Unit1.h"

#include <QApplication>
#include <csignal>

int main(int argc, char** argv)
{
    // A write past the file-size limit then fails with "Disk full" instead
    // of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Brimlet");
    QStringList arguments = QApplication::arguments().mid(1);
    Twnd_dir wnd_dir(arguments);
    wnd_dir.show();
    return QApplication::exec();
}
