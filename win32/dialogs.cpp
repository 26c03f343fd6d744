#include "dialogs.h"

#include "archive/errors.h"
#include "controls.h"
#include "window/presentation.h"

#include <commctrl.h>
#include <cderr.h>
#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <functional>
#include <memory>

namespace brimlet::win32 {

namespace {

const wchar_t* const kDialogClass = L"TBrimletDialog";
// The ids of the controls besides the buttons, apart from IDOK and IDCANCEL.
enum : int { kPrompt = 100, kValue = 101 };

// The state of one of our own modal windows: which button ended it.
struct ModalState {
    bool done = false;
    int result = IDCANCEL;
    HWND focus = nullptr; // the control that gets the focus back when the window is activated again
};

LRESULT CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<ModalState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_COMMAND:
        // A button's click (Enter and Esc come as these too), not a notification of another control.
        if (state && HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            state->result = LOWORD(wParam);
            state->done = true;
            return 0;
        }
        break;
    case WM_CLOSE: // closing the window is a Cancel
        if (state) state->done = true;
        return 0;
    case WM_ACTIVATE: // as a dialog does: the focus goes back where it was
        if (!state) break;
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focused = ::GetFocus();
            if (focused && ::IsChild(window, focused)) state->focus = focused;
        } else if (state->focus && ::IsWindow(state->focus)) {
            ::SetFocus(state->focus);
        }
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HFONT dialogFont()
{
    static OwnedFont font(makeTahoma(11));
    return font.get();
}

// A popup window of `width` x `height` client pixels, centred on the screen.
HWND createDialogWindow(HWND owner, const std::string& caption, int width, int height, ModalState& state)
{
    RECT frame{0, 0, width, height};
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    ::AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    RECT screen;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
    int w = frame.right - frame.left, h = frame.bottom - frame.top;
    HWND window = ::CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kDialogClass, wide(caption).c_str(),
                                    style, screen.left + (screen.right - screen.left - w) / 2,
                                    screen.top + (screen.bottom - screen.top - h) / 2, w, h, owner, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    return window;
}

HWND addControl(HWND dialog, const wchar_t* kind, const std::wstring& text, DWORD style, int id, RECT at,
                DWORD extended = 0)
{
    HWND control = ::CreateWindowExW(extended, kind, text.c_str(), WS_CHILD | WS_VISIBLE | style, at.left, at.top,
                                     at.right - at.left, at.bottom - at.top, dialog,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                     nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont()), FALSE);
    return control;
}

void addButtons(HWND dialog, int width, int top, bool withCancel)
{
    int w = scaled(75), h = scaled(23), gap = scaled(8);
    int left = withCancel ? width - 2 * w - 2 * gap : width - w - gap;
    addControl(dialog, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, {left, top, left + w, top + h});
    if (withCancel)
        addControl(dialog, L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL,
                   {left + w + gap, top, left + 2 * w + gap, top + h});
}

// Runs `dialog` modally over `owner` (disabled meanwhile) until a button or
// the close box ends it; Enter is OK and Esc is Cancel.
int runModal(HWND dialog, HWND owner, ModalState& state, HWND focus, const std::function<void()>& beforeClose = {})
{
    bool ownerWasEnabled = owner && ::IsWindowEnabled(owner);
    if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
    state.focus = focus;
    ::ShowWindow(dialog, SW_SHOW);
    ::SetFocus(focus);
    MSG message;
    while (!state.done) {
        BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) ::PostQuitMessage(static_cast<int>(message.wParam)); // for the main loop
            break;
        }
        if (!::IsDialogMessageW(dialog, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    if (beforeClose) beforeClose();
    if (ownerWasEnabled) ::EnableWindow(owner, TRUE); // before the dialog goes, so the owner is activated
    ::DestroyWindow(dialog);
    return state.result;
}

std::wstring withWindowsLineEnds(const std::string& text)
{
    std::wstring out;
    for (wchar_t c : wide(text)) {
        if (c == L'\n') out += L'\r';
        out += c;
    }
    return out;
}

std::string filePathIn(const std::vector<wchar_t>& buffer) { return utf8(std::wstring(buffer.data())); }

}  // namespace

void Win32Dialogs::registerClasses()
{
    WNDCLASSW kind{};
    kind.lpfnWndProc = dialogProc;
    kind.hInstance = ::GetModuleHandleW(nullptr);
    kind.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    kind.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    kind.lpszClassName = kDialogClass;
    ::RegisterClassW(&kind);
}

// ---------------------------------------------------------------- file dialogs

bool Win32Dialogs::executeFileDialog(FileDialog& dialog)
{
    std::string::size_type bar = dialog.Filter.find('|');
    std::wstring filter = wide(dialog.Filter.substr(0, bar)) + L'\0' +
                          (bar == std::string::npos ? L"*.*" : wide(dialog.Filter.substr(bar + 1))) + L'\0';
    std::vector<wchar_t> buffer(32768, L'\0');
    auto preset = [&](const std::wstring& name) {
        std::fill(buffer.begin(), buffer.end(), L'\0');
        name.copy(buffer.data(), std::min(name.size(), buffer.size() - 1));
    };
    preset(wide(dialog.FileName));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner_;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | (dialog.AsksBeforeOverwriting ? OFN_OVERWRITEPROMPT : 0) |
                (dialog.TypedNameMustExist ? OFN_FILEMUSTEXIST : 0);
    std::wstring initialFolder = wide(dialog.InitialFolder); // used where the file name has no folder
    if (!initialFolder.empty()) ofn.lpstrInitialDir = initialFolder.c_str();
    auto run = [&] { return dialog.DialogKind == FileDialog::Kind::Save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn); };
    BOOL chosen = run();
    // A remembered name the dialog cannot show (an entry name with a ":")
    // would keep it from opening at all: it opens empty instead.
    if (!chosen && ::CommDlgExtendedError() == FNERR_INVALIDFILENAME) {
        preset(L"");
        chosen = run();
    }
    if (!chosen) return false;
    dialog.FileName = filePathIn(buffer);
    return true;
}

bool Win32Dialogs::chooseFiles(const std::string& caption, std::vector<std::string>& files)
{
    // The folder and every name chosen, each ended by a zero: room for
    // thousands of files (wine's dialog fills it without minding its size).
    std::vector<wchar_t> buffer(1 << 22, L'\0');
    std::wstring title = wide(caption);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner_;
    ofn.lpstrFilter = L"any file\0*.*\0";
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST;
    if (!::GetOpenFileNameW(&ofn)) {
        if (::CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
            throw Failure("Too many files were chosen at once; nothing was imported");
        return false;
    }
    // One file: its path. Several: the folder, then each name, each ended by a zero.
    std::wstring first(buffer.data());
    files.clear();
    const wchar_t* name = buffer.data() + first.size() + 1;
    if (!*name) files.push_back(utf8(first));
    for (; *name; name += std::wcslen(name) + 1) files.push_back(utf8(first + L"\\" + name));
    return true;
}

bool Win32Dialogs::chooseFolder(const std::string& caption, std::string& folder)
{
    IFileOpenDialog* dialog = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                  reinterpret_cast<void**>(&dialog))))
        throw Failure("Cannot show the folder dialog");
    std::unique_ptr<IFileOpenDialog, void (*)(IFileOpenDialog*)> owned(dialog, [](IFileOpenDialog* d) { d->Release(); });
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
    dialog->SetTitle(wide(caption).c_str());
    // Opens in the folder it is given (the behaviour's), as the Qt one does.
    IShellItem* start = nullptr;
    if (!folder.empty() && SUCCEEDED(::SHCreateItemFromParsingName(wide(folder).c_str(), nullptr, IID_IShellItem,
                                                                   reinterpret_cast<void**>(&start)))) {
        dialog->SetFolder(start);
        start->Release();
    }
    if (FAILED(dialog->Show(owner_))) return false;
    IShellItem* item = nullptr;
    if (FAILED(dialog->GetResult(&item))) return false;
    PWSTR path = nullptr;
    HRESULT named = item->GetDisplayName(SIGDN_FILESYSPATH, &path);
    item->Release();
    if (FAILED(named)) return false;
    folder = utf8(path);
    ::CoTaskMemFree(path);
    return true;
}

// ---------------------------------------------------------------- boxes

void Win32Dialogs::showError(const std::string& text)
{
    ::MessageBoxW(owner_, wide(text).c_str(), L"Brimlet", MB_OK | MB_ICONSTOP);
}

bool Win32Dialogs::confirm(const std::string& caption, const std::string& question, bool yesByDefault)
{
    UINT style = MB_YESNO | MB_ICONQUESTION | (yesByDefault ? MB_DEFBUTTON1 : MB_DEFBUTTON2);
    return ::MessageBoxW(owner_, wide(question).c_str(), wide(caption).c_str(), style) == IDYES;
}

bool Win32Dialogs::inputQuery(const std::string& caption, const std::string& prompt, std::string& value, int maxLength)
{
    ModalState state;
    int width = scaled(300), margin = scaled(8);
    HWND dialog = createDialogWindow(owner_, caption, width, scaled(90), state);
    addControl(dialog, L"STATIC", wide(prompt), SS_LEFT, kPrompt, {margin, margin, width - margin, margin + scaled(14)});
    HWND edit = addControl(dialog, L"EDIT", wide(value), WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, kValue,
                           {margin, scaled(26), width - margin, scaled(26) + scaled(21)});
    ::SendMessageW(edit, EM_LIMITTEXT, static_cast<WPARAM>(maxLength), 0);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    addButtons(dialog, width, scaled(58), true);
    std::string edited;
    if (runModal(dialog, owner_, state, edit, [&] { edited = windowText(edit); }) != IDOK) return false;
    value = edited;
    return true;
}

void Win32Dialogs::showReport(const std::string& caption, const std::string& text)
{
    ModalState state;
    int width = scaled(560), height = scaled(360), margin = scaled(8);
    HWND dialog = createDialogWindow(owner_, caption, width, height, state);
    addControl(dialog, L"EDIT", withWindowsLineEnds(text),
                           WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL |
                               ES_AUTOVSCROLL,
                           kValue, {margin, margin, width - margin, height - scaled(40)}, WS_EX_CLIENTEDGE);
    addButtons(dialog, width, height - scaled(31), false);
    runModal(dialog, owner_, state, ::GetDlgItem(dialog, IDOK)); // Enter closes it; the text scrolls all the same
}

// ---------------------------------------------------------------- progress

namespace {

// The progress window of a long command, over the main window, which stays
// disabled (and keeps painting) until the work ends. Clicks and keys meant
// for the main window meanwhile are dropped, never run afterwards.
class Progress : public ProgressWindow {
public:
    Progress(HWND owner, bool stoppable) : owner_(owner), stoppable_(stoppable)
    {
        ownerWasEnabled_ = owner_ && ::IsWindowEnabled(owner_);
        if (ownerWasEnabled_) ::EnableWindow(owner_, FALSE);
    }
    ~Progress() override
    {
        if (ownerWasEnabled_) ::EnableWindow(owner_, TRUE);
        if (window_) ::DestroyWindow(window_);
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void show(const std::string& text) override
    {
        int width = scaled(360), margin = scaled(10), top = stoppable_ ? scaled(32) : scaled(46);
        window_ = createDialogWindow(owner_, "Brimlet", width, top + scaled(stoppable_ ? 60 : 30), state_);
        addControl(window_, L"STATIC", wide(text), SS_LEFT, kPrompt, {margin, margin, width - margin, top - scaled(4)});
        bar_ = addControl(window_, PROGRESS_CLASSW, L"", 0, kValue, {margin, top, width - margin, top + scaled(18)});
        ::SendMessageW(bar_, PBM_SETRANGE32, 0, 1000);
        if (stoppable_)
            addControl(window_, L"BUTTON", L"Cancel", WS_TABSTOP | BS_DEFPUSHBUTTON, IDCANCEL,
                       {width - margin - scaled(75), top + scaled(28), width - margin, top + scaled(51)});
        ::ShowWindow(window_, SW_SHOW);
        ::SetFocus(::GetDlgItem(window_, IDCANCEL));
        ::UpdateWindow(window_);
    }

    void setPermille(unsigned permille) override { ::SendMessageW(bar_, PBM_SETPOS, permille, 0); }

    // Cancel, Esc or the close box; for a command that cannot be stopped
    // they are forgotten.
    bool pump() override
    {
        pumpMessages();
        bool asked = state_.done;
        if (!stoppable_) state_.done = false;
        return asked;
    }

private:
    void pumpMessages()
    {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(message.wParam));
                return;
            }
            bool input = (message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST) ||
                         (message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST);
            bool ours = window_ && (message.hwnd == window_ || ::IsChild(window_, message.hwnd));
            if (input && !ours) continue; // meant for the main window: dropped
            if (ours && ::IsDialogMessageW(window_, &message)) continue; // Esc cancels
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }

    HWND owner_;
    bool stoppable_;
    bool ownerWasEnabled_ = false;
    ModalState state_;
    HWND window_ = nullptr;
    HWND bar_ = nullptr;
};

}  // namespace

std::unique_ptr<ProgressWindow> Win32Dialogs::openProgress(const std::string&, bool stoppable)
{
    return std::make_unique<Progress>(owner_, stoppable);
}

Dialogs::Existing Win32Dialogs::askAboutExisting(const std::string& caption, const std::string& question)
{
    std::string text = question + "\n\nYes overwrites, No skips, Cancel exports nothing.";
    int answer = ::MessageBoxW(owner_, wide(text).c_str(), wide(caption).c_str(),
                               MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3);
    return answer == IDYES ? Existing::Overwrite : answer == IDNO ? Existing::Skip : Existing::Cancel;
}

// ---------------------------------------------------------------- settings

namespace {

[[noreturn]] void registryFailure(LONG code) { throw Failure("I/O error " + std::to_string(code)); }

}  // namespace

RegistrySettings::~RegistrySettings()
{
    if (key_) ::RegCloseKey(key_);
}

void RegistrySettings::open()
{
    std::wstring key = L"software\\" + wide(presentation::kSettingsMaker) + L"\\" + wide(presentation::kSettingsProgram);
    LONG opened = ::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    if (opened != ERROR_SUCCESS) registryFailure(opened);
}

std::string RegistrySettings::read(const std::string& name)
{
    std::wstring value = wide(name);
    DWORD type = 0, size = 0;
    LONG asked = ::RegQueryValueExW(key_, value.c_str(), nullptr, &type, nullptr, &size);
    if (asked == ERROR_FILE_NOT_FOUND) return {};
    if (asked != ERROR_SUCCESS) registryFailure(asked);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    LONG read = ::RegQueryValueExW(key_, value.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &got);
    if (read != ERROR_SUCCESS) registryFailure(read);
    text.resize(got / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return utf8(text);
}

void RegistrySettings::write(const std::string& name, const std::string& value)
{
    std::wstring text = wide(value);
    LONG written = ::RegSetValueExW(key_, wide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    if (written != ERROR_SUCCESS) registryFailure(written);
}

}  // namespace brimlet::win32
