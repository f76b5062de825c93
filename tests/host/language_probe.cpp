#include "tests/host/language_probe.h"

#include "frame/platform.h"
#include "shellext/class_table.h"
#include "tools/common/text_io.h"

#include <shlobj.h>

#include <cwchar>
#include <string>

namespace kwill::standin {

void RecordLibStrings(void (*record)(const std::string& line)) {
    wchar_t list[512];
    const DWORD n = ::GetEnvironmentVariableW(L"KWILL_HOST_LIBSTRINGS", list, 512);
    if (n == 0 || n >= 512) return;
    HMODULE library = ::GetModuleHandleW(L"kwilllib.dll");
    struct LibStringW {
        wchar_t* text;
    };
    using Init = const wchar_t* (*)(LibStringW*, int);
    using Free = void (*)(LibStringW*);
    auto init = reinterpret_cast<Init>(
        reinterpret_cast<void*>(::GetProcAddress(library, "?Init@LibStringW@@QEAAPEB_WH@Z")));
    auto release = reinterpret_cast<Free>(
        reinterpret_cast<void*>(::GetProcAddress(library, "KwillLibStringFree")));
    if (!init || !release) return;
    for (const wchar_t* p = list; *p;) {
        wchar_t* end = nullptr;
        const long number = std::wcstol(p, &end, 10);
        if (end == p) break;
        LibStringW s{nullptr};
        record("LIBSTRING " + std::to_string(number) + " " +
               tools::Utf8FromWide(init(&s, static_cast<int>(number))));
        release(&s);
        p = *end == L',' ? end + 1 : end;
    }
}

void RecordInfoTip(void (*record)(const std::string& line)) {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableW(L"KWILL_HOST_TIP", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kwilllib.dll"), "DllGetClassObject")));
    std::string text = "none";
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IClassFactory* factory = nullptr;
    if (get && SUCCEEDED(get(shellext::kClsidQueryInfo, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)))) {
        IQueryInfo* info = nullptr;
        factory->CreateInstance(nullptr, IID_IQueryInfo, reinterpret_cast<void**>(&info));
        factory->Release();
        IPersistFile* persist = nullptr;
        if (info &&
            SUCCEEDED(info->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            wchar_t* tip = nullptr;
            if (SUCCEEDED(persist->Load(path, STGM_READ)) && info->GetInfoTip(0, &tip) == S_OK &&
                tip) {
                text = tools::Utf8FromWide(tip);
                ::CoTaskMemFree(tip);
            }
            persist->Release();
        }
        if (info) info->Release();
    }
    ::CoUninitialize();
    record("TIP " + text);
}

}  // namespace kwill::standin
