// Where the language strings find their files and which language the user chose.
#include "frame/context.h"
#include "hostlink/language.h"
#include "zip/translation_password.h"
#include "zip/zip_reader.h"

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

bool ReadTranslationArchive(const std::wstring& path, std::wstring_view code,
                            std::vector<uint8_t>& json, std::vector<uint8_t>& signature) {
    if (!IsUsableCode(code)) return false;
    std::string member;
    for (wchar_t c : code) member += static_cast<char>(c);  // codes are ASCII
    member += ".json";
    constexpr uint64_t kLimit = 16u << 20;
    return zip::ReadZipMember(path.c_str(), member, zip::kTranslationArchivePassword, kLimit,
                              json) == zip::ZipError::Ok &&
           zip::ReadZipMember(path.c_str(), "signature", zip::kTranslationArchivePassword, 64,
                              signature) == zip::ZipError::Ok;
}

}  // namespace kwill::lang
