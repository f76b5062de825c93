// Where the language strings find their files and which language the user chose.
#include "hostlink/config_paths.h"
#include "hostlink/config_records.h"
#include "hostlink/language.h"
#include "zip/translation_password.h"
#include "zip/zip_reader.h"

#include <cstring>

namespace kwill::lang {
namespace {

// A record's language text (the ANSI code page), at most 128 characters.
std::wstring RecordText(const char* text, size_t size) {
    const size_t length = strnlen(text, size);
    if (length == 0) return {};
    wchar_t wide[129];
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), wide, 128);
    return std::wstring(wide, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace

std::wstring ProgramRootFolder() {
    return config::ConfigFolder(config::kProgramRoot);
}

std::wstring ChosenLanguage() {
    config::UserDataRecord user{};
    if (config::ReadUserDataRecord(user)) {
        std::wstring name = RecordText(user.language, sizeof(user.language));
        if (!name.empty()) return name;
    }
    config::GlobalDataRecord global{};
    if (config::ReadGlobalDataRecord(global)) {
        std::wstring name = RecordText(global.defLanguage, sizeof(global.defLanguage));
        if (!name.empty()) return name;
    }
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
