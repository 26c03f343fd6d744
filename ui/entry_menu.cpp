// The entry list's menu: Undo, the commands of the selected entries, then the
// work on a whole archive that modders ask every editor for (import, export
// all, check, rebuild).
#include "Unit1.h"

#include "window/presentation.h"

#include <QShortcut>

void Twnd_dir::createListMenu()
{
    ListMenu = new QMenu(List);
    ListMenu->setObjectName("ListMenu");
    using Item = brimlet::DirWindow::MenuItem;
    for (const auto& entry : brimlet::DirWindow::kListMenu) {
        QAction* action = ListMenu->addAction(QString::fromUtf8(entry.caption));
        action->setData(static_cast<int>(entry.item));
        if (*entry.shortcut) {
            action->setShortcut(QKeySequence(QString::fromUtf8(entry.shortcut))); // shown; the list's own key runs it
            action->setShortcutContext(Qt::WidgetShortcut);
        }
        connect(action, &QAction::triggered, this, [this, item = entry.item] { behaviour_->menuClick(item); });
        if (entry.separatorAfter) ListMenu->addSeparator();
    }
    connect(ListMenu, &QMenu::aboutToShow, this, [this] {
        for (QAction* action : ListMenu->actions()) {
            if (action->isSeparator()) continue;
            auto item = static_cast<Item>(action->data().toInt());
            action->setText(QString::fromStdString(behaviour_->menuCaption(item)));
            action->setEnabled(behaviour_->menuEnabled(item));
        }
    });
    // By the pointer, over a row: that row first. By the menu key: the
    // selection as it is.
    connect(List, &TListBox::MenuAsked, this, [this](const QPoint& at, bool byKeyboard) {
        QModelIndex under = List->indexAt(at);
        behaviour_->ListContextPopup(!byKeyboard && under.isValid() ? under.row() : -1);
        ListMenu->popup(List->viewport()->mapToGlobal(at));
    });
    // Shift+F10 opens it as the menu key does, under the selected row.
    auto* shiftF10 = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), List, nullptr, nullptr, Qt::WidgetShortcut);
    connect(shiftF10, &QShortcut::activated, this, [this] { ListMenu->popup(listMenuPlace()); });
    auto* f2 = new QShortcut(QKeySequence(Qt::Key_F2), List, nullptr, nullptr, Qt::WidgetShortcut);
    connect(f2, &QShortcut::activated, this, [this] { behaviour_->menuClick(Item::Rename); });
    auto* undo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), List, nullptr, nullptr, Qt::WidgetShortcut);
    connect(undo, &QShortcut::activated, this, [this] { behaviour_->menuClick(Item::Undo); });
}

QPoint Twnd_dir::listMenuPlace() const
{
    int row = List->ItemIndex();
    QRect at = row >= 0 ? List->visualRect(List->model()->index(row, 0)) : QRect();
    brimlet::presentation::Point point = brimlet::presentation::menuPointUnderRow(at.left(), at.top() + at.height());
    return List->viewport()->mapToGlobal(QPoint(point.x, point.y));
}
