// drop-receiver FOLDER: another program's window that takes dropped file
// URLs as a file manager's folder does: each file is copied into FOLDER, a
// file already there kept as it is. It prints "ready <window id>" once its
// window is shown, and "dropped <copied> <kept>" after each drop.
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>

class Receiver : public QWidget {
public:
    explicit Receiver(QString folder) : folder_(std::move(folder))
    {
        setWindowTitle("drop receiver");
        setAcceptDrops(true);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->mimeData()->hasUrls() && (event->possibleActions() & Qt::CopyAction)) event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override
    {
        int copied = 0, kept = 0;
        for (const QUrl& url : event->mimeData()->urls()) {
            QString target = QDir(folder_).filePath(QFileInfo(url.toLocalFile()).fileName());
            if (QFile::exists(target)) ++kept;
            else if (QFile::copy(url.toLocalFile(), target)) ++copied;
        }
        event->setDropAction(Qt::CopyAction);
        event->accept();
        std::printf("dropped %d %d\n", copied, kept);
        std::fflush(stdout);
    }

private:
    QString folder_;
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Receiver receiver(QString::fromLocal8Bit(argv[1]));
    receiver.setGeometry(20, 40, 200, 150);
    receiver.show();
    QTimer::singleShot(0, [&] {
        std::printf("ready %llu\n", static_cast<unsigned long long>(receiver.winId()));
        std::fflush(stdout);
    });
    return app.exec();
}
