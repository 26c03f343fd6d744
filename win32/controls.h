// The small Win32 controls the window is built of: pixel scaling for the
// layout's 96-dpi sizes, the window's fonts, the flat tool buttons with
// glyphs (`TAlignSpeedButton`), the list icons (`TImageList`), and group
// boxes and panels that pass their children's notifications on to the
// main window, as containers do in the layout.
#pragma once

#include "handles.h"
#include "window/pictures.h"

#include <string>

namespace brimlet::win32 {

// A length of the layout (pixels at 96 dpi) at the screen's dpi.
int scaled(int pixels);

// Tahoma of a character height of `height` pixels (before scaling), in the
// Central European character set.
HFONT makeTahoma(int height);

// A text as the W calls take it; text that is not UTF-8 becomes "?".
std::wstring wide(const std::string& utf8);
std::string utf8(const std::wstring& text);
std::string windowText(HWND window);
void setWindowText(HWND window, const std::string& text);

// A container (group box, panel) whose children's notifications go to the
// main window: WM_COMMAND, WM_DRAWITEM, WM_MEASUREITEM, WM_CONTEXTMENU.
HWND createContainer(HWND parent, const wchar_t* className, const std::wstring& caption, DWORD style);

// A flat tool button with a glyph: raised under the mouse, sunken while
// pressed, grey and inert when disabled; it never takes the focus. A click
// reaches the main window as WM_COMMAND with the button's id and BN_CLICKED.
class TAlignSpeedButton {
public:
    TAlignSpeedButton(HWND parent, int id, const std::wstring& caption, const char* const* glyphXpm, HFONT font);
    HWND Handle() const { return window_; }
    void setEnabled(bool enabled) { ::EnableWindow(window_, enabled); }
    void setBounds(int x, int y, int width, int height);

    static void registerClass();

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HDC dc);
    void drawGlyph(HDC dc, int left, int top, bool enabled);

    HWND window_ = nullptr;
    std::wstring caption_;
    Picture glyph_;
    HFONT font_;
    bool hot_ = false, pressed_ = false;
};

// The four 16 x 16 list icons with their masks: .txd, .dff, .col, .ifp.
class TImageList {
public:
    TImageList();
    // Draws image `index` with its top-left corner at (x, y), transparently.
    void Draw(HDC dc, int x, int y, int index) const;

private:
    OwnedImageList list_;
};

}  // namespace brimlet::win32
