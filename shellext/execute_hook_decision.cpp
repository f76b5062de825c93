#include "shellext/execute_hook_decision.h"

#include "hostlink/explorer_command_line.h"

#include <cwchar>
#include <vector>

namespace kwill::shellext {
namespace {

// {26EE0668-A00A-44D7-9371-BEB064C98683}: the shell's own "open Explorer" item.
constexpr wchar_t kExplorerItem[] = L"::{26EE0668-A00A-44D7-9371-BEB064C98683}";
// {52205FD8-5DFB-447D-801A-D0B52F2E83E1}: the item that opens the user's default file-manager
// window.
constexpr CLSID kDefaultWindowItem = {
    0x52205FD8, 0x5DFB, 0x447D, {0x80, 0x1A, 0xD0, 0xB5, 0x2F, 0x2E, 0x83, 0xE1}};

bool Empty(const wchar_t* text) {
    return !text || !*text;
}

wchar_t Lower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool StartsNoCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

bool VerbIs(const wchar_t* verb, std::wstring_view name) {
    return verb && EqualNoCase(verb, name);
}

// The extension of the path's last component, with its dot.
std::wstring_view Extension(std::wstring_view path) {
    size_t slash = path.find_last_of(L"\\/");
    size_t start = slash == std::wstring_view::npos ? 0 : slash + 1;
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring_view::npos || dot < start) return {};
    return path.substr(dot);
}

std::wstring_view TrimQuotes(std::wstring_view text) {
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        return text.substr(1, text.size() - 2);
    return text;
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// Decodes bytes as UTF-8; nothing when they are not valid UTF-8.
std::optional<std::wstring> DecodeUtf8(const std::vector<uint8_t>& bytes) {
    std::wstring out;
    size_t i = 0;
    while (i < bytes.size()) {
        uint8_t b = bytes[i];
        uint32_t cp;
        size_t extra;
        if (b < 0x80) {
            cp = b;
            extra = 0;
        } else if (b >= 0xC2 && b <= 0xDF) {
            cp = b & 0x1F;
            extra = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            cp = b & 0x0F;
            extra = 2;
        } else if (b >= 0xF0 && b <= 0xF4) {
            cp = b & 0x07;
            extra = 3;
        } else {
            return std::nullopt;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if (i + k >= bytes.size() || (bytes[i + k] & 0xC0) != 0x80) return std::nullopt;
            cp = (cp << 6) | (bytes[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
        i += extra + 1;
    }
    return out;
}

// How the hook found its target, which decides what happens when there is none.
struct Search {
    bool folderRequest = false;  // the request asked for a folder window
    bool explorerAsked = false;  // Explorer itself was to be started
    std::wstring commandLine;    // an Explorer command line still to be read
    bool haveCommandLine = false;
};

HookDecision Pass(const char* why) {
    HookDecision d;
    d.why = why;
    return d;
}

// No target: let the shell have the request, and when it asked for a folder window let Explorer
// through for a moment (and, when Explorer itself was started, its next request too).
HookDecision NoTarget(const Search& search, const char* why) {
    HookDecision d = Pass(why);
    if (search.folderRequest) {
        d.setPassThrough = true;
        d.setSkipNext = search.explorerAsked;
    }
    return d;
}

}  // namespace

bool NamesExplorer(std::wstring_view path) {
    path = TrimQuotes(path);
    while (!path.empty() && (path.back() == L' ' || path.back() == L'"')) path.remove_suffix(1);
    size_t slash = path.find_last_of(L"\\/");
    std::wstring_view name = slash == std::wstring_view::npos ? path : path.substr(slash + 1);
    if (!name.empty() && name.front() == L'"') name.remove_prefix(1);
    return EqualNoCase(name, L"explorer") || EqualNoCase(name, L"explorer.exe");
}

std::wstring FileUrlToPath(std::wstring_view url) {
    std::wstring_view rest = url;
    if (StartsNoCase(rest, L"file://")) {
        rest.remove_prefix(7);
        if (!rest.empty() && rest.front() == L'/') rest.remove_prefix(1);
    }
    std::wstring out;
    size_t i = 0;
    while (i < rest.size()) {
        if (rest[i] != L'%' || i + 2 >= rest.size() || HexValue(rest[i + 1]) < 0 ||
            HexValue(rest[i + 2]) < 0) {
            out.push_back(rest[i++]);
            continue;
        }
        // A run of escapes is one byte sequence: UTF-8 when it is valid, else byte by byte.
        std::vector<uint8_t> bytes;
        while (i + 2 < rest.size() && rest[i] == L'%' && HexValue(rest[i + 1]) >= 0 &&
               HexValue(rest[i + 2]) >= 0) {
            bytes.push_back(
                static_cast<uint8_t>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2])));
            i += 3;
        }
        if (std::optional<std::wstring> text = DecodeUtf8(bytes)) {
            out += *text;
        } else {
            for (uint8_t b : bytes) out.push_back(static_cast<wchar_t>(b));
        }
    }
    return out;
}

HookDecision DecideExecuteHook(const SHELLEXECUTEINFOW& request, ExecuteHookEnvironment& env) {
    if (env.HookBypassed()) return Pass("bypass counter");
    if (env.TakeSkipNext()) return Pass("skip-next flag");
    if (env.IsOwnRequest(request)) return Pass("own request");

    const wchar_t* verb = Empty(request.lpVerb) ? nullptr : request.lpVerb;
    const std::wstring_view file = request.lpFile ? request.lpFile : L"";
    const bool idListMask = (request.fMask & SEE_MASK_IDLIST) != 0;
    const auto list = static_cast<PCIDLIST_ABSOLUTE>(idListMask ? request.lpIDList : nullptr);
    const bool params = !Empty(request.lpParameters);

    if (!verb && EqualNoCase(file, kExplorerItem) && !list && !params) {
        HookDecision d;
        d.action = HookAction::kStartExplorer;
        d.why = "the shell's Explorer item";
        d.path = file;
        return d;
    }
    if (verb && !VerbIs(verb, L"open") && !VerbIs(verb, L"explore") &&
        !VerbIs(verb, L"opennewwindow") && !VerbIs(verb, L"find"))
        return Pass("verb");
    if ((!verb || VerbIs(verb, L"open")) && EqualNoCase(Extension(file), L".fnd"))
        return Pass("saved search");
    if (VerbIs(verb, L"opennewwindow") && list && env.IsLibrariesFolder(list))
        return Pass("libraries folder");

    const uint64_t settings1 = env.Settings1();

    if (idListMask && !(request.fMask & SEE_MASK_CLASSNAME) && list && !params &&
        env.ItemHasClass(list, kDefaultWindowItem)) {
        bool host =
            (settings1 & kSettings1DefaultWindowHost) ||
            ((settings1 & kSettings1ReplaceFolders) && !(settings1 & kSettings1DefaultWindowShell));
        if (!host) return Pass("default window: shell");
        HookDecision d;
        d.action = HookAction::kDefaultWindow;
        d.why = "default window: host";
        return d;
    }

    if (StartsNoCase(file, L"ftp://")) {
        if (!(settings1 & kSettings1FtpToHost) || (verb && !VerbIs(verb, L"open")))
            return Pass("ftp: not for the host");
        HookDecision d;
        d.action = HookAction::kSendOpen;
        d.why = "ftp address";
        d.path = file;
        d.ftp = true;
        return d;
    }

    if (!(settings1 & kSettings1ReplaceFolders)) return Pass("replacement off");

    // Find the target: a path, an item list, or an Explorer command line to read.
    Search search;
    std::wstring targetPath;
    PCIDLIST_ABSOLUTE targetList = nullptr;
    OwnedIdList made;
    const bool classKey = (request.fMask & SEE_MASK_CLASSNAME) && request.hkeyClass && verb;

    if (!file.empty() && NamesExplorer(file)) {
        search.folderRequest = true;
        if (env.InsideHost()) {
            HookDecision d = Pass("Explorer started inside the host");
            d.setSkipNext = true;
            return d;
        }
        std::wstring_view p = request.lpParameters ? request.lpParameters : L"";
        while (!p.empty() && (p.front() == L' ' || p.front() == L'\t')) p.remove_prefix(1);
        if (StartsNoCase(p, L"http://") || StartsNoCase(p, L"https://"))
            return Pass("Explorer with a web address");
        search.explorerAsked = true;
        search.commandLine = std::wstring(p);
        search.haveCommandLine = true;
    } else if (classKey) {
        if (VerbIs(verb, L"explore")) return Pass("class key: explore");
        if (VerbIs(verb, L"find")) {
            if (!list || !env.IsNetworkFolder(list)) return Pass("class key: find");
            search.folderRequest = true;
            targetList = list;
        } else {
            if (std::wcslen(verb) > kMaxClassKeyVerb) return Pass("class key: verb too long");
            std::wstring key = std::wstring(L"shell\\") + verb;
            std::optional<std::wstring> command =
                env.ClassKeyText(request.hkeyClass, key + L"\\command");
            if (!command) return Pass("class key: no command");
            std::wstring_view cmd = *command;
            while (!cmd.empty() && cmd.front() == L' ') cmd.remove_prefix(1);
            // The program is the first word, or the quoted text at the start.
            size_t end = cmd.empty() || cmd.front() != L'"' ? cmd.find(L' ') : cmd.find(L'"', 1);
            if (end != std::wstring_view::npos && !cmd.empty() && cmd.front() == L'"') ++end;
            std::wstring_view program = cmd.substr(0, end);
            if (!NamesExplorer(program)) return Pass("class key: not Explorer");
            std::optional<std::wstring> dde =
                env.ClassKeyText(request.hkeyClass, key + L"\\ddeexec");
            if (dde && StartsNoCase(*dde, L"[ShellFile")) return Pass("class key: shell file");
            // The command line is what follows the program: after its closing quote when it is
            // quoted, since a quoted path may hold blanks of its own.
            std::wstring_view rest =
                end == std::wstring_view::npos ? std::wstring_view() : cmd.substr(end);
            while (!rest.empty() && rest.front() == L' ') rest.remove_prefix(1);
            search.folderRequest = true;
            search.explorerAsked = true;
            search.commandLine = std::wstring(rest);
            search.haveCommandLine = true;
        }
    } else if (!list) {
        if (file.empty()) return Pass("no file");
        std::wstring path(file);
        if (StartsNoCase(path, L"file://")) path = FileUrlToPath(path);
        if ((StartsNoCase(path, L"shell:") || StartsNoCase(path, L"::{")) &&
            path.size() < kMaxParsedName) {
            bool folder = false;
            OwnedIdList parsed = env.ParseShellName(path, &folder);
            if (parsed && folder) {
                search.folderRequest = true;
                made = std::move(parsed);
                targetList = made.get();
            }
        }
        if (!targetList && (!verb || VerbIs(verb, L"open") || VerbIs(verb, L"explore"))) {
            std::wstring full = env.FullPath(path, request.lpDirectory);
            DWORD attributes = env.FileAttributes(full);
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                search.folderRequest = true;
                targetPath = full;
            }
        }
    } else {
        search.folderRequest = true;
        if (env.IsFolderItem(list)) {
            targetList = list;
        } else if (params && NamesExplorer(env.ListPath(list))) {
            if (env.InsideHost()) {
                HookDecision d = Pass("Explorer started inside the host");
                d.setSkipNext = true;
                return d;
            }
            search.explorerAsked = true;
            search.commandLine = request.lpParameters;
            search.haveCommandLine = true;
        } else {
            search.folderRequest = false;
        }
    }

    std::wstring select;
    if (search.haveCommandLine) {
        wchar_t root[MAX_PATH] = {};
        wchar_t path[MAX_PATH] = {};
        hostlink::ExplorerCommandLine parsed = hostlink::ParseExplorerCommandLine(
            search.commandLine, {root, MAX_PATH}, {path, MAX_PATH});
        std::wstring target(
            TrimQuotes(root[0] ? std::wstring_view(root) : std::wstring_view(path)));
        const bool selecting = (parsed.flags & hostlink::kSwitchSelect) != 0;
        if (target.empty()) return NoTarget(search, "Explorer without a folder");
        if (search.explorerAsked && !selecting) {
            DWORD attributes = env.FileAttributes(target);
            if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return Pass("Explorer opening a file");
        }
        if (target.back() == L':') target += L'\\';
        if (selecting) {
            size_t slash = target.find_last_of(L"\\/");
            if (slash != std::wstring::npos) {
                select = target.substr(slash + 1);
                target.resize(slash == 0 || target[slash - 1] == L':' ? slash + 1 : slash);
            }
        }
        if (target.size() < kMaxParsedName) made = env.ParseDesktopName(target);
        if (!made) {
            // Relative to the request's folder; the path sent is then the one that parsed.
            target = env.FullPath(target, request.lpDirectory);
            if (target.size() < kMaxParsedName) made = env.ParseDesktopName(target);
        }
        if (!made) return NoTarget(search, "Explorer's folder does not parse");
        targetList = made.get();
        targetPath = target;
    }

    if (!targetList && targetPath.empty()) return NoTarget(search, "no folder");

    if (!env.ShouldHostOpenFolder(targetPath.empty() ? nullptr : targetPath.c_str(), targetList)) {
        HookDecision d = Pass("the shell keeps this folder");
        d.setPassThrough = true;
        d.setSkipNext = search.explorerAsked;
        return d;
    }

    HookDecision d;
    d.action = HookAction::kSendOpen;
    d.why = "folder for the host";
    d.path = targetPath;
    d.ownedList = std::move(made);
    d.list = d.ownedList ? d.ownedList.get() : targetList;
    d.select = select;
    return d;
}

bool RunDialogWantsElevation(const SHELLEXECUTEINFOW& request, const RunDialogFacts& facts) {
    return facts.shiftAndCtrlDown && facts.switchOn && facts.callerIsExplorer &&
           (request.fMask & 0xFFFF) == 0x30C && !request.lpVerb && !request.lpClass &&
           !request.hkeyClass && request.hwnd && facts.windowIsStatic;
}

}  // namespace kwill::shellext
