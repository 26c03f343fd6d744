// drag-source FILE: an X program to drag FILE from, as a file manager offers
// it (text/uri-list): a press in its window starts the drag. Each drag ends
// with a line on standard output: "accepted" when the target took the drop
// (it had answered that it would, and the drop was sent to it; the line
// comes once the X server has the drop message), "refused" otherwise. A
// line "over" comes each time the target answers that it would take it.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <cstdio>

class Source : public QWidget {
public:
    explicit Source(QString file) : file_(std::move(file)) { setWindowTitle("drag source"); }

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(file_)});
        drag->setMimeData(data);
        QObject::connect(drag, &QDrag::actionChanged, [](Qt::DropAction action) {
            if (action == Qt::CopyAction) say("over");
        });
        Qt::DropAction done = drag->exec(Qt::CopyAction);
        QGuiApplication::sync(); // the drop message is at the X server before the line is
        say(done == Qt::CopyAction ? "accepted" : "refused");
    }

private:
    static void say(const char* what)
    {
        std::printf("%s\n", what);
        std::fflush(stdout);
    }

    QString file_;
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Source source(QString::fromLocal8Bit(argv[1]));
    source.setGeometry(500, 100, 200, 120);
    source.show();
    return app.exec();
}
