// kwill pidl: shows the ID list of a path and its text form, or reads a text form back and names
// the path. For debugging configuration files that store ID lists.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kwill::tools {
namespace {

using ListFn = LPITEMIDLIST (*)(LPCITEMIDLIST);
using SizeFn = DWORD (*)(LPCITEMIDLIST);
using FreeFn = void (*)(LPITEMIDLIST);
using GuidFn = BOOL (*)(LPCITEMIDLIST, GUID*);
using ToStringFn = DWORD (*)(LPCITEMIDLIST, wchar_t*, DWORD, WORD);
using FromStringFn = LPITEMIDLIST (*)(const wchar_t*, WORD*);
using BindParentFn = IShellFolder* (*)(LPCITEMIDLIST, LPCITEMIDLIST*);
using ConvertFn = void (*)(STRRET*, LPCITEMIDLIST, wchar_t*, DWORD);

const Subcommand& Command();

std::string Hex(const uint8_t* p, size_t n) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof(buf), "%02x", p[i]);
        out += buf;
    }
    return out;
}

std::string GuidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

// One line per item: offset, size, type byte, class GUID when it has one, and up to 24 bytes.
std::string DescribeItems(LPCITEMIDLIST list) {
    KwillDll& dll = KwillDll::Get();
    auto next = dll.Require<ListFn>("PIDLNext");
    auto getGuid = dll.Require<GuidFn>("PIDLGetGUID");
    std::string text;
    const auto* start = reinterpret_cast<const uint8_t*>(list);
    int index = 0;
    for (LPCITEMIDLIST item = list; item && item->mkid.cb != 0; item = next(item), ++index) {
        const auto* p = reinterpret_cast<const uint8_t*>(item);
        size_t cb = item->mkid.cb;
        char line[128];
        std::snprintf(line, sizeof(line), "item %d: offset %zu, cb %zu", index,
                      static_cast<size_t>(p - start), cb);
        text += line;
        if (cb >= 3) {
            std::snprintf(line, sizeof(line), ", type 0x%02x", p[2]);
            text += line;
        }
        GUID guid;
        if (getGuid(item, &guid)) text += ", class " + GuidText(guid);
        size_t shown = cb < 24 ? cb : 24;
        text += "\n    " + Hex(p, shown) + (shown < cb ? "..." : "") + "\n";
    }
    return text;
}

std::string Summary(LPCITEMIDLIST list) {
    KwillDll& dll = KwillDll::Get();
    DWORD count = dll.Require<SizeFn>("ILGetCount")(list);
    DWORD size = dll.Require<SizeFn>("ILSize")(list);
    return std::to_string(count) + " items, " + std::to_string(size) + " bytes\n" +
           DescribeItems(list);
}

// The parsing name of the list's object, through the library's binding and STRRET conversion.
std::string ParsingName(LPCITEMIDLIST list) {
    KwillDll& dll = KwillDll::Get();
    LPCITEMIDLIST last = nullptr;
    IShellFolder* folder = dll.Require<BindParentFn>("ILBindToParent")(list, &last);
    if (!folder) return "(no folder)";
    static const SHITEMID kEmpty = {0, {0}};
    LPCITEMIDLIST item = last ? last : reinterpret_cast<LPCITEMIDLIST>(&kEmpty);
    STRRET name = {};
    std::string result = "(no name)";
    if (SUCCEEDED(folder->GetDisplayNameOf(item, SHGDN_FORPARSING, &name))) {
        wchar_t buffer[32768];
        dll.Require<ConvertFn>("ConvertSTRRET")(&name, item, buffer, 32768);
        result = Utf8FromWide(buffer);
    }
    folder->Release();
    return result;
}

int FromPath(const std::string& path) {
    KwillDll& dll = KwillDll::Get();
    PIDLIST_ABSOLUTE list = nullptr;
    HRESULT hr = ::SHParseDisplayName(WideFromUtf8(path).c_str(), nullptr, &list, 0, nullptr);
    if (FAILED(hr) || !list) {
        char line[64];
        std::snprintf(line, sizeof(line), " (0x%08lx)\n", static_cast<unsigned long>(hr));
        WriteErr("kwill pidl: the shell cannot parse " + path + line);
        return 1;
    }
    auto toString = dll.Require<ToStringFn>("PIDLToString");
    DWORD chars = toString(list, nullptr, 0, 0);
    std::wstring text(chars, L'\0');
    toString(list, text.data(), chars, 0);
    text.resize(chars - 1);
    WriteOut(Summary(list) + "text: " + Utf8FromWide(text) + "\n");
    dll.Require<FreeFn>("PIDLFree")(list);
    return 0;
}

int FromText(const std::string& text) {
    KwillDll& dll = KwillDll::Get();
    WORD tag = 0;
    LPITEMIDLIST list =
        dll.Require<FromStringFn>("PIDLFromString")(WideFromUtf8(text).c_str(), &tag);
    if (!list) {
        WriteErr("kwill pidl: not a well-formed ID-list text\n");
        return 1;
    }
    char line[32];
    std::snprintf(line, sizeof(line), "tag: 0x%04x\n", tag);
    WriteOut(line + Summary(list) + "path: " + ParsingName(list) + "\n");
    dll.Require<FreeFn>("PIDLFree")(list);
    return 0;
}

int Run(const std::vector<std::string>& args) {
    if (args.size() == 1 && args[0] != "--from" && args[0] != "--help") return FromPath(args[0]);
    if (args.size() == 2 && args[0] == "--from") return FromText(args[1]);
    return UsageError(Command());
}

const Subcommand kCommand = {"pidl",
                             "the ID list of a path (items, sizes, text form), or the path "
                             "that an ID-list text names",
                             "PATH | --from TEXT", Run};
const SubcommandRegistrar kRegistrar(kCommand);

const Subcommand& Command() {
    return kCommand;
}

}  // namespace
}  // namespace kwill::tools
