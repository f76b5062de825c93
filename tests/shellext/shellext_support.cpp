#include "tests/shellext/shellext_support.h"

#include "frame/win_handle.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <memory>

namespace kwill::test {
namespace {

std::unique_ptr<TempFolder> g_scratch;

class ConfigEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { g_scratch = UseScratchConfiguration(); }
    void TearDown() override { g_scratch.reset(); }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ConfigEnvironment);

}  // namespace

const std::wstring& ConfigScratch() {
    return g_scratch->path();
}

HRESULT CreateFromClassObject(REFCLSID clsid, REFIID iid, void** out) {
    *out = nullptr;
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = Named<GetClassObjectFn>("DllGetClassObject");
    if (!get) return E_NOINTERFACE;
    IClassFactory* factory = nullptr;
    HRESULT hr = get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, iid, out);
    factory->Release();
    return hr;
}

HRESULT InitializeExtension(IUnknown* object, PCIDLIST_ABSOLUTE folder, IDataObject* data) {
    IShellExtInit* init = nullptr;
    if (!object ||
        FAILED(object->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init))))
        return E_NOINTERFACE;
    HRESULT hr = init->Initialize(folder, data, nullptr);
    init->Release();
    return hr;
}

DWORD RunRegsvr32(bool unregister) {
    wchar_t system[MAX_PATH];
    UINT chars = ::GetSystemDirectoryW(system, MAX_PATH);
    std::wstring program = std::wstring(system, chars) + L"\\regsvr32.exe";
    std::wstring arguments =
        std::wstring(unregister ? L"/u /s " : L"/s ") + L"\"" + ExeFolder() + L"kwilllib.dll\"";
    ProcessResult result = RunProcess(program, arguments, 60000);
    return result.finished ? result.exitCode : 99;
}

std::wstring DllFolder() {
    std::wstring folder = ExeFolder();
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

bool CreateMachineKey(const std::wstring& path) {
    HKEY created = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &created, nullptr) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(created);
    return true;
}

bool MachineKeyExists(const std::wstring& path) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(opened);
    return true;
}

std::wstring ReadMachineString(const std::wstring& path, const wchar_t* name, bool* found) {
    wchar_t buffer[1024];
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    LSTATUS error = ::RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_REG_SZ, &type,
                                   buffer, &bytes);
    if (found) *found = error == ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) return {};
    return std::wstring(buffer);
}

bool WriteMachineString(const std::wstring& path, const wchar_t* name, const std::wstring& text) {
    HKEY created = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &created, nullptr) != ERROR_SUCCESS)
        return false;
    UniqueKey key(created);
    return ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

bool SetMachineKeyDacl(const std::wstring& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                                nullptr))
        return false;
    UniqueLocal owned(descriptor);
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, &opened) != ERROR_SUCCESS)
        return false;
    UniqueKey key(opened);
    return ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
}

}  // namespace kwill::test
