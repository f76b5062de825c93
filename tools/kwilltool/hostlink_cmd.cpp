// kwill start: find the host's window or start kwill.exe, as the shell extensions do.
// kwill dde: one DDE execute conversation. kwill elevated: this process's elevation.
// kwill run-as-user: start a command line unelevated.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kwill::tools {
namespace {

int RunStart(const std::vector<std::string>& args);
int RunDde(const std::vector<std::string>& args);
int RunElevated(const std::vector<std::string>& args);
int RunAsUser(const std::vector<std::string>& args);

const Subcommand kStart = {"start", "find the host's window, or start kwill.exe and wait for it",
                           "[--autolister|--crash|--runcmd] [--dblclk] [ARGS...]", RunStart};
const Subcommand kDde = {"dde", "send one DDE execute command to the first server that answers",
                         "APP TOPIC CMD [--timeout MS]", RunDde};
const Subcommand kElevated = {"elevated", "whether this process runs elevated", "", RunElevated};
const Subcommand kRunAsUser = {"run-as-user", "start a command line unelevated", "CMDLINE",
                               RunAsUser};

std::string HandleText(const void* handle) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
    return text;
}

// The words after the options, one blank apart; a word with a blank in it is quoted again.
std::wstring JoinArguments(const std::vector<std::string>& words) {
    std::wstring line;
    for (const std::string& word : words) {
        std::wstring w = WideFromUtf8(word);
        if (!line.empty()) line += L' ';
        line += w.find_first_of(L" \t") == std::wstring::npos ? w : L"\"" + w + L"\"";
    }
    return line;
}

int RunStart(const std::vector<std::string>& args) {
    DWORD flags = 0;
    size_t i = 0;
    for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
        if (args[i] == "--crash")
            flags |= 1;
        else if (args[i] == "--dblclk")
            flags |= 2;
        else if (args[i] == "--autolister")
            flags |= 4;
        else if (args[i] == "--runcmd")
            flags |= 16;
        else
            break;  // the host's own options pass through
    }
    std::wstring extra = JoinArguments({args.begin() + static_cast<ptrdiff_t>(i), args.end()});
    auto find = KwillDll::Get().Require<HWND (*)(DWORD, const wchar_t*)>("FindOrStartKwillW");
    HWND host = find(flags, extra.empty() ? nullptr : extra.c_str());
    if (!host) {
        WriteErr("kwill start: no host window\n");
        return 1;
    }
    DWORD pid = 0;
    ::GetWindowThreadProcessId(host, &pid);
    WriteOut("host window " + HandleText(host) + ", process " + std::to_string(pid) + "\n");
    return 0;
}

int RunDde(const std::vector<std::string>& args) {
    DWORD limit = 10000;
    std::vector<std::string> words;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--timeout" && i + 1 < args.size())
            limit = static_cast<DWORD>(std::strtoul(args[++i].c_str(), nullptr, 10));
        else
            words.push_back(args[i]);
    }
    if (words.size() != 3) return UsageError(kDde);
    KwillDll& dll = KwillDll::Get();
    auto create =
        dll.Require<void* (*)(const wchar_t*, const wchar_t*, const wchar_t*)>("CreateDdeRequest");
    auto execute = dll.Require<BOOL (*)(void*, DWORD, HWND)>("ExecuteDdeRequestTimeout");
    auto release = dll.Require<void (*)(void*)>("FreeDdeRequest");
    std::wstring application = WideFromUtf8(words[0]), topic = WideFromUtf8(words[1]),
                 command = WideFromUtf8(words[2]);
    void* request = create(command.c_str(), application.c_str(), topic.c_str());
    if (!request) {
        WriteErr("kwill dde: the command and the application must not be empty\n");
        return 2;
    }
    BOOL sent = execute(request, limit, nullptr);
    release(request);
    if (!sent) {
        WriteErr("kwill dde: no server answered " + words[0] + "\n");
        return 1;
    }
    WriteOut("sent\n");
    return 0;
}

int RunElevated(const std::vector<std::string>& args) {
    if (!args.empty()) return UsageError(kElevated);
    BOOL elevated = FALSE;
    HRESULT hr = KwillDll::Get().Require<HRESULT (*)(BOOL*)>("IsProcessElevated")(&elevated);
    if (FAILED(hr)) {
        WriteErr("kwill elevated: the process token cannot be read\n");
        return 1;
    }
    WriteOut(elevated ? "elevated\n" : "not elevated\n");
    return 0;
}

int RunAsUser(const std::vector<std::string>& args) {
    if (args.empty()) return UsageError(kRunAsUser);
    // One argument is the whole command line as written; several are joined.
    std::wstring line = args.size() == 1 ? WideFromUtf8(args[0]) : JoinArguments(args);
    BOOL ok = KwillDll::Get().Require<BOOL (*)(const wchar_t*)>("RunAsStandardUser")(line.c_str());
    if (!ok) {
        WriteErr("kwill run-as-user: could not start it unelevated\n");
        return 1;
    }
    WriteOut("started\n");
    return 0;
}

const SubcommandRegistrar kStartRegistrar(kStart);
const SubcommandRegistrar kDdeRegistrar(kDde);
const SubcommandRegistrar kElevatedRegistrar(kElevated);
const SubcommandRegistrar kRunAsUserRegistrar(kRunAsUser);

}  // namespace
}  // namespace kwill::tools
