// The behaviour of the main window `wnd_dir`, written once for every front
// end: it owns the open archive (its path and entry table) for the whole
// run, and each handler applies the selection rule, asks through a dialog,
// runs one archive operation and tells the view what changed.
//
// A front end creates the controls, paints the rows from rowText/sizeText/
// iconIndexFor over `archive().table()`, and forwards every event to the
// handler of the same name. Each handler catches its own failure and shows
// it in the error box (caption "Brimlet", a "." appended by the rule of
// messageWithPeriod), so that no exception ever reaches a toolkit.
#pragma once

#include "archive/archive.h"
#include "dialogs.h"
#include "drag_folder.h"
#include "search_results.h"
#include "window_view.h"

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace brimlet {

class DirWindow {
public:
    using SettingsOpener = std::function<std::unique_ptr<SettingsStore>()>;

    // `arguments`: the program's command-line arguments after its name. The
    // view, the dialogs and the settings are the front end's (a test's).
    DirWindow(WindowView& view, Dialogs& dialogs, SettingsOpener settings, std::vector<std::string> arguments);

    const Archive& archive() const { return archive_; }
    const SearchResults& results() const { return results_; }

    FileDialog OpenDialog1{"OpenDialog1", FileDialog::Kind::Open, "GTA3 & VC dir or img file|*.dir;*.img", {}, {}};
    FileDialog SaveDialog1{"SaveDialog1", FileDialog::Kind::Save, "any file|*.*", {}, {}};
    FileDialog OpenDialog2{"OpenDialog2", FileDialog::Kind::Open, "*.col;*.dff;*.txd|*.col;*.dff;*.txd", {}, {}};

    // Makes the archive at `path` the current one and lists its entries.
    void openimg(const std::string& path);

    // Handlers, named after the control and the event.
    void FormShow();
    // Whether the window may close now, whoever asks (the user, taskkill,
    // another program): not while a command runs, whose dialogs the window
    // owns. When it may, the settings are saved first.
    bool FormCloseQuery();
    void btn_openClick();
    void btn_exportClick();
    void btn_importClick();
    void btn_replaceClick();
    void btn_deleteClick();
    void ListDblClick();
    void inp_findChange();
    void ListBox1Click();
    void HOX_dragdrop1filesdropped(int numitems, const std::vector<std::string>& list);

    // The entry list's menu: first the commands of the selected entries (the
    // buttons' and the double-click's), then the work on the whole archive:
    // Import files..., Export all..., Check archive, Rebuild archive...; none
    // has anything to work on before an open, the entries' commands and
    // Export all nothing in an empty archive. Each archive-wide item ends
    // with its report.
    enum class MenuItem { Undo, Export, Replace, Rename, Delete, Import, ExportAll, Check, Rebuild };
    struct MenuEntry {
        MenuItem item;
        const char* caption;  // "&" before the mnemonic
        const char* shortcut; // the key shown beside it, or ""
        bool separatorAfter;
    };
    static constexpr MenuEntry kListMenu[] = {{MenuItem::Undo, "&Undo", "Ctrl+Z", true},
                                              {MenuItem::Export, "&Export...", "", false},
                                              {MenuItem::Replace, "Re&place...", "", false},
                                              {MenuItem::Rename, "Re&name...", "F2", false},
                                              {MenuItem::Delete, "&Delete", "", true},
                                              {MenuItem::Import, "&Import files...", "", false},
                                              {MenuItem::ExportAll, "E&xport all...", "", false},
                                              {MenuItem::Check, "&Check archive", "", false},
                                              {MenuItem::Rebuild, "&Rebuild archive...", "", false}};
    // Rename takes the selected row as it is (the selection rule does not
    // apply to it): with none selected it has nothing to work on.
    bool menuEnabled(MenuItem item) const
    {
        if (item == MenuItem::Undo) return undoState().enabled;
        bool archiveWide = item == MenuItem::Import || item == MenuItem::Check || item == MenuItem::Rebuild;
        if (item == MenuItem::Rename && view_.selectedEntries().empty()) return false;
        return archive_.isOpen() && (archiveWide || archive_.count() > 0);
    }
    // The item's caption as the menu shows it now (Undo names what it undoes).
    std::string menuCaption(MenuItem item) const;

    // Undo (Ctrl+Z, or the menu's item) puts the directory back as it was
    // before the last Delete, Rename, Add, Import or moving Replace, level by
    // level for as long as the archive is open, while the bytes it points
    // at are still in the data file. Otherwise the item is disabled, and its
    // caption says why.
    struct UndoState {
        std::string caption; // "&Undo Delete "car.dff"" (a "&" of a name doubled)
        bool enabled;
    };
    UndoState undoState() const;
    // The menu is asked for over row `row` (-1: below the rows, or by the
    // keyboard): a row not among the selected ones becomes the selection.
    void ListContextPopup(int row);
    // Runs the item's command, as its button or its key does (F2: Rename);
    // an item that is not enabled does nothing.
    void menuClick(MenuItem item);
    void menu_importClick();
    void menu_exportAllClick();
    void menu_checkClick();
    void menu_rebuildClick();

    // Dragging the selected entries out of the list onto another program (a
    // file manager's folder). Each is offered as the file extract writes,
    // under the name extract gives it (an entry whose name an earlier one
    // has is left out); the taker asks its own question about a file of
    // that name already there. A drop target of this program's own refuses
    // the drag, so a drag that ends on the window does nothing.
    struct DraggedFile {
        size_t entry;
        std::string name; // UTF-8
        uint64_t size;    // the span's bytes
    };
    std::vector<DraggedFile> draggedFiles() const;
    // For a drag whose files must exist when it starts (X's file URLs): they
    // are written into the drag folder first (drag_folder.h), then `runDrag`
    // gets their paths and says whether another program took them.
    void ListDragOutFiles(const std::function<bool(const std::vector<std::string>& paths)>& runDrag);
    // For a drag whose files are written as they are dropped (the Windows
    // shell's virtual files): the taker pulls each file's bytes through
    // readDragged while `runDrag` runs; the first failure shows once it is over.
    // `runDrag` says whether another program took the files.
    void ListDragOutVirtual(const std::function<bool(const std::vector<DraggedFile>& files)>& runDrag);
    // Bytes of a dragged file from `offset` (0 at its end); -1 on a failure.
    long long readDragged(const DraggedFile& file, uint64_t offset, std::span<char> into);

    // Runs `handler`; a failure leaves it where it happened, keeps whatever
    // was already written, and shows in the error box.
    void guarded(const std::function<void()>& handler);

private:
    void command(const std::function<void()>& handler);
    void restoreSettings();
    void saveSettings();
    void openCommand();
    void applySelectionRule();
    void presetEntryDialogs(const std::string& text);
    void exportCommand();
    bool chooseEntryFile();
    void addCommand();
    void replaceCommand(const std::string* offeredFile);
    void deleteCommand();
    void renameCommand();
    void refreshResults();
    void jumpToResult();
    void filesDropped(const std::vector<std::string>& list);
    void exportAll();
    void exportEntries(std::vector<size_t> entries, const std::string& caption, const std::string& folderCaption);
    std::vector<size_t> severalSelected() const;
    struct UndoStep {
        std::string what; // "Delete "car.dff""
        EntryTable before;
        uint64_t overwrites;
    };
    UndoStep undoPoint() const { return {{}, archive_.table(), archive_.overwrites()}; }
    // After a command: `point` becomes the top of the undo steps when the
    // command changed the directory and overwrote no byte.
    void keepUndo(UndoStep point, std::string what);
    void undoCommand();
    void refuseSeveral(const char* command) const;
    void tellLeftOut(size_t dragged) const;
    struct StoppedAfter {
        uint64_t entries;
    };
    Archive::ExtractCount extractShowingProgress(const std::string& folder, const std::vector<size_t>& which,
                                                 const std::function<void(const std::string&)>& note);
    std::string selectedRowText() const;

    WindowView& view_;
    Dialogs& dialogs_;
    SettingsOpener settings_;
    std::vector<std::string> arguments_;
    Archive archive_;
    SearchResults results_;
    std::string exportFolder_; // where Export all last wrote
    std::vector<UndoStep> undo_; // the last is undone first
    std::unique_ptr<DragFolder> dragFolder_; // made at the first drag of files
    std::string dragFailure_;                // of the virtual drag under way
    bool busy_ = false;        // a command runs (and may be waiting on its dialog)
};

// The list error for a row that is not there: "List index out of bounds (-1)".
[[noreturn]] void listIndexOutOfBounds(int index);

}  // namespace brimlet
