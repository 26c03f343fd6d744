// Drops of local files, as the desktop delivers them.
#pragma once

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QStringList>
#include <QUrl>
#include <QWindow>

namespace brimlet::test {

// The URLs of the files, and the same as plain text, as file managers offer them.
inline void setFileUrls(QMimeData& mime, const QStringList& paths)
{
    QList<QUrl> urls;
    QStringList text;
    for (const auto& p : paths) {
        urls << QUrl::fromLocalFile(p);
        text << urls.last().toString();
    }
    mime.setUrls(urls);
    mime.setText(text.join("\n"));
}

// Returns whether the widget accepted the drag (and so got the drop).
inline bool dropFiles(QWidget* target, const QStringList& paths)
{
    QMimeData mime;
    setFileUrls(mime, paths);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return true;
}

// Drops on the top-level window under `widget`, at `widget`'s point `at`, as
// the platform does: the window hands the drag to the widget under the
// pointer, or to the nearest parent of it that takes drops. `offered` are the
// actions the source allows; it proposes a move where it allows one. Returns the action the program answered with;
// Qt::IgnoreAction when it refused the drop.
inline Qt::DropAction dropOnWindow(QWidget* widget, QPoint at, const QStringList& paths,
                                   Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction)
{
    QWindow* window = widget->window()->windowHandle();
    QPointF point = widget->window()->mapFromGlobal(widget->mapToGlobal(at));
    QMimeData mime;
    setFileUrls(mime, paths);
    // Shift is how a user asks for a move; the event then proposes MoveAction.
    Qt::KeyboardModifiers proposal = offered & Qt::MoveAction ? Qt::ShiftModifier : Qt::NoModifier;
    QDragEnterEvent enter(point.toPoint(), offered, &mime, Qt::LeftButton, proposal);
    QApplication::sendEvent(window, &enter);
    QDragMoveEvent move(point.toPoint(), offered, &mime, Qt::LeftButton, proposal);
    QApplication::sendEvent(window, &move);
    if (!move.isAccepted()) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(window, &leave);
        return Qt::IgnoreAction;
    }
    QDropEvent drop(point, offered, &mime, Qt::LeftButton, proposal);
    QApplication::sendEvent(window, &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

inline Qt::DropAction dropOnWindow(QWidget* widget, const QStringList& paths,
                                   Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction)
{
    return dropOnWindow(widget, widget->rect().center(), paths, offered);
}

}  // namespace brimlet::test
