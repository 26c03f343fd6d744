// brimlet.exe: the desktop editor for GTA3 & VC ".dir" + ".img" archives, on
// Windows.
#include "Unit1.h"

#include "archive/wide_text.h"
#include "window/pictures.h"

#include <commctrl.h>
#include <objbase.h>

namespace {

// The first argument after the program's name, as a full path, so that
// messages name the whole path; the others are not used.
std::vector<std::string> programArguments()
{
    std::vector<std::string> all = brimlet::commandLineArguments(brimlet::utf8FromWide(::GetCommandLineW()));
    if (all.size() < 2 || all[1].empty()) return {};
    std::wstring given = brimlet::win32::wide(all[1]);
    std::wstring full(32768, L'\0');
    DWORD length = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) return {all[1]};
    full.resize(length);
    return {brimlet::utf8FromWide(full)};
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ::OleInitialize(nullptr); // entries dragged out (DoDragDrop)
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    brimlet::win32::Twnd_dir::registerClass();
    int exitCode = 0;
    {
        brimlet::win32::Twnd_dir wnd_dir(programArguments());
        wnd_dir.show(show);
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (wnd_dir.isDialogMessage(message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        exitCode = static_cast<int>(message.wParam);
    }
    ::OleUninitialize();
    ::CoUninitialize();
    return exitCode;
}
