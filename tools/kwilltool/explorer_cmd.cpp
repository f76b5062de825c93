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
using FromStringFn = LPITEMIDLIST (*)(const wchar_t*, WORD*);
using ExplainFn = BOOL (*)(const wchar_t*, LPCITEMIDLIST, DWORD*, DWORD*);

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

// The names of ExplainHostOpenFolder's rule numbers.
const char* const kRuleNames[] = {
    "coll:// path",    "file-collection item",
    "replacement off", "control-panel item",
    "replacement on",  "exclusion list unavailable",
    "exclusion entry", "no exclusion entry matched",
    "nothing to test", "file-system test",
    "home folder",     "not a file-system folder",
};

int Decide(const std::string& path, const std::string& listText) {
    KwillDll& dll = KwillDll::Get();
    LPITEMIDLIST list = nullptr;
    if (!listText.empty()) {
        list = dll.Require<FromStringFn>("PIDLFromString")(WideFromUtf8(listText).c_str(), nullptr);
        if (!list) {
            WriteErr("kwill explorer decide: not a well-formed ID-list text\n");
            return 2;
        }
    }
    DWORD rule = 0, entry = 0;
    std::wstring widePath = WideFromUtf8(path);
    BOOL host = dll.Require<ExplainFn>("ExplainHostOpenFolder")(
        path.empty() ? nullptr : widePath.c_str(), list, &rule, &entry);
    std::string text = std::string("opens with: ") + (host ? "the host" : "the shell") + "\nrule: ";
    text += rule < std::size(kRuleNames) ? kRuleNames[rule] : "?";
    if (rule == 6) {
        text += ' ';
        text += std::to_string(entry);
    }
    WriteOut(text + "\n");
    if (list) dll.Require<FreeFn>("PIDLFree")(list);
    return 0;
}

int Run(const std::vector<std::string>& args) {
    if (args.size() == 2 && args[0] == "decide" && args[1] != "--pidl") return Decide(args[1], {});
    if (args.size() == 3 && args[0] == "decide" && args[1] == "--pidl") return Decide({}, args[2]);
    if (args.size() == 2 && args[0] == "parse") return Parse(args[1]);
    if (args.size() == 2 && args[0] == "dde") return Dde(args[1], false);
    if (args.size() == 3 && args[0] == "dde" && args[1] == "--after") return Dde(args[2], true);
    return UsageError(Command());
}

const Subcommand kCommand = {
    "explorer",
    "the Explorer replacement: a command line's switches and items, a DDE folder request, "
    "whether the host or the shell opens a folder (and the rule that says so)",
    "parse LINE | dde [--after] STRING | decide PATH | decide --pidl TEXT", Run};
const SubcommandRegistrar kRegistrar(kCommand);

const Subcommand& Command() {
    return kCommand;
}

}  // namespace
}  // namespace kwill::tools
