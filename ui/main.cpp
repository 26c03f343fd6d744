// brimlet: the desktop editor for GTA3 & VC ".dir" + ".img" archives.
#include "Unit1.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Brimlet");
    QStringList arguments = QApplication::arguments().mid(1);
    Twnd_dir wnd_dir(arguments);
    wnd_dir.show();
    return QApplication::exec();
}
