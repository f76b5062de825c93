// A portable installation (installation mode 2) keeps its configuration in the folder that
// "PA_TARNDATAFILES" names. The subcommands that read configuration take it as "--data DIR";
// both settings must be in place before the library first resolves a folder.
#pragma once

#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"

#include <cstdlib>
#include <string>

namespace kwill::tools {

inline bool UsePortableData(const std::string& folder) {
    wchar_t full[MAX_PATH];
    DWORD n = ::GetFullPathNameW(WideFromUtf8(folder).c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH) return false;
    std::wstring path(full, n);
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    if (_wputenv((L"PA_TARNDATAFILES=" + path).c_str()) != 0) return false;
    KwillDll::Get().Require<DWORD (*)(DWORD, DWORD)>(26)(0x100, 0);  // SetLibFlags
    return true;
}

}  // namespace kwill::tools
