#include "shellns/shell_folder.h"

#include "frame/win_handle.h"
#include "shellns/id_list.h"
#include "shellns/id_list_memory.h"

#include <rpc.h>
#include <wrl/client.h>

#include <cstring>
#include <string>

using Microsoft::WRL::ComPtr;

namespace kwill::shellns {
namespace {

PCUIDLIST_RELATIVE AsIdList(const uint8_t* list) {
    return reinterpret_cast<PCUIDLIST_RELATIVE>(list);
}

// Copies as much of the text as fits, never ending on the first half of a surrogate pair.
void CopyTruncated(std::wstring_view text, wchar_t* buffer, uint32_t chars) {
    if (!buffer || chars == 0) return;
    size_t n = text.size() < chars ? text.size() : chars - 1;
    if (n < text.size() && n > 0 && IS_HIGH_SURROGATE(text[n - 1])) --n;
    std::memcpy(buffer, text.data(), n * sizeof(wchar_t));
    buffer[n] = L'\0';
}

void CopyAnsi(const char* text, size_t length, wchar_t* buffer, uint32_t chars) {
    if (!buffer || chars == 0) return;
    std::wstring wide;
    int n = length ? ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, static_cast<int>(length),
                                           nullptr, 0)
                   : 0;
    if (n > 0) {
        wide.resize(static_cast<size_t>(n));
        ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, static_cast<int>(length), wide.data(),
                              n);
    }
    CopyTruncated(wide, buffer, chars);
}

// {26EE0668-A00A-44D7-9371-BEB064C98683}, {21EC2020-3AEA-1069-A2DD-08002B30309D} and
// {5399E694-6CE5-4D6C-8FCE-1D8870FDCBA0}: the control-panel folder in its three guises.
constexpr GUID kControlPanelClsids[] = {
    {0x26EE0668, 0xA00A, 0x44D7, {0x93, 0x71, 0xBE, 0xB0, 0x64, 0xC9, 0x86, 0x83}},
    {0x21EC2020, 0x3AEA, 0x1069, {0xA2, 0xDD, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D}},
    {0x5399E694, 0x6CE5, 0x4D6C, {0x8F, 0xCE, 0x1D, 0x88, 0x70, 0xFD, 0xCB, 0xA0}},
};

bool HasControlPanelCategory(const GUID& clsid) {
    RPC_WSTR text = nullptr;
    GUID copy = clsid;  // UuidToStringW takes a non-const pointer
    if (::UuidToStringW(&copy, &text) != RPC_S_OK || !text) return false;
    std::wstring key = L"CLSID\\{" + std::wstring(reinterpret_cast<wchar_t*>(text)) + L"}";
    ::RpcStringFreeW(&text);
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) {
        return false;
    }
    UniqueKey owned(raw);
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(raw, L"System.ControlPanel.Category", nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    return (type == REG_SZ || type == REG_DWORD) && size != 0;
}

}  // namespace

HRESULT BindToFolder(const uint8_t* list, IShellFolder** out, SFGAOF* attributes) {
    if (!list || !out) return E_INVALIDARG;
    ComPtr<IShellFolder> desktop;
    HRESULT hr = ::SHGetDesktopFolder(&desktop);
    if (FAILED(hr)) return hr;
    if (!desktop) return E_FAIL;
    if (IsEnd(list)) {
        *out = desktop.Detach();
        return S_OK;
    }
    ComPtr<IShellFolder> folder;
    if (!attributes) {
        hr = desktop->BindToObject(AsIdList(list), nullptr, IID_PPV_ARGS(&folder));
    } else {
        // Ask the parent about the last item, then bind to that item from the parent. The
        // parent's part is bound from a copy, so a caller's list in read-only or shared memory
        // is never written.
        ComPtr<IShellFolder> parent = desktop;
        const uint8_t* last = LastItem(list);
        if (last != list) {
            uint8_t* leading = CopyLeading(list, ParentBytes(list));
            if (!leading) return E_OUTOFMEMORY;
            parent.Reset();
            hr = desktop->BindToObject(AsIdList(leading), nullptr, IID_PPV_ARGS(&parent));
            FreeList(leading);
            if (FAILED(hr)) return hr;
            if (!parent) return E_FAIL;
        }
        PCUITEMID_CHILD child = reinterpret_cast<PCUITEMID_CHILD>(last);
        SFGAOF mask = *attributes;
        *attributes = SUCCEEDED(parent->GetAttributesOf(1, &child, &mask)) ? mask : 0;
        hr = parent->BindToObject(AsIdList(last), nullptr, IID_PPV_ARGS(&folder));
    }
    if (FAILED(hr)) return hr;
    if (!folder) return E_FAIL;
    *out = folder.Detach();
    return hr;
}

IShellFolder* BindToParentFolder(const uint8_t* list, const uint8_t** last) {
    if (last) *last = nullptr;
    if (!list) return nullptr;
    ComPtr<IShellFolder> folder;
    if (IsEnd(list)) {
        if (FAILED(::SHGetDesktopFolder(&folder))) return nullptr;
        return folder.Detach();
    }
    PCUITEMID_CHILD child = nullptr;
    if (FAILED(::SHBindToParent(reinterpret_cast<PCIDLIST_ABSOLUTE>(list), IID_PPV_ARGS(&folder),
                                &child)) ||
        !folder) {
        return nullptr;
    }
    if (last) *last = reinterpret_cast<const uint8_t*>(child);
    return folder.Detach();
}

void ConvertStrRet(STRRET* value, const uint8_t* list, wchar_t* buffer, uint32_t chars) {
    if (!value) {
        CopyTruncated({}, buffer, chars);
        return;
    }
    switch (value->uType) {
        case STRRET_WSTR: {
            wchar_t* text = value->pOleStr;
            CopyTruncated(text ? std::wstring_view(text) : std::wstring_view(), buffer, chars);
            ::CoTaskMemFree(text);
            value->pOleStr = nullptr;  // a second conversion must not free it again
            break;
        }
        case STRRET_CSTR:
            CopyAnsi(value->cStr, strnlen(value->cStr, sizeof(value->cStr)), buffer, chars);
            break;
        case STRRET_OFFSET: {
            // The text lies inside the list; it is not read past the list's end.
            size_t size = ListSize(list);
            if (!list || value->uOffset >= size) {
                CopyTruncated({}, buffer, chars);
                break;
            }
            const char* text = reinterpret_cast<const char*>(list) + value->uOffset;
            CopyAnsi(text, strnlen(text, size - value->uOffset), buffer, chars);
            break;
        }
        default:
            // An unknown kind: its union holds no pointer that could safely be freed.
            CopyTruncated({}, buffer, chars);
            break;
    }
}

bool IsControlPanelClsid(const GUID* clsid) {
    if (!clsid) return false;
    for (const GUID& known : kControlPanelClsids) {
        if (std::memcmp(&known, clsid, sizeof(GUID)) == 0) return true;
    }
    return HasControlPanelCategory(*clsid);
}

bool IsControlPanelItem(const uint8_t* item) {
    std::optional<Guid> guid = ItemClassGuid(item);
    if (!guid) return false;
    GUID clsid;
    std::memcpy(&clsid, guid->data(), sizeof(clsid));
    return IsControlPanelClsid(&clsid);
}

bool IsCollectionItem(const uint8_t* item) {
    std::optional<Guid> guid = ItemClassGuid(item);
    return guid && std::memcmp(guid->data(), &kCollectionClsid, sizeof(GUID)) == 0;
}

}  // namespace kwill::shellns
