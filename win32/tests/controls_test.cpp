// THOX_edit and THOX_dragdrop on real Win32 windows (under wine here): the
// styles each setting gives the native window, the digits-only typing, and
// the drop target's hook on its owner's window procedure.
#include "HOX_dragdrop.h"
#include "HOX_edit.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

namespace {

// A drop of `files` as Explorer hands it over: a DROPFILES block of wide names.
HDROP dropOf(const std::vector<std::wstring>& files)
{
    size_t chars = 1;
    for (const auto& file : files) chars += file.size() + 1;
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(::GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(header) + sizeof(DROPFILES));
    for (const auto& file : files) {
        std::memcpy(names, file.c_str(), (file.size() + 1) * sizeof(wchar_t));
        names += file.size() + 1;
    }
    ::GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

LRESULT CALLBACK ownerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP) return 42; // the owner's own answer, which the hook must pass on
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class Win32Controls : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSW kind{};
        kind.lpfnWndProc = ownerProc;
        kind.hInstance = ::GetModuleHandleW(nullptr);
        kind.lpszClassName = L"TestOwner";
        ::RegisterClassW(&kind);
        owner = ::CreateWindowExW(0, L"TestOwner", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                  kind.hInstance, nullptr);
        ASSERT_NE(owner, nullptr);
    }
    void TearDown() override { ::DestroyWindow(owner); }

    static LONG_PTR style(HWND window) { return ::GetWindowLongPtrW(window, GWL_STYLE); }
    static LONG_PTR extended(HWND window) { return ::GetWindowLongPtrW(window, GWL_EXSTYLE); }

    HWND owner = nullptr;
};

TEST_F(Win32Controls, EachSettingGivesTheNativeWindowItsStyle)
{
    THOX_edit edit(owner, 7);
    edit.setText("kept");
    EXPECT_FALSE(extended(edit.Handle()) & WS_EX_STATICEDGE);
    edit.setFlat(true);
    EXPECT_TRUE(extended(edit.Handle()) & WS_EX_STATICEDGE);
    HWND before = edit.Handle();
    edit.setFlat(true); // assigned again: a new native window all the same
    EXPECT_NE(edit.Handle(), before);
    edit.setAlignment(taRightJustify);
    EXPECT_TRUE(style(edit.Handle()) & ES_RIGHT);
    before = edit.Handle();
    edit.setAlignment(taRightJustify); // the same value: nothing happens
    EXPECT_EQ(edit.Handle(), before);
    edit.setAlignment(taCenter);
    EXPECT_TRUE(style(edit.Handle()) & ES_CENTER);
    EXPECT_EQ(edit.text(), "kept"); // the text survives every re-creation
    EXPECT_EQ(::GetDlgCtrlID(edit.Handle()), 7);
}

TEST_F(Win32Controls, DigitsOnlyTakesDigitsMinusAndBackspaceAndNeverStaysEmpty)
{
    THOX_edit edit(owner, 7);
    edit.setNumbersonly(true);
    std::wstring seen;
    edit.OnKeypress = [&](wchar_t& key) { seen += key; };
    for (wchar_t key : std::wstring(L"1a-2\x01 3")) ::SendMessageW(edit.Handle(), WM_CHAR, key, 0);
    EXPECT_EQ(edit.text(), "1-23");
    EXPECT_EQ(seen, L"1a-2\x01 3"); // the handler sees every character, also those dropped
    edit.setText("");
    EXPECT_EQ(edit.text(), ""); // set by the program: empty until a key is released
    ::SendMessageW(edit.Handle(), WM_KEYUP, VK_SHIFT, 0);
    EXPECT_EQ(edit.text(), "0");
    DWORD from = 0, to = 0;
    ::SendMessageW(edit.Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(to, 1u); // all selected, so the next digit replaces it

    edit.setNumbersonly(false);
    edit.setText("");
    ::SendMessageW(edit.Handle(), WM_CHAR, L'x', 0);
    ::SendMessageW(edit.Handle(), WM_KEYUP, 'X', 0);
    EXPECT_EQ(edit.text(), "x");
}

TEST_F(Win32Controls, TheDropTargetPassesEveryMessageOnAndGivesTheWindowBack)
{
    auto original = ::GetWindowLongPtrW(owner, GWLP_WNDPROC);
    {
        THOX_dragdrop drop(owner);
        EXPECT_NE(::GetWindowLongPtrW(owner, GWLP_WNDPROC), original); // hooked
        EXPECT_FALSE(extended(owner) & WS_EX_ACCEPTFILES);              // not accepting until active
        drop.setActive(true);
        EXPECT_TRUE(extended(owner) & WS_EX_ACCEPTFILES);
        EXPECT_EQ(::SendMessageW(owner, WM_APP, 0, 0), 42);
        drop.setActive(false);
        EXPECT_FALSE(extended(owner) & WS_EX_ACCEPTFILES);
        EXPECT_EQ(::SendMessageW(owner, WM_APP, 0, 0), 42); // the hook stays and passes on
    }
    EXPECT_EQ(::GetWindowLongPtrW(owner, GWLP_WNDPROC), original);
    EXPECT_EQ(::SendMessageW(owner, WM_APP, 0, 0), 42);
}

TEST_F(Win32Controls, ADropWhileTheHandlerRunsLeavesItsListAsItWas)
{
    // The handler shows a dialog, during which another drop comes in.
    auto folder = std::filesystem::temp_directory_path() / "brimlet-drop-test";
    std::filesystem::create_directories(folder);
    std::wstring a = (folder / "a.dff").wstring(), b = (folder / "b.txd").wstring();
    std::ofstream(folder / "a.dff") << "a";
    std::ofstream(folder / "b.txd") << "b";
    THOX_dragdrop drop(owner);
    drop.setActive(true);
    std::vector<std::vector<std::string>> seen;
    bool second = false;
    drop.onfilesdropped = [&](int, const std::vector<std::string>& list) {
        std::vector<std::string> before = list;
        if (!std::exchange(second, true)) ::SendMessageW(owner, WM_DROPFILES, reinterpret_cast<WPARAM>(dropOf({b})), 0);
        EXPECT_EQ(list, before);
        seen.push_back(list);
    };
    ::SendMessageW(owner, WM_DROPFILES, reinterpret_cast<WPARAM>(dropOf({a})), 0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].size(), 1u); // the second drop's handler ran first, inside the first
    EXPECT_NE(seen[1][0].find("a.dff"), std::string::npos);
    EXPECT_NE(seen[0][0].find("b.txd"), std::string::npos);
    std::filesystem::remove_all(folder);
}

}  // namespace
