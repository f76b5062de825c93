#include "hostlink/language.h"

#include "codec/ed25519.h"
#include "codec/hash.h"
#include "frame/context.h"
#include "frame/file_version.h"
#include "frame/hooks.h"
#include "frame/shared_state.h"
#include "hostlink/translation.h"
#include "strings/compare.h"
#include "strings/number_format.h"

#include "signing_key.h"

#include <cstring>
#include <cwchar>
#include <mutex>

namespace kwill {

LanguageHandle::~LanguageHandle() {
    if (module) ::FreeLibrary(module);
}

namespace lang {
namespace {

const LanguageRow kLanguages[] = {
    {L"chs", L"zh", 2052, nullptr},
    {L"cht", L"zh-TW", 1028, nullptr},
    {L"czech", L"cs", 1029, nullptr},
    {L"dansk", L"da", 1030, L"+ÅåÆæØø"},
    {L"deutsch", L"de", 1031, L"+äöüÄÖÜß"},
    {L"dutch", L"nl", 1043, nullptr},
    {L"ell", L"el", 1032, L"ΑαΒβΓγΔδΕεΖζΗηΘθΙιΚκΛλΜμΝνΞξΟοΠπΡρΣσςΤτΥυΦφΧχΨψΩω"},
    {L"english", L"en", 1033, nullptr},
    {L"esm", L"es-MX", 2058, L"+Ññ"},
    {L"espanol", L"es", 1034, L"+ÑñÇç"},
    {L"francais", L"fr", 1036, nullptr},
    {L"italiano", L"it", 1040, nullptr},
    {L"jpn", L"ja", 1041, nullptr},
    {L"kor", L"ko", 1042, nullptr},
    {L"magyar", L"hu", 1038, L"+ÍíÉéÁáŐőÚúÖöÜüÓó"},
    {L"nor", L"no", 1044, L"+ÅåÆæØø"},
    {L"polski", L"pl", 1045, L"+Łłęąńżźóćś"},
    {L"pt-br", L"pt-BR", 1046, L"+Çç"},
    {L"ptg", L"pt", 2070, L"+Çç"},
    {L"rus", L"ru", 1049, L"бвгджзклмнпрстфхцчшщаеёиоуыэюяйъьБВГДЖЗКЛМНПРСТФХЦЧШЩАЕЁИОУЫЭЮЯЙЪЬ"},
    {L"slv", L"sl", 1060, L"+ČčĆćŠšĐđŽž"},
    {L"svenska", L"sv", 1053, L"+ÅåÄäÖö"},
    {L"trk", L"tr", 1055, L"+ŞşÖöÇçİiĞğÜü"},
};

// Only ASCII letters matter in names and codes; A-Z folding keeps the comparison independent of
// the user's locale.
bool SameKey(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldLowerAscii(a[i]) != FoldLowerAscii(b[i])) return false;
    }
    return true;
}

constexpr char kModuleSigningTag[] = "kwill.language-module.v1";
constexpr uint32_t kMaxMember = 16u << 20;
constexpr int kTextChars = 16384;

// The current language of this process (Lock 2) and the generation it was made in.
LONG g_localGeneration = 0;

// The unit names of byte sizes are asked for on every size the file manager shows; they are
// kept per language (the handle and the generation it was made in) instead of being looked up
// each time.
struct UnitTextCache {
    SRWLOCK lock = SRWLOCK_INIT;
    const LanguageHandle* handle = nullptr;
    LONG generation = 0;
    std::wstring texts[6];
    bool filled[6] = {};
    bool missing = false;  // no language could be loaded in this generation
} g_unitTexts;

int UnitTextIndex(unsigned number) {
    switch (number) {
        case kUnitBytes:
            return 0;
        case kUnitKB:
            return 1;
        case kUnitMB:
            return 2;
        case kUnitGB:
            return 3;
        case kUnitTB:
            return 4;
        case kUnitPB:
            return 5;
        default:
            return -1;
    }
}

int UnitText(unsigned number, wchar_t* out, int outLen) {
    const int i = UnitTextIndex(number);
    if (i < 0 || !out || outLen <= 0) return 0;
    UnitTextCache& cache = g_unitTexts;
    const LONG generation = Shared().languageGeneration;
    // Without english.dll every attempt to load a language looks for files again; sizes are
    // shown by the thousand, so they go without unit names until the next reload instead.
    ::AcquireSRWLockShared(&cache.lock);
    const bool knownMissing = cache.missing && cache.generation == generation;
    ::ReleaseSRWLockShared(&cache.lock);
    if (knownMissing) return 0;
    LanguageHandle* handle = CurrentLanguage();
    ::AcquireSRWLockExclusive(&cache.lock);
    if (!handle) {
        cache.missing = true;
        cache.generation = generation;
        cache.handle = nullptr;
        ::ReleaseSRWLockExclusive(&cache.lock);
        return 0;
    }
    cache.missing = false;
    // A handle is only replaced after the generation changes, so its address and the generation
    // together name one language even after the old handle is gone.
    if (cache.handle != handle || cache.generation != generation) {
        cache.handle = handle;
        cache.generation = generation;
        for (bool& filled : cache.filled) filled = false;
    }
    if (!cache.filled[i]) {
        wchar_t* text = LoadLibString(number);
        cache.texts[i] = text ? text : L"";
        if (text) ::LocalFree(text);
        cache.filled[i] = true;
    }
    const std::wstring& text = cache.texts[i];
    const size_t n = text.size() < static_cast<size_t>(outLen) ? text.size() : outLen - 1;
    std::wmemcpy(out, text.data(), n);
    out[n] = 0;
    ::ReleaseSRWLockExclusive(&cache.lock);
    Release(handle);
    return static_cast<int>(n);
}

struct HookSetup {
    HookSetup() {
        Hooks().releaseLanguage = [](LanguageHandle* handle) { Release(handle); };
        SetUnitTextSource(UnitText);
    }
} g_hookSetup;

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Lowered(std::wstring_view s) {
    std::wstring out(s);
    for (wchar_t& c : out) c = FoldLowerAscii(c);
    return out;
}

// The code of a name or code (mode 1 answers the key itself when it is no table name).
std::wstring CodeOf(const wchar_t* name) {
    return reinterpret_cast<const wchar_t*>(LookupLanguage(name, 1));
}

void FillFromTable(LanguageHandle& h) {
    const LanguageRow* row = FindLanguageByCode(h.code);
    h.langId = row ? row->langId : 0;
    h.extraLetters = row ? row->extraLetters : nullptr;
}

struct EnumState {
    Hash* hash;
    bool ok;
    int count;
};

BOOL CALLBACK HashResource(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    HRSRC info = ::FindResourceW(module, name, type);
    HGLOBAL loaded = info ? ::LoadResource(module, info) : nullptr;
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) {
        state->ok = false;
        return FALSE;
    }
    state->hash->HashData(data, ::SizeofResource(module, info));
    ++state->count;
    return TRUE;
}

}  // namespace

const LanguageRow* FindLanguageByName(std::wstring_view name) {
    for (const LanguageRow& row : kLanguages) {
        if (SameKey(row.name, name)) return &row;
    }
    return nullptr;
}

const LanguageRow* FindLanguageByCode(std::wstring_view code) {
    for (const LanguageRow& row : kLanguages) {
        if (SameKey(row.code, code)) return &row;
    }
    return nullptr;
}

uintptr_t LookupLanguage(const wchar_t* key, int mode) {
    if (!key) return 0;
    const bool byName = mode == 1 || mode == 3 || mode == 5;
    const LanguageRow* row = byName ? FindLanguageByName(key) : FindLanguageByCode(key);
    switch (mode) {
        case 1:
            return reinterpret_cast<uintptr_t>(row ? row->code : key);
        case 2:
            return reinterpret_cast<uintptr_t>(row ? row->name : key);
        case 3:
        case 4:
            return row ? row->langId : 0;
        case 5:
        case 6:
            return reinterpret_cast<uintptr_t>(row ? row->extraLetters : nullptr);
        default:
            return 0;
    }
}

bool IsEnglishName(const wchar_t* name) {
    return name && (SameKey(name, L"english") || SameKey(name, L"en"));
}

bool IsChineseName(const wchar_t* name) {
    if (!name) return false;
    if (SameKey(name, L"chs") || SameKey(name, L"cht")) return true;
    return FoldLowerAscii(name[0]) == L'z' && FoldLowerAscii(name[1]) == L'h' &&
           (name[2] == 0 || name[2] == L'-');
}

bool IsUsableCode(std::wstring_view code) {
    if (code.empty() || code.size() > 16) return false;
    for (wchar_t c : code) {
        const bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                        (c >= L'0' && c <= L'9') || c == L'-' || c == L'_';
        if (!ok) return false;
    }
    return true;
}

bool HashLanguageResources(HMODULE module, uint8_t digest[16]) {
    if (!module || !digest) return false;
    Hash hash;
    hash.Init(HashMethod::MD5);
    EnumState state{&hash, true, 0};
    for (LPCWSTR type : {RT_STRING, RT_DIALOG}) {
        // A module without resources of a type makes the enumeration fail; that is no error.
        ::EnumResourceNamesW(module, type, HashResource, reinterpret_cast<LONG_PTR>(&state));
        if (!state.ok) return false;
    }
    if (state.count == 0) return false;
    hash.End(16, digest);
    return true;
}

std::vector<uint8_t> ModuleSigningMessage(const uint8_t digest[16]) {
    // The tag with its terminator, then the digest.
    std::vector<uint8_t> message(sizeof(kModuleSigningTag) + 16);
    std::memcpy(message.data(), kModuleSigningTag, sizeof(kModuleSigningTag));
    std::memcpy(message.data() + sizeof(kModuleSigningTag), digest, 16);
    return message;
}

void TranslationSigningValue(std::wstring_view code, const void* json, size_t size,
                             uint8_t value[32]) {
    uint8_t prefix[32] = {};
    for (size_t i = 0; i < 32 && !code.empty(); ++i) {
        prefix[i] = static_cast<uint8_t>(FoldLowerAscii(code[i % code.size()]));
    }
    Hash hash;
    hash.Init(HashMethod::BLAKE3);
    hash.HashData(prefix, 32);
    hash.HashData(json, size);
    hash.End(32, value);
}

bool ModuleIsVouchedFor(HMODULE module, const uint8_t digest[16]) {
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(1), L"CERT");
    if (!info || ::SizeofResource(module, info) != codec::kEd25519SignatureSize) return false;
    HGLOBAL loaded = ::LoadResource(module, info);
    const void* signature = loaded ? ::LockResource(loaded) : nullptr;
    if (!signature) return false;
    const std::vector<uint8_t> message = ModuleSigningMessage(digest);
    return codec::Ed25519Verify(kLanguagePublicKey, message.data(), message.size(),
                                static_cast<const uint8_t*>(signature));
}

bool TranslationIsVouchedFor(std::wstring_view code, const std::vector<uint8_t>& json,
                             const std::vector<uint8_t>& signature) {
    if (signature.size() != codec::kEd25519SignatureSize || !IsUsableCode(code)) return false;
    uint8_t value[32];
    TranslationSigningValue(code, json.data(), json.size(), value);
    return codec::Ed25519Verify(kLanguagePublicKey, value, 32, signature.data());
}

LanguageHandle* CreateLanguageHandle(const std::wstring& modulePath, const wchar_t* name,
                                     bool fallback) {
    if (modulePath.empty()) return nullptr;
    auto handle = std::make_unique<LanguageHandle>();
    handle->module = ::LoadLibraryExW(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!handle->module) return nullptr;
    if (!HashLanguageResources(handle->module, handle->resourceDigest) ||
        !ModuleIsVouchedFor(handle->module, handle->resourceDigest)) {
        return nullptr;
    }
    DWORD ms = 0, ls = 0;
    VersionStringsRequest request;
    request.fileVersionMS = &ms;
    request.fileVersionLS = &ls;
    GetFileVersionStrings(modulePath.c_str(), request);
    handle->moduleVersion[0] = ms;
    handle->moduleVersion[1] = ls;
    handle->filePath = modulePath;

    if (name && name[0] && !IsEnglishName(name)) {
        const std::wstring code = CodeOf(name);
        const std::wstring archive = FolderOf(modulePath) + code + L".tarnml";
        std::vector<uint8_t> json, signature;
        std::unique_ptr<Translation> translation;
        if (IsUsableCode(code) && ReadTranslationArchive(archive, code, json, signature) &&
            TranslationIsVouchedFor(code, json, signature)) {
            translation = Translation::Parse(json.data(), json.size());
        }
        if (translation) {
            handle->code = code;
            handle->name = reinterpret_cast<const wchar_t*>(LookupLanguage(code.c_str(), 2));
            handle->filePath = archive;
            handle->hasSubmit = translation->Submit(handle->submit);
            handle->translation = std::move(translation);
        } else if (fallback) {
            handle->requestedName = name;
        } else {
            return nullptr;
        }
    }
    FillFromTable(*handle);
    return handle.release();
}

std::wstring LocateLanguageModule() {
    std::wstring root = ProgramRootFolder();
    if (root.empty()) return {};
    if (root.back() != L'\\') root += L'\\';
    for (const wchar_t* relative : {L"Language\\english.dll", L"english.dll"}) {
        if (FileExists(root + relative)) return root + relative;
    }
    return {};
}

LanguageHandle* CreateLanguageHandle(const wchar_t* name, bool fallback) {
    return CreateLanguageHandle(LocateLanguageModule(), name, fallback);
}

void AddRef(LanguageHandle* handle) {
    if (handle) handle->refs.fetch_add(1, std::memory_order_relaxed);
}

void Release(LanguageHandle* handle) {
    if (handle && handle->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete handle;
}

LanguageHandle* CurrentLanguage() {
    LibraryContext& context = Context();
    if (!ContextReady()) return nullptr;
    ::EnterCriticalSection(&context.lock2);
    // Generations are ticks, which wrap: any difference means another process reloaded.
    const LONG shared = Shared().languageGeneration;
    if (context.language && shared != g_localGeneration) {
        Release(context.language);
        context.language = nullptr;
    }
    g_localGeneration = shared;
    LanguageHandle* handle = context.language;
    if (!handle) {
        ::LeaveCriticalSection(&context.lock2);
        // Reading the configuration and the files happens outside the lock.
        const std::wstring chosen = ChosenLanguage();
        LanguageHandle* made = CreateLanguageHandle(chosen.c_str(), true);
        ::EnterCriticalSection(&context.lock2);
        if (!context.language) {
            context.language = made;
        } else {
            Release(made);  // another thread was quicker
        }
        handle = context.language;
    }
    AddRef(handle);
    ::LeaveCriticalSection(&context.lock2);
    return handle;
}

void ReloadLanguage() {
    LibraryContext& context = Context();
    if (!ContextReady()) return;
    ::EnterCriticalSection(&context.lock2);
    Release(context.language);
    context.language = nullptr;
    LONG tick = static_cast<LONG>(::GetTickCount());
    // The new generation must differ from the old one, or other processes would miss it.
    if (tick == Shared().languageGeneration) ++tick;
    Shared().languageGeneration = tick;
    g_localGeneration = tick;
    ::LeaveCriticalSection(&context.lock2);
}

bool LanguageFileExists(const wchar_t* name) {
    const std::wstring module = LocateLanguageModule();
    if (module.empty()) return false;
    if (!name || !name[0] || IsEnglishName(name)) return true;
    const std::wstring folder = FolderOf(module);
    if (IsUsableCode(name) && FileExists(folder + name + L".tarnml")) return true;
    const std::wstring code = CodeOf(name);
    return IsUsableCode(code) && FileExists(folder + code + L".tarnml");
}

std::wstring PreferredLanguage() {
    ULONG count = 0, chars = 0;
    if (!::GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &chars) || !chars) {
        return L"english";
    }
    std::vector<wchar_t> list(chars);
    if (!::GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, list.data(), &chars)) {
        return L"english";
    }
    std::wstring root = ProgramRootFolder();
    if (!root.empty() && root.back() != L'\\') root += L'\\';
    for (const wchar_t* p = list.data(); *p; p += std::wcslen(p) + 1) {
        const std::wstring code = Lowered(p);
        if (code == L"en" || code == L"english") return {};
        const LanguageRow* row = FindLanguageByCode(code);
        if (!row) row = FindLanguageByCode(code.substr(0, code.find(L'-')));
        if (!row || root.empty()) continue;
        const std::wstring file = std::wstring(row->code) + L".tarnml";
        if (FileExists(root + L"Language\\" + file) || FileExists(root + file)) return row->name;
    }
    return L"english";
}

int LookupString(const LanguageHandle* handle, uint32_t number, wchar_t* buffer, int bufferChars,
                 int mode, uint32_t* value1, uint64_t* value2) {
    if (!handle) return 0;
    bool valueFound = false;
    if (handle->translation && mode != kModuleOnly) {
        TranslatedEntry entry;
        if (handle->translation->FindString(number, entry)) {
            if (value1 && entry.hasValue1) *value1 = entry.value1, valueFound = true;
            if (value2 && entry.hasValue2) *value2 = entry.value2, valueFound = true;
            const int n = Utf8ToBuffer(entry.text, buffer, bufferChars);
            if (n > 0) return n;
        }
        if (mode == kTranslationOnly) return valueFound ? 1 : 0;
    } else if (mode == kTranslationOnly) {
        return 0;
    }
    // LoadStringW with a size of 0 stores a pointer to the resource text in the buffer instead
    // of copying it: a caller's empty buffer must never get there.
    if (!buffer || bufferChars <= 0 || !handle->module) return 0;
    return ::LoadStringW(handle->module, number, buffer, bufferChars);
}

wchar_t* LoadLibString(uint32_t number) {
    LanguageHandle* handle = CurrentLanguage();
    if (!handle) return nullptr;
    std::unique_ptr<wchar_t[]> text(new wchar_t[kTextChars]);
    text[0] = 0;
    int length = 0;
    bool found = false;
    auto overlay = Context().hostTranslationOverlay;
    if (overlay && overlay(static_cast<int>(number), text.get(), kTextChars)) {
        text[kTextChars - 1] = 0;
        length = static_cast<int>(std::wcslen(text.get()));
        found = true;  // the host's text wins even when it is empty
    } else {
        length = LookupString(handle, number, text.get(), kTextChars, kTranslationThenModule,
                              nullptr, nullptr);
        found = length > 0;
    }
    Release(handle);
    if (!found) return nullptr;
    auto* copy = static_cast<wchar_t*>(::LocalAlloc(LMEM_FIXED, (length + 1) * sizeof(wchar_t)));
    if (!copy) return nullptr;
    std::wmemcpy(copy, text.get(), static_cast<size_t>(length));
    copy[length] = 0;
    return copy;
}

}  // namespace lang
}  // namespace kwill
