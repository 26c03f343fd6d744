// window_probe.exe: what a test sees of a window of another program, read
// through the system as an accessibility tool reads it.
//   window_probe texts CAPTION   every child window's class and text, a line each
//   window_probe list CAPTION ID the count and the selected row of list box ID
//   window_probe focus CAPTION   the id and class of the control in that window
//                                that has the keyboard focus; exit 1 if the
//                                focus is elsewhere
//   window_probe menu -          exit 0 while a popup menu is open
//   window_probe close CAPTION   sends that window WM_CLOSE, as taskkill or
//                                another program does, and waits until it
//                                was handled
// The window is the first top-level window with exactly that caption; exit 1
// if none.
#include "archive/wide_text.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include <cstdio>
#include <string>
#include <utility>

namespace {

BOOL CALLBACK printChild(HWND child, LPARAM)
{
    wchar_t kind[64] = L"";
    ::GetClassNameW(child, kind, 64);
    std::wstring text(32768, L'\0');
    // WM_GETTEXT reaches other processes' controls; GetWindowText does not.
    auto length = ::SendMessageW(child, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    std::printf("%d %s %s\n", ::GetDlgCtrlID(child), brimlet::utf8FromWide(kind).c_str(),
                brimlet::utf8FromWide(text).c_str());
    return TRUE;
}

// The first visible top-level window whose caption is exactly `caption`
// (FindWindow ignores case, and "Brimlet" is the boxes' caption).
HWND windowCaptioned(const std::wstring& caption)
{
    std::pair<const std::wstring*, HWND> search{&caption, nullptr};
    ::EnumWindows([](HWND window, LPARAM found) {
        auto* wanted = reinterpret_cast<std::pair<const std::wstring*, HWND>*>(found);
        wchar_t text[512] = L"";
        ::GetWindowTextW(window, text, 512);
        if (!::IsWindowVisible(window) || *wanted->first != text) return TRUE;
        wanted->second = window;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

// A popup menu, while one is open: a visible top-level window of the
// system's menu class.
bool menuOpen()
{
    bool open = false;
    ::EnumWindows([](HWND window, LPARAM found) {
        wchar_t kind[64] = L"";
        ::GetClassNameW(window, kind, 64);
        if (!::IsWindowVisible(window) || std::wstring(kind) != L"#32768") return TRUE;
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&open));
    return open;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) return 2;
    if (std::wstring(argv[1]) == L"menu") return menuOpen() ? 0 : 1;
    HWND window = windowCaptioned(argv[2]);
    if (!window) return 1;
    std::wstring what = argv[1];
    if (what == L"texts") {
        ::EnumChildWindows(window, printChild, 0);
    } else if (what == L"list" && argc == 4) {
        std::pair<int, HWND> target{_wtoi(argv[3]), nullptr};
        ::EnumChildWindows(window, [](HWND child, LPARAM found) {
            auto* wanted = reinterpret_cast<std::pair<int, HWND>*>(found);
            if (::GetDlgCtrlID(child) != wanted->first) return TRUE;
            wanted->second = child;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&target));
        HWND list = target.second;
        if (!list) return 1;
        // A list that selects several: its first selected row, then every one.
        int count = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
        if (!(::GetWindowLongW(list, GWL_STYLE) & LBS_EXTENDEDSEL)) {
            std::printf("%d %d\n", count, static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0)));
        } else {
            int selected = static_cast<int>(::SendMessageW(list, LB_GETSELCOUNT, 0, 0));
            std::vector<int> rows(static_cast<size_t>(std::max(selected, 0)));
            if (selected > 0) ::SendMessageW(list, LB_GETSELITEMS, selected, reinterpret_cast<LPARAM>(rows.data()));
            std::printf("%d %d", count, rows.empty() ? -1 : rows.front());
            if (rows.size() > 1)
                for (int row : rows) std::printf(" %d", row);
            std::printf("\n");
        }
    } else if (what == L"focus") {
        // The focus of another program's thread, as an accessibility tool reads it.
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info) || !info.hwndFocus) return 1;
        if (info.hwndFocus != window && !::IsChild(window, info.hwndFocus)) return 1;
        wchar_t kind[64] = L"";
        ::GetClassNameW(info.hwndFocus, kind, 64);
        std::printf("%d %s\n", ::GetDlgCtrlID(info.hwndFocus), brimlet::utf8FromWide(kind).c_str());
    } else if (what == L"close") {
        DWORD_PTR result = 0;
        if (!::SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &result)) return 1;
    } else {
        return 2;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
