// kwill explorer: what the Explorer replacement makes of a command line, a DDE folder request or
// a folder, through the library's exports.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kwill::tools {
namespace {

using ParseFn = BOOL (*)(const wchar_t*, DWORD*, wchar_t*, int, wchar_t*, int);
using DdeFn = LPITEMIDLIST (*)(const wchar_t*, BOOL, wchar_t*, int);
using ToStringFn = DWORD (*)(LPCITEMIDLIST, wchar_t*, DWORD, WORD);
using FreeFn = void (*)(LPITEMIDLIST);

const Subcommand& Command();

std::string FlagNames(DWORD flags) {
    static const char* const kNames[] = {"n", "e", "root", "select"};
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (flags & (1u << i)) text += std::string(text.empty() ? "" : " ") + "/" + kNames[i];
    }
    return text.empty() ? "none" : text;
}

int Parse(const std::string& line) {
    KwillDll& dll = KwillDll::Get();
    std::wstring root(1024, L'\0'), path(1024, L'\0');
    DWORD flags = 0;
    BOOL found = dll.Require<ParseFn>("ParseExplorerCmdLine")(WideFromUtf8(line).c_str(), &flags,
                                                              root.data(), 1024, path.data(), 1024);
    char head[64];
    std::snprintf(head, sizeof(head), "flags: 0x%lx (", static_cast<unsigned long>(flags));
    WriteOut(head + FlagNames(flags) + ")\nroot: " + Utf8FromWide(root.c_str()) +
             "\npath: " + Utf8FromWide(path.c_str()) + "\nfound: " + (found ? "yes" : "no") + "\n");
    return found ? 0 : 1;
}

// The list's text form and its parsing name as the shell gives it.
std::string DescribeList(LPCITEMIDLIST list) {
    KwillDll& dll = KwillDll::Get();
    auto toString = dll.Require<ToStringFn>("PIDLToString");
    DWORD chars = toString(list, nullptr, 0, 0);
    std::wstring text(chars, L'\0');
    toString(list, text.data(), chars, 0);
    std::string out = "list: " + Utf8FromWide(text.c_str()) + " (" +
                      std::to_string(::ILGetSize(list)) + " bytes)\n";
    wchar_t name[MAX_PATH * 4];
    if (::SHGetPathFromIDListEx(static_cast<PCIDLIST_ABSOLUTE>(list), name, MAX_PATH * 4, 0)) {
        out += "names: " + Utf8FromWide(name) + "\n";
    }
    return out;
}

int Dde(const std::string& text, bool afterCommand) {
    KwillDll& dll = KwillDll::Get();
    std::wstring path(1025, L'\0');
    LPITEMIDLIST list = dll.Require<DdeFn>("GetPidlFromDDEString")(WideFromUtf8(text).c_str(),
                                                                   afterCommand, path.data(), 1025);
    if (list) {
        WriteOut(DescribeList(list));
        dll.Require<FreeFn>("PIDLFree")(list);
        return 0;
    }
    if (path[0]) {
        WriteOut("path: " + Utf8FromWide(path.c_str()) + "\n");
        return 0;
    }
    WriteOut("no folder\n");
    return 1;
}

int Run(const std::vector<std::string>& args) {
    if (args.size() == 2 && args[0] == "parse") return Parse(args[1]);
    if (args.size() == 2 && args[0] == "dde") return Dde(args[1], false);
    if (args.size() == 3 && args[0] == "dde" && args[1] == "--after") return Dde(args[2], true);
    return UsageError(Command());
}

const Subcommand kCommand = {
    "explorer",
    "the Explorer replacement: a command line's switches and items, a DDE folder request",
    "parse LINE | dde [--after] STRING", Run};
const SubcommandRegistrar kRegistrar(kCommand);

const Subcommand& Command() {
    return kCommand;
}

}  // namespace
}  // namespace kwill::tools
