#include "dir_window.h"

#include <algorithm>

#include "archive/check.h"
#include "archive/errors.h"
#include "archive/paths.h"
#include "archive/sectors.h"
#include "presentation.h"
#include "wording.h"

namespace brimlet {

namespace {

// How long a command waits for another program (a script) to finish with the
// archive before it gives up with a message: the window's one thread must
// not freeze behind another program's lock.
constexpr long kLockWaitMs = 4000;

std::string joinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

}  // namespace

[[noreturn]] void listIndexOutOfBounds(int index)
{
    throw Failure("List index out of bounds (" + std::to_string(index) + ")");
}

DirWindow::DirWindow(WindowView& view, Dialogs& dialogs, SettingsOpener settings, std::vector<std::string> arguments)
    : view_(view), dialogs_(dialogs), settings_(std::move(settings)), arguments_(std::move(arguments))
{
    archive_.setLockWait({kLockWaitMs, {}});
    archive_.keepOverwrites(); // for undo
    archive_.setChangeListener([this](const TableChange& change, bool before) { view_.entriesChanging(change, before); });
}

// One command at a time: a command asked for while another one waits on its
// dialog (a file dropped on the window meanwhile, which the system delivers
// to a disabled window too) is not run. It would open another archive under
// the waiting command, which would then write into that one.
void DirWindow::command(const std::function<void()>& handler)
{
    if (busy_) return;
    busy_ = true;
    struct Release {
        bool& busy;
        ~Release() { busy = false; }
    } release{busy_};
    guarded(handler);
}

void DirWindow::guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& failure) {
        try {
            dialogs_.showError(failureMessage(failure));
        } catch (...) {
        }
    }
}

// ---------------------------------------------------------------- start and close

void DirWindow::FormShow()
{
    command([this] {
        restoreSettings();
        if (!arguments_.empty() && fileExists(arguments_.front()))
            openimg(arguments_.front());
        else
            openCommand();
    });
}

bool DirWindow::FormCloseQuery()
{
    if (busy_) return false;
    saveSettings();
    return true;
}

// Remembered values are a convenience: any failure leaves the rest as they are.
void DirWindow::restoreSettings()
{
    try {
        auto settings = settings_();
        settings->open();
        OpenDialog1.FileName = settings->read("imgfile");
        OpenDialog2.FileName = settings->read("lastfile");
        view_.setSearchText(settings->read("find"));
        if (!view_.searchText().empty()) refreshResults();
    } catch (...) {
    }
}

void DirWindow::saveSettings()
{
    try {
        auto settings = settings_();
        settings->open();
        settings->write("imgfile", OpenDialog1.FileName);
        settings->write("lastfile", OpenDialog2.FileName);
        settings->write("find", view_.searchText());
    } catch (...) {
    }
}

// ---------------------------------------------------------------- commands

void DirWindow::openimg(const std::string& path)
{
    archive_.openimg(path);
    undo_.clear();
    view_.setEntriesCaption(" " + messageText(hostFileName(archive_.directoryPath())) + " ");
    view_.selectEntry(-1);
}

void DirWindow::openCommand()
{
    if (!dialogs_.executeFileDialog(OpenDialog1)) return;
    openimg(OpenDialog1.FileName);
    refreshResults();
}

void DirWindow::applySelectionRule()
{
    if (view_.selectedEntry() < 0) view_.selectEntry(0);
}

std::string DirWindow::selectedRowText() const
{
    int row = view_.selectedEntry();
    if (row < 0 || static_cast<size_t>(row) >= archive_.count()) listIndexOutOfBounds(row);
    return rowText(archive_.table()[static_cast<size_t>(row)].nameView());
}

void DirWindow::presetEntryDialogs(const std::string& text)
{
    SaveDialog1.FileName = text;
    OpenDialog2.FileName = text;
}

// The selected rows when there are several; empty for one row or none,
// which the commands handle as they always have.
std::vector<size_t> DirWindow::severalSelected() const
{
    std::vector<int> rows = view_.selectedEntries();
    if (rows.size() < 2) return {};
    return std::vector<size_t>(rows.begin(), rows.end());
}

void DirWindow::refuseSeveral(const char* command) const
{
    std::vector<int> rows = view_.selectedEntries();
    if (rows.size() > 1)
        throw Failure(std::string(command) + " works on one entry at a time: " + std::to_string(rows.size()) +
                      " are selected; select only one");
}

void DirWindow::exportCommand()
{
    if (auto several = severalSelected(); !several.empty()) {
        exportEntries(several, "Export", "Export the selected entries to");
        return;
    }
    applySelectionRule();
    presetEntryDialogs(selectedRowText());
    int row = view_.selectedEntry();
    SaveDialog1.InitialFolder = folderOf(archive_.directoryPath()); // beside the archive
    if (!dialogs_.executeFileDialog(SaveDialog1)) return;
    // A large entry shows its progress (the window stays responsive); a
    // Cancel leaves no file behind.
    try {
        archive_.exportEntry(static_cast<size_t>(row), SaveDialog1.FileName,
                             dialogs_.showProgress("Exporting the entry...", true));
    } catch (const Stopped&) {
    }
}

// Add and Replace open where the file last chosen for them was.
bool DirWindow::chooseEntryFile()
{
    if (!dialogs_.executeFileDialog(OpenDialog2)) return false;
    OpenDialog2.InitialFolder = folderOf(OpenDialog2.FileName);
    return true;
}

void DirWindow::addCommand()
{
    applySelectionRule();
    if (!chooseEntryFile()) return;
    UndoStep point = undoPoint();
    size_t added = archive_.addEntry(OpenDialog2.FileName, dialogs_.showProgress("Adding the file...", false));
    keepUndo(std::move(point), "Add \"" + rowText(archive_.table()[added].nameView()) + "\"");
    view_.selectEntry(static_cast<int>(added));
}

// A dropped file is offered in the entry dialog in place of the entry's name,
// so the user confirms the very file that was dropped.
void DirWindow::replaceCommand(const std::string* offeredFile)
{
    refuseSeveral("Replace");
    applySelectionRule();
    presetEntryDialogs(selectedRowText());
    int row = view_.selectedEntry();
    if (offeredFile) OpenDialog2.FileName = *offeredFile;
    if (!chooseEntryFile()) return;
    UndoStep point = undoPoint();
    archive_.replaceEntry(static_cast<size_t>(row), OpenDialog2.FileName,
                          dialogs_.showProgress("Replacing the entry...", false));
    keepUndo(std::move(point), "Replace \"" + rowText(archive_.table()[static_cast<size_t>(row)].nameView()) + "\"");
}

void DirWindow::deleteCommand()
{
    if (auto several = severalSelected(); !several.empty()) {
        std::string question = "Delete " + std::to_string(several.size()) + " entries?";
        if (!dialogs_.confirm("Delete", question, false)) return;
        UndoStep point = undoPoint();
        archive_.deleteEntries(several);
        keepUndo(std::move(point), "Delete of " + std::to_string(several.size()) + " entries");
        view_.selectEntry(-1);
        return;
    }
    applySelectionRule();
    int row = view_.selectedEntry();
    if (row < 0) return; // an empty list: nothing to delete
    UndoStep point = undoPoint();
    std::string name = rowText(archive_.table()[static_cast<size_t>(row)].nameView());
    archive_.deleteEntry(static_cast<size_t>(row));
    keepUndo(std::move(point), "Delete \"" + name + "\"");
    view_.selectEntry(-1);
}

void DirWindow::renameCommand()
{
    refuseSeveral("Rename");
    std::string name = selectedRowText();
    int row = view_.selectedEntry();
    if (!dialogs_.inputQuery("Rename file", "New name:", name, presentation::kRenameFieldLimit)) return;
    std::string entryName = entryNameFromHost(name);
    checkNameFits(entryName); // refused before any question
    auto warnings = nameWarnings(archive_.table(), static_cast<size_t>(row), entryName, false);
    if (!warnings.empty() && !dialogs_.confirm("Rename file", renameQuestion(entryName, warnings), false)) return;
    UndoStep point = undoPoint();
    std::string old = rowText(archive_.table()[static_cast<size_t>(row)].nameView());
    archive_.renameEntry(static_cast<size_t>(row), entryName);
    keepUndo(std::move(point), "Rename \"" + old + "\" to \"" + rowText(entryName) + "\"");
}

void DirWindow::btn_openClick() { command([this] { openCommand(); }); }
void DirWindow::btn_exportClick() { command([this] { exportCommand(); }); }
void DirWindow::btn_importClick() { command([this] { addCommand(); }); }
void DirWindow::btn_replaceClick() { command([this] { replaceCommand(nullptr); }); }
void DirWindow::btn_deleteClick() { command([this] { deleteCommand(); }); }
void DirWindow::ListDblClick() { command([this] { renameCommand(); }); }

// ---------------------------------------------------------------- search

void DirWindow::refreshResults()
{
    // A character no entry name can hold matches nothing.
    std::string search;
    try {
        search = entryNameFromHost(view_.searchText());
    } catch (const Failure&) {
    }
    view_.resultsChanging(true);
    try {
        results_.refresh(archive_.table(), search);
    } catch (...) {
        view_.resultsChanging(false);
        throw;
    }
    view_.resultsChanging(false);
}

void DirWindow::jumpToResult()
{
    int result = view_.selectedResult();
    if (result < 0 || static_cast<size_t>(result) >= results_.count()) return;
    view_.selectEntry(static_cast<int>(archive_.indexOf(results_.name(static_cast<size_t>(result)))));
    view_.focusEntries();
    view_.focusResults();
}

void DirWindow::inp_findChange() { guarded([this] { refreshResults(); }); }
void DirWindow::ListBox1Click() { guarded([this] { jumpToResult(); }); }

// ---------------------------------------------------------------- drops

void DirWindow::filesDropped(const std::vector<std::string>& list)
{
    if (list.empty()) return;
    const std::string& path = list.front();
    if (!fileExists(path)) return;
    std::string extension = lowerAscii(hostExtension(path));
    if (extension == ".img" || extension == ".dir") {
        openimg(path);
        return;
    }
    OpenDialog2.FileName = path; // remembered even when Replace then fails
    replaceCommand(&path);
}

void DirWindow::HOX_dragdrop1filesdropped(int, const std::vector<std::string>& list)
{
    command([&] { filesDropped(list); });
}

// ---------------------------------------------------------------- the list's menu

// A refused import wrote nothing: the message says so.
void DirWindow::menu_importClick()
{
    command([this] {
        std::vector<std::string> files;
        if (!dialogs_.chooseFiles("Import files", files)) return;
        Archive::ImportCount count;
        UndoStep point = undoPoint();
        try {
            count = archive_.importFiles(files, dialogs_.showProgress("Importing files...", false));
        } catch (const Failure& failure) {
            Failure nothing(messageWithPeriod(failure.what()) + " Nothing was imported.");
            nothing.setPath(failure.path());
            throw nothing;
        }
        keepUndo(std::move(point), "Import files");
        refreshResults(); // the results of the search, as after Open
        dialogs_.showReport("Import files", importSummary(count.replaced, count.added));
    });
}

void DirWindow::menu_exportAllClick() { command([this] { exportAll(); }); }

void DirWindow::ListContextPopup(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= archive_.count()) return;
    std::vector<int> selected = view_.selectedEntries();
    if (std::find(selected.begin(), selected.end(), row) == selected.end()) view_.selectEntry(row);
}

// ---------------------------------------------------------------- undo

namespace {

// Up to 100 levels, and up to 64 MiB of saved directories (32 levels of a
// full 65,536-entry archive): the oldest go first.
constexpr size_t kUndoLevels = 100;
constexpr size_t kUndoBytes = size_t{64} << 20;

bool sameEntries(const EntryTable& a, const EntryTable& b)
{
    return a.count() == b.count() && std::equal(a.image(), a.image() + a.imageSize(), b.image());
}

std::string doubledAmpersands(const std::string& text)
{
    std::string out;
    for (char c : text) out += c == '&' ? std::string("&&") : std::string(1, c);
    return out;
}

}  // namespace

void DirWindow::keepUndo(UndoStep point, std::string what)
{
    if (archive_.overwrites() != point.overwrites || sameEntries(point.before, archive_.table())) return;
    point.what = std::move(what);
    undo_.push_back(std::move(point));
    size_t bytes = 0;
    for (const auto& step : undo_) bytes += step.before.imageSize();
    size_t drop = 0;
    while (undo_.size() - drop > kUndoLevels || (bytes > kUndoBytes && undo_.size() - drop > 1))
        bytes -= undo_[drop++].before.imageSize();
    undo_.erase(undo_.begin(), undo_.begin() + static_cast<long>(drop));
}

DirWindow::UndoState DirWindow::undoState() const
{
    if (undo_.empty() || !archive_.isOpen()) return {"&Undo", false};
    const UndoStep& last = undo_.back();
    std::string caption = "&Undo " + doubledAmpersands(last.what);
    if (!archive_.dataFileAsLeft())
        return {caption + " (no longer possible: another program has written the data file)", false};
    // A version 2 directory that grew over sectors of entries (moved to the
    // end first) has overwritten their old bytes as well.
    const char* causes = archive_.version() == Archive::Version::Two
                             ? "an in-place Replace, a rebuild, the directory growing over entries' old places or "
                               "another program"
                             : "an in-place Replace, a rebuild or another program";
    if (archive_.overwrites() != last.overwrites)
        return {caption + " (no longer possible: " + causes + " has overwritten bytes it needs)", false};
    return {caption, true};
}

void DirWindow::undoCommand()
{
    if (!undoState().enabled) return;
    archive_.restoreTable(undo_.back().before, undo_.back().overwrites);
    undo_.pop_back();
    view_.selectEntry(-1);
    refreshResults();
}

std::string DirWindow::menuCaption(MenuItem item) const
{
    if (item == MenuItem::Undo) return undoState().caption;
    for (const auto& entry : kListMenu)
        if (entry.item == item) return entry.caption;
    return {};
}

void DirWindow::menuClick(MenuItem item)
{
    if (!menuEnabled(item)) return;
    switch (item) {
    case MenuItem::Undo: command([this] { undoCommand(); }); break;
    case MenuItem::Export: btn_exportClick(); break;
    case MenuItem::Replace: btn_replaceClick(); break;
    case MenuItem::Rename: ListDblClick(); break;
    case MenuItem::Delete: btn_deleteClick(); break;
    case MenuItem::Import: menu_importClick(); break;
    case MenuItem::ExportAll: menu_exportAllClick(); break;
    case MenuItem::Check: menu_checkClick(); break;
    case MenuItem::Rebuild: menu_rebuildClick(); break;
    }
}

// ---------------------------------------------------------------- drag out

std::vector<DirWindow::DraggedFile> DirWindow::draggedFiles() const
{
    std::vector<DraggedFile> files;
    if (!archive_.isOpen()) return files;
    std::vector<size_t> entries;
    for (int row : view_.selectedEntries())
        if (row >= 0 && static_cast<size_t>(row) < archive_.count()) entries.push_back(static_cast<size_t>(row));
    if (entries.empty()) return files;
    std::vector<std::string> names = archive_.extractFileNames(entries);
    for (size_t k = 0; k < entries.size(); ++k)
        if (!names[k].empty())
            files.push_back({entries[k], names[k], sectorOffset(archive_.table()[entries[k]].sectorCount())});
    return files;
}

// All or nothing: an entry that cannot be written stops the drag before it
// starts, and the files already written go.
void DirWindow::ListDragOutFiles(const std::function<bool(const std::vector<std::string>& paths)>& runDrag)
{
    command([&] {
        std::vector<DraggedFile> files = draggedFiles();
        if (files.empty()) return;
        if (!dragFolder_) dragFolder_ = std::make_unique<DragFolder>();
        const std::string& folder = dragFolder_->fresh();
        std::vector<size_t> which;
        for (const DraggedFile& file : files) which.push_back(file.entry);
        std::vector<std::string> unwritten;
        try {
            auto count = extractShowingProgress(folder, which, [&](const std::string& text) { unwritten.push_back(text); });
            if (count.skipped == 0) unwritten.clear(); // the notes were of names only
        } catch (const StoppedAfter&) {
            dragFolder_->notTaken();
            return;
        } catch (...) {
            dragFolder_->notTaken();
            throw;
        }
        if (!unwritten.empty()) {
            dragFolder_->notTaken();
            throw Failure(unwritten.front());
        }
        std::vector<std::string> paths;
        for (const DraggedFile& file : files) paths.push_back(joinPath(folder, file.name));
        if (!runDrag(paths)) dragFolder_->notTaken();
        else tellLeftOut(files.size());
    });
}

// Entries whose names others selected with them have (ignoring case) went
// as no file: a folder cannot hold both.
void DirWindow::tellLeftOut(size_t dragged) const
{
    size_t selected = view_.selectedEntries().size();
    if (selected <= dragged) return;
    size_t left = selected - dragged;
    dialogs_.showReport("Export", std::to_string(left) + (left == 1 ? " selected entry was" : " selected entries were") +
                                      " not dragged: " + (left == 1 ? "its name is" : "their names are") +
                                      " that of another entry dragged, ignoring case.");
}

void DirWindow::ListDragOutVirtual(const std::function<bool(const std::vector<DraggedFile>& files)>& runDrag)
{
    command([&] {
        std::vector<DraggedFile> files = draggedFiles();
        if (files.empty()) return;
        dragFailure_.clear();
        bool taken = runDrag(files);
        if (!dragFailure_.empty()) throw Failure(dragFailure_);
        if (taken) tellLeftOut(files.size());
    });
}

long long DirWindow::readDragged(const DraggedFile& file, uint64_t offset, std::span<char> into)
{
    try {
        return static_cast<long long>(archive_.readEntry(file.entry, offset, into));
    } catch (const std::exception& failure) {
        if (dragFailure_.empty()) dragFailure_ = failureMessage(failure);
        return -1;
    }
}

void DirWindow::exportAll() { exportEntries({}, "Export all", "Export all entries to"); }

// Entries (all when none are named) as files in a folder the user picks.
// Files already there are overwritten only when the user says so; a Cancel
// stops at the next entry, and what was written stays.
void DirWindow::exportEntries(std::vector<size_t> entries, const std::string& caption, const std::string& folderCaption)
{
    if (entries.empty())
        for (size_t i = 0; i < archive_.count(); ++i) entries.push_back(i);
    // The folder last written to; the first time, the archive's own.
    std::string folder = exportFolder_.empty() ? folderOf(archive_.directoryPath()) : exportFolder_;
    if (!dialogs_.chooseFolder(folderCaption, folder)) return;
    exportFolder_ = folder;
    // Asked of the files extract would write, by the names it gives them; an
    // entry whose name an earlier one has is written by none of them.
    std::vector<size_t> which = entries, free;
    std::vector<std::string> names = archive_.extractFileNames(entries);
    size_t existing = 0;
    for (size_t k = 0; k < names.size(); ++k) {
        if (names[k].empty()) continue;
        if (fileExists(joinPath(folder, names[k]))) ++existing;
        else free.push_back(entries[k]);
    }
    if (existing > 0) {
        bool one = existing == 1;
        std::string question = std::to_string(existing) + (one ? " file is" : " files are") + " already in " +
                               messageText(folder) + ". Overwrite " + (one ? "it" : "them") + ", or skip " +
                               (one ? "its entry" : "their entries") + "?";
        Dialogs::Existing answer = dialogs_.askAboutExisting(caption, question);
        if (answer == Dialogs::Existing::Cancel) return;
        if (answer == Dialogs::Existing::Skip) {
            if (free.empty()) {
                dialogs_.showReport(caption, "Nothing exported: every file is already in " + messageText(folder) + ".");
                return;
            }
            which = free;
        }
    }
    std::vector<std::string> notes;
    auto note = [&](const std::string& text) { notes.push_back(messageWithPeriod(messageText(text))); };
    try {
        auto count = extractShowingProgress(folder, which, note);
        notes.insert(notes.begin(), extractSummary(count.written, count.skipped + (entries.size() - which.size()),
                                                   messageText(folder)));
    } catch (const StoppedAfter& stopped) {
        notes.insert(notes.begin(), "Stopped after " + std::to_string(stopped.entries) + " of " +
                                        std::to_string(which.size()) + " entries; the files written stay in " +
                                        messageText(folder) + ".");
    }
    dialogs_.showReport(caption, joinLines(notes)); // the progress window has gone
}

// The progress window lives only as long as this call: no other dialog may
// show while it is up (it would sit above them and take their input).
Archive::ExtractCount DirWindow::extractShowingProgress(const std::string& folder, const std::vector<size_t>& which,
                                                       const std::function<void(const std::string&)>& note)
{
    uint64_t done = 0;
    Archive::Progress shown = dialogs_.showProgress("Exporting entries...", true);
    auto progress = [&](const Archive::ProgressStep& step) {
        done = step.entries;
        if (shown) shown(step);
    };
    try {
        return archive_.extractEntries(folder, which, note, progress);
    } catch (const Stopped&) {
        throw StoppedAfter{done};
    }
}

void DirWindow::menu_checkClick()
{
    command([this] { dialogs_.showReport("Check archive", joinLines(checkLines(checkArchive(archive_, NameStyle::AsListed)))); });
}

// A rebuild that cannot work is refused before the question; one that grows
// the data file has No as its default answer.
void DirWindow::menu_rebuildClick()
{
    command([this] {
        for (const auto& problem : checkArchive(archive_, NameStyle::AsListed).problems)
            if (problem.kind == CheckProblem::Kind::SpanPastTheEnd)
                throw Failure("The archive cannot be rebuilt: " + problem.text);
        if (auto far = archive_.rebuiltStartTooFar())
            throw Failure("The archive cannot be rebuilt: entry #" + std::to_string(far->entry) + " would start at sector " +
                          std::to_string(far->start) + ", past the last one a directory can address (2147483647)");
        int64_t dead = archive_.deadSpace();
        std::string question = rebuildQuestion(dead) + " Rebuild the archive now?";
        if (!dialogs_.confirm("Rebuild archive", question, dead >= 0)) return;
        int64_t given = archive_.rebuild(dialogs_.showProgress("Rebuilding the archive...", false));
        refreshResults();
        dialogs_.showReport("Rebuild archive", messageWithPeriod("Rebuilt: " + rebuildSummary(given)));
    });
}

}  // namespace brimlet
