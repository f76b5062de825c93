// Language exports: the languages table, language handles, string lookup and the class
// LibStringW. A handle argument is a LanguageHandle pointer from GetLanguageHandle or
// CreateLanguageHandle; a null handle gives 0, FALSE or null.
#include "exports/export.h"
#include "hostlink/language.h"
#include "hostlink/translation.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <new>

using kwill::LanguageHandle;
namespace lang = kwill::lang;

#define KWILL_EXPORT_ALIAS(alias, target) \
    __asm__(".globl \"" alias "\"\n\t.set \"" alias "\", " #target)

// ---- The languages table

// mode 1 name to code, 2 code to name (both give the key back when it is not in the table),
// 3 name to LANGID, 4 code to LANGID, 5 name to extra letters, 6 code to extra letters (0 or
// null when not found). Names and codes compare without case.
KWILL_EXPORT uintptr_t LookupLanguage(const wchar_t* key, int mode) {
    return lang::LookupLanguage(key, mode);
}

// "english" or "en", any case.
KWILL_EXPORT BOOL IsEnglishLanguage(const wchar_t* name) {
    return lang::IsEnglishName(name);
}

// "chs", "cht", or "zh" alone or followed by "-".
KWILL_EXPORT BOOL IsChineseLanguage(const wchar_t* name) {
    return lang::IsChineseName(name);
}

// TRUE when english.dll exists and, for a language other than English, its translation file
// (by name or by code, plus ".tarnml") lies beside it.
KWILL_EXPORT BOOL LanguageFileExists(const wchar_t* name) {
    try {
        return lang::LanguageFileExists(name);
    } catch (...) {
        return FALSE;
    }
}

// The user's preferred UI language that has a translation file, as a language name ("deutsch"),
// an empty text for English, or "english" when none fits; cut to bufferChars. Clears *flag.
// Returns the length written.
KWILL_EXPORT int GetPreferredLanguage(wchar_t* buffer, int bufferChars, BOOL* flag) {
    if (flag) *flag = FALSE;
    if (!buffer || bufferChars <= 0) return 0;
    try {
        const std::wstring name = lang::PreferredLanguage();
        const size_t n =
            name.size() < static_cast<size_t>(bufferChars) ? name.size() : bufferChars - 1;
        std::wmemcpy(buffer, name.data(), n);
        buffer[n] = 0;
        return static_cast<int>(n);
    } catch (...) {
        buffer[0] = 0;
        return 0;
    }
}

// ---- Handles

// The process's current language with one reference added; null when english.dll is missing or
// not signed.
KWILL_EXPORT LanguageHandle* GetLanguageHandle() {
    try {
        return lang::CurrentLanguage();
    } catch (...) {
        return nullptr;
    }
}

// A new handle (one reference) for a language name or code; null when its translation cannot
// be loaded or english.dll is missing or not signed. Null, empty or English gives English.
KWILL_EXPORT LanguageHandle* CreateLanguageHandle(const wchar_t* name) {
    try {
        return lang::CreateLanguageHandle(name, false);
    } catch (...) {
        return nullptr;
    }
}

KWILL_EXPORT void AddRefLanguageHandle(LanguageHandle* h) {
    lang::AddRef(h);
}

KWILL_EXPORT void ReleaseLanguageHandle(LanguageHandle* h) {
    lang::Release(h);
}

// Drops the current language; this and every other process make a new one at their next
// request.
KWILL_EXPORT void ReloadLanguage() {
    lang::ReloadLanguage();
}

// MD5 of the module's string-table and then dialog resources into digest (16 bytes).
KWILL_EXPORT BOOL HashLanguageResources(HMODULE module, uint8_t* digest) {
    return digest && lang::HashLanguageResources(module, digest);
}

// ---- Lookups

// String `number`: mode 0 the translation, else english.dll; 1 the translation only; 2
// english.dll only. value1 and value2 (optional) receive the translation's numbers. Returns the
// length written (cut and terminated to bufferChars); mode 1 without a text gives 1 when a
// value was found, else 0. A null or empty buffer gets nothing.
KWILL_EXPORT int LookupLanguageString(const LanguageHandle* h, UINT number, wchar_t* buffer,
                                      int bufferChars, int mode, uint32_t* value1,
                                      uint64_t* value2) {
    try {
        return lang::LookupString(h, number, buffer, bufferChars, mode, value1, value2);
    } catch (...) {
        return 0;
    }
}

// The translation's node for a dialog's controls into *node (an opaque pointer for
// LookupTranslatedText); FALSE and null when the dialog is not translated.
KWILL_EXPORT BOOL LookupLanguageDialog(const LanguageHandle* h, UINT dialog, const void** node) {
    if (node) *node = nullptr;
    if (!h || !h->translation || !node) return FALSE;
    *node = h->translation->Dialog(dialog);
    return *node != nullptr;
}

// kind 0: string `number` from the translation only (as LookupLanguageString mode 1); kind 1:
// the text of control `number` of dialog `dialog`. value2 (optional) receives the entry's
// second number. Returns the length written.
KWILL_EXPORT int LookupTranslatedText(const LanguageHandle* h, int kind, UINT dialog, UINT number,
                                      wchar_t* buffer, int bufferChars, uint64_t* value2) {
    if (!h || !h->translation) return 0;
    try {
        if (kind == 0) {
            return lang::LookupString(h, number, buffer, bufferChars, lang::kTranslationOnly,
                                      nullptr, value2);
        }
        if (kind != 1) return 0;
        lang::TranslatedEntry entry;
        if (!lang::Translation::FindControl(h->translation->Dialog(dialog), number, entry)) {
            return 0;
        }
        if (value2 && entry.hasValue2) *value2 = entry.value2;
        return lang::Utf8ToBuffer(entry.text, buffer, bufferChars);
    } catch (...) {
        return 0;
    }
}

// TRUE when the handle has no translation or the translation holds the string.
KWILL_EXPORT BOOL HasStringTranslation(const LanguageHandle* h, UINT number) {
    if (!h) return FALSE;
    return !h->translation || h->translation->HasString(number);
}

// ---- Accessors

// The code starts with "zh".
KWILL_EXPORT BOOL LanguageIsChinese(const LanguageHandle* h) {
    return h && h->code.size() >= 2 && (h->code[0] | 0x20) == L'z' && (h->code[1] | 0x20) == L'h';
}

// No translation is loaded (English, or a fallback to it).
KWILL_EXPORT BOOL LanguageIsEnglish(const LanguageHandle* h) {
    return h && !h->translation;
}

// Chinese, Korean or Japanese.
KWILL_EXPORT BOOL LanguageIsEastAsian(const LanguageHandle* h) {
    return h && (LanguageIsChinese(h) || _wcsicmp(h->code.c_str(), L"ko") == 0 ||
                 _wcsicmp(h->code.c_str(), L"ja") == 0);
}

// The file version of english.dll: the most and least significant halves.
KWILL_EXPORT BOOL GetLanguageModuleVersion(const LanguageHandle* h, DWORD* ms, DWORD* ls) {
    if (!h) return FALSE;
    if (ms) *ms = h->moduleVersion[0];
    if (ls) *ls = h->moduleVersion[1];
    return TRUE;
}

// Texts owned by the handle, valid while it is held.
KWILL_EXPORT const wchar_t* GetLanguageFilePath(const LanguageHandle* h) {
    return h ? h->filePath.c_str() : nullptr;
}
KWILL_EXPORT const wchar_t* GetLanguageName(const LanguageHandle* h) {
    return h ? h->name.c_str() : nullptr;
}
// The language that was asked for when the handle fell back to English; its name otherwise.
KWILL_EXPORT const wchar_t* GetLanguageRequestedName(const LanguageHandle* h) {
    if (!h) return nullptr;
    return h->requestedName.empty() ? h->name.c_str() : h->requestedName.c_str();
}
KWILL_EXPORT const wchar_t* GetLanguageCode(const LanguageHandle* h) {
    return h ? h->code.c_str() : nullptr;
}

// english.dll, loaded as a data file; owned by the handle.
KWILL_EXPORT HMODULE GetLanguageModule(const LanguageHandle* h) {
    return h ? h->module : nullptr;
}

KWILL_EXPORT UINT GetLanguageId(const LanguageHandle* h) {
    return h ? h->langId : 0;
}

// Up to 16 bytes of the module's resource digest; returns the bytes copied.
KWILL_EXPORT int GetLanguageResourceDigest(const LanguageHandle* h, uint8_t* digest, int size) {
    if (!h || !digest || size <= 0) return 0;
    const int n = size < 16 ? size : 16;
    std::memcpy(digest, h->resourceDigest, static_cast<size_t>(n));
    return n;
}

// The translation's "submit" number; FALSE when there is no translation or no number.
KWILL_EXPORT BOOL GetLanguageSubmit(const LanguageHandle* h, uint64_t* submit) {
    if (!h || !h->translation || !h->hasSubmit) return FALSE;
    if (submit) *submit = h->submit;
    return TRUE;
}

// The letters the language adds to A-Z (for keyboard navigation), or null.
KWILL_EXPORT const wchar_t* GetLanguageExtraLetters(const LanguageHandle* h) {
    return h ? h->extraLetters : nullptr;
}

// ---- The class LibStringW: one LocalAlloc string or null. Members are plain C functions that
// take the object first, which is how an x64 member call passes `this`; the decorated names a
// host built with Microsoft's compiler imports are aliases of them. Constructors return the
// object, as that compiler's constructors do.

struct LibStringW {
    wchar_t* text;
};

KWILL_EXPORT LibStringW* KwillLibStringConstruct(LibStringW* self) {
    if (self) self->text = nullptr;
    return self;
}
KWILL_EXPORT_ALIAS("??0LibStringW@@QEAA@XZ", KwillLibStringConstruct);

KWILL_EXPORT void KwillLibStringFree(LibStringW* self) {
    if (self && self->text) {
        ::LocalFree(self->text);
        self->text = nullptr;
    }
}
KWILL_EXPORT_ALIAS("?FreeString@LibStringW@@QEAAXXZ", KwillLibStringFree);

// "" when no string is held.
KWILL_EXPORT const wchar_t* KwillLibStringGet(const LibStringW* self) {
    return self && self->text ? self->text : L"";
}
KWILL_EXPORT_ALIAS("?GetString@LibStringW@@QEBAPEB_WXZ", KwillLibStringGet);

// Replaces the string by a copy of length units of text (0: up to the terminator); a null text
// leaves no string. Returns whether a string is held.
KWILL_EXPORT bool KwillLibStringSet(LibStringW* self, const wchar_t* text, int length) {
    if (!self) return false;
    KwillLibStringFree(self);
    if (!text) return false;
    const size_t n = length > 0 ? static_cast<size_t>(length) : std::wcslen(text);
    auto* copy = static_cast<wchar_t*>(::LocalAlloc(LMEM_FIXED, (n + 1) * sizeof(wchar_t)));
    if (!copy) return false;
    std::wmemcpy(copy, text, n);
    copy[n] = 0;
    self->text = copy;
    return true;
}
KWILL_EXPORT_ALIAS("?SetString@LibStringW@@QEAA_NPEB_WH@Z", KwillLibStringSet);

// Loads language string `number`: the host's own translation when the library runs inside the
// host and it has one, else the current language. Returns GetString().
KWILL_EXPORT const wchar_t* KwillLibStringInit(LibStringW* self, int number) {
    if (!self) return L"";
    KwillLibStringFree(self);
    try {
        self->text = lang::LoadLibString(static_cast<uint32_t>(number));
    } catch (...) {
        self->text = nullptr;
    }
    return KwillLibStringGet(self);
}
KWILL_EXPORT_ALIAS("?Init@LibStringW@@QEAAPEB_WH@Z", KwillLibStringInit);

KWILL_EXPORT LibStringW* KwillLibStringConstructNumber(LibStringW* self, int number) {
    if (!self) return self;
    self->text = nullptr;
    KwillLibStringInit(self, number);
    return self;
}
KWILL_EXPORT_ALIAS("??0LibStringW@@QEAA@H@Z", KwillLibStringConstructNumber);

// FormatMessageW(FORMAT_MESSAGE_FROM_STRING) of the string with the arguments that follow.
// Returns the characters written; 0 with the buffer untouched when no string is held or the
// buffer is null or empty.
KWILL_EXPORT int KwillLibStringFormatMsg(const LibStringW* self, wchar_t* buffer, int bufferChars,
                                         ...) {
    if (!self || !self->text || !buffer || bufferChars <= 0) return 0;
    va_list args;
    va_start(args, bufferChars);
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_STRING, self->text, 0, 0, buffer,
                                     static_cast<DWORD>(bufferChars), &args);
    va_end(args);
    return static_cast<int>(n);
}
KWILL_EXPORT_ALIAS("?FormatMsg@LibStringW@@QEAAHPEA_WHZZ", KwillLibStringFormatMsg);
