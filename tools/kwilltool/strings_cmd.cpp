// kwill sort / kwill cmp: the library's comparisons on real names, through the DLL's exports.
#include "frame/pinyin_table.h"
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace kwill::tools {
namespace {

using CompareN = int (*)(const wchar_t*, const wchar_t*, int);
using CompareNA = int (*)(const char*, const char*, int);
using ComparePY = int (*)(const wchar_t*, const wchar_t*, int, const PinyinInitialsTable*);
using SearchW = const wchar_t* (*)(const wchar_t*, const wchar_t*);
using SearchPY = const wchar_t* (*)(const wchar_t*, const wchar_t*, const PinyinInitialsTable*);
using ComparePath = int (*)(const wchar_t*, const wchar_t*, DWORD);
using Natural = int (*)(const wchar_t*, const wchar_t*, DWORD);

constexpr WORD kGetPinyinTable = 162;

bool ParseNumber(const std::string& text, long long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    *value = std::strtoll(text.c_str(), &end, 0);
    return end && *end == 0;
}

// ---- kwill sort

int RunSort(const std::vector<std::string>& args);

const Subcommand kSortCommand = {
    "sort", "sorts the lines of standard input (UTF-8) in natural, path or ordinal order",
    "[--natural | --path | --ordinal] [-i]   (natural order always ignores case; --path and "
    "--ordinal compare case unless -i)",
    RunSort};

int RunSort(const std::vector<std::string>& args) {
    enum class Mode { Natural, Path, Ordinal } mode = Mode::Natural;
    bool ignoreCase = false;
    for (const std::string& a : args) {
        if (a == "--natural") {
            mode = Mode::Natural;
        } else if (a == "--path") {
            mode = Mode::Path;
        } else if (a == "--ordinal") {
            mode = Mode::Ordinal;
        } else if (a == "-i") {
            ignoreCase = true;
        } else {
            return UsageError(kSortCommand, "unknown option '" + a + "'");
        }
    }
    const std::vector<uint8_t> input = ReadAllStdin();
    std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::wstring> lines;
    for (const std::string& line : SplitLines(text)) lines.push_back(WideFromUtf8(line));

    KwillDll& dll = KwillDll::Get();
    std::function<bool(const std::wstring&, const std::wstring&)> less;
    switch (mode) {
        case Mode::Natural: {
            auto fn = dll.Require<Natural>("NumericStrCmp");
            less = [fn](const std::wstring& x, const std::wstring& y) {
                return fn(x.c_str(), y.c_str(), 0) < 0;
            };
            break;
        }
        case Mode::Path: {
            auto fn = dll.Require<ComparePath>("PathStrCmpW");
            const DWORD flags = ignoreCase ? 0 : 0x2;
            less = [fn, flags](const std::wstring& x, const std::wstring& y) {
                return fn(x.c_str(), y.c_str(), flags) < 0;
            };
            break;
        }
        case Mode::Ordinal: {
            auto fn = dll.Require<CompareN>(ignoreCase ? "stricmpnW" : "strcmpnW");
            less = [fn](const std::wstring& x, const std::wstring& y) {
                return fn(x.c_str(), y.c_str(), -1) < 0;
            };
            break;
        }
    }
    // A merge sort stays within bounds even where an order is not consistent (the path order
    // between names of different lengths need not be).
    std::stable_sort(lines.begin(), lines.end(), less);
    std::string out;
    for (const std::wstring& line : lines) out += Utf8FromWide(line) + "\n";
    WriteOut(out);
    return 0;
}

// ---- kwill cmp

int RunCmp(const std::vector<std::string>& args);

const Subcommand kCmpCommand = {
    "cmp", "prints the result of one comparison or search of the library on two strings",
    "FUNCTION A B [ARG...]\n"
    "  limit n (default -1): strcmpnW stricmpnW stricmpnWF strcmpnPSW stricmpnPSW strcmpnPIESW\n"
    "    stricmpnPIESW strcmpnHSW stricmpnHSW strcmpnA stricmpnA strcmpnWPY stricmpnWPY\n"
    "    stricmpnWFPY (the PY functions use the table installed in the library, if any)\n"
    "  searches (A is the text): strstriW strstriWW strstrWPY strstriWWPY strstriA\n"
    "  flags (default 0): PathStrCmpW ComparePathStringW; StringCompareW FLAGS [N];\n"
    "  NumericStrCmp [WORDSORT]; FileSystemCompareString [IGNORECASE [WORDSORT]]; "
    "safestrcmpiW",
    RunCmp};

int RunCmp(const std::vector<std::string>& args) {
    if (args.size() < 3) return UsageError(kCmpCommand, "needs a function and two strings");
    const std::string& name = args[0];
    std::vector<long long> extra;
    for (size_t i = 3; i < args.size(); ++i) {
        long long v = 0;
        if (!ParseNumber(args[i], &v))
            return UsageError(kCmpCommand, "bad number '" + args[i] + "'");
        extra.push_back(v);
    }
    auto arg = [&extra](size_t i, long long fallback) {
        return i < extra.size() ? extra[i] : fallback;
    };
    const std::wstring a = WideFromUtf8(args[1]);
    const std::wstring b = WideFromUtf8(args[2]);
    KwillDll& dll = KwillDll::Get();
    auto print = [](long long value) {
        WriteOut(std::to_string(value) + "\n");
        return 0;
    };
    auto printFound = [&a](const wchar_t* found) {
        WriteOut(found ? "found at " + std::to_string(found - a.c_str()) + "\n" : "not found\n");
        return 0;
    };
    const int n = static_cast<int>(arg(0, -1));

    static const char* const kLimited[] = {"strcmpnW",      "stricmpnW",   "stricmpnWF",
                                           "strcmpnPSW",    "stricmpnPSW", "strcmpnPIESW",
                                           "stricmpnPIESW", "strcmpnHSW",  "stricmpnHSW"};
    for (const char* f : kLimited) {
        if (name == f) return print(dll.Require<CompareN>(f)(a.c_str(), b.c_str(), n));
    }
    if (name == "strcmpnA" || name == "stricmpnA") {
        return print(dll.Require<CompareNA>(name.c_str())(args[1].c_str(), args[2].c_str(), n));
    }
    auto table = dll.Require<const PinyinInitialsTable* (*)()>(kGetPinyinTable)();
    if (name == "strcmpnWPY" || name == "stricmpnWPY" || name == "stricmpnWFPY") {
        return print(dll.Require<ComparePY>(name.c_str())(a.c_str(), b.c_str(), n, table));
    }
    if (name == "strstriW" || name == "strstriWW") {
        return printFound(dll.Require<SearchW>(name.c_str())(a.c_str(), b.c_str()));
    }
    if (name == "strstrWPY" || name == "strstriWWPY") {
        return printFound(dll.Require<SearchPY>(name.c_str())(a.c_str(), b.c_str(), table));
    }
    if (name == "strstriA") {
        using SearchA = const char* (*)(const char*, const char*);
        const char* found = dll.Require<SearchA>("strstriA")(args[1].c_str(), args[2].c_str());
        WriteOut(found ? "found at " + std::to_string(found - args[1].c_str()) + "\n"
                       : "not found\n");
        return 0;
    }
    if (name == "PathStrCmpW" || name == "ComparePathStringW") {
        return print(dll.Require<ComparePath>(name.c_str())(a.c_str(), b.c_str(),
                                                            static_cast<DWORD>(arg(0, 0))));
    }
    if (name == "StringCompareW") {
        using Fn = int (*)(const wchar_t*, const wchar_t*, DWORD, int);
        return print(dll.Require<Fn>("StringCompareW")(
            a.c_str(), b.c_str(), static_cast<DWORD>(arg(0, 0)), static_cast<int>(arg(1, -1))));
    }
    if (name == "NumericStrCmp") {
        return print(dll.Require<Natural>("NumericStrCmp")(a.c_str(), b.c_str(),
                                                           static_cast<DWORD>(arg(0, 0))));
    }
    if (name == "FileSystemCompareString") {
        using Fn = int (*)(const wchar_t*, int, const wchar_t*, int, DWORD, DWORD);
        return print(dll.Require<Fn>("FileSystemCompareString")(a.c_str(), -1, b.c_str(), -1,
                                                                static_cast<DWORD>(arg(0, 0)),
                                                                static_cast<DWORD>(arg(1, 0))));
    }
    if (name == "safestrcmpiW") {
        using Fn = int (*)(const wchar_t*, const wchar_t*);
        return print(dll.Require<Fn>("safestrcmpiW")(a.c_str(), b.c_str()));
    }
    return UsageError(kCmpCommand, "unknown function '" + name + "'");
}

const SubcommandRegistrar kSortRegistrar(kSortCommand);
const SubcommandRegistrar kCmpRegistrar(kCmpCommand);

}  // namespace
}  // namespace kwill::tools
