// A data object whose every answer a test chooses: the formats it offers and the media it hands
// over, release objects that count their releases, failing GetData or EnumFormatEtc, streams
// whose Stat is not implemented, and any bytes at all in its blocks. Shared by the tests of
// everything that reads data objects (data-object access, the context menu, the drop target).
#pragma once

#include "frame/platform.h"

#include <objidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kwill::test {

struct TestFormat {
    CLIPFORMAT format = 0;
    std::vector<uint8_t> bytes;
    DWORD offered = TYMED_HGLOBAL;    // the media EnumFormatEtc lists
    DWORD given = TYMED_HGLOBAL;      // the medium GetData hands over, whatever was asked:
                                      // TYMED_HGLOBAL, TYMED_ISTREAM or TYMED_FILE
    HRESULT getData = S_OK;           // a failure GetData answers with instead
    bool releaseObject = false;       // the medium comes with a counted release object
    bool statNotImplemented = false;  // the stream's Stat answers E_NOTIMPL
    bool nullMedium = false;          // TYMED_HGLOBAL or TYMED_ISTREAM with a null handle
};

// What a test data object did, kept apart so that it outlives the object.
struct TestDataObjectLog {
    int getDataCalls = 0;
    int releaseObjectsMade = 0;
    int releaseObjectsReleased = 0;  // final releases; every one must come exactly once
    HGLOBAL lastBlock = nullptr;     // the last global block handed over
};

class TestDataObject final : public IDataObject {
  public:
    static Microsoft::WRL::ComPtr<TestDataObject> Make();

    TestDataObject& Add(TestFormat format);
    // Shorthands for a global block of a registered format or a predefined one.
    TestDataObject& Add(const wchar_t* registeredName, std::vector<uint8_t> bytes);
    TestDataObject& Add(CLIPFORMAT format, std::vector<uint8_t> bytes);

    // A failure that EnumFormatEtc answers with (S_OK: it lists the formats).
    HRESULT enumFormatResult = S_OK;
    // Formats listed for DATADIR_SET (nothing is stored).
    std::vector<FORMATETC> setFormats;

    const TestDataObjectLog& log() const { return *log_; }
    std::shared_ptr<TestDataObjectLog> sharedLog() const { return log_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDataObject
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }

  private:
    TestDataObject() = default;
    ~TestDataObject() = default;
    const TestFormat* Find(CLIPFORMAT format) const;

    volatile LONG refs_ = 1;
    std::vector<TestFormat> formats_;
    std::shared_ptr<TestDataObjectLog> log_ = std::make_shared<TestDataObjectLog>();
};

// The bytes of a DROPFILES block for the names (wide or ANSI), with the list's closing zero.
std::vector<uint8_t> DropFilesBlock(const std::vector<std::wstring>& names, bool wide = true);

// The bytes of a text as UTF-16 with its terminator, or as 8-bit text with its terminator.
std::vector<uint8_t> WideBytes(const std::wstring& text);
std::vector<uint8_t> NarrowBytes(const std::string& text);

// A real shell data object for files that exist, all in one folder: from the folder's
// IShellFolder::GetUIObjectOf, or from CIDLData_CreateFromIDArray. Null on failure.
Microsoft::WRL::ComPtr<IDataObject> ShellDataObject(const std::wstring& folder,
                                                    const std::vector<std::wstring>& names,
                                                    bool fromIdArray = false);

}  // namespace kwill::test
