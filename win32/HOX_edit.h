// THOX_edit: a one-line text field over the system EDIT class that adds its
// text alignment (ES_RIGHT, ES_CENTER), a flat look (WS_EX_STATICEDGE), a
// digits-only mode, a picture for the caret while it has the focus, and a
// text band as tall as the font, centred in the field.
//
// Changing `Alignment`, assigning `Flat` or `Input_caret` re-creates the
// native window with the new styles (its text, place, font and focus kept).
// The parent hears of changes as EN_CHANGE, as from any edit.
#pragma once

#include "handles.h"

#include <functional>
#include <string>

enum TAlignment : unsigned char { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };

class THOX_edit {
public:
    THOX_edit(HWND parent, int id);
    ~THOX_edit();
    THOX_edit(const THOX_edit&) = delete;
    THOX_edit& operator=(const THOX_edit&) = delete;

    HWND Handle() const { return window_; }

    TAlignment Alignment() const { return alignment_; }
    void setAlignment(TAlignment alignment);
    bool Flat() const { return flat_; }
    void setFlat(bool flat);
    bool Numbersonly() const { return numbersonly_; }
    void setNumbersonly(bool numbersonly) { numbersonly_ = numbersonly; }
    // The caret picture is the control's own: the setter copies `picture`.
    HBITMAP Input_caret() const { return caret_.get(); }
    void setInput_caret(HBITMAP picture);

    void setFont(HFONT font);
    void setBounds(int x, int y, int width, int height);
    std::string text() const;
    void setText(const std::string& text);

    // The base edit's events: a typed character (the handler may change or
    // clear it) and a released key.
    std::function<void(wchar_t& key)> OnKeypress;
    std::function<void(WPARAM key)> OnKeyUp;

private:
    DWORD style() const;
    DWORD extendedStyle() const;
    void createWindow(const std::wstring& text, const RECT& bounds);
    void recreateWindow();
    void UpdateCaret();
    void UpdateTextRect();
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK subclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self);

    HWND parent_;
    int id_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    TAlignment alignment_ = taLeftJustify;
    brimlet::win32::OwnedBitmap caret_;
    bool flat_ = false;
    bool numbersonly_ = false;
};
