// kwill match: filters names through a wildcard pattern; kwill find: Boyer-Moore search of the
// text of files. Both go through the library's exports, as the host does.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace kwill::tools {
namespace {

// ---- kwill match

using AllocPatternFn = void* (*)(const wchar_t*, DWORD);
using MatchPatternFn = int (*)(const void*, const wchar_t*);
using PatternStateFn = DWORD (*)(const void*);
using FreePatternFn = void (*)(void*);

int RunMatch(const std::vector<std::string>& args);

const Subcommand kMatch = {
    "match", "print the names that match a wildcard pattern (names from arguments or stdin)",
    "[OPTIONS] PATTERN [NAME...]\n"
    "  -c, --case       case-sensitive (option 0x2)\n"
    "  -x, --ext        a list of extensions such as \"jpg png;gif\" (0x1)\n"
    "  --plain          only * and ? are special (0x4)\n"
    "  --regex          PATTERN is a regular expression (0x8); --anchor anchors it (0x100)\n"
    "  --path           / and \\ are the same (0x10)\n"
    "  --fold           ignore diacritics (0x40)\n"
    "  --partial        the pattern may match anywhere in the name (0x80)\n"
    "  --no-negation    a leading ~ is an ordinary negation item (0x200)\n"
    "  --options N      add raw option bits (decimal or 0x hex)\n"
    "  -v, --invert     print the names that do not match\n"
    "  Without NAME arguments the names are the lines of standard input (UTF-8).\n"
    "  Exit status: 0 some name printed, 1 none, 2 invalid pattern or bad usage.",
    RunMatch};

int RunMatch(const std::vector<std::string>& args) {
    struct Flag {
        const char* shortName;
        const char* longName;
        DWORD bit;
    };
    static const Flag kFlags[] = {
        {"-c", "--case", 0x2},
        {"-x", "--ext", 0x1},
        {nullptr, "--plain", 0x4},
        {nullptr, "--regex", 0x8},
        {nullptr, "--path", 0x10},
        {nullptr, "--fold", 0x40},
        {nullptr, "--partial", 0x80},
        {nullptr, "--anchor", 0x100},
        {nullptr, "--no-negation", 0x200},
    };
    DWORD options = 0;
    bool invert = false;
    std::optional<std::string> pattern;
    std::vector<std::string> names;
    bool optionsDone = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsDone && !pattern && a.size() > 1 && a[0] == '-') {
            if (a == "--") {
                optionsDone = true;
                continue;
            }
            if (a == "--help") {
                WriteOut("usage: kwill match " + std::string(kMatch.usage) + "\n");
                return 0;
            }
            if (a == "-v" || a == "--invert") {
                invert = true;
                continue;
            }
            if (a == "--options") {
                if (++i == args.size()) return UsageError(kMatch, "--options needs a number");
                char* end = nullptr;
                options |= static_cast<DWORD>(std::strtoul(args[i].c_str(), &end, 0));
                if (!end || *end) return UsageError(kMatch, "bad number '" + args[i] + "'");
                continue;
            }
            bool known = false;
            for (const Flag& f : kFlags) {
                if ((f.shortName && a == f.shortName) || a == f.longName) {
                    options |= f.bit;
                    known = true;
                }
            }
            if (!known) return UsageError(kMatch, "unknown option '" + a + "'");
        } else if (!pattern) {
            pattern = a;
        } else {
            names.push_back(a);
        }
    }
    if (!pattern) return UsageError(kMatch, "no pattern");

    KwillDll& dll = KwillDll::Get();
    auto alloc = dll.Require<AllocPatternFn>("AllocMatchPatternW");
    auto match = dll.Require<MatchPatternFn>("MatchPatternW");
    auto state = dll.Require<PatternStateFn>("IsPatternWild");
    auto release = dll.Require<FreePatternFn>("FreeMatchPattern");

    void* handle = alloc(WideFromUtf8(*pattern).c_str(), options);
    if (!handle) {
        WriteErr("kwill match: out of memory\n");
        return 2;
    }
    if (state(handle) == 0xFFFFFFFF) {
        WriteErr("kwill match: invalid pattern '" + *pattern + "'\n");
        release(handle);
        return 2;
    }
    if (names.empty()) {
        std::vector<uint8_t> input = ReadAllStdin();
        names =
            SplitLines(std::string_view(reinterpret_cast<const char*>(input.data()), input.size()));
    }
    bool any = false;
    for (const std::string& name : names) {
        const bool hit = match(handle, WideFromUtf8(name).c_str()) == 1;
        if (hit != invert) {
            WriteOut(name + "\n");
            any = true;
        }
    }
    release(handle);
    return any ? 0 : 1;
}

const SubcommandRegistrar kMatchRegistrar(kMatch);

// ---- kwill find

using BoyerAllocFn = void* (*)(const wchar_t*);
using BoyerFreeFn = void (*)(void*);
using BoyerFindFn = wchar_t* (*)(void*, const wchar_t*, int, BYTE, BYTE);

int RunFind(const std::vector<std::string>& args);

const Subcommand kFind = {
    "find", "Boyer-Moore search of files (UTF-16 or UTF-8) for a text; prints byte offsets",
    "[-i] [--fold] [--reverse] TEXT FILE...\n"
    "  -i         ignore case\n"
    "  --fold     ignore diacritics (cafe finds caf\xC3\xA9)\n"
    "  --reverse  search from the end; offsets come out last first\n"
    "  FILE       UTF-16 when it starts with a UTF-16 byte order mark or looks like UTF-16LE,\n"
    "             else UTF-8; - reads standard input\n"
    "  Prints the byte offset in the file of every match (FILE:OFFSET with several files).\n"
    "  Exit status: 0 found, 1 not found, 2 error.",
    RunFind};

// The text of a file as UTF-16, with the byte offset in the file of every unit (and one past).
struct LoadedText {
    std::wstring units;
    std::vector<size_t> byteOffset;
};

bool LooksLikeUtf16(const std::vector<uint8_t>& bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return true;
    if (bytes.size() < 2 || bytes.size() % 2) return false;
    size_t zeros = 0;
    for (size_t i = 1; i < bytes.size(); i += 2) zeros += bytes[i] == 0;
    return zeros * 4 >= bytes.size() / 2;
}

LoadedText Load(const std::vector<uint8_t>& bytes) {
    LoadedText text;
    if (LooksLikeUtf16(bytes)) {
        size_t start = (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) ? 2 : 0;
        for (size_t i = start; i + 1 < bytes.size(); i += 2) {
            text.units += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
            text.byteOffset.push_back(i);
        }
        text.byteOffset.push_back(bytes.size());
        return text;
    }
    // UTF-8, converted one sequence at a time so that each unit knows where it came from.
    size_t i =
        (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) ? 3 : 0;
    while (i < bytes.size()) {
        const uint8_t lead = bytes[i];
        size_t length = lead < 0x80    ? 1
                        : lead >= 0xF0 ? 4
                        : lead >= 0xE0 ? 3
                        : lead >= 0xC0 ? 2
                                       : 1;
        length = std::min(length, bytes.size() - i);
        std::wstring piece =
            WideFromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data() + i), length));
        for (wchar_t c : piece) {
            text.units += c;
            text.byteOffset.push_back(i);
        }
        i += length;
    }
    text.byteOffset.push_back(bytes.size());
    return text;
}

int RunFind(const std::vector<std::string>& args) {
    bool ignoreCase = false, fold = false, reverse = false;
    std::optional<std::string> sought;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "--help") {
            WriteOut("usage: kwill find " + std::string(kFind.usage) + "\n");
            return 0;
        } else if (!sought && a == "-i") {
            ignoreCase = true;
        } else if (!sought && a == "--fold") {
            fold = true;
        } else if (!sought && a == "--reverse") {
            reverse = true;
        } else if (!sought) {
            sought = a;
        } else {
            files.push_back(a);
        }
    }
    if (!sought || files.empty()) return UsageError(kFind);

    KwillDll& dll = KwillDll::Get();
    auto alloc = dll.Require<BoyerAllocFn>("BoyerAllocW");
    auto release = dll.Require<BoyerFreeFn>("BoyerFree");
    auto find = dll.Require<BoyerFindFn>("BoyerFindW");
    auto rfind = dll.Require<BoyerFindFn>("BoyerRFindW");

    const std::wstring pattern = WideFromUtf8(*sought);
    void* handle = alloc(pattern.c_str());
    if (!handle) return UsageError(kFind, "the text to find is empty");
    bool any = false;
    for (const std::string& file : files) {
        unsigned long error = 0;
        std::optional<std::vector<uint8_t>> bytes =
            file == "-" ? std::optional(ReadAllStdin()) : ReadWholeFile(WideFromUtf8(file), &error);
        if (!bytes) {
            WriteErr("kwill find: cannot read " + file + ": " + SystemMessage(error) + "\n");
            release(handle);
            return 2;
        }
        if (bytes->size() / 2 > 0x7FFFFFFF) {
            WriteErr("kwill find: " + file + " is too large\n");
            release(handle);
            return 2;
        }
        LoadedText text = Load(*bytes);
        const wchar_t* base = text.units.data();
        const std::string prefix = files.size() > 1 ? file + ":" : "";
        auto report = [&](const wchar_t* at) {
            WriteOut(prefix + std::to_string(text.byteOffset[at - base]) + "\n");
            any = true;
        };
        if (!reverse) {
            size_t from = 0;
            while (from < text.units.size()) {
                const wchar_t* at =
                    find(handle, base + from, static_cast<int>(text.units.size() - from),
                         ignoreCase, fold);
                if (!at) break;
                report(at);
                from = static_cast<size_t>(at - base) + 1;
            }
        } else {
            // Each further search ends just before the last match's last character, so that
            // overlapping matches are found too. A folded match may be shorter in the text than
            // the pattern; then the search is cut at the match itself.
            size_t limit = text.units.size();
            size_t last = text.units.size();
            while (limit > 0) {
                const wchar_t* at = rfind(handle, base, static_cast<int>(limit), ignoreCase, fold);
                if (!at) break;
                const size_t start = static_cast<size_t>(at - base);
                if (start >= last) {
                    limit = last;
                    continue;
                }
                report(at);
                last = start;
                limit = std::min(text.units.size(), start + pattern.size() - 1);
            }
        }
    }
    release(handle);
    return any ? 0 : 1;
}

const SubcommandRegistrar kFindRegistrar(kFind);

}  // namespace
}  // namespace kwill::tools
