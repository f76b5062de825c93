// kwill regex: prints the lines of UTF-8 files that hold a match of a regular expression, or the
// replacement template expanded from each match, through the library's RegExp exports.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <optional>
#include <string>
#include <vector>

namespace kwill::tools {
namespace {

using AllocFn = void* (*)(const wchar_t*, DWORD);
using FreeFn = void (*)(void*);
using ParsedFn = BOOL (*)(void*);
using MatchFn = BOOL (*)(void*, const wchar_t*, DWORD, void**);
using ReplaceFn = BOOL (*)(void*, void*, DWORD*, const wchar_t*, wchar_t*, int);
using FreeResultsFn = void (*)(void*, void*);
using ErrorFn = DWORD (*)(void*);
using ErrorMsgFn = DWORD (*)(void*, DWORD);

int Run(const std::vector<std::string>& args);

const Subcommand kCommand = {
    "regex", "print the lines of files that match a regular expression, or a replacement",
    "PATTERN [--engine std|own] [-i] [--replace TEXT] FILE...\n"
    "  --engine  std: the standard library's ECMAScript engine; own: the library's engine;\n"
    "            default: library flag 0x40 decides\n"
    "  -i        ignore case\n"
    "  --replace print TEXT expanded for each match (& the match, \\1..\\9 groups)\n"
    "  FILE      UTF-8 text; - reads standard input",
    Run};

constexpr DWORD kEmptyText = 21;
constexpr DWORD kOutputFull = 23;

int Run(const std::vector<std::string>& args) {
    std::string pattern;
    bool havePattern = false;
    DWORD engine = 0;
    bool ignoreCase = false;
    bool replace = false;
    std::wstring tmpl;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help") {
            WriteOut("usage: kwill regex " + std::string(kCommand.usage) + "\n");
            return 0;
        } else if (a == "--engine") {
            if (++i == args.size()) return UsageError(kCommand, "--engine needs std or own");
            if (args[i] == "std")
                engine = 2;
            else if (args[i] == "own")
                engine = 1;
            else
                return UsageError(kCommand, "unknown engine '" + args[i] + "'");
        } else if (a == "-i") {
            ignoreCase = true;
        } else if (a == "--replace") {
            if (++i == args.size()) return UsageError(kCommand, "--replace needs a template");
            replace = true;
            tmpl = WideFromUtf8(args[i]);
        } else if (!havePattern) {
            pattern = a;
            havePattern = true;
        } else {
            files.push_back(a);
        }
    }
    if (!havePattern || files.empty()) return UsageError(kCommand);

    KwillDll& dll = KwillDll::Get();
    auto alloc = dll.Require<AllocFn>("RegExpAllocW");
    auto release = dll.Require<FreeFn>("RegExpFree");
    auto parsed = dll.Require<ParsedFn>("RegExpParsed");
    auto match = dll.Require<MatchFn>("RegExpMatchW");
    auto expand = dll.Require<ReplaceFn>("RegExpReplaceW");
    auto freeResults = dll.Require<FreeResultsFn>("RegExpFreeResults");
    auto lastError = dll.Require<ErrorFn>("RegExpCompileError");
    auto errorMsg = dll.Require<ErrorMsgFn>("RegExpErrorMsg");

    std::wstring wide = WideFromUtf8(pattern);
    void* handle = alloc(wide.c_str(), engine);
    if (!handle) {
        WriteErr("kwill regex: out of memory\n");
        return 2;
    }
    auto fail = [&](const std::string& what) {
        DWORD code = lastError(handle);
        WriteErr("kwill regex: " + what + ": error " + std::to_string(code) + " (language string " +
                 std::to_string(errorMsg(handle, code)) + ")\n");
        release(handle);
        return 2;
    };
    if (!parsed(handle)) return fail("bad pattern");

    bool any = false;
    std::vector<wchar_t> out(4096);
    for (const std::string& file : files) {
        std::optional<std::vector<uint8_t>> bytes;
        unsigned long error = 0;
        if (file == "-")
            bytes = ReadAllStdin();
        else
            bytes = ReadWholeFile(WideFromUtf8(file), &error);
        if (!bytes) {
            WriteErr("kwill regex: cannot read " + file + ": " + SystemMessage(error) + "\n");
            release(handle);
            return 2;
        }
        std::string text(bytes->begin(), bytes->end());
        std::string prefix = files.size() > 1 ? file + ":" : "";
        for (const std::string& line : SplitLines(text)) {
            std::wstring subject = WideFromUtf8(line);
            void* results = nullptr;
            BOOL hit =
                match(handle, subject.c_str(), ignoreCase ? 0 : 1, replace ? &results : nullptr);
            if (!hit) {
                DWORD code = lastError(handle);
                if (code != 0 && code != kEmptyText) return fail("match failed");
                continue;
            }
            any = true;
            if (!replace) {
                WriteOut(prefix + line + "\n");
                continue;
            }
            DWORD error = 0;
            while (!expand(handle, results, &error, tmpl.c_str(), out.data(),
                           static_cast<int>(out.size())) &&
                   error == kOutputFull && out.size() < (1u << 24)) {
                out.resize(out.size() * 2);
            }
            freeResults(handle, results);
            if (error != 0) {
                WriteErr("kwill regex: replacement failed: error " + std::to_string(error) + "\n");
                release(handle);
                return 2;
            }
            WriteOut(prefix + Utf8FromWide(out.data()) + "\n");
        }
    }
    release(handle);
    return any ? 0 : 1;
}

const SubcommandRegistrar kRegistrar(kCommand);

}  // namespace
}  // namespace kwill::tools
