// Where the language strings find their files and which language the user chose.
#include "frame/context.h"
#include "hostlink/language.h"

namespace kwill::lang {

std::wstring ProgramRootFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(Context().module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring folder(path, n);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
}

std::wstring ChosenLanguage() {
    return PreferredLanguage();
}

bool ReadTranslationArchive(const std::wstring&, std::wstring_view, std::vector<uint8_t>&,
                            std::vector<uint8_t>&) {
    return false;
}

}  // namespace kwill::lang
