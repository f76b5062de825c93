#include "tests/host/language_probe.h"

#include "frame/platform.h"
#include "tools/common/text_io.h"

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

}  // namespace kwill::standin
