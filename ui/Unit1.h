// Unit1: the main window `wnd_dir` of class Twnd_dir, on Qt.
//
// The window creates the controls, paints the rows and forwards every event
// to its behaviour (window/dir_window.h), which owns the open archive and
// decides what each command does. It is the behaviour's view: the lists'
// selections, the captions, the search text and the focus.
#pragma once

#include "align_speed_button.h"
#include "dialogs.h"
#include "entry_list.h"
#include "images.h"
#include "search_results.h"
#include "window/dir_window.h"

#include "HOX_dragdrop.h"
#include "HOX_edit.h"

#include <QGroupBox>
#include <QMenu>
#include <QSettings>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

// Opens the settings file in which the three remembered strings live.
using SettingsFile = std::function<std::unique_ptr<QSettings>()>;
// The user's: "HOX Development/brimlet.conf" in the configuration folder.
std::unique_ptr<QSettings> userSettingsFile();

class Twnd_dir : public QWidget, private brimlet::WindowView {
    Q_OBJECT
public:
    // `arguments`: the program's command-line arguments after its name; the
    // window asks the user through `dialogs` and keeps its settings in the
    // file `settings` opens.
    Twnd_dir(const QStringList& arguments, brimlet::Dialogs& dialogs, SettingsFile settings, QWidget* parent = nullptr);
    ~Twnd_dir() override;

    // The controls, in creation order.
    QGroupBox* GroupBox1;
    TListBox* List;
    QFrame* Panel1;
    TAlignSpeedButton* btn_open;
    TAlignSpeedButton* btn_compress;
    QFrame* Panel2;
    TAlignSpeedButton* btn_replace;
    TAlignSpeedButton* btn_export;
    TAlignSpeedButton* btn_delete;
    TAlignSpeedButton* btn_import;
    QGroupBox* GroupBox2;
    TListBox* ListBox1;
    THOX_edit* inp_find;
    brimlet::FileDialog* OpenDialog1;
    brimlet::FileDialog* SaveDialog1;
    brimlet::FileDialog* OpenDialog2;
    THOX_dragdrop* HOX_dragdrop1;
    std::unique_ptr<TImageList> ImageList1;

    const brimlet::Archive& archive() const { return behaviour_->archive(); }
    EntryListModel* entryModel() const { return entryModel_; }
    SearchResultsModel* resultsModel() const { return resultsModel_; }

    // Makes the archive at `path` the current one and lists its entries.
    void openimg(const QString& path) { behaviour_->openimg(toPath(path)); }

    // Handlers: each forwards to the behaviour's handler of the same name.
    void FormShow() { behaviour_->FormShow(); }
    bool FormCloseQuery() { return behaviour_->FormCloseQuery(); }
    void FormResize();
    void btn_openClick() { behaviour_->btn_openClick(); }
    void btn_exportClick() { behaviour_->btn_exportClick(); }
    void btn_importClick() { behaviour_->btn_importClick(); }
    void btn_replaceClick() { behaviour_->btn_replaceClick(); }
    void btn_deleteClick() { behaviour_->btn_deleteClick(); }
    void ListDblClick() { behaviour_->ListDblClick(); }
    void ListDragOut();
    void ListDrawItem(QWidget* Control, int Index, const QRect& Rect, TOwnerDrawState State);
    void inp_findChange() { behaviour_->inp_findChange(); }
    void ListBox1Click() { behaviour_->ListBox1Click(); }
    void HOX_dragdrop1filesdropped(int numitems, const QStringList& list);

    // The entry list's menu (right-click or the menu key).
    QMenu* ListMenu;
    void menu_importClick() { behaviour_->menu_importClick(); }
    void menu_exportAllClick() { behaviour_->menu_exportAllClick(); }
    void menu_checkClick() { behaviour_->menu_checkClick(); }
    void menu_rebuildClick() { behaviour_->menu_rebuildClick(); }
    // The menu's place for the menu key and Shift+F10: under the selected row.
    QPoint listMenuPlace() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void createControls();
    void createListMenu();
    void placeWindow();
    void fitOuterSize();

    // The behaviour's view.
    int selectedEntry() const override { return List->ItemIndex(); }
    void selectEntry(int row) override { List->setItemIndex(row); }
    std::vector<int> selectedEntries() const override { return List->SelectedRows(); }
    void entriesChanging(const brimlet::TableChange& change, bool before) override;
    void setEntriesCaption(const std::string& caption) override;
    std::string searchText() const override;
    void setSearchText(const std::string& text) override;
    int selectedResult() const override { return ListBox1->ItemIndex(); }
    void resultsChanging(bool before) override { resultsModel_->announce(before); }
    void focusEntries() override { List->setFocus(); }
    void focusResults() override { ListBox1->setFocus(); }

    std::unique_ptr<brimlet::DirWindow> behaviour_;
    EntryListModel* entryModel_;
    SearchResultsModel* resultsModel_;
    bool shown_ = false;
    bool outerSizeFitted_ = false;
};

// The window's fonts: Tahoma where it is installed, else the default sans-serif.
QFont windowFont(int pixelSize);
void registerTahoma();
