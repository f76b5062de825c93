// Helpers for the shell-extension tests: registering the DLL for real with regsvr32, and the
// registry paths that registration touches.
#pragma once

#include "frame/platform.h"

#include <shlobj.h>

#include <string>

namespace kwill::test {

// The configuration folder of every test in this executable (with a trailing backslash). The
// library works out its folders once per process, so one arrangement is set before the first
// test: installation mode 2 with "PA_TARNDATAFILES" naming this scratch folder, which sends the
// user configuration, the local state and the user data record there and keeps the prefix's
// AppData out of reach. The language files stay beside the library. It starts empty; a test that
// writes files here removes them again.
const std::wstring& ConfigScratch();

// An object of the class made as the shell makes it without registration: the DLL's
// DllGetClassObject for IClassFactory, then CreateInstance for iid. The first failure's result,
// with *out null.
HRESULT CreateFromClassObject(REFCLSID clsid, REFIID iid, void** out);
template <typename T>
HRESULT CreateFromClassObject(REFCLSID clsid, REFIID iid, T** out) {
    return CreateFromClassObject(clsid, iid, reinterpret_cast<void**>(out));
}

// IShellExtInit::Initialize of a shell extension object, as the shell calls it (no ProgID key);
// E_NOINTERFACE when the object has no IShellExtInit.
HRESULT InitializeExtension(IUnknown* object, PCIDLIST_ABSOLUTE folder, IDataObject* data);

// regsvr32 [/u] /s on the DLL beside the test; its exit code (0 done, 5 DllRegisterServer or
// DllUnregisterServer failed), or 99 when it did not run or finish.
DWORD RunRegsvr32(bool unregister);

// The folder of the DLL without a trailing backslash, as registration writes it.
std::wstring DllFolder();

// Creates HKLM\path (and its parents); false when that fails.
bool CreateMachineKey(const std::wstring& path);
bool MachineKeyExists(const std::wstring& path);
// The string value HKLM\path name; nullopt-like empty result with found = false when missing.
std::wstring ReadMachineString(const std::wstring& path, const wchar_t* name, bool* found);
bool WriteMachineString(const std::wstring& path, const wchar_t* name, const std::wstring& text);

// Replaces the DACL of HKLM\path with the given SDDL DACL ("D:..."); false on failure.
bool SetMachineKeyDacl(const std::wstring& path, const wchar_t* sddl);

}  // namespace kwill::test
