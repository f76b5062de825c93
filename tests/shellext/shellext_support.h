// Helpers for the shell-extension tests: registering the DLL for real with regsvr32, and the
// registry paths that registration touches.
#pragma once

#include "frame/platform.h"

#include <string>

namespace kwill::test {

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
