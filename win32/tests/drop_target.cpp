// drop-target FOLDER: another program's window that takes the shell's
// virtual files as Explorer's folders do: for each file of the drop's
// FILEGROUPDESCRIPTORW it reads the FILECONTENTS stream of its index and
// writes the bytes as FOLDER\name; a file already there is kept (Explorer
// would ask). Prints "dropped <written> <kept>" after each drop, or
// "failed <index>" where a stream could not be read.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring folder;

CLIPFORMAT format(const wchar_t* name) { return static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(name)); }

bool offersVirtualFiles(IDataObject* data)
{
    FORMATETC wanted{format(CFSTR_FILEDESCRIPTORW), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return data->QueryGetData(&wanted) == S_OK;
}

// The whole stream, or false.
bool readAll(IStream* stream, std::string& bytes)
{
    char buffer[4096];
    for (;;) {
        ULONG got = 0;
        HRESULT result = stream->Read(buffer, sizeof buffer, &got);
        if (FAILED(result)) return false;
        bytes.append(buffer, got);
        if (got == 0 || result == S_FALSE) return true;
    }
}

void takeDrop(IDataObject* data)
{
    FORMATETC names{format(CFSTR_FILEDESCRIPTORW), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (data->GetData(&names, &medium) != S_OK) {
        std::printf("failed descriptors\n");
        return;
    }
    auto* group = static_cast<FILEGROUPDESCRIPTORW*>(::GlobalLock(medium.hGlobal));
    std::vector<std::wstring> files;
    for (UINT i = 0; i < group->cItems; ++i) files.push_back(group->fgd[i].cFileName);
    ::GlobalUnlock(medium.hGlobal);
    ::ReleaseStgMedium(&medium);
    int written = 0, kept = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        std::wstring target = folder + L"\\" + files[i];
        if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
            ++kept;
            continue;
        }
        FORMATETC contents{format(CFSTR_FILECONTENTS), nullptr, DVASPECT_CONTENT, static_cast<LONG>(i), TYMED_ISTREAM};
        STGMEDIUM stream{};
        std::string bytes;
        bool read = data->GetData(&contents, &stream) == S_OK && stream.tymed == TYMED_ISTREAM && readAll(stream.pstm, bytes);
        if (stream.tymed) ::ReleaseStgMedium(&stream);
        if (!read) {
            std::printf("failed %zu\n", i);
            std::fflush(stdout);
            return;
        }
        HANDLE file = ::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD put = 0;
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
        ::CloseHandle(file);
        ++written;
    }
    std::printf("dropped %d %d\n", written, kept);
    std::fflush(stdout);
}

class Target final : public IDropTarget {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override
    {
        if (id == IID_IUnknown || id == IID_IDropTarget) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override
    {
        takes_ = offersVirtualFiles(data) && (*effect & DROPEFFECT_COPY);
        *effect = takes_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override
    {
        *effect = takes_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override
    {
        *effect = takes_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        if (takes_) takeDrop(data);
        return S_OK;
    }

private:
    bool takes_ = false;
};

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) return 2;
    folder = argv[1];
    ::OleInitialize(nullptr);
    WNDCLASSW kind{};
    kind.lpfnWndProc = windowProc;
    kind.hInstance = ::GetModuleHandleW(nullptr);
    kind.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    kind.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    kind.lpszClassName = L"drop target";
    ::RegisterClassW(&kind);
    HWND window = ::CreateWindowW(L"drop target", L"drop target", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 100, 250, 200,
                                  nullptr, nullptr, kind.hInstance, nullptr);
    Target target;
    ::RegisterDragDrop(window, &target);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::RevokeDragDrop(window);
    ::OleUninitialize();
    return 0;
}
