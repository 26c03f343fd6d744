#include "HOX_dragdrop.h"

#include "archive/wide_text.h"
#include "window/drops.h"

#include <shellapi.h>

namespace {
// Where the hook finds its component: a property of the hooked window.
const wchar_t* const kComponent = L"THOX_dragdrop";
}  // namespace

THOX_dragdrop::THOX_dragdrop(HWND owner) : owner_(owner)
{
    HookOwner();
    ::DragAcceptFiles(owner_, accepting_);
}

THOX_dragdrop::~THOX_dragdrop() { UnhookOwner(); }

void THOX_dragdrop::HookOwner()
{
    if (!owner_) return;
    saved_ = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(owner_, GWLP_WNDPROC));
    ::SetPropW(owner_, kComponent, this);
    ::SetWindowLongPtrW(owner_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hookEntry));
}

// The window gets its own procedure back, if it still lives.
void THOX_dragdrop::UnhookOwner()
{
    if (owner_ && saved_ && ::IsWindow(owner_)) {
        ::SetWindowLongPtrW(owner_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(saved_));
        ::RemovePropW(owner_, kComponent);
    }
    saved_ = nullptr;
}

void THOX_dragdrop::setActive(bool accepting)
{
    accepting_ = accepting;
    ::DragAcceptFiles(owner_, accepting);
}

LRESULT CALLBACK THOX_dragdrop::hookEntry(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<THOX_dragdrop*>(::GetPropW(window, kComponent));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    WNDPROC saved = self->saved_;
    if (message == WM_NCDESTROY) { // the window goes: nothing left to hook
        ::RemovePropW(window, kComponent);
        self->saved_ = nullptr;
        return ::CallWindowProcW(saved, window, message, wParam, lParam);
    }
    return self->DropWndProc(message, wParam, lParam);
}

LRESULT THOX_dragdrop::DropWndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = ::CallWindowProcW(saved_, owner_, message, wParam, lParam);
    if (message == WM_DROPFILES) filesDropped(reinterpret_cast<HDROP>(wParam));
    return result;
}

// Each name is read whole, however long: the list holds only full paths.
void THOX_dragdrop::filesDropped(HDROP drop)
{
    UINT numitems = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::vector<std::string> names;
    for (UINT i = 0; i < numitems; ++i) {
        UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        std::wstring name(length + 1, L'\0');
        name.resize(::DragQueryFileW(drop, i, name.data(), length + 1));
        names.push_back(brimlet::utf8FromWide(name));
    }
    ::DragFinish(drop);
    files_ = brimlet::droppedFiles(names);
    // The handler gets a list of its own: a drop that comes while it runs
    // (during a dialog it shows) refills files_.
    std::vector<std::string> files = files_;
    if (!files.empty() && onfilesdropped) onfilesdropped(static_cast<int>(numitems), files);
}
