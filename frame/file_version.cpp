#include "frame/file_version.h"

#include "frame/win_handle.h"

#include <shlwapi.h>

#include <cwchar>
#include <memory>
#include <new>

namespace kwill {
namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

void TrimInPlace(wchar_t* s) {
    size_t len = std::wcslen(s);
    while (len > 0 && IsBlank(s[len - 1])) s[--len] = 0;
    size_t lead = 0;
    while (lead < len && IsBlank(s[lead])) ++lead;
    if (lead) std::wmemmove(s, s + lead, len - lead + 1);
}

struct StringSlot {
    const wchar_t* name;
    wchar_t* buffer;
    int chars;
    bool found;
};

}  // namespace

unsigned GetFileVersionStrings(const wchar_t* file, const VersionStringsRequest& r) {
    if (!file) return 0;
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeW(file, &handle);
    if (size == 0) return 0;
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[size]);
    if (!block || !::GetFileVersionInfoW(file, 0, size, block.get())) return 0;

    unsigned result = 0;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (::VerQueryValueW(block.get(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) &&
        fixed && fixedSize >= sizeof(VS_FIXEDFILEINFO)) {
        if (r.fileVersionMS) *r.fileVersionMS = fixed->dwFileVersionMS;
        if (r.fileVersionLS) *r.fileVersionLS = fixed->dwFileVersionLS;
        if (r.productVersionMS) *r.productVersionMS = fixed->dwProductVersionMS;
        if (r.productVersionLS) *r.productVersionLS = fixed->dwProductVersionLS;
        result = HIWORD(fixed->dwFileVersionMS) * 100u + LOWORD(fixed->dwFileVersionMS);
    }

    StringSlot slots[] = {
        {L"CompanyName", r.company, r.companyChars, false},
        {L"ProductName", r.product, r.productChars, false},
        {L"LegalCopyright", r.copyright, r.copyrightChars, false},
        {L"FileDescription", r.description, r.descriptionChars, false},
    };
    int wanted = 0;
    for (StringSlot& s : slots) {
        if (s.buffer && s.chars > 0) {
            s.buffer[0] = 0;
            ++wanted;
        } else {
            s.found = true;  // nothing to fill
        }
    }
    if (!r.translation && wanted == 0) return result;

    DWORD ownTranslation = 0;
    DWORD* entry = nullptr;
    UINT entrySize = 0;
    if (::VerQueryValueW(block.get(), L"\\VarFileInfo\\Translation",
                         reinterpret_cast<void**>(&entry), &entrySize) &&
        entry && entrySize >= 4)
        ownTranslation = *entry;
    if (r.translation) *r.translation = ownTranslation;
    if (wanted == 0) return result;

    const DWORD translations[] = {
        MAKELONG(::GetUserDefaultLangID(), ::GetACP()),
        ownTranslation,
        MAKELONG(0x0409, 0x04B0),
        MAKELONG(0x0409, 0x04E4),
        MAKELONG(0x0409, 0x01B5),
        MAKELONG(0x0409, 0x0000),
    };
    for (DWORD t : translations) {
        for (StringSlot& s : slots) {
            if (s.found) continue;
            wchar_t query[96];
            ::wnsprintfW(query, 96, L"\\StringFileInfo\\%04lx%04lx\\%s",
                         static_cast<unsigned long>(LOWORD(t)),
                         static_cast<unsigned long>(HIWORD(t)), s.name);
            wchar_t* value = nullptr;
            UINT valueChars = 0;
            if (!::VerQueryValueW(block.get(), query, reinterpret_cast<void**>(&value),
                                  &valueChars) ||
                !value)
                continue;
            size_t n = wcsnlen(value, valueChars);
            if (n > static_cast<size_t>(s.chars - 1)) n = static_cast<size_t>(s.chars - 1);
            std::wmemcpy(s.buffer, value, n);
            s.buffer[n] = 0;
            TrimInPlace(s.buffer);
            s.found = true;
            --wanted;
        }
        if (wanted == 0) break;
    }
    return result;
}

unsigned GetDllVersion(const wchar_t* file, DWORD* major, DWORD* minor) {
    if (major) *major = 0;
    if (minor) *minor = 0;
    if (!file) return 0;
    if (UniqueModule module{::LoadLibraryW(file)}) {
        auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
            reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllGetVersion")));
        if (getVersion) {
            DLLVERSIONINFO info{};
            info.cbSize = 20;
            if (FAILED(getVersion(&info))) return 0;
            if (major) *major = info.dwMajorVersion;
            if (minor) *minor = info.dwMinorVersion;
            return info.dwMajorVersion * 100u + info.dwMinorVersion;
        }
    }
    VersionStringsRequest request;
    request.fileVersionMS = major;
    request.fileVersionLS = minor;
    return GetFileVersionStrings(file, request);
}

}  // namespace kwill
