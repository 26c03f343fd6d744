// drag-source FILE: an X program to drag FILE from, as a file manager offers
// it (text/uri-list): a press in its window starts the drag.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

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
        drag->exec(Qt::CopyAction);
    }

private:
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
