#include "tests/support/test_data_object.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace kwill::test {
namespace {

using Microsoft::WRL::ComPtr;

// The release object of a medium: its final Release frees what the medium carried and counts.
class CountedRelease final : public IUnknown {
  public:
    CountedRelease(std::shared_ptr<TestDataObjectLog> log, HGLOBAL block, void* taskMemory)
        : log_(std::move(log)), block_(block), taskMemory_(taskMemory) {
        ++log_->releaseObjectsMade;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!::IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
        AddRef();
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) {
            ++log_->releaseObjectsReleased;
            if (block_) ::GlobalFree(block_);
            if (taskMemory_) ::CoTaskMemFree(taskMemory_);
            delete this;
        }
        return static_cast<ULONG>(left);
    }

  private:
    volatile LONG refs_ = 1;
    std::shared_ptr<TestDataObjectLog> log_;
    HGLOBAL block_;
    void* taskMemory_;
};

// A read-only stream over a copy of some bytes, whose Stat may answer E_NOTIMPL.
class BytesStream final : public IStream {
  public:
    BytesStream(std::vector<uint8_t> bytes, bool statNotImplemented)
        : bytes_(std::move(bytes)), statNotImplemented_(statNotImplemented) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!::IsEqualIID(iid, IID_IUnknown) && !::IsEqualIID(iid, IID_IStream) &&
            !::IsEqualIID(iid, IID_ISequentialStream))
            return E_NOINTERFACE;
        AddRef();
        *out = static_cast<IStream*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE Read(void* out, ULONG wanted, ULONG* got) override {
        size_t left = bytes_.size() - std::min(position_, bytes_.size());
        ULONG n = static_cast<ULONG>(std::min<size_t>(wanted, left));
        if (n) std::memcpy(out, bytes_.data() + position_, n);
        position_ += n;
        if (got) *got = n;
        return n == wanted ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override {
        return STG_E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* at) override {
        int64_t base = origin == STREAM_SEEK_SET   ? 0
                       : origin == STREAM_SEEK_CUR ? static_cast<int64_t>(position_)
                                                   : static_cast<int64_t>(bytes_.size());
        int64_t target = base + move.QuadPart;
        if (target < 0) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<size_t>(target);
        if (at) at->QuadPart = position_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        if (statNotImplemented_) return E_NOTIMPL;
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = bytes_.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

  private:
    volatile LONG refs_ = 1;
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
    bool statNotImplemented_;
};

HGLOBAL GlobalCopy(const std::vector<uint8_t>& bytes) {
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block) return nullptr;
    if (!bytes.empty()) {
        void* target = ::GlobalLock(block);
        std::memcpy(target, bytes.data(), bytes.size());
        ::GlobalUnlock(block);
    }
    return block;
}

}  // namespace

ComPtr<TestDataObject> TestDataObject::Make() {
    ComPtr<TestDataObject> object;
    object.Attach(new TestDataObject());
    return object;
}

TestDataObject& TestDataObject::Add(TestFormat format) {
    formats_.push_back(std::move(format));
    return *this;
}

TestDataObject& TestDataObject::Add(const wchar_t* registeredName, std::vector<uint8_t> bytes) {
    return Add(static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(registeredName)),
               std::move(bytes));
}

TestDataObject& TestDataObject::Add(CLIPFORMAT format, std::vector<uint8_t> bytes) {
    TestFormat f;
    f.format = format;
    f.bytes = std::move(bytes);
    return Add(std::move(f));
}

const TestFormat* TestDataObject::Find(CLIPFORMAT format) const {
    for (const TestFormat& f : formats_)
        if (f.format == format) return &f;
    return nullptr;
}

HRESULT TestDataObject::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!::IsEqualIID(iid, IID_IUnknown) && !::IsEqualIID(iid, IID_IDataObject))
        return E_NOINTERFACE;
    AddRef();
    *out = static_cast<IDataObject*>(this);
    return S_OK;
}

ULONG TestDataObject::AddRef() {
    return ::InterlockedIncrement(&refs_);
}

ULONG TestDataObject::Release() {
    LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT TestDataObject::GetData(FORMATETC* request, STGMEDIUM* medium) {
    ++log_->getDataCalls;
    if (!request || !medium) return E_INVALIDARG;
    *medium = STGMEDIUM{};
    const TestFormat* f = Find(request->cfFormat);
    if (!f) return DV_E_FORMATETC;
    if (FAILED(f->getData)) return f->getData;
    HGLOBAL block = nullptr;
    void* taskMemory = nullptr;
    medium->tymed = f->given;
    if (f->given == TYMED_HGLOBAL) {
        if (!f->nullMedium) {
            block = GlobalCopy(f->bytes);
            if (!block) return E_OUTOFMEMORY;
        }
        medium->hGlobal = block;
        log_->lastBlock = block;
    } else if (f->given == TYMED_ISTREAM) {
        medium->pstm = f->nullMedium ? nullptr : new BytesStream(f->bytes, f->statNotImplemented);
    } else if (f->given == TYMED_FILE) {
        auto* name = static_cast<wchar_t*>(::CoTaskMemAlloc(sizeof(L"C:\\x")));
        std::memcpy(name, L"C:\\x", sizeof(L"C:\\x"));
        medium->lpszFileName = name;
        taskMemory = name;
    } else {
        return DV_E_TYMED;
    }
    if (f->releaseObject) medium->pUnkForRelease = new CountedRelease(log_, block, taskMemory);
    return S_OK;
}

HRESULT TestDataObject::QueryGetData(FORMATETC* format) {
    if (!format) return E_INVALIDARG;
    return Find(format->cfFormat) ? S_OK : DV_E_FORMATETC;
}

HRESULT TestDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
    if (out) out->ptd = nullptr;
    return E_NOTIMPL;
}

HRESULT TestDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (FAILED(enumFormatResult)) return enumFormatResult;
    std::vector<FORMATETC> list;
    if (direction == DATADIR_GET) {
        for (const TestFormat& f : formats_)
            list.push_back({f.format, nullptr, DVASPECT_CONTENT, -1, f.offered});
    } else {
        list = setFormats;
    }
    return ::SHCreateStdEnumFmtEtc(static_cast<UINT>(list.size()), list.data(), out);
}

std::vector<uint8_t> DropFilesBlock(const std::vector<std::wstring>& names, bool wide) {
    DROPFILES header{};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = wide;
    std::vector<uint8_t> bytes(sizeof(header));
    std::memcpy(bytes.data(), &header, sizeof(header));
    for (const std::wstring& name : names) {
        std::vector<uint8_t> one =
            wide ? WideBytes(name) : NarrowBytes(std::string(name.begin(), name.end()));
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    bytes.insert(bytes.end(), wide ? 2 : 1, 0);
    return bytes;
}

std::vector<uint8_t> WideBytes(const std::wstring& text) {
    std::vector<uint8_t> bytes((text.size() + 1) * sizeof(wchar_t));
    std::memcpy(bytes.data(), text.c_str(), bytes.size());
    return bytes;
}

std::vector<uint8_t> NarrowBytes(const std::string& text) {
    return std::vector<uint8_t>(text.c_str(), text.c_str() + text.size() + 1);
}

ComPtr<IDataObject> ShellDataObject(const std::wstring& folder,
                                    const std::vector<std::wstring>& names, bool fromIdArray) {
    ComPtr<IShellFolder> desktop, parent;
    if (FAILED(::SHGetDesktopFolder(&desktop))) return nullptr;
    PIDLIST_ABSOLUTE folderList = nullptr;
    if (FAILED(::SHParseDisplayName(folder.c_str(), nullptr, &folderList, 0, nullptr)))
        return nullptr;
    std::vector<PIDLIST_RELATIVE> children;
    ComPtr<IDataObject> object;
    if (SUCCEEDED(desktop->BindToObject(folderList, nullptr, IID_PPV_ARGS(&parent)))) {
        for (const std::wstring& name : names) {
            PIDLIST_RELATIVE child = nullptr;
            if (FAILED(parent->ParseDisplayName(nullptr, nullptr,
                                                const_cast<wchar_t*>(name.c_str()), nullptr, &child,
                                                nullptr)))
                break;
            children.push_back(child);
        }
        if (children.size() == names.size()) {
            std::vector<LPCITEMIDLIST> items(children.begin(), children.end());
            if (fromIdArray) {
                using CreateFn = HRESULT(WINAPI*)(PCIDLIST_ABSOLUTE, UINT, PCUIDLIST_RELATIVE_ARRAY,
                                                  IDataObject**);
                auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(::GetProcAddress(
                    ::GetModuleHandleW(L"shell32.dll"), "CIDLData_CreateFromIDArray")));
                if (create)
                    create(folderList, static_cast<UINT>(children.size()), items.data(), &object);
            } else {
                parent->GetUIObjectOf(nullptr, static_cast<UINT>(items.size()), items.data(),
                                      IID_IDataObject, nullptr, &object);
            }
        }
    }
    for (PIDLIST_RELATIVE child : children) ::CoTaskMemFree(child);
    ::CoTaskMemFree(folderList);
    return object;
}

}  // namespace kwill::test
