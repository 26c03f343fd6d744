#include "Unit1.h"

#include "drag_out.h"

#include "window/geometry.h"
#include "window/presentation.h"
#include "window/wording.h"

#include <commctrl.h>
#include <windowsx.h>

#include "ui/art/compress_glyph.xpm"
#include "ui/art/delete_glyph.xpm"
#include "ui/art/export_glyph.xpm"
#include "ui/art/import_glyph.xpm"
#include "ui/art/open_glyph.xpm"
#include "ui/art/replace_glyph.xpm"

namespace brimlet::win32 {

namespace {

namespace look = presentation;

// The list menu's items take the ids from idMenu on, in the menu's order.
enum ControlId : int {
    idList = 100, idListBox1, idFind, idOpen, idCompress, idReplace, idExport, idDelete, idImport, idMenu
};

constexpr UINT kFormShow = WM_APP + 1; // the window's first show, once it is painted

COLORREF colorRef(look::Colour colour) { return RGB(colour.red, colour.green, colour.blue); }

// `panelWidth` in pixels as shown (scaled).
void placeButton(TAlignSpeedButton& button, const look::ButtonPlace& place, int panelWidth)
{
    int width = place.width ? scaled(place.width) : std::max(panelWidth - scaled(place.left) - scaled(1), 0);
    button.setBounds(scaled(place.left), scaled(place.top), width, scaled(place.height));
}

// `several`: Ctrl+click, Shift+click and Shift+arrows select several rows.
HWND createList(HWND parent, int id, int itemHeight, HFONT font, bool several = false)
{
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_NODATA | LBS_NOTIFY |
                  LBS_NOINTEGRALHEIGHT | (several ? LBS_EXTENDEDSEL : 0);
    HWND list = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"", style, 0, 0, 0, 0, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                  nullptr);
    ::SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ::SendMessageW(list, LB_SETITEMHEIGHT, 0, scaled(itemHeight));
    return list;
}

void setFont(HWND window, HFONT font) { ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE); }

void textAt(HDC dc, int x, int y, const std::string& text)
{
    std::wstring shown = wide(text);
    ::TextOutW(dc, x, y, shown.c_str(), static_cast<int>(shown.size()));
}

}  // namespace

// ---------------------------------------------------------------- the window

void Twnd_dir::registerClass()
{
    WNDCLASSEXW kind{};
    kind.cbSize = sizeof kind;
    kind.lpfnWndProc = windowProc;
    kind.hInstance = ::GetModuleHandleW(nullptr);
    kind.hIcon = ::LoadIconW(kind.hInstance, MAKEINTRESOURCEW(1));
    kind.hIconSm = static_cast<HICON>(::LoadImageW(kind.hInstance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    kind.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    kind.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    kind.lpszClassName = L"Twnd_dir";
    ::RegisterClassExW(&kind);
    TAlignSpeedButton::registerClass();
    Win32Dialogs::registerClasses();
}

Twnd_dir::Twnd_dir(std::vector<std::string> arguments)
{
    WindowView& view = *this;
    behaviour_ = std::make_unique<DirWindow>(view, dialogs_, [] { return std::unique_ptr<SettingsStore>(new RegistrySettings); },
                                             std::move(arguments));
    windowFont_.reset(makeTahoma(look::kWindowFontPixels));
    listFont_.reset(makeTahoma(look::kListFontPixels));
    // The layout's sizes are outer ones, frame included, as CreateWindow takes them.
    ScreenRect designed = designedPlace();
    window_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, L"Twnd_dir", wide(look::kWindowTitle).c_str(),
                                WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, designed.left, designed.top, designed.width,
                                designed.height, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
    fitToScreen();
    dialogs_.setOwner(window_);
    createControls();
    createListMenu();
    layout();
}

// At a high dpi the scaled window can be taller than a small screen.
void Twnd_dir::fitToScreen()
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& work = monitor.rcWork;
    ScreenRect designed = designedPlace();
    ScreenRect fitted = fitToWorkArea(designed, {work.left, work.top, work.right - work.left, work.bottom - work.top});
    if (fitted != designed) ::MoveWindow(window_, fitted.left, fitted.top, fitted.width, fitted.height, FALSE);
}

ScreenRect Twnd_dir::designedPlace()
{
    const ScreenRect& at = look::kDesignedWindow;
    return {scaled(at.left), scaled(at.top), scaled(at.width), scaled(at.height)};
}

Twnd_dir::~Twnd_dir()
{
    HOX_dragdrop1.reset();
    if (::IsWindow(window_)) ::DestroyWindow(window_);
}

void Twnd_dir::createControls()
{
    HFONT font = windowFont_.get();
    GroupBox1 = createContainer(window_, L"BUTTON", wide(look::kEntriesCaption).c_str(), BS_GROUPBOX);
    setFont(GroupBox1, font);
    List = createList(GroupBox1, idList, look::kEntryRowHeight, listFont_.get(), true);
    ::SetWindowSubclass(List, listProc, 1, reinterpret_cast<DWORD_PTR>(this));
    Panel1 = createContainer(GroupBox1, L"STATIC", L"", 0);
    auto button = [&](HWND panel, int id, const look::ButtonPlace& place, const char* const* glyph) {
        return std::make_unique<TAlignSpeedButton>(panel, id, wide(place.caption), glyph, font);
    };
    btn_open = button(Panel1, idOpen, look::kOpenButton, open_glyph);
    btn_compress = button(Panel1, idCompress, look::kCompressButton, compress_glyph);
    btn_compress->setEnabled(false); // never enabled: there is no compression
    Panel2 = createContainer(GroupBox1, L"STATIC", L"", 0);
    btn_replace = button(Panel2, idReplace, look::kReplaceButton, replace_glyph);
    btn_export = button(Panel2, idExport, look::kExportButton, export_glyph);
    btn_delete = button(Panel2, idDelete, look::kDeleteButton, delete_glyph);
    btn_import = button(Panel2, idImport, look::kImportButton, import_glyph);
    GroupBox2 = createContainer(window_, L"BUTTON", wide(look::kSearchCaption).c_str(), BS_GROUPBOX);
    setFont(GroupBox2, font);
    ListBox1 = createList(GroupBox2, idListBox1, look::kResultRowHeight, font);
    inp_find = std::make_unique<THOX_edit>(GroupBox2, idFind);
    inp_find->setFont(font);
    inp_find->setNumbersonly(false);
    inp_find->setFlat(true);
    HOX_dragdrop1 = std::make_unique<THOX_dragdrop>(window_);
    HOX_dragdrop1->setActive(true);
    HOX_dragdrop1->onfilesdropped = [this](int numitems, const std::vector<std::string>& list) {
        behaviour_->HOX_dragdrop1filesdropped(numitems, list);
    };
    ImageList1 = std::make_unique<TImageList>();
}

void Twnd_dir::createListMenu()
{
    ListMenu.reset(::CreatePopupMenu());
    int id = idMenu;
    for (const auto& entry : DirWindow::kListMenu) {
        std::string caption = std::string(entry.caption) + (*entry.shortcut ? std::string("\t") + entry.shortcut : "");
        ::AppendMenuW(ListMenu.get(), MF_STRING, id++, wide(caption).c_str());
        if (entry.separatorAfter) ::AppendMenuW(ListMenu.get(), MF_SEPARATOR, 0, nullptr);
    }
}

void Twnd_dir::show(int how)
{
    ::ShowWindow(window_, how);
    ::UpdateWindow(window_);
    ::PostMessageW(window_, kFormShow, 0, 0);
}

// The layout's docking: the search group at the bottom, the entries above
// it; in each group its panels at the top and bottom and its list between.
void Twnd_dir::layout()
{
    RECT client;
    ::GetClientRect(window_, &client);
    int width = client.right, height = client.bottom;
    int searchHeight = scaled(look::kSearchGroupHeight), entriesHeight = std::max(height - searchHeight, 0);
    ::MoveWindow(GroupBox1, 0, 0, width, entriesHeight, TRUE);
    ::MoveWindow(GroupBox2, 0, entriesHeight, width, searchHeight, TRUE);

    TEXTMETRICW metrics{};
    {
        WindowDC dc(window_);
        Selected font(dc.get(), windowFont_.get());
        ::GetTextMetricsW(dc.get(), &metrics);
    }
    int side = scaled(look::kGroupMargin), top = metrics.tmHeight + scaled(1), inner = std::max(width - 2 * side, 0);
    int entriesInner = std::max(entriesHeight - top - side, 0);
    int topPanel = scaled(look::kTopPanelHeight), bottomPanel = scaled(look::kBottomPanelHeight);
    ::MoveWindow(Panel1, side, top, inner, topPanel, TRUE);
    ::MoveWindow(List, side, top + topPanel, inner, std::max(entriesInner - topPanel - bottomPanel, 0), TRUE);
    ::MoveWindow(Panel2, side, top + std::max(entriesInner - bottomPanel, 0), inner, bottomPanel, TRUE);
    placeButton(*btn_open, look::kOpenButton, inner);
    placeButton(*btn_compress, look::kCompressButton, inner);
    placeButton(*btn_export, look::kExportButton, inner);
    placeButton(*btn_replace, look::kReplaceButton, inner);
    placeButton(*btn_import, look::kImportButton, inner);
    placeButton(*btn_delete, look::kDeleteButton, inner);

    int searchInner = std::max(searchHeight - top - side, 0), find = scaled(look::kFindHeight);
    inp_find->setBounds(side, top, inner, find);
    ::MoveWindow(ListBox1, side, top + find, inner, std::max(searchInner - find, 0), TRUE);
}

// The size column hangs on the right edge, so every row is drawn again, now.
void Twnd_dir::FormResize()
{
    ::InvalidateRect(List, nullptr, TRUE);
    ::UpdateWindow(List);
}

LRESULT CALLBACK Twnd_dir::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Twnd_dir*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || !self->window_) return ::DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    // No exception may leave a window procedure: it would cross the system's frames.
    self->behaviour_->guarded([&] { result = self->handle(message, wParam, lParam); });
    return result;
}

LRESULT Twnd_dir::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        if (List) {
            layout();
            FormResize();
        }
        return 0;
    case WM_GETMINMAXINFO:
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize.x = scaled(look::kMinimumWidth);
        return 0;
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DRAWITEM: {
        auto& item = *reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (item.hwndItem == List) drawItem(item);
        else if (item.hwndItem == ListBox1) drawResult(item);
        return TRUE;
    }
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == List) showListMenu(lParam);
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: // group boxes and panels on the button face
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_BTNFACE));
        ::SetTextColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_BTNTEXT));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    case WM_ACTIVATE: // the control that had the focus gets it back, as in a dialog
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focused = ::GetFocus();
            if (focused && ::IsChild(window_, focused)) lastFocus_ = focused;
        } else if (!HIWORD(wParam)) {
            ::SetFocus(lastFocus_ && ::IsWindow(lastFocus_) ? lastFocus_ : List);
        }
        return 0;
    case kFormShow:
        behaviour_->FormShow();
        return 0;
    case WM_CLOSE: // also from outside: taskkill, another program
        if (behaviour_->FormCloseQuery()) ::DestroyWindow(window_);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

void Twnd_dir::command(int id, int code)
{
    switch (id) {
    case idOpen: behaviour_->btn_openClick(); break;
    case idExport: behaviour_->btn_exportClick(); break;
    case idImport: behaviour_->btn_importClick(); break;
    case idReplace: behaviour_->btn_replaceClick(); break;
    case idDelete: behaviour_->btn_deleteClick(); break;
    case idList:
        if (code == LBN_DBLCLK) behaviour_->ListDblClick();
        break;
    case idListBox1:
        if (code == LBN_SELCHANGE) behaviour_->ListBox1Click();
        break;
    case idFind:
        if (code == EN_CHANGE) behaviour_->inp_findChange();
        break;
    default: break; // Enter and Esc in the window do nothing
    }
}

// The menu at the pointer, or under the selected row for the menu key and
// Shift+F10; its items only once an archive is open.
void Twnd_dir::showListMenu(LPARAM at)
{
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    int under = -1;
    if (at != -1) {
        POINT inList = point;
        ::ScreenToClient(List, &inList);
        LRESULT hit = ::SendMessageW(List, LB_ITEMFROMPOINT, 0, MAKELPARAM(inList.x, inList.y));
        if (!HIWORD(hit)) under = LOWORD(hit);
    }
    behaviour_->ListContextPopup(under);
    if (at == -1) {
        RECT row{0, 0, 0, 0};
        int selected = selectedEntry();
        if (selected >= 0) ::SendMessageW(List, LB_GETITEMRECT, selected, reinterpret_cast<LPARAM>(&row));
        look::Point below = look::menuPointUnderRow(row.left, row.bottom);
        point = {below.x, below.y};
        ::ClientToScreen(List, &point);
    }
    int id = idMenu;
    for (const auto& entry : DirWindow::kListMenu) {
        bool enabled = behaviour_->menuEnabled(entry.item);
        std::string caption = behaviour_->menuCaption(entry.item) + (*entry.shortcut ? std::string("\t") + entry.shortcut : "");
        ::ModifyMenuW(ListMenu.get(), static_cast<UINT>(id), MF_BYCOMMAND | MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED),
                      static_cast<UINT_PTR>(id), wide(caption).c_str());
        ++id;
    }
    int chosen = ::TrackPopupMenu(ListMenu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, window_, nullptr);
    size_t item = static_cast<size_t>(chosen - idMenu);
    if (chosen >= idMenu && item < std::size(DirWindow::kListMenu)) behaviour_->menuClick(DirWindow::kListMenu[item].item);
}

// ---------------------------------------------------------------- dragging out

// A plain press on a row is the list's own only for a row below the last:
// otherwise it may start a drag out.
LRESULT CALLBACK Twnd_dir::listProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self)
{
    if (message == WM_LBUTTONDOWN && !(wParam & (MK_SHIFT | MK_CONTROL))) {
        auto* window = reinterpret_cast<Twnd_dir*>(self);
        bool handled = false;
        window->behaviour_->guarded([&] { handled = window->ListMouseDown(lParam); });
        if (handled) return 0;
    }
    if (message == WM_NCDESTROY) ::RemoveWindowSubclass(list, listProc, 1);
    return ::DefSubclassProc(list, message, wParam, lParam);
}

// The pressed row becomes the selection, unless it is one of several
// selected: those stay for the drag. A move past the system's drag
// distance with the button held drags the selected rows out; a release
// without one is a click, which leaves the pressed row alone selected.
bool Twnd_dir::ListMouseDown(LPARAM at)
{
    LRESULT hit = ::SendMessageW(List, LB_ITEMFROMPOINT, 0, at);
    if (HIWORD(hit)) return false;
    int row = LOWORD(hit);
    ::SetFocus(List);
    bool ofSeveral = ::SendMessageW(List, LB_GETSELCOUNT, 0, 0) > 1 && ::SendMessageW(List, LB_GETSEL, row, 0) > 0;
    if (!ofSeveral) selectEntry(row);
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    ::ClientToScreen(List, &point);
    if (::DragDetect(List, point)) ListDragOut();
    else if (ofSeveral) selectEntry(row);
    return true;
}

void Twnd_dir::ListDragOut()
{
    behaviour_->ListDragOutVirtual([this](const std::vector<DirWindow::DraggedFile>& files) {
        return dragFilesOut(files, [this](const DirWindow::DraggedFile& file, uint64_t offset, std::span<char> into) {
            return behaviour_->readDragged(file, offset, into);
        });
    });
}

// ---------------------------------------------------------------- rows

// The list prepares the surface (its font; the highlight colours for a
// selected row, the window colours otherwise), the handler draws the row,
// and the focus rectangle comes last.
void Twnd_dir::drawItem(const DRAWITEMSTRUCT& item)
{
    HDC dc = item.hDC;
    bool selected = item.itemState & ODS_SELECTED;
    Selected font(dc, listFont_.get());
    ::SetBkMode(dc, OPAQUE);
    ::SetBkColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    bool row = item.itemID != static_cast<UINT>(-1) && item.itemID < behaviour_->archive().count();
    if (row) {
        Canvas = dc;
        ListDrawItem(List, static_cast<int>(item.itemID), item.rcItem, item.itemState & (odSelected | odFocused));
        Canvas = nullptr;
    }
    if (item.itemState & ODS_FOCUS) ::DrawFocusRect(dc, &item.rcItem);
}

void Twnd_dir::ListDrawItem(HWND, int Index, const RECT& Rect, UINT State)
{
    bool marked = look::isMarked(State & odSelected, State & odFocused);
    const DirEntry& entry = behaviour_->archive().table()[static_cast<size_t>(Index)];
    ::ExtTextOutW(Canvas, 0, 0, ETO_OPAQUE, &Rect, L"", 0, nullptr);
    ::SetTextColor(Canvas, colorRef(look::nameColour(marked)));
    textAt(Canvas, Rect.left + scaled(look::kNameLeft), Rect.top, rowText(entry.nameView()));
    ::SetTextColor(Canvas, colorRef(look::sizeColour(marked)));
    textAt(Canvas, Rect.right - scaled(look::kSizeFromRight), Rect.top, sizeText(entry.sectorCount()));
    int icon = iconIndexFor(entry.nameView());
    if (icon >= 0) ImageList1->Draw(Canvas, Rect.left, Rect.top, icon);
}

// A result row as a plain list box draws its text.
void Twnd_dir::drawResult(const DRAWITEMSTRUCT& item)
{
    HDC dc = item.hDC;
    bool selected = item.itemState & ODS_SELECTED;
    Selected font(dc, windowFont_.get());
    ::SetBkColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &item.rcItem, L"", 0, nullptr);
    const SearchResults& results = behaviour_->results();
    if (item.itemID != static_cast<UINT>(-1) && item.itemID < results.count())
        textAt(dc, item.rcItem.left + scaled(look::kResultTextLeft), item.rcItem.top, rowText(results.name(item.itemID)));
    if (item.itemState & ODS_FOCUS) ::DrawFocusRect(dc, &item.rcItem);
}

// ---------------------------------------------------------------- the behaviour's view

// The list selects several rows: the first of them, or -1.
int Twnd_dir::selectedEntry() const
{
    int first = -1;
    if (::SendMessageW(List, LB_GETSELCOUNT, 0, 0) <= 0) return -1;
    ::SendMessageW(List, LB_GETSELITEMS, 1, reinterpret_cast<LPARAM>(&first));
    return first;
}

std::vector<int> Twnd_dir::selectedEntries() const
{
    int count = static_cast<int>(::SendMessageW(List, LB_GETSELCOUNT, 0, 0));
    std::vector<int> rows(static_cast<size_t>(std::max(count, 0)));
    if (count > 0) ::SendMessageW(List, LB_GETSELITEMS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(rows.data()));
    return rows; // ascending, as the list keeps them
}

// Only `row` selected, with the focus and scrolled into view; none for a
// row outside the list.
void Twnd_dir::selectEntry(int row)
{
    int count = static_cast<int>(::SendMessageW(List, LB_GETCOUNT, 0, 0));
    ::SendMessageW(List, LB_SETSEL, FALSE, -1);
    if (row < 0 || row >= count) return;
    ::SendMessageW(List, LB_SETSEL, TRUE, row);
    ::SendMessageW(List, LB_SETANCHORINDEX, row, 0);
    ::SendMessageW(List, LB_SETCARETINDEX, row, FALSE);
}

bool Twnd_dir::isDialogMessage(MSG& message)
{
    // F2 renames the selected row and Ctrl+Z undoes, as the menu's items do.
    if (message.message == WM_KEYDOWN && message.hwnd == List) {
        bool control = ::GetKeyState(VK_CONTROL) < 0;
        if (message.wParam == VK_F2 || (message.wParam == 'Z' && control)) {
            behaviour_->menuClick(message.wParam == VK_F2 ? DirWindow::MenuItem::Rename : DirWindow::MenuItem::Undo);
            return true;
        }
    }
    return ::IsDialogMessageW(window_, &message);
}

// The list has no rows of its own, only their number: a change of the table
// is a new count, or a repaint of the rows that changed.
void Twnd_dir::entriesChanging(const TableChange& change, bool before)
{
    if (before) return;
    if (change.kind == TableChange::Kind::Update) {
        for (size_t row = change.first; row <= change.last; ++row) {
            RECT area;
            if (::SendMessageW(List, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&area)) != LB_ERR)
                ::InvalidateRect(List, &area, TRUE);
        }
        return;
    }
    int selected = selectedEntry();
    int top = static_cast<int>(::SendMessageW(List, LB_GETTOPINDEX, 0, 0));
    ::SendMessageW(List, LB_SETCOUNT, behaviour_->archive().count(), 0);
    // A list of several selected rows may keep them across a new count: a
    // table made anew has none selected, a row added or removed the one.
    selectEntry(change.kind == TableChange::Kind::Reset ? -1 : selected);
    if (change.kind != TableChange::Kind::Reset) ::SendMessageW(List, LB_SETTOPINDEX, top, 0);
}

void Twnd_dir::setEntriesCaption(const std::string& caption) { setWindowText(GroupBox1, caption); }

std::string Twnd_dir::searchText() const { return inp_find->text(); }

void Twnd_dir::setSearchText(const std::string& text) { inp_find->setText(text); }

int Twnd_dir::selectedResult() const { return static_cast<int>(::SendMessageW(ListBox1, LB_GETCURSEL, 0, 0)); }

void Twnd_dir::resultsChanging(bool before)
{
    if (!before) ::SendMessageW(ListBox1, LB_SETCOUNT, behaviour_->results().count(), 0);
}

}  // namespace brimlet::win32
