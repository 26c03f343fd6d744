#include "HOX_dragdrop.h"

#include "window/drops.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <stdexcept>

THOX_dragdrop::THOX_dragdrop(QObject* owner) : QObject(owner), owner_(owner)
{
    HookOwner();
    setActive(false);
}

THOX_dragdrop::~THOX_dragdrop() { UnhookOwner(); }

QWidget* THOX_dragdrop::ownerWidget() const
{
    auto* widget = qobject_cast<QWidget*>(owner_.data());
    if (owner_ && !widget) throw std::runtime_error("Invalid class typecast");
    return widget;
}

void THOX_dragdrop::HookOwner()
{
    QWidget* widget = ownerWidget();
    if (!widget) return;
    widget->installEventFilter(this);
}

void THOX_dragdrop::UnhookOwner()
{
    if (owner_) owner_->removeEventFilter(this);
}

void THOX_dragdrop::setActive(bool value)
{
    accepting_ = value;
    if (QWidget* widget = ownerWidget()) widget->setAcceptDrops(value);
}

// Only the paths are read, so every drop is taken as a copy: a source that is
// told "moved" may delete its original. A source that allows nothing but a
// move is refused, and so is a drag from this program itself (files dragged
// out of its own lists are no files dropped from the shell).
bool THOX_dragdrop::takesDrop(QDropEvent* drop) const
{
    if (!accepting_ || drop->source() || !drop->mimeData()->hasUrls() || !(drop->possibleActions() & Qt::CopyAction))
        return false;
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    return true;
}

bool THOX_dragdrop::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != owner_ || ownerProcessing_) return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
        takesDrop(static_cast<QDropEvent*>(event));
        return false;
    case QEvent::Drop: {
        // The owner sees the drop first; the component handles it afterwards.
        ownerProcessing_ = true;
        QCoreApplication::sendEvent(owner_, event);
        ownerProcessing_ = false;
        auto* drop = static_cast<QDropEvent*>(event);
        if (takesDrop(drop)) handleDrop(drop->mimeData()->urls());
        return true;
    }
    default:
        return false;
    }
}

void THOX_dragdrop::handleDrop(const QList<QUrl>& urls)
{
    files_.clear();
    int numitems = static_cast<int>(urls.size());
    std::vector<std::string> names;
    for (const QUrl& url : urls) names.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    for (const std::string& file : brimlet::droppedFiles(names)) files_ << QFile::decodeName(QByteArray::fromStdString(file));
    // The handler gets a list of its own: a drop that comes while it runs
    // (during a dialog it shows) refills files_.
    QStringList files = files_;
    if (!files.isEmpty() && onfilesdropped) onfilesdropped(numitems, files);
}
