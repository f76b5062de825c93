#include "tools/kwilltool/shell_files.h"

#include "tools/common/text_io.h"

#include <shlobj.h>

namespace kwill::tools {

IDataObject* ShellFilesDataObject(const std::vector<std::string>& files, std::string* missing) {
    std::vector<PIDLIST_ABSOLUTE> lists;
    bool parsed = true;
    for (const std::string& file : files) {
        std::wstring name = WideFromUtf8(file);
        wchar_t full[MAX_PATH * 4];
        DWORD chars = ::GetFullPathNameW(name.c_str(), MAX_PATH * 4, full, nullptr);
        PIDLIST_ABSOLUTE list = nullptr;
        if (chars == 0 || chars >= MAX_PATH * 4 ||
            FAILED(::SHParseDisplayName(full, nullptr, &list, 0, nullptr))) {
            if (missing) *missing = file;
            parsed = false;
            break;
        }
        lists.push_back(list);
    }
    IDataObject* object = nullptr;
    if (parsed && !lists.empty()) {
        PIDLIST_ABSOLUTE parent = ::ILClone(lists[0]);
        ::ILRemoveLastID(parent);
        bool oneFolder = true;
        for (PIDLIST_ABSOLUTE list : lists) {
            PIDLIST_ABSOLUTE folder = ::ILClone(list);
            ::ILRemoveLastID(folder);
            oneFolder = oneFolder && ::ILIsEqual(folder, parent);
            ::CoTaskMemFree(folder);
        }
        ITEMIDLIST_ABSOLUTE desktop{};
        std::vector<LPCITEMIDLIST> items;
        for (PIDLIST_ABSOLUTE list : lists)
            items.push_back(oneFolder ? ::ILFindLastID(list) : list);
        using CreateFn =
            HRESULT(WINAPI*)(PCIDLIST_ABSOLUTE, UINT, PCUIDLIST_RELATIVE_ARRAY, IDataObject**);
        auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"shell32.dll"), "CIDLData_CreateFromIDArray")));
        if (!create || FAILED(create(oneFolder ? parent : &desktop, static_cast<UINT>(items.size()),
                                     items.data(), &object)))
            object = nullptr;
        ::CoTaskMemFree(parent);
    }
    for (PIDLIST_ABSOLUTE list : lists) ::CoTaskMemFree(list);
    return object;
}

}  // namespace kwill::tools
