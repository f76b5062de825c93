// kwill hook decide ...: what the shell execute hook would do with a ShellExecuteEx request.
// kwill tip FILE: the kind mask and the info tip the shell would show for a file.
// Both reach the library through its exports: the hook's dry run, and the icon and info-tip
// objects from its class object, as the shell creates them.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <shlobj.h>

#include <cstdlib>
#include <string>

namespace kwill::tools {
namespace {

int RunHook(const std::vector<std::string>& args);
int RunTip(const std::vector<std::string>& args);

const Subcommand kHook = {
    "hook", "what the shell execute hook would do with a request (nothing is sent)",
    "decide [--verb V] [--mask N] [--params P] [--dir D] [--idlist] TARGET\n"
    "  --mask    SEE_MASK_* bits (0x... or decimal)\n"
    "  --idlist  TARGET is parsed into an item list (the mask gains SEE_MASK_IDLIST)",
    RunHook};
const Subcommand kTip = {"tip", "the icon handler's kind mask and the info tip of a file", "FILE",
                         RunTip};

int RunHook(const std::vector<std::string>& args) {
    if (args.empty() || args[0] != "decide") return UsageError(kHook);
    std::wstring verb, params, dir, target;
    bool haveVerb = false, haveParams = false, haveDir = false, idList = false;
    ULONG mask = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::wstring {
            return i + 1 < args.size() ? WideFromUtf8(args[++i]) : std::wstring();
        };
        if (a == "--verb") {
            verb = value();
            haveVerb = true;
        } else if (a == "--params") {
            params = value();
            haveParams = true;
        } else if (a == "--dir") {
            dir = value();
            haveDir = true;
        } else if (a == "--mask") {
            mask = static_cast<ULONG>(std::strtoul(Utf8FromWide(value()).c_str(), nullptr, 0));
        } else if (a == "--idlist") {
            idList = true;
        } else if (target.empty()) {
            target = WideFromUtf8(a);
        } else {
            return UsageError(kHook, "one target only");
        }
    }
    using DescribeFn = int (*)(const SHELLEXECUTEINFOW*, wchar_t*, int);
    auto describe = KwillDll::Get().Require<DescribeFn>("DescribeExecuteHook");
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    request.fMask = mask;
    request.lpVerb = haveVerb ? verb.c_str() : nullptr;
    request.lpParameters = haveParams ? params.c_str() : nullptr;
    request.lpDirectory = haveDir ? dir.c_str() : nullptr;
    PIDLIST_ABSOLUTE list = nullptr;
    if (idList) {
        if (FAILED(::SHParseDisplayName(target.c_str(), nullptr, &list, 0, nullptr))) {
            WriteErr("kwill hook: the shell cannot parse " + Utf8FromWide(target) + "\n");
            return 1;
        }
        request.fMask |= SEE_MASK_IDLIST;
        request.lpIDList = list;
    } else {
        request.lpFile = target.empty() ? nullptr : target.c_str();
    }
    int length = describe(&request, nullptr, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    describe(&request, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    WriteOut(Utf8FromWide(text));
    if (list) ::CoTaskMemFree(list);
    return 0;
}

template <typename T>
T* CreateObject(REFCLSID clsid, REFIID iid) {
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = KwillDll::Get().Require<GetClassObjectFn>("DllGetClassObject");
    IClassFactory* factory = nullptr;
    if (FAILED(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return nullptr;
    T* object = nullptr;
    factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
    factory->Release();
    return object;
}

HRESULT Load(IUnknown* object, const std::wstring& file) {
    IPersistFile* persist = nullptr;
    if (FAILED(object->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))))
        return E_NOINTERFACE;
    HRESULT hr = persist->Load(file.c_str(), STGM_READ);
    persist->Release();
    return hr;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%x", value);
    return text;
}

int RunTip(const std::vector<std::string>& args) {
    if (args.size() != 1) return UsageError(kTip);
    const CLSID iconClsid = {
        0xBBD5F00E, 0x26A6, 0x4fb2, {0xBA, 0xE1, 0x31, 0x54, 0x3C, 0x0B, 0xEA, 0x47}};
    const CLSID tipClsid = {
        0x2DF394BA, 0x1955, 0x4a52, {0x90, 0x0E, 0x30, 0x38, 0x36, 0x13, 0x5F, 0x67}};
    std::wstring file = WideFromUtf8(args[0]);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::string out;
    if (IExtractIconW* icon = CreateObject<IExtractIconW>(iconClsid, IID_IExtractIconW)) {
        int index = 0;
        UINT flags = 0;
        if (SUCCEEDED(Load(icon, file)) &&
            SUCCEEDED(icon->GetIconLocation(0, nullptr, 0, &index, &flags)))
            out += "kinds: " + Hex(static_cast<uint32_t>(index)) + "\n";
        else
            out += "kinds: not one of the host's file kinds\n";
        icon->Release();
    }
    if (IQueryInfo* info = CreateObject<IQueryInfo>(tipClsid, IID_IQueryInfo)) {
        wchar_t* tip = nullptr;
        if (SUCCEEDED(Load(info, file)) && info->GetInfoTip(0, &tip) == S_OK && tip) {
            out += "tip: " + Utf8FromWide(tip) + "\n";
            ::CoTaskMemFree(tip);
        } else {
            out += "tip: none\n";
        }
        info->Release();
    }
    WriteOut(out);
    return 0;
}

const SubcommandRegistrar kHookRegistrar(kHook);
const SubcommandRegistrar kTipRegistrar(kTip);

}  // namespace
}  // namespace kwill::tools
