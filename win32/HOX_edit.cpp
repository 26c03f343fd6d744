#include "HOX_edit.h"

#include "controls.h"

#include <commctrl.h>

using brimlet::win32::wide;

THOX_edit::THOX_edit(HWND parent, int id) : parent_(parent), id_(id) { createWindow(L"", RECT{0, 0, 0, 0}); }

THOX_edit::~THOX_edit()
{
    if (::IsWindow(window_)) ::RemoveWindowSubclass(window_, subclassProc, 1);
}

// Ctl3D is off: a one-pixel border, and the static edge when flat.
DWORD THOX_edit::style() const
{
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
    if (alignment_ == taRightJustify) style |= ES_RIGHT;
    if (alignment_ == taCenter) style |= ES_CENTER;
    return style;
}

DWORD THOX_edit::extendedStyle() const { return flat_ ? WS_EX_STATICEDGE : 0; }

void THOX_edit::createWindow(const std::wstring& text, const RECT& bounds)
{
    window_ = ::CreateWindowExW(extendedStyle(), L"EDIT", text.c_str(), style(), bounds.left, bounds.top,
                                bounds.right - bounds.left, bounds.bottom - bounds.top, parent_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), ::GetModuleHandleW(nullptr),
                                nullptr);
    if (font_) ::SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    ::SetWindowSubclass(window_, subclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

// The styles apply at creation: a new native window, in the old one's place
// in the tab order, with its text, place, font and focus.
void THOX_edit::recreateWindow()
{
    HWND old = window_;
    bool focused = ::GetFocus() == old;
    RECT bounds;
    ::GetWindowRect(old, &bounds);
    ::MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&bounds), 2);
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(old)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(old, text.data(), static_cast<int>(text.size()))));
    HWND before = ::GetWindow(old, GW_HWNDPREV);
    ::RemoveWindowSubclass(old, subclassProc, 1);
    ::DestroyWindow(old);
    createWindow(text, bounds);
    ::SetWindowPos(window_, before ? before : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (focused) ::SetFocus(window_);
}

void THOX_edit::setAlignment(TAlignment alignment)
{
    if (alignment == alignment_) return;
    alignment_ = alignment;
    recreateWindow();
    UpdateTextRect();
}

void THOX_edit::setFlat(bool flat)
{
    flat_ = flat; // applied on every assignment
    recreateWindow();
}

void THOX_edit::setInput_caret(HBITMAP picture)
{
    caret_.reset(picture ? static_cast<HBITMAP>(::CopyImage(picture, IMAGE_BITMAP, 0, 0, 0)) : nullptr);
    UpdateCaret();
    recreateWindow();
}

void THOX_edit::setFont(HFONT font)
{
    font_ = font;
    ::SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void THOX_edit::setBounds(int x, int y, int width, int height) { ::MoveWindow(window_, x, y, width, height, TRUE); }

std::string THOX_edit::text() const { return brimlet::win32::windowText(window_); }

void THOX_edit::setText(const std::string& text) { brimlet::win32::setWindowText(window_, text); }

void THOX_edit::UpdateCaret()
{
    if (caret_) {
        ::CreateCaret(window_, caret_.get(), 0, 0);
        ::ShowCaret(window_);
    }
    ::InvalidateRect(window_, nullptr, TRUE);
}

// A single-line edit keeps its own formatting rectangle; the band is set all
// the same, for a field that honours it.
void THOX_edit::UpdateTextRect()
{
    RECT band;
    ::SendMessageW(window_, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&band));
    RECT client;
    ::GetClientRect(window_, &client);
    LOGFONTW font{};
    if (font_) ::GetObjectW(font_, sizeof font, &font);
    int h = client.bottom / 2, f = (font.lfHeight < 0 ? -font.lfHeight : font.lfHeight) / 2;
    band.top = h - f;
    band.bottom = h + f;
    ::SendMessageW(window_, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&band));
}

LRESULT THOX_edit::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETFOCUS: {
        LRESULT result = ::DefSubclassProc(window_, message, wParam, lParam);
        UpdateCaret();
        return result;
    }
    case WM_KILLFOCUS: {
        LRESULT result = ::DefSubclassProc(window_, message, wParam, lParam);
        ::HideCaret(window_);
        ::DestroyCaret();
        return result;
    }
    case WM_SIZE: {
        LRESULT result = ::DefSubclassProc(window_, message, wParam, lParam);
        UpdateTextRect();
        return result;
    }
    case WM_CHAR: {
        auto key = static_cast<wchar_t>(wParam);
        if (OnKeypress) OnKeypress(key);
        if (numbersonly_ && !(key == L'-' || key == L'\b' || (key >= L'0' && key <= L'9'))) key = 0;
        if (key == 0) return 0; // dropped
        return ::DefSubclassProc(window_, message, key, lParam);
    }
    case WM_KEYUP:
        if (numbersonly_ && ::GetWindowTextLengthW(window_) == 0) {
            try {
                ::SetWindowTextW(window_, L"0"); // raises EN_CHANGE
                ::SendMessageW(window_, EM_SETSEL, 0, -1);
            } catch (...) {
            }
        }
        if (OnKeyUp) OnKeyUp(wParam);
        return ::DefSubclassProc(window_, message, wParam, lParam);
    default:
        return ::DefSubclassProc(window_, message, wParam, lParam);
    }
}

LRESULT CALLBACK THOX_edit::subclassProc(HWND, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self)
{
    return reinterpret_cast<THOX_edit*>(self)->handle(message, wParam, lParam);
}
