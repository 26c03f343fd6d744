#include "controls.h"

#include "archive/wide_text.h"

#include <commctrl.h>

#include "ui/art/col.xpm"
#include "ui/art/dff.xpm"
#include "ui/art/ifp.xpm"
#include "ui/art/txd.xpm"

namespace brimlet::win32 {

int scaled(int pixels)
{
    static const int dpi = [] {
        WindowDC screen(nullptr);
        return ::GetDeviceCaps(screen.get(), LOGPIXELSY);
    }();
    return ::MulDiv(pixels, dpi, 96);
}

HFONT makeTahoma(int height)
{
    return ::CreateFontW(-scaled(height), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, EASTEUROPE_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS,
                         L"Tahoma");
}

std::wstring wide(const std::string& text) { return wideFromUtf8(text).value_or(L"?"); }
std::string utf8(const std::wstring& text) { return utf8FromWide(text); }

std::string windowText(HWND window)
{
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return utf8(text);
}

void setWindowText(HWND window, const std::string& text) { ::SetWindowTextW(window, wide(text).c_str()); }

// ---------------------------------------------------------------- containers

namespace {

LRESULT CALLBACK passToMainWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    switch (message) {
    case WM_ERASEBKGND: { // a group box leaves its inside to its parent, which clips it out
        RECT area;
        ::GetClientRect(window, &area);
        ::FillRect(reinterpret_cast<HDC>(wParam), &area, ::GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_CONTEXTMENU:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return ::SendMessageW(::GetAncestor(window, GA_ROOT), message, wParam, lParam);
    default:
        return ::DefSubclassProc(window, message, wParam, lParam);
    }
}

}  // namespace

HWND createContainer(HWND parent, const wchar_t* className, const std::wstring& caption, DWORD style)
{
    HWND window = ::CreateWindowExW(WS_EX_CONTROLPARENT, className, caption.c_str(),
                                    WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | style, 0, 0, 0, 0,
                                    parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowSubclass(window, passToMainWindow, 1, 0);
    return window;
}

// ---------------------------------------------------------------- TAlignSpeedButton

void TAlignSpeedButton::registerClass()
{
    WNDCLASSW kind{};
    kind.lpfnWndProc = windowProc;
    kind.hInstance = ::GetModuleHandleW(nullptr);
    kind.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    kind.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    kind.lpszClassName = L"TAlignSpeedButton";
    ::RegisterClassW(&kind);
}

TAlignSpeedButton::TAlignSpeedButton(HWND parent, int id, const std::wstring& caption, const char* const* glyphXpm,
                                     HFONT font)
    : caption_(caption), glyph_(glyphPicture(glyphXpm)), font_(font)
{
    window_ = ::CreateWindowExW(0, L"TAlignSpeedButton", caption.c_str(), WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), this);
}

void TAlignSpeedButton::setBounds(int x, int y, int width, int height)
{
    ::MoveWindow(window_, x, y, width, height, TRUE);
}

LRESULT CALLBACK TAlignSpeedButton::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TAlignSpeedButton*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    auto redraw = [&] { ::InvalidateRect(window, nullptr, TRUE); };
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(window, &paint);
        self->paint(dc);
        ::EndPaint(window, &paint);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (!self->hot_) {
            self->hot_ = true;
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
            ::TrackMouseEvent(&track);
            redraw();
        }
        return 0;
    case WM_MOUSELEAVE:
        self->hot_ = false;
        redraw();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        self->pressed_ = true;
        ::SetCapture(window);
        redraw();
        return 0;
    case WM_LBUTTONUP: {
        if (!self->pressed_) return 0;
        self->pressed_ = false;
        ::ReleaseCapture();
        redraw();
        RECT area;
        ::GetClientRect(window, &area);
        POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (::PtInRect(&area, at))
            ::SendMessageW(::GetAncestor(window, GA_ROOT), WM_COMMAND,
                           MAKEWPARAM(::GetDlgCtrlID(window), BN_CLICKED), reinterpret_cast<LPARAM>(window));
        return 0;
    }
    case WM_CAPTURECHANGED:
        self->pressed_ = false;
        redraw();
        return 0;
    case WM_ENABLE:
        redraw();
        return 0;
    case WM_NCDESTROY:
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// The glyph and the caption side by side, centred, as a speed button lays
// them out; a frame only under the mouse or while pressed.
void TAlignSpeedButton::paint(HDC dc)
{
    RECT area;
    ::GetClientRect(window_, &area);
    ::FillRect(dc, &area, ::GetSysColorBrush(COLOR_BTNFACE));
    bool enabled = ::IsWindowEnabled(window_);
    if (enabled && (pressed_ || hot_)) ::DrawEdge(dc, &area, pressed_ && hot_ ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
    Selected font(dc, font_);
    SIZE text{};
    ::GetTextExtentPoint32W(dc, caption_.c_str(), static_cast<int>(caption_.size()), &text);
    int glyph = scaled(16), spacing = scaled(4);
    int width = glyph + spacing + text.cx;
    int shift = pressed_ && hot_ ? 1 : 0;
    int left = (area.right - width) / 2 + shift;
    drawGlyph(dc, left, (area.bottom - glyph) / 2 + shift, enabled);
    ::SetBkMode(dc, TRANSPARENT);
    int textLeft = left + glyph + spacing, textTop = (area.bottom - text.cy) / 2 + shift;
    if (!enabled) {
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNHIGHLIGHT));
        ::TextOutW(dc, textLeft + 1, textTop + 1, caption_.c_str(), static_cast<int>(caption_.size()));
    }
    ::SetTextColor(dc, ::GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_BTNSHADOW));
    ::TextOutW(dc, textLeft, textTop, caption_.c_str(), static_cast<int>(caption_.size()));
}

// Pixel by pixel: 256 pixels at most, and a disabled glyph is embossed in
// the shadow and highlight colours from its darker pixels.
void TAlignSpeedButton::drawGlyph(HDC dc, int left, int top, bool enabled)
{
    int step = scaled(16) / 16 > 0 ? scaled(16) / 16 : 1;
    auto dot = [&](int x, int y, COLORREF colour) {
        RECT cell{left + x * step, top + y * step, left + (x + 1) * step, top + (y + 1) * step};
        ::SetBkColor(dc, colour);
        ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &cell, L"", 0, nullptr);
    };
    for (int pass = enabled ? 1 : 0; pass < 2; ++pass)
        for (int y = 0; y < glyph_.height; ++y)
            for (int x = 0; x < glyph_.width; ++x) {
                uint32_t pixel = glyph_.at(x, y);
                if (!(pixel >> 24)) continue;
                uint32_t r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
                if (enabled) {
                    dot(x, y, RGB(r, g, b));
                } else if (r * 3 + g * 6 + b < 1900) { // the darker half
                    if (pass == 0) dot(x + 1, y + 1, ::GetSysColor(COLOR_BTNHIGHLIGHT));
                    else dot(x, y, ::GetSysColor(COLOR_BTNSHADOW));
                }
            }
}

// ---------------------------------------------------------------- TImageList

namespace {

// A picture as a 24-bit colour bitmap and its one-bit mask (set: transparent).
void bitmapsOf(const Picture& picture, OwnedBitmap& colour, OwnedBitmap& mask)
{
    WindowDC screen(nullptr);
    colour.reset(::CreateCompatibleBitmap(screen.get(), picture.width, picture.height));
    mask.reset(::CreateBitmap(picture.width, picture.height, 1, 1, nullptr));
    HDC dc = ::CreateCompatibleDC(screen.get());
    {
        Selected selected(dc, colour.get());
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) {
                uint32_t p = picture.at(x, y);
                ::SetPixelV(dc, x, y, p >> 24 ? RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF) : RGB(0, 0, 0));
            }
    }
    {
        Selected selected(dc, mask.get());
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                ::SetPixelV(dc, x, y, picture.at(x, y) >> 24 ? RGB(0, 0, 0) : RGB(255, 255, 255));
    }
    ::DeleteDC(dc);
}

}  // namespace

TImageList::TImageList() : list_(::ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 4, 0))
{
    for (const char* const* xpm : {txd_xpm, dff_xpm, col_xpm, ifp_xpm}) {
        OwnedBitmap colour, mask;
        bitmapsOf(pictureFromXpm(xpm), colour, mask);
        ::ImageList_Add(list_.get(), colour.get(), mask.get());
    }
}

void TImageList::Draw(HDC dc, int x, int y, int index) const
{
    ::ImageList_Draw(list_.get(), index, dc, x, y, ILD_TRANSPARENT);
}

}  // namespace brimlet::win32
