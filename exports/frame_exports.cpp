// Library context, version and flag exports.
#include "exports/export.h"
#include "frame/context.h"
#include "frame/file_version.h"

#include <cstdint>

using kwill::Context;

// Windows version flags detected at load (see the OS flag bits in frame/os_version.h).
KWILL_EXPORT DWORD OsVer() {
    return Context().osFlags;
}

// The update build revision ("UBR"); 0 unless Windows 10 or 11.
KWILL_EXPORT DWORD OsVerUBR() {
    return Context().ubr;
}

// The Windows 10/11 build number; 0 on older systems.
KWILL_EXPORT DWORD OsVerWin10Build() {
    return Context().win10Build;
}

// This library is 64-bit only, so it never runs under WOW64.
KWILL_EXPORT BOOL IsWow64() {
    return FALSE;
}

// major * 100 + minor of a DLL: from its DllGetVersion when it has one (a failing DllGetVersion
// gives 0 without looking further), else from its version resource, whose whole MS and LS file
// version words then land in the two outputs. Either output may be null.
KWILL_EXPORT DWORD GetDllVersion(const wchar_t* file, DWORD* major, DWORD* minor) {
    return kwill::GetDllVersion(file, major, minor);
}

// Version numbers and strings from a file's version resource. Every output may be null; the
// string buffers get at most size - 1 characters, trimmed of surrounding white space.
KWILL_EXPORT DWORD GetFileVersionStrings(const wchar_t* file, DWORD* fileVersionMS,
                                         DWORD* fileVersionLS, DWORD* productVersionMS,
                                         DWORD* productVersionLS, DWORD* translation,
                                         wchar_t* company, int companyChars, wchar_t* product,
                                         int productChars, wchar_t* copyright, int copyrightChars,
                                         wchar_t* description, int descriptionChars) {
    kwill::VersionStringsRequest r;
    r.fileVersionMS = fileVersionMS;
    r.fileVersionLS = fileVersionLS;
    r.productVersionMS = productVersionMS;
    r.productVersionLS = productVersionLS;
    r.translation = translation;
    r.company = company;
    r.companyChars = companyChars;
    r.product = product;
    r.productChars = productChars;
    r.copyright = copyright;
    r.copyrightChars = copyrightChars;
    r.description = description;
    r.descriptionChars = descriptionChars;
    return kwill::GetFileVersionStrings(file, r);
}

// Lets the process that owns the window take the foreground.
KWILL_EXPORT BOOL AllowForegroundForWindow(HWND window) {
    DWORD pid = 0;
    if (!window || !::GetWindowThreadProcessId(window, &pid) || pid == 0) return FALSE;
    return ::AllowSetForegroundWindow(pid);
}

// The locked data of a module's resource; the size is written only on success.
KWILL_EXPORT const void* LoadModuleResource(HMODULE module, const wchar_t* name,
                                            const wchar_t* type, DWORD* size) {
    HRSRC info = ::FindResourceW(module, name, type);
    if (!info) return nullptr;
    HGLOBAL data = ::LoadResource(module, info);
    const void* bytes = data ? ::LockResource(data) : nullptr;
    if (!bytes) return nullptr;
    if (size) *size = ::SizeofResource(module, info);
    return bytes;
}

// library flags := (old AND NOT clear) OR set, so a bit in both is set; returns the old word.
KWILL_EXPORT DWORD SetLibFlags(DWORD set, DWORD clear) {
    return kwill::SetLibFlags(set, clear);
}

KWILL_EXPORT DWORD GetLibFlags() {
    return kwill::LibFlags();
}

KWILL_EXPORT INT_PTR LibReturnZero() {
    return 0;
}

KWILL_EXPORT void LibNoOp() {}

// 2 with library flag 0x100, else 1 with flag 0x8, else 0.
KWILL_EXPORT DWORD GetInstallMode() {
    return kwill::InstallMode();
}

KWILL_EXPORT BOOL TestLibFlag80() {
    return (kwill::LibFlags() & kwill::kLibFlag80) ? 1 : 0;
}

// SetDllDirectoryW(path). A null path with keepDefault zero passes "" (takes the current
// directory out of the DLL search path); with keepDefault non-zero passes null (restores it).
KWILL_EXPORT BOOL SetLibDllDirectory(const wchar_t* path, BOOL keepDefault) {
    if (!path) path = keepDefault ? nullptr : L"";
    return ::SetDllDirectoryW(path);
}

KWILL_EXPORT uintptr_t GetSharedSlot() {
    return kwill::GetSharedSlot();
}

KWILL_EXPORT void SetSharedSlot(uintptr_t value) {
    kwill::SetSharedSlot(value);
}

// Clears the shared slot only if it still holds this value.
KWILL_EXPORT void ClearSharedSlot(uintptr_t value) {
    kwill::ClearSharedSlot(value);
}

KWILL_EXPORT BOOL IsPinyinMatchEnabled() {
    return (kwill::LibFlags() & kwill::kLibPinyin) ? 1 : 0;
}

KWILL_EXPORT void EnablePinyinMatch(BOOL enable) {
    if (enable) {
        kwill::SetLibFlags(kwill::kLibPinyin, 0);
    } else {
        kwill::SetLibFlags(0, kwill::kLibPinyin);
    }
}

// Copies the descriptor (not the entries, which stay the caller's); null uninstalls the table.
KWILL_EXPORT void SetPinyinTable(const kwill::PinyinInitialsTable* table) {
    kwill::InstallPinyinTable(table);
}

// The installed descriptor while pinyin matching is on, else null.
KWILL_EXPORT const kwill::PinyinInitialsTable* GetPinyinTable() {
    return kwill::ActivePinyinTable();
}
