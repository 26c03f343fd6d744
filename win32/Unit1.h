// Unit1: the main window `wnd_dir` of class Twnd_dir, on the Win32 API.
//
// The window creates the controls of the layout, draws the rows of `List`
// (an owner-drawn list box without strings of its own: its rows are the
// entry table's), shows the dialogs and forwards every event to its
// behaviour (window/dir_window.h), which decides what each command does.
#pragma once

#include "HOX_dragdrop.h"
#include "HOX_edit.h"
#include "controls.h"
#include "dialogs.h"
#include "window/dir_window.h"
#include "window/geometry.h"

#include <memory>
#include <string>
#include <vector>

namespace brimlet::win32 {

// The TOwnerDrawState bits of a row as the list passes them.
enum : UINT { odSelected = ODS_SELECTED, odFocused = ODS_FOCUS };

class Twnd_dir : private WindowView {
public:
    // `arguments`: the program's command-line arguments after its name.
    explicit Twnd_dir(std::vector<std::string> arguments);
    ~Twnd_dir() override;

    HWND Handle() const { return window_; }
    void show(int how);
    // A message for the window's tab order (Tab between List, ListBox1 and
    // inp_find); true when it was one.
    // F2 in the entry list renames; Ctrl+Z undoes.
    bool isDialogMessage(MSG& message);

    static void registerClass();

private:
    void createControls();
    void createListMenu();
    void fitToScreen();
    static ScreenRect designedPlace();
    void layout();
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void command(int id, int code);
    void drawItem(const DRAWITEMSTRUCT& item);
    void ListDrawItem(HWND Control, int Index, const RECT& Rect, UINT State);
    void drawResult(const DRAWITEMSTRUCT& item);
    void showListMenu(LPARAM at);
    bool ListMouseDown(LPARAM at);
    void ListDragOut();
    static LRESULT CALLBACK listProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self);
    void FormResize();
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // The behaviour's view.
    int selectedEntry() const override;
    void selectEntry(int row) override;
    std::vector<int> selectedEntries() const override;
    void entriesChanging(const TableChange& change, bool before) override;
    void setEntriesCaption(const std::string& caption) override;
    std::string searchText() const override;
    void setSearchText(const std::string& text) override;
    int selectedResult() const override;
    void resultsChanging(bool before) override;
    void focusEntries() override { ::SetFocus(List); }
    void focusResults() override { ::SetFocus(ListBox1); }

    Win32Dialogs dialogs_;
    HDC Canvas = nullptr; // the list's drawing surface, while a row is drawn
    std::unique_ptr<DirWindow> behaviour_;
    HWND window_ = nullptr;
    HWND lastFocus_ = nullptr;
    OwnedFont windowFont_, listFont_;

    // The controls, in creation order.
    HWND GroupBox1 = nullptr;
    HWND List = nullptr;
    HWND Panel1 = nullptr;
    std::unique_ptr<TAlignSpeedButton> btn_open, btn_compress;
    HWND Panel2 = nullptr;
    std::unique_ptr<TAlignSpeedButton> btn_replace, btn_export, btn_delete, btn_import;
    HWND GroupBox2 = nullptr;
    HWND ListBox1 = nullptr;
    std::unique_ptr<THOX_edit> inp_find;
    std::unique_ptr<THOX_dragdrop> HOX_dragdrop1;
    std::unique_ptr<TImageList> ImageList1;
    OwnedMenu ListMenu;
};

}  // namespace brimlet::win32
