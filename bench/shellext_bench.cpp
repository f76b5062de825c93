// The shell execute hook runs in every process, on every ShellExecuteEx: the request it lets
// through (a verb it never takes) must cost less than the one file-system call beside it.
#include "bench/harness.h"
#include "tools/common/kwill_dll.h"

#include <shlobj.h>

#include <string>

namespace kwill::bench {
namespace {

void Run() {
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const CLSID hookClsid = {
        0x3CF9ECE0, 0x1A9F, 0x11d2, {0x8C, 0x73, 0x00, 0xC0, 0x6C, 0x20, 0x05, 0xDE}};
    auto get = tools::KwillDll::Get().ByName<GetClassObjectFn>("DllGetClassObject");
    IClassFactory* factory = nullptr;
    if (!get || FAILED(get(hookClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return;
    IShellExecuteHookW* hook = nullptr;
    factory->CreateInstance(nullptr, IID_IShellExecuteHookW, reinterpret_cast<void**>(&hook));
    factory->Release();
    if (!hook) return;

    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    request.lpVerb = L"print";
    request.lpFile = exe;
    request.fMask = SEE_MASK_NOASYNC;
    Compare(
        "execute hook: pass a print request", {Unit::NanosecondsPerOp, 1},
        [&] { Keep(hook->Execute(&request)); }, "GetFileAttributesW",
        [&] { Keep(::GetFileAttributesW(exe)); });
    hook->Release();
}

const SuiteRegistrar kSuite({"shellext", Run});

}  // namespace
}  // namespace kwill::bench
