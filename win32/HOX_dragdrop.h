// THOX_dragdrop: makes its owner's window a target for files dragged from
// the shell. It puts its hook into the window's procedure, passes every
// message on first, and on WM_DROPFILES collects the dropped items that are
// existing files (full paths, UTF-8, in the shell's order) and raises
// `onfilesdropped` with the number of dropped items and that list. What the
// files mean is the owner's business.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

class THOX_dragdrop {
public:
    using tfilesdropped = std::function<void(int numitems, const std::vector<std::string>& list)>;

    // Hooks `owner` at once and marks it as not accepting drops until
    // `active` is assigned.
    explicit THOX_dragdrop(HWND owner);
    ~THOX_dragdrop();
    THOX_dragdrop(const THOX_dragdrop&) = delete;
    THOX_dragdrop& operator=(const THOX_dragdrop&) = delete;

    bool active() const { return accepting_; }
    // Applied to the window on every assignment.
    void setActive(bool accepting);
    tfilesdropped onfilesdropped;
    // The names of the last drop; the handler gets this very list.
    const std::vector<std::string>& list() const { return files_; }

private:
    void HookOwner();
    void UnhookOwner();
    LRESULT DropWndProc(UINT message, WPARAM wParam, LPARAM lParam);
    void filesDropped(HDROP drop);
    static LRESULT CALLBACK hookEntry(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND owner_;
    WNDPROC saved_ = nullptr;
    bool accepting_ = false;
    std::vector<std::string> files_;
};
