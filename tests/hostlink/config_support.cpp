#include "tests/hostlink/config_support.h"

#include "tools/common/text_io.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>
#include <sstream>

namespace kwill::test::config {
namespace {

constexpr wchar_t kChildFlag[] = L"--config-child";

std::map<std::wstring, ChildScenario>& Scenarios() {
    static std::map<std::wstring, ChildScenario> scenarios;
    return scenarios;
}

FILE* g_childOut = nullptr;

void PutLine(const std::string& key, const std::string& value) {
    std::fprintf(g_childOut, "%s=%s\n", key.c_str(), value.c_str());
}

std::unique_ptr<TempFolder> g_scratch;

// Runs before the first test: a child run does its scenario and ends here; the parent sets up
// the shared in-process arrangement.
class ConfigEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        int argc = 0;
        wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
        if (argc >= 4 && std::wstring(argv[1]) == kChildFlag) {
            std::vector<std::wstring> args(argv + 4, argv + argc);
            auto found = Scenarios().find(argv[2]);
            int code = 97;
            if (found != Scenarios().end() && (g_childOut = _wfopen(argv[3], L"wb"))) {
                code = found->second(args, PutLine);
                std::fclose(g_childOut);
            }
            ::ExitProcess(static_cast<UINT>(code));
        }
        ::LocalFree(argv);
        g_scratch = UseScratchConfiguration();
    }
    void TearDown() override { g_scratch.reset(); }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ConfigEnvironment);

std::wstring EnvironmentBlock(const std::vector<EnvVar>& changes) {
    std::vector<EnvVar> all = changes;
    // The parent's own scratch arrangement never leaks into a child by accident.
    for (const wchar_t* name : {L"PA_TARNDATAFILES", L"PA_TARNOTHERFILES"}) {
        bool given = false;
        for (const EnvVar& v : changes) given |= _wcsicmp(v.name.c_str(), name) == 0;
        if (!given) all.push_back({name, L"", true});
    }
    std::wstring block;
    wchar_t* env = ::GetEnvironmentStringsW();
    for (const wchar_t* p = env; *p; p += std::wcslen(p) + 1) {
        std::wstring entry = p;
        bool replaced = false;
        for (const EnvVar& v : all) {
            replaced |= _wcsnicmp(entry.c_str(), (v.name + L"=").c_str(), v.name.size() + 1) == 0;
        }
        if (!replaced) block += entry + L'\0';
    }
    ::FreeEnvironmentStringsW(env);
    for (const EnvVar& v : all) {
        if (!v.unset) block += v.name + L"=" + v.value + L'\0';
    }
    block += L'\0';
    return block;
}

}  // namespace

ChildRegistrar::ChildRegistrar(const wchar_t* name, ChildScenario run) {
    Scenarios()[name] = run;
}

const std::wstring& ScratchData() {
    return g_scratch->path();
}

std::wstring ProgramFolder() {
    std::wstring folder = ExeFolder();
    return folder.substr(0, folder.size() - 1);
}

std::string Utf8(const std::wstring& text) {
    return tools::Utf8FromWide(text);
}

std::wstring Wide(const std::string& text) {
    return tools::WideFromUtf8(text);
}

std::wstring VendorFolder(int csidl) {
    wchar_t folder[MAX_PATH];
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
    return std::wstring(folder) + L"\\Brightfold\\Tarnwell";
}

std::map<std::string, std::string> RunChild(const std::wstring& scenario,
                                            const std::vector<std::wstring>& args,
                                            const std::vector<EnvVar>& env) {
    TempFolder out;
    std::wstring resultFile = out / L"result.txt";
    wchar_t exe[MAX_PATH];
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(exe) + L"\" " + kChildFlag + L" " + scenario +
                               L" \"" + resultFile + L"\"";
    for (const std::wstring& arg : args) commandLine += L" \"" + arg + L"\"";
    std::wstring block = EnvironmentBlock(env);

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::map<std::string, std::string> result;
    if (!::CreateProcessW(exe, commandLine.data(), nullptr, nullptr, FALSE,
                          CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &si, &pi)) {
        ADD_FAILURE() << "child did not start";
        return result;
    }
    DWORD code = 99;
    if (::WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(pi.hProcess, &code);
    } else {
        ::TerminateProcess(pi.hProcess, 99);
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    EXPECT_EQ(code, 0u) << "child " << Utf8(scenario);
    std::istringstream lines(ReadFileText(resultFile));
    std::string line;
    while (std::getline(lines, line)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos) result[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return result;
}

}  // namespace kwill::test::config
