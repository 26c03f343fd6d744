// The entry list's menu: the work on a whole archive that modders ask every
// editor for (import, export all, check, rebuild).
#include "Unit1.h"

void Twnd_dir::createListMenu()
{
    ListMenu = new QMenu(List);
    ListMenu->setObjectName("ListMenu");
    auto add = [this](const QString& text, void (Twnd_dir::*handler)()) {
        QAction* action = ListMenu->addAction(text);
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    add("Import files...", &Twnd_dir::menu_importClick);
    add("Export all...", &Twnd_dir::menu_exportAllClick);
    add("Check archive", &Twnd_dir::menu_checkClick);
    add("Rebuild archive...", &Twnd_dir::menu_rebuildClick);
    connect(ListMenu, &QMenu::aboutToShow, this, [this] {
        for (QAction* action : ListMenu->actions()) action->setEnabled(behaviour_->menuEnabled());
    });
    List->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(List, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ListMenu->popup(List->viewport()->mapToGlobal(at)); });
}
