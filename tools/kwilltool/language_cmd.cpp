// kwill size / kwill lang: byte sizes and language strings through the DLL's exports.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace kwill::tools {
namespace {

using BytesToStringFn = int (*)(uint64_t, wchar_t*, int, uint32_t, const void*);
using LookupLanguageFn = uintptr_t (*)(const wchar_t*, int);
using GetHandleFn = void* (*)();
using CreateHandleFn = void* (*)(const wchar_t*);
using ReleaseFn = void (*)(void*);
using TextFn = const wchar_t* (*)(const void*);
using LookupStringFn = int (*)(const void*, unsigned, wchar_t*, int, int, uint32_t*, uint64_t*);
using FileExistsFn = BOOL (*)(const wchar_t*);

bool ParseUnsigned(const std::string& text, uint64_t* value) {
    if (text.empty() || text[0] == '-') return false;
    char* end = nullptr;
    *value = std::strtoull(text.c_str(), &end, 0);
    return end && *end == 0;
}

// ---- kwill size

int RunSize(const std::vector<std::string>& args);

const Subcommand kSizeCommand = {
    "size", "a byte count as the file manager shows it (units from the current language)",
    "N [FLAGS]   (FLAGS as BytesToStringW takes them, e.g. 0x20 always KB, 0x40 round up)",
    RunSize};

int RunSize(const std::vector<std::string>& args) {
    uint64_t value = 0, flags = 0;
    if (args.empty() || args.size() > 2 || !ParseUnsigned(args[0], &value) ||
        (args.size() == 2 && (!ParseUnsigned(args[1], &flags) || flags > 0xFFFFFFFF))) {
        return UsageError(kSizeCommand);
    }
    auto bytesToString = KwillDll::Get().Require<BytesToStringFn>("BytesToStringW");
    wchar_t out[128];
    bytesToString(value, out, 128, static_cast<uint32_t>(flags), nullptr);
    WriteOut(Utf8FromWide(out) + "\n");
    return 0;
}

// ---- kwill lang

int RunLang(const std::vector<std::string>& args);

const Subcommand kLangCommand = {
    "lang", "language strings: the languages, the current one, one string, a translation file",
    "list | current | get N [LANGUAGE] | check FILE.tarnml | reload", RunLang};

std::string Text(const wchar_t* s) {
    return s ? Utf8FromWide(s) : std::string("(none)");
}

int RunLang(const std::vector<std::string>& args) {
    const KwillDll& dll = KwillDll::Get();
    if (args.size() == 1 && args[0] == "list") {
        auto lookup = dll.Require<LookupLanguageFn>("LookupLanguage");
        auto exists = dll.Require<FileExistsFn>("LanguageFileExists");
        static const wchar_t* const kNames[] = {
            L"chs", L"cht",     L"czech",  L"dansk",   L"deutsch",  L"dutch",
            L"ell", L"english", L"esm",    L"espanol", L"francais", L"italiano",
            L"jpn", L"kor",     L"magyar", L"nor",     L"polski",   L"pt-br",
            L"ptg", L"rus",     L"slv",    L"svenska", L"trk"};
        for (const wchar_t* name : kNames) {
            const auto* code = reinterpret_cast<const wchar_t*>(lookup(name, 1));
            std::string row = Text(name) + "\t" + Text(code) + "\t" +
                              std::to_string(lookup(name, 3)) + "\t" +
                              (exists(name) ? "installed" : "-") + "\n";
            WriteOut(row);
        }
        return 0;
    }
    if (args.size() == 1 && args[0] == "reload") {
        // Every process that uses the library loads its language again at its next request.
        dll.Require<void (*)()>("ReloadLanguage")();
        return 0;
    }
    if (args.size() == 1 && args[0] == "current") {
        void* h = dll.Require<GetHandleFn>("GetLanguageHandle")();
        if (!h) {
            WriteErr("no language: english.dll is missing or not signed\n");
            return 1;
        }
        WriteOut("name\t" + Text(dll.Require<TextFn>("GetLanguageName")(h)) + "\n");
        WriteOut("code\t" + Text(dll.Require<TextFn>("GetLanguageCode")(h)) + "\n");
        WriteOut("requested\t" + Text(dll.Require<TextFn>("GetLanguageRequestedName")(h)) + "\n");
        WriteOut("file\t" + Text(dll.Require<TextFn>("GetLanguageFilePath")(h)) + "\n");
        dll.Require<ReleaseFn>("ReleaseLanguageHandle")(h);
        return 0;
    }
    if ((args.size() == 2 || args.size() == 3) && args[0] == "get") {
        uint64_t number = 0;
        if (!ParseUnsigned(args[1], &number) || number > 0xFFFFFFFF) {
            return UsageError(kLangCommand);
        }
        void* h =
            args.size() == 3
                ? dll.Require<CreateHandleFn>("CreateLanguageHandle")(WideFromUtf8(args[2]).c_str())
                : dll.Require<GetHandleFn>("GetLanguageHandle")();
        if (!h) {
            WriteErr("no such language, or english.dll is missing or not signed\n");
            return 1;
        }
        std::vector<wchar_t> text(16384);
        const int n = dll.Require<LookupStringFn>("LookupLanguageString")(
            h, static_cast<unsigned>(number), text.data(), 16384, 0, nullptr, nullptr);
        dll.Require<ReleaseFn>("ReleaseLanguageHandle")(h);
        if (n <= 0) {
            WriteErr("no string " + args[1] + "\n");
            return 1;
        }
        WriteOut(Utf8FromWide(text.data()) + "\n");
        return 0;
    }
    if (args.size() == 2 && args[0] == "check") {
        // A translation file is checked as the library loads it: the file must lie in the
        // "Language" folder, and a handle must come of it without falling back.
        std::wstring path = WideFromUtf8(args[1]);
        const size_t slash = path.find_last_of(L"\\/");
        std::wstring code = path.substr(slash == std::wstring::npos ? 0 : slash + 1);
        if (code.size() > 7) code.resize(code.size() - 7);
        void* h = dll.Require<CreateHandleFn>("CreateLanguageHandle")(code.c_str());
        if (!h) {
            WriteErr(args[1] + ": not loadable (missing, damaged, unsigned or not valid JSON)\n");
            return 1;
        }
        WriteOut(Text(dll.Require<TextFn>("GetLanguageFilePath")(h)) + ": " +
                 Text(dll.Require<TextFn>("GetLanguageName")(h)) + ", signed and valid\n");
        dll.Require<ReleaseFn>("ReleaseLanguageHandle")(h);
        return 0;
    }
    return UsageError(kLangCommand);
}

const SubcommandRegistrar kSizeRegistrar(kSizeCommand);
const SubcommandRegistrar kLangRegistrar(kLangCommand);

}  // namespace
}  // namespace kwill::tools
