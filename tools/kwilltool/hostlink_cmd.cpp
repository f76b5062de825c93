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

int RunDde(const std::vector<std::string>& args);
int RunElevated(const std::vector<std::string>& args);
int RunAsUser(const std::vector<std::string>& args);

const Subcommand kDde = {"dde", "send one DDE execute command to the first server that answers",
                         "APP TOPIC CMD [--timeout MS]", RunDde};
const Subcommand kElevated = {"elevated", "whether this process runs elevated", "", RunElevated};
const Subcommand kRunAsUser = {"run-as-user", "start a command line unelevated", "CMDLINE",
                               RunAsUser};

// The words, one blank apart; a word with a blank in it is quoted again.
std::wstring JoinArguments(const std::vector<std::string>& words) {
    std::wstring line;
    for (const std::string& word : words) {
        std::wstring w = WideFromUtf8(word);
        if (!line.empty()) line += L' ';
        line += w.find_first_of(L" \t") == std::wstring::npos ? w : L"\"" + w + L"\"";
    }
    return line;
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

const SubcommandRegistrar kDdeRegistrar(kDde);
const SubcommandRegistrar kElevatedRegistrar(kElevated);
const SubcommandRegistrar kRunAsUserRegistrar(kRunAsUser);

}  // namespace
}  // namespace kwill::tools
