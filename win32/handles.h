// Self-closing Win32 handles: each owner type releases its handle with the
// call that belongs to it, whatever way the scope is left.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace brimlet::win32 {

template <typename Handle, void (*Release)(Handle)>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    Owned& operator=(Owned&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, Handle{});
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle{}; }
    void reset(Handle handle = Handle{})
    {
        if (handle_) Release(handle_);
        handle_ = handle;
    }

private:
    Handle handle_{};
};

template <typename Object>
inline void deleteObject(Object object) { ::DeleteObject(object); }
inline void destroyImageList(HIMAGELIST list) { ::ImageList_Destroy(list); }
inline void destroyMenu(HMENU menu) { ::DestroyMenu(menu); }
inline void closeKey(HKEY key) { ::RegCloseKey(key); }
inline void destroyWindow(HWND window) { ::DestroyWindow(window); }

using OwnedFont = Owned<HFONT, deleteObject<HFONT>>;
using OwnedBitmap = Owned<HBITMAP, deleteObject<HBITMAP>>;
using OwnedBrush = Owned<HBRUSH, deleteObject<HBRUSH>>;
using OwnedImageList = Owned<HIMAGELIST, destroyImageList>;
using OwnedMenu = Owned<HMENU, destroyMenu>;
using OwnedKey = Owned<HKEY, closeKey>;
using OwnedWindow = Owned<HWND, destroyWindow>;

// A device context of a window, given back to it.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDC() { ::ReleaseDC(window_, dc_); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context for a scope.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~Selected() { ::SelectObject(dc_, previous_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace brimlet::win32
