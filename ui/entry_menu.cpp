// The entry list's menu: the work on a whole archive that modders ask every
// editor for (import, export all, check, rebuild).
#include "Unit1.h"

#include <QShortcut>

void Twnd_dir::createListMenu()
{
    ListMenu = new QMenu(List);
    ListMenu->setObjectName("ListMenu");
    using Item = brimlet::DirWindow::MenuItem;
    auto add = [this](const QString& text, Item item, void (Twnd_dir::*handler)()) {
        QAction* action = ListMenu->addAction(text);
        action->setData(static_cast<int>(item));
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    add("&Import files...", Item::Import, &Twnd_dir::menu_importClick);
    add("E&xport all...", Item::ExportAll, &Twnd_dir::menu_exportAllClick);
    add("&Check archive", Item::Check, &Twnd_dir::menu_checkClick);
    add("&Rebuild archive...", Item::Rebuild, &Twnd_dir::menu_rebuildClick);
    connect(ListMenu, &QMenu::aboutToShow, this, [this] {
        for (QAction* action : ListMenu->actions())
            action->setEnabled(behaviour_->menuEnabled(static_cast<Item>(action->data().toInt())));
    });
    List->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(List, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ListMenu->popup(List->viewport()->mapToGlobal(at)); });
    // Shift+F10 opens it as the menu key does, under the selected row.
    auto* shiftF10 = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), List, nullptr, nullptr, Qt::WidgetShortcut);
    connect(shiftF10, &QShortcut::activated, this, [this] {
        int row = List->ItemIndex();
        QRect at = row >= 0 ? List->visualRect(List->model()->index(row, 0)) : QRect();
        ListMenu->popup(List->viewport()->mapToGlobal(at.bottomLeft()));
    });
}
