// Unit1: the main window `wnd_dir` of class Twnd_dir.
//
// The window owns the open archive (its path and entry table) for the whole
// run. Its handlers stay thin: apply the selection rule, ask through a
// dialog, run one archive operation, then tell the list what changed. Every
// handler runs through the application's failure handler (error_handler.h).
#pragma once

#include "align_speed_button.h"
#include "archive/archive.h"
#include "dialogs.h"
#include "entry_list.h"
#include "images.h"
#include "search_results.h"

#include "HOX_dragdrop.h"
#include "HOX_edit.h"

#include <QGroupBox>
#include <QMenu>
#include <QStringList>
#include <QSettings>
#include <QWidget>
#include <functional>
#include <memory>

class Twnd_dir : public QWidget {
    Q_OBJECT
public:
    // `arguments`: the program's command-line arguments after its name.
    explicit Twnd_dir(const QStringList& arguments = {}, QWidget* parent = nullptr);
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
    std::unique_ptr<TFileDialog> OpenDialog1;
    std::unique_ptr<TFileDialog> SaveDialog1;
    std::unique_ptr<TFileDialog> OpenDialog2;
    THOX_dragdrop* HOX_dragdrop1;
    std::unique_ptr<TImageList> ImageList1;

    // Where the three remembered strings live: organization "HOX Development",
    // application "brimlet". Tests point it elsewhere.
    static std::function<std::unique_ptr<QSettings>()> settingsStore;

    const brimlet::Archive& archive() const { return entryModel_->archive(); }
    EntryListModel* entryModel() const { return entryModel_; }
    SearchResultsModel* resultsModel() const { return resultsModel_; }

    // Makes the archive at `path` the current one and lists its entries.
    void openimg(const QString& path);

    // Handlers.
    void FormShow();
    void FormCloseQuery();
    void FormResize();
    void btn_openClick();
    void btn_exportClick();
    void btn_importClick();
    void btn_replaceClick();
    void btn_deleteClick();
    void ListDblClick();
    void ListDrawItem(QWidget* Control, int Index, const QRect& Rect, TOwnerDrawState State);
    void inp_findChange();
    void ListBox1Click();
    void HOX_dragdrop1filesdropped(int numitems, const QStringList& list);

    // The entry list's menu (right-click or the menu key); entry_menu.cpp.
    QMenu* ListMenu;
    void menu_importClick();
    void menu_exportAllClick();
    void menu_checkClick();
    void menu_rebuildClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void createControls();
    void createListMenu();
    brimlet::Archive::Progress progressShownAs(const QString& label);
    void placeWindow();
    void fitOuterSize();
    void applySelectionRule();
    void presetEntryDialogs(const QString& text);
    void openCommand();
    void replaceCommand(const QString* offeredFile);
    void restoreSettings();
    static void createStore(const QSettings& settings);
    void saveSettings();

    QStringList arguments_;
    EntryListModel* entryModel_;
    SearchResultsModel* resultsModel_;
    bool shown_ = false;
    bool outerSizeFitted_ = false;
};

// Paths reach the archive absolute (so that its messages name the full path)
// and in the file system's encoding.
std::string toPath(const QString& path);
QString fromPath(const std::string& path);

// The window's fonts: Tahoma where it is installed, else the default sans-serif.
QFont windowFont(int pixelSize);
void registerTahoma();
