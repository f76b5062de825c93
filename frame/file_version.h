// Version numbers and version strings of executable files.
#pragma once

#include "frame/platform.h"

namespace kwill {

struct VersionStringsRequest {
    DWORD* fileVersionMS = nullptr;
    DWORD* fileVersionLS = nullptr;
    DWORD* productVersionMS = nullptr;
    DWORD* productVersionLS = nullptr;
    DWORD* translation = nullptr;
    wchar_t* company = nullptr;
    int companyChars = 0;
    wchar_t* product = nullptr;
    int productChars = 0;
    wchar_t* copyright = nullptr;
    int copyrightChars = 0;
    wchar_t* description = nullptr;
    int descriptionChars = 0;
};

// Fills what the request asks for from the file's version resource; returns
// HIWORD(file version MS) * 100 + LOWORD(file version MS), or 0.
unsigned GetFileVersionStrings(const wchar_t* file, const VersionStringsRequest& request);

// major * 100 + minor from the module's DllGetVersion, else from its version resource.
unsigned GetDllVersion(const wchar_t* file, DWORD* major, DWORD* minor);

}  // namespace kwill
