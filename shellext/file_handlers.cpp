#include "shellext/file_handlers.h"

#include "frame/context.h"
#include "hostlink/language.h"
#include "shellext/com_object.h"
#include "shellext/file_kinds.h"
#include "shellext/persist_file.h"
#include "strings/path_strings.h"
#include "zip/zip_info.h"

#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <new>
#include <string>

namespace kwill::shellext {
namespace {

constexpr WORD kLibraryIcon = 104;
constexpr uint32_t kCommandTipString = 20017;
constexpr uint32_t kBadArchiveString = 20018;
constexpr uint32_t kArchiveCountString = 20019;
constexpr int kHostArchiveCountString = 30371;

// A language string's text; empty when there is none.
std::wstring LanguageText(uint32_t number) {
    wchar_t* text = lang::LoadLibString(number);
    if (!text) return {};
    std::wstring copy = text;
    ::LocalFree(text);
    return copy;
}

// What both handlers share: the file given to Load and the interfaces QueryInterface answers.
template <typename Primary>
class FileHandler : public RefCountedObject<Primary, LoadOnlyPersistFile> {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return QueryInterfaceFromTable({{&PrimaryIid(), static_cast<Primary*>(this)},
                                        {&IID_IPersistFile, static_cast<IPersistFile*>(this)},
                                        {&IID_IPersist, static_cast<IPersistFile*>(this)}},
                                       iid, out);
    }

  protected:
    static const IID& PrimaryIid();

    // Keeps the path (cut to MAX_PATH - 1 characters); its extension, with the dot, or empty.
    std::wstring_view TakePath(LPCOLESTR name) {
        path_.clear();
        if (name) path_.assign(name, wcsnlen(name, MAX_PATH - 1));
        const wchar_t* extension = FindFileExtensionW(path_.c_str());
        return extension ? std::wstring_view(extension) : std::wstring_view();
    }

    std::wstring path_;
};

template <>
const IID& FileHandler<IExtractIconW>::PrimaryIid() {
    return IID_IExtractIconW;
}
template <>
const IID& FileHandler<IQueryInfo>::PrimaryIid() {
    return IID_IQueryInfo;
}

class KwillIconHandler final : public FileHandler<IExtractIconW> {
  public:
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR name, DWORD) override {
        kinds_ = 0;
        std::wstring_view extension = TakePath(name);
        if (extension.empty()) return E_FAIL;
        uint32_t kind = FileKindOfExtension(extension);
        if (!kind) return E_FAIL;
        kinds_ = kind;
        if (kind == kKindCommand && LoadsLayout(ReadCommandFile(path_.c_str())))
            kinds_ |= kKindLayoutCommand;
        return S_OK;
    }

    // The icon is the library's own; the index carries the kind mask.
    HRESULT STDMETHODCALLTYPE GetIconLocation(UINT, PWSTR file, UINT chars, int* index,
                                              UINT* flags) override {
        if (file && chars > 0) file[0] = L'\0';
        if (index) *index = static_cast<int>(kinds_);
        if (flags) *flags = GIL_NOTFILENAME;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Extract(PCWSTR, UINT, HICON* large, HICON* small,
                                      UINT sizes) override {
        HINSTANCE module = Context().module;
        if (large) {
            int size = LOWORD(sizes);
            int cx = size ? size : ::GetSystemMetrics(SM_CXICON);
            int cy = size ? size : ::GetSystemMetrics(SM_CYICON);
            *large = static_cast<HICON>(
                ::LoadImageW(module, MAKEINTRESOURCEW(kLibraryIcon), IMAGE_ICON, cx, cy, 0));
        }
        if (small) {
            int size = HIWORD(sizes);
            int cx = size ? size : ::GetSystemMetrics(SM_CXSMICON);
            int cy = size ? size : ::GetSystemMetrics(SM_CYSMICON);
            *small = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(kLibraryIcon),
                                                     IMAGE_ICON, cx, cy, LR_DEFAULTSIZE));
        }
        return S_OK;
    }

  private:
    uint32_t kinds_ = 0;
};

// Asks the zip engine about the file.
zip::ZipInfoRequestBlock AskZipEngine(const std::wstring& path, int code) {
    zip::ZipInfoRequestBlock request{};
    request.size = sizeof(request);
    request.code = code;
    request.file = path.c_str();
    zip::ZipInfoRequest(request);
    return request;
}

// An archive comment as the tip; empty when the archive has none.
std::wstring ArchiveComment(const std::wstring& path) {
    zip::ZipInfoRequestBlock request = AskZipEngine(path, zip::kInfoComment);
    std::wstring comment;
    if (request.text) {
        if (request.result == zip::kInfoOk) comment = request.text;
        ::LocalFree(request.text);
    }
    return CutText(std::move(comment), kTipChars);
}

class KwillQueryInfo final : public FileHandler<IQueryInfo> {
  public:
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR name, DWORD) override {
        std::wstring_view extension = TakePath(name);
        if (extension.empty()) return E_FAIL;
        if (EqualExtension(extension, L".zip") || EqualExtension(extension, L".kcf")) return S_OK;
        if (EqualExtension(extension, L".kps"))
            return ArchiveComment(path_).empty() ? E_FAIL : S_OK;
        return E_FAIL;
    }

    HRESULT STDMETHODCALLTYPE GetInfoTip(DWORD, PWSTR* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        std::wstring tip;
        try {
            tip = Tip();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        if (tip.empty()) return E_FAIL;
        size_t bytes = (tip.size() + 1) * sizeof(wchar_t);
        *out = static_cast<PWSTR>(::CoTaskMemAlloc(bytes));
        if (!*out) return E_OUTOFMEMORY;
        std::memcpy(*out, tip.c_str(), bytes);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetInfoFlags(DWORD* flags) override {
        if (flags) *flags = 0;
        return E_NOTIMPL;
    }

  private:
    static bool EqualExtension(std::wstring_view a, const wchar_t* b) {
        return a.size() == std::wcslen(b) &&
               ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b, -1, TRUE) ==
                   CSTR_EQUAL;
    }

    std::wstring Tip() const {
        if (path_.empty()) return {};
        std::wstring_view extension = FindFileExtensionW(path_.c_str())
                                          ? std::wstring_view(FindFileExtensionW(path_.c_str()))
                                          : std::wstring_view();
        if (EqualExtension(extension, L".kcf")) {
            std::wstring source = CommandTipSource(ReadCommandFile(path_.c_str()));
            if (source.empty()) return {};
            // Without the language module the command's own text is the tip.
            std::wstring pattern = LanguageText(kCommandTipString);
            return FormatOneText(pattern.empty() ? L"%s" : pattern, source, kTipChars);
        }
        if (EqualExtension(extension, L".kps")) return ArchiveComment(path_);

        zip::ZipInfoRequestBlock request = AskZipEngine(path_, zip::kInfoCountFiles);
        if (request.text) ::LocalFree(request.text);
        if (request.result == zip::kInfoSplitVolume || request.result == zip::kInfoDamaged)
            return CutText(LanguageText(kBadArchiveString), kTipChars);
        if (request.result != zip::kInfoOk) return {};
        // Inside the host its own text wins; elsewhere, or when it declines, the library's.
        if (ConstructEvalStringArgUIntFn host = Context().hostConstructEvalString) {
            wchar_t text[kTipChars + 1] = {};
            if (host(kHostArchiveCountString, text, static_cast<int>(kTipChars + 1),
                     request.count) &&
                text[0]) {
                text[kTipChars] = L'\0';
                return CutText(text, kTipChars);
            }
        }
        std::wstring pattern = LanguageText(kArchiveCountString);
        return FormatOneNumber(pattern.empty() ? L"%u" : pattern, request.count, kTipChars);
    }
};

}  // namespace

IUnknown* CreateIconHandler() {
    return static_cast<IExtractIconW*>(new (std::nothrow) KwillIconHandler());
}

IUnknown* CreateQueryInfo() {
    return static_cast<IQueryInfo*>(new (std::nothrow) KwillQueryInfo());
}

}  // namespace kwill::shellext
