#include "drag_out.h"

#include "controls.h"

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

namespace brimlet::win32 {

namespace {

// What the streams read through, and whether they still may: a taker that
// keeps a stream past the drag reads nothing more.
struct Reader {
    ReadDragged read;
    bool open = true;
};

// The reference count every object here shares.
class Counted {
public:
    virtual ~Counted() = default;

protected:
    ULONG addRef() { return ++count_; }
    ULONG release()
    {
        ULONG left = --count_;
        if (left == 0) delete this;
        return left;
    }

private:
    std::atomic<ULONG> count_{1};
};

// One dragged file's bytes, read from the archive as the taker pulls them.
class EntryStream final : public IStream, private Counted {
public:
    EntryStream(std::shared_ptr<Reader> reader, DirWindow::DraggedFile file) : reader_(std::move(reader)), file_(std::move(file)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override
    {
        if (id == IID_IUnknown || id == IID_ISequentialStream || id == IID_IStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE Read(void* into, ULONG size, ULONG* read) override
    {
        if (read) *read = 0;
        if (!reader_->open) return E_FAIL;
        long long got = reader_->read(file_, position_, {static_cast<char*>(into), size});
        if (got < 0) return STG_E_READFAULT;
        position_ += static_cast<uint64_t>(got);
        if (read) *read = static_cast<ULONG>(got);
        return static_cast<ULONG>(got) < size ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* now) override
    {
        int64_t from = origin == STREAM_SEEK_SET ? 0
                     : origin == STREAM_SEEK_CUR ? static_cast<int64_t>(position_)
                     : origin == STREAM_SEEK_END ? static_cast<int64_t>(file_.size)
                                                 : -1;
        if (from < 0 || from + move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<uint64_t>(from + move.QuadPart);
        if (now) now->QuadPart = position_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flag) override
    {
        std::memset(stat, 0, sizeof *stat);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = file_.size;
        stat->grfMode = STGM_READ;
        if (!(flag & STATFLAG_NONAME)) {
            std::wstring name = wide(file_.name);
            auto* copy = static_cast<wchar_t*>(::CoTaskMemAlloc((name.size() + 1) * sizeof(wchar_t)));
            if (!copy) return STG_E_INSUFFICIENTMEMORY;
            std::memcpy(copy, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
            stat->pwcsName = copy;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* to, ULARGE_INTEGER size, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override
    {
        uint64_t done = 0;
        std::unique_ptr<char[]> buffer(new char[1 << 16]);
        HRESULT result = S_OK;
        while (done < size.QuadPart) {
            ULONG got = 0, put = 0;
            result = Read(buffer.get(), static_cast<ULONG>(std::min<uint64_t>(size.QuadPart - done, 1 << 16)), &got);
            if (FAILED(result) || got == 0) break;
            result = to->Write(buffer.get(), got, &put);
            done += put;
            if (FAILED(result) || put < got) break;
        }
        if (read) read->QuadPart = done;
        if (written) written->QuadPart = done;
        return FAILED(result) ? result : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE Clone(IStream** out) override
    {
        auto* copy = new EntryStream(reader_, file_);
        copy->position_ = position_;
        *out = copy;
        return S_OK;
    }

private:
    std::shared_ptr<Reader> reader_;
    DirWindow::DraggedFile file_;
    uint64_t position_ = 0;
};

CLIPFORMAT clipboardFormat(const wchar_t* name) { return static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(name)); }

// The files' names and sizes, and a stream of each.
class VirtualFiles final : public IDataObject, private Counted {
public:
    VirtualFiles(std::shared_ptr<Reader> reader, std::vector<DirWindow::DraggedFile> files)
        : reader_(std::move(reader)), files_(std::move(files)),
          formats_{{clipboardFormat(CFSTR_FILEDESCRIPTORW), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
                   {clipboardFormat(CFSTR_FILECONTENTS), nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM}}
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override
    {
        if (id == IID_IUnknown || id == IID_IDataObject) {
            *out = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        HRESULT offered = QueryGetData(format);
        if (offered != S_OK) return offered;
        std::memset(medium, 0, sizeof *medium);
        if (format->cfFormat == formats_[0].cfFormat) {
            medium->tymed = TYMED_HGLOBAL;
            medium->hGlobal = descriptors();
            return medium->hGlobal ? S_OK : E_OUTOFMEMORY;
        }
        medium->tymed = TYMED_ISTREAM;
        medium->pstm = new EntryStream(reader_, files_[static_cast<size_t>(format->lindex)]);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override
    {
        if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        if (format->cfFormat == formats_[0].cfFormat)
            return format->tymed & TYMED_HGLOBAL ? S_OK : DV_E_TYMED;
        if (format->cfFormat == formats_[1].cfFormat) {
            if (!(format->tymed & TYMED_ISTREAM)) return DV_E_TYMED;
            return format->lindex >= 0 && static_cast<size_t>(format->lindex) < files_.size() ? S_OK : DV_E_LINDEX;
        }
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override
    {
        if (direction != DATADIR_GET) return E_NOTIMPL;
        return ::SHCreateStdEnumFmtEtc(2, formats_, out);
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override
    {
        out->ptd = nullptr;
        return DATA_S_SAMEFORMATETC;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    // A FILEGROUPDESCRIPTORW: the count, then one descriptor a file.
    HGLOBAL descriptors() const
    {
        size_t bytes = sizeof(FILEGROUPDESCRIPTORW) + (files_.size() - 1) * sizeof(FILEDESCRIPTORW);
        HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        if (!memory) return nullptr;
        auto* group = static_cast<FILEGROUPDESCRIPTORW*>(::GlobalLock(memory));
        group->cItems = static_cast<UINT>(files_.size());
        for (size_t i = 0; i < files_.size(); ++i) {
            FILEDESCRIPTORW& file = group->fgd[i];
            file.dwFlags = FD_FILESIZE | FD_ATTRIBUTES | FD_PROGRESSUI;
            file.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
            file.nFileSizeHigh = static_cast<DWORD>(files_[i].size >> 32);
            file.nFileSizeLow = static_cast<DWORD>(files_[i].size);
            std::wstring name = wide(files_[i].name).substr(0, MAX_PATH - 1);
            std::copy(name.begin(), name.end(), file.cFileName);
        }
        ::GlobalUnlock(memory);
        return memory;
    }

    std::shared_ptr<Reader> reader_;
    std::vector<DirWindow::DraggedFile> files_;
    FORMATETC formats_[2];
};

// The drag follows the left button: its release drops, Esc cancels.
class ButtonDrag final : public IDropSource, private Counted {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override
    {
        if (id == IID_IUnknown || id == IID_IDropSource) {
            *out = static_cast<IDropSource*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override
    {
        if (escape) return DRAGDROP_S_CANCEL;
        return keys & MK_LBUTTON ? S_OK : DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

}  // namespace

bool dragFilesOut(const std::vector<DirWindow::DraggedFile>& files, ReadDragged read)
{
    if (files.empty()) return false;
    auto reader = std::make_shared<Reader>(Reader{std::move(read)});
    auto* data = new VirtualFiles(reader, files);
    auto* source = new ButtonDrag;
    DWORD effect = DROPEFFECT_NONE;
    HRESULT result = ::DoDragDrop(data, source, DROPEFFECT_COPY, &effect);
    reader->open = false;
    source->Release();
    data->Release();
    return result == DRAGDROP_S_DROP && (effect & DROPEFFECT_COPY);
}

}  // namespace brimlet::win32
