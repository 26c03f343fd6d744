// THOX_dragdrop: makes its owner widget a target for files dropped from the
// desktop.
//
// It watches the owner's events (HookOwner) and sees a drop after the owner
// itself has. `active` sets whether the owner accepts dropped files; every
// assignment is applied. For each drop it empties its one file list, fills it
// with the full paths of the dropped items that are existing files (folders
// and vanished paths left out, in the order they were dropped), counts every
// item in `numitems`, and calls `onfilesdropped(numitems, list)` when the list
// is not empty and a handler is assigned. The list belongs to the component
// and is refilled at the next drop. Paths of any length are whole. Drops are
// answered as copies, whatever the source proposes.
//
// The owner must be a widget; any other owner fails with
// "Invalid class typecast".
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>

class QDropEvent;
class QWidget;

class THOX_dragdrop : public QObject {
    Q_OBJECT
public:
    using tfilesdropped = std::function<void(int numitems, const QStringList& list)>;

    explicit THOX_dragdrop(QObject* owner);
    ~THOX_dragdrop() override;

    bool active() const { return accepting_; }
    void setActive(bool value);
    tfilesdropped onfilesdropped;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void HookOwner();
    void UnhookOwner();
    QWidget* ownerWidget() const;
    bool takesDrop(QDropEvent* drop) const;
    void handleDrop(const QList<QUrl>& urls);

    QPointer<QObject> owner_;
    QStringList files_;
    bool accepting_ = false;
    bool ownerProcessing_ = false;
};
