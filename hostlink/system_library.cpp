#include "hostlink/system_library.h"

#include <cwchar>

namespace kwill::hostlink {
namespace {

constexpr size_t kMaxSystemFolderChars = 258;

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool LeavesFolder(std::wstring_view name) {
    if (IsSeparator(name.front()) || name.find(L':') != std::wstring_view::npos) return true;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        if (name.substr(start, end - start) == L"..") return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

std::optional<std::wstring> SystemLibraryPath(std::wstring_view systemFolder, const wchar_t* name) {
    if (!name || !*name || systemFolder.empty()) return std::nullopt;
    if (systemFolder.size() > kMaxSystemFolderChars) return std::nullopt;
    std::wstring_view file(name, ::wcsnlen(name, MAX_PATH));
    if (file.size() >= MAX_PATH || LeavesFolder(file)) return std::nullopt;
    std::wstring full(systemFolder);
    if (!IsSeparator(full.back())) full.push_back(L'\\');
    full.append(file);
    if (full.size() >= MAX_PATH) return std::nullopt;
    return full;
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
    wchar_t folder[MAX_PATH + 1];
    UINT n = ::GetSystemDirectoryW(folder, MAX_PATH + 1);
    std::optional<std::wstring> full =
        n && n <= MAX_PATH ? SystemLibraryPath({folder, n}, name) : std::nullopt;
    if (!full) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return ::LoadLibraryW(full->c_str());
}

}  // namespace kwill::hostlink
