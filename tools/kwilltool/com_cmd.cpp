// kwill com register|unregister|status: the library's COM server in the prefix. register and
// unregister call DllRegisterServer and DllUnregisterServer as regsvr32 does; status shows, per
// class, what the registry holds for it and what CoCreateInstance answers.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <objbase.h>

#include <cstdio>
#include <string>

namespace kwill::tools {
namespace {

int Run(const std::vector<std::string>& args);

const Subcommand kCom = {"com", "register, unregister or show the library's COM classes",
                         "register|unregister|status", Run};

struct ClassInfo {
    const char* name;
    const wchar_t* clsid;
};

const ClassInfo kClasses[] = {
    {"shell execute hook", L"{3CF9ECE0-1A9F-11d2-8C73-00C06C2005DE}"},
    {"context menu", L"{E9FE4040-3C93-11d4-8006-00201860E88A}"},
    {"desktop context menu", L"{B9DD4945-1BED-4cb7-994C-F40B72B7725A}"},
    {"info tip handler", L"{2DF394BA-1955-4a52-900E-303836135F67}"},
    {"icon handler", L"{BBD5F00E-26A6-4fb2-BAE1-31543C0BEA47}"},
    {"drop target", L"{F85D7E1E-9662-4b38-B1AE-3CF1E9581A3C}"},
    {"file collection", L"{D2FCA36D-93CD-46f2-8324-6308F6E31B53}"},
};

std::string HResultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(hr));
    return text;
}

// The string value HKLM\path name, or a note that it is missing.
std::string MachineString(const std::wstring& path, const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD bytes = sizeof(buffer);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer,
                       &bytes) != ERROR_SUCCESS)
        return "(missing)";
    std::string quoted = "\"";
    quoted += Utf8FromWide(buffer);
    quoted += '"';
    return quoted;
}

int Status() {
    bool co = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    for (const ClassInfo& c : kClasses) {
        std::wstring key = std::wstring(L"Software\\Classes\\CLSID\\") + c.clsid;
        std::string out = Utf8FromWide(c.clsid) + " " + c.name + "\n";
        out += "  name:      " + MachineString(key, nullptr) + "\n";
        out += "  server:    " + MachineString(key + L"\\InprocServer32", nullptr) + "\n";
        out += "  threading: " + MachineString(key + L"\\InprocServer32", L"ThreadingModel") + "\n";
        out += "  approved:  " +
               MachineString(
                   L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell "
                   L"Extensions\\Approved",
                   c.clsid) +
               "\n";
        CLSID clsid;
        IUnknown* object = nullptr;
        HRESULT hr = ::CLSIDFromString(c.clsid, &clsid);
        if (SUCCEEDED(hr))
            hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                    reinterpret_cast<void**>(&object));
        if (object) object->Release();
        out += "  create:    " + HResultText(hr);
        if (hr == S_OK) out += " (created)";
        if (hr == CLASS_E_CLASSNOTAVAILABLE) out += " (not built yet)";
        if (hr == REGDB_E_CLASSNOTREG) out += " (not registered)";
        WriteOut(out + "\n");
    }
    if (co) ::CoUninitialize();
    return 0;
}

int Run(const std::vector<std::string>& args) {
    if (args.size() != 1) return UsageError(kCom);
    using EntryFn = HRESULT(STDAPICALLTYPE*)();
    if (args[0] == "register" || args[0] == "unregister") {
        const char* name = args[0] == "register" ? "DllRegisterServer" : "DllUnregisterServer";
        HRESULT hr = KwillDll::Get().Require<EntryFn>(name)();
        WriteOut(std::string(name) + ": " + HResultText(hr) + (hr == S_OK ? " (done)\n" : "\n"));
        return hr == S_OK ? 0 : 1;
    }
    if (args[0] == "status") return Status();
    return UsageError(kCom);
}

const SubcommandRegistrar kRegistrar(kCom);

}  // namespace
}  // namespace kwill::tools
