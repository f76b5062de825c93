// Language strings: the languages table, loaded languages (english.dll plus an optional
// translation archive), the process's current language, and string lookup.
//
// The English texts live in the resource-only module "english.dll" (string tables and dialogs);
// each other language is a translation archive "<code>.tarnml" beside it that overlays them by
// number. Both are signed with the release key: english.dll carries a "CERT" resource over the
// digest of its texts, a translation archive a "signature" member over its document.
#pragma once

#include "frame/platform.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kwill {

namespace lang {
class Translation;
}

// A loaded language. Reference-counted (atomically; deleted at zero) and never changed after it
// is made, so threads share it freely.
struct LanguageHandle {
    std::atomic<uint32_t> refs{1};
    HMODULE module = nullptr;  // english.dll as a data file
    std::unique_ptr<lang::Translation> translation;
    std::wstring code = L"en";
    std::wstring name = L"english";
    std::wstring requestedName;  // the language asked for when this fell back to English
    std::wstring filePath;       // english.dll, or the translation archive
    const wchar_t* extraLetters = nullptr;
    uint32_t moduleVersion[2] = {};
    uint32_t langId = 0;
    uint64_t submit = 0;
    bool hasSubmit = false;
    uint8_t resourceDigest[16] = {};

    ~LanguageHandle();
};

namespace lang {

// ---- The languages table

struct LanguageRow {
    const wchar_t* name;
    const wchar_t* code;
    uint16_t langId;
    const wchar_t* extraLetters;  // null when the language needs none
};

const LanguageRow* FindLanguageByName(std::wstring_view name);
const LanguageRow* FindLanguageByCode(std::wstring_view code);

// LookupLanguage: modes 1 name to code and 2 code to name (the key itself when unknown), 3 name
// and 4 code to LANGID, 5 name and 6 code to extra letters (0 or null when unknown). Any other
// mode, or a null key, gives 0.
uintptr_t LookupLanguage(const wchar_t* key, int mode);

bool IsEnglishName(const wchar_t* name);
bool IsChineseName(const wchar_t* name);

// A locale code that may name a file: 1 to 16 letters, digits, '-' or '_'. Anything else (empty,
// a path, a drive) must never reach a file name.
bool IsUsableCode(std::wstring_view code);

// ---- Signatures

// MD5 over the data of every string-table resource and then every dialog resource, in the
// order EnumResourceNamesW lists them. False when the module has no such resources or one of
// them cannot be read.
bool HashLanguageResources(HMODULE module, uint8_t digest[16]);

// The message a module's "CERT" resource signs: a fixed tag, then the resource digest.
std::vector<uint8_t> ModuleSigningMessage(const uint8_t digest[16]);
// The 32 bytes a translation's "signature" member signs: BLAKE3 over the lower-cased code
// repeated to 32 bytes (one byte a character), then the document.
void TranslationSigningValue(std::wstring_view code, const void* json, size_t size,
                             uint8_t value[32]);

// Against the public key built into the library.
bool ModuleIsVouchedFor(HMODULE module, const uint8_t digest[16]);
bool TranslationIsVouchedFor(std::wstring_view code, const std::vector<uint8_t>& json,
                             const std::vector<uint8_t>& signature);

// ---- Loaded languages

// The program root (configuration folder kind 5), without a trailing backslash; empty when
// unknown.
std::wstring ProgramRootFolder();
// The language the user chose: the user data record's, else the global data record's default,
// else PreferredLanguage().
std::wstring ChosenLanguage();

// english.dll in "Language" under the program root, else in the program root; empty when
// neither exists.
std::wstring LocateLanguageModule();

// Reads the two members of a translation archive; false when the archive, a member or the
// password fails.
bool ReadTranslationArchive(const std::wstring& path, std::wstring_view code,
                            std::vector<uint8_t>& json, std::vector<uint8_t>& signature);

// A handle for the language `name` (a name or a code; null or empty means English) with the
// module at modulePath. With fallback a translation that cannot be loaded gives the English
// handle with requestedName set; without, null. A module that is missing or not vouched for
// gives null either way.
LanguageHandle* CreateLanguageHandle(const std::wstring& modulePath, const wchar_t* name,
                                     bool fallback);
LanguageHandle* CreateLanguageHandle(const wchar_t* name, bool fallback);

void AddRef(LanguageHandle* handle);
void Release(LanguageHandle* handle);

// The current language with a reference added (the caller releases it), made on first use and
// again after any process calls ReloadLanguage. Null when english.dll is missing or unsigned.
LanguageHandle* CurrentLanguage();
// Drops the current language here and makes every process drop its own at its next request.
void ReloadLanguage();

// The language to use when the user has chosen none: the first of the user's preferred UI
// languages that is English (empty result) or has a translation file; "english" when none.
std::wstring PreferredLanguage();
bool LanguageFileExists(const wchar_t* name);

// Modes of LookupString.
enum LookupMode : int { kTranslationThenModule = 0, kTranslationOnly = 1, kModuleOnly = 2 };

// A string by number into buffer (cut and terminated). Returns its length; in translation-only
// mode a missing text gives 1 when a value was asked for and found, else 0.
int LookupString(const LanguageHandle* handle, uint32_t number, wchar_t* buffer, int bufferChars,
                 int mode, uint32_t* value1, uint64_t* value2);

// LibStringW::Init: the host's overlay first, then the current language. A new LocalAlloc
// string, or null when there is no text.
wchar_t* LoadLibString(uint32_t number);

}  // namespace lang
}  // namespace kwill
