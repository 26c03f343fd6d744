// The entry list's menu: the work on a whole archive that modders ask every
// editor for (import, export all, check, rebuild). Long work shows a progress
// dialog and keeps the window painting.
#include "Unit1.h"

#include "archive/check.h"
#include "error_handler.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <memory>

void Twnd_dir::createListMenu()
{
    ListMenu = new QMenu(List);
    ListMenu->setObjectName("ListMenu");
    auto add = [this](const QString& text, void (Twnd_dir::*handler)()) {
        QAction* action = ListMenu->addAction(text);
        connect(action, &QAction::triggered, this, [this, handler] { guarded([&] { (this->*handler)(); }); });
    };
    add("Import files...", &Twnd_dir::menu_importClick);
    add("Export all...", &Twnd_dir::menu_exportAllClick);
    add("Check archive", &Twnd_dir::menu_checkClick);
    add("Rebuild archive...", &Twnd_dir::menu_rebuildClick);
    // Nothing to work on before an archive is open.
    connect(ListMenu, &QMenu::aboutToShow, this, [this] {
        for (QAction* action : ListMenu->actions()) action->setEnabled(archive().isOpen());
    });
    List->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(List, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ListMenu->popup(List->viewport()->mapToGlobal(at)); });
}

// A progress dialog that lives as long as the returned callback; shown only
// when the work lasts.
brimlet::Archive::Progress Twnd_dir::progressShownAs(const QString& label)
{
    auto dialog = std::make_shared<QProgressDialog>(label, QString(), 0, 1000, this);
    dialog->setWindowTitle("Brimlet");
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(400);
    dialog->setCancelButton(nullptr); // the commands are all or nothing, not to be cut short
    return [dialog](const brimlet::Archive::ProgressStep& step) {
        dialog->setValue(static_cast<int>(step.permille()));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
}

void Twnd_dir::menu_importClick()
{
    QStringList files;
    if (!dialogs().chooseFiles("Import files", files)) return;
    std::vector<std::string> paths;
    for (const QString& file : files) paths.push_back(toPath(file));
    entryModel_->importFiles(paths, progressShownAs("Importing files..."));
    inp_findChange(); // the results of the search, as after Open
}

void Twnd_dir::menu_exportAllClick()
{
    QString folder;
    if (!dialogs().chooseFolder("Export all entries to", folder)) return;
    QStringList notes;
    auto note = [&](const std::string& text) { notes << messageText(text); };
    entryModel_->extractAll(toPath(folder), note, progressShownAs("Exporting entries..."));
    if (!notes.isEmpty()) dialogs().showReport("Export all", notes.join('\n'));
}

void Twnd_dir::menu_checkClick()
{
    brimlet::CheckReport report = brimlet::checkArchive(archive());
    QStringList lines;
    if (report.problems.empty()) lines << "No problems found.";
    for (const auto& line : report.problems) lines << messageText(line);
    for (const auto& line : report.notes) lines << messageText(line);
    dialogs().showReport("Check archive", lines.join('\n'));
}

void Twnd_dir::menu_rebuildClick()
{
    int64_t dead = archive().deadSpace();
    QString question =
        dead > 0 ? QString("Rebuilding gives back %1 bytes of dead space.").arg(dead)
        : dead == 0
            ? QString("The archive has no dead space; rebuilding only puts its entries in directory order.")
            : QString("Rebuilding makes the data file %1 bytes larger: entries that share a span each get a copy "
                      "of their own.")
                  .arg(-dead);
    if (!dialogs().confirm("Rebuild archive", question + " Rebuild the archive now?")) return;
    entryModel_->rebuild(progressShownAs("Rebuilding the archive..."));
    inp_findChange();
}
