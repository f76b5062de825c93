// kwill favorites: prints the user's favourite folders (or the recent folders, or the folder
// aliases) as an indented tree, walked through the list exports the way the host walks them:
// at each level the entries with a path first, then the sub-folders. With --data DIR it reads the
// lists of a portable installation whose data folder is DIR, as such a host would.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/portable_data.h"
#include "tools/kwilltool/subcommand.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace kwill::tools {
namespace {

using ListFn = void* (*)();
using WalkFn = void* (*)(void*);
using CopyWFn = BOOL (*)(void*, wchar_t*, int);
using CopyAFn = BOOL (*)(void*, char*, int);

const Subcommand& Command();

constexpr int kBufferChars = 32768;

// A label or path through the W export, or through the A export and back from the ANSI code
// page; "(none)" when the entry has no such string.
std::string Text(void* entry, bool path, bool ansi) {
    KwillDll& dll = KwillDll::Get();
    if (ansi) {
        std::string buffer(kBufferChars, '\0');
        auto copy = dll.Require<CopyAFn>(path ? "GetEntryPathA" : "GetEntryLabelA");
        if (!copy(entry, buffer.data(), kBufferChars)) return "(none)";
        int n = ::MultiByteToWideChar(CP_ACP, 0, buffer.c_str(), -1, nullptr, 0);
        std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, buffer.c_str(), -1, wide.data(), n);
        return Utf8FromWide(wide);
    }
    std::wstring buffer(kBufferChars, L'\0');
    auto copy = dll.Require<CopyWFn>(path ? "GetEntryPathW" : "GetEntryLabelW");
    if (!copy(entry, buffer.data(), kBufferChars)) return "(none)";
    return Utf8FromWide(buffer.c_str());
}

std::string Tree(void* list, bool ansi) {
    KwillDll& dll = KwillDll::Get();
    auto firstPath = dll.Require<WalkFn>("GetFirstPathEntry");
    auto nextPath = dll.Require<WalkFn>("GetNextPathEntry");
    auto firstFolder = dll.Require<WalkFn>("GetFirstSubfolder");
    auto nextFolder = dll.Require<WalkFn>("GetNextSubfolder");
    std::string out;
    struct Level {
        void* container;
        size_t depth;
    };
    std::vector<Level> pending = {{list, 0}};
    while (!pending.empty()) {
        Level level = pending.back();
        pending.pop_back();
        std::string indent(2 * level.depth, ' ');
        if (level.depth > 0) {
            out += indent.substr(2) + Text(level.container, false, ansi) + "/\n";
        }
        for (void* e = firstPath(level.container); e; e = nextPath(e)) {
            out += indent + Text(e, false, ansi) + "  " + Text(e, true, ansi) + "\n";
        }
        std::vector<Level> folders;
        for (void* f = firstFolder(level.container); f; f = nextFolder(f)) {
            folders.push_back({f, level.depth + 1});
        }
        pending.insert(pending.end(), folders.rbegin(), folders.rend());
    }
    return out;
}

int Run(const std::vector<std::string>& args) {
    const char* getter = "GetFavoritesList";
    bool ansi = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--data" && i + 1 < args.size()) {
            if (!UsePortableData(args[++i])) {
                WriteErr("kwill favorites: cannot use " + args[i] + " as the data folder\n");
                return 1;
            }
        } else if (arg == "--recent") {
            getter = "GetRecentList";
        } else if (arg == "--aliases") {
            getter = "GetPathAliasList";
        } else if (arg == "--ansi") {
            ansi = true;
        } else {
            return UsageError(Command(), arg == "--help" ? "" : "unknown argument " + arg);
        }
    }
    KwillDll& dll = KwillDll::Get();
    void* list = dll.Require<ListFn>(getter)();
    if (!list) {
        WriteErr("kwill favorites: the list could not be made\n");
        return 1;
    }
    WriteOut(Tree(list, ansi));
    dll.Require<void (*)(void*)>("FreeFavoritesList")(list);
    return 0;
}

const Subcommand kCommand = {"favorites",
                             "the favourite folders (or recent folders, folder aliases) as a "
                             "tree: label, path; sub-folders end in /",
                             "[--recent | --aliases] [--ansi] [--data DIR]", Run};
const SubcommandRegistrar kRegistrar(kCommand);

const Subcommand& Command() {
    return kCommand;
}

}  // namespace
}  // namespace kwill::tools
