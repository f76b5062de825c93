// The entry point of msvc_host.exe, a program linked by lld-link against kwilllib.lib with no C
// runtime at all: it runs the checks of msvc_caller.cpp and prints them.
#include <windows.h>

extern "C" int KwillMsvcChecks(char* text, int size);

// The compiler may call these for copies of whole objects; there is no runtime to supply them.
extern "C" void* memcpy(void* to, const void* from, size_t n) {
    auto* d = static_cast<unsigned char*>(to);
    auto* s = static_cast<const unsigned char*>(from);
    while (n--) *d++ = *s++;
    return to;
}
extern "C" void* memset(void* to, int value, size_t n) {
    auto* d = static_cast<unsigned char*>(to);
    while (n--) *d++ = static_cast<unsigned char>(value);
    return to;
}

extern "C" void KwillMsvcEntry() {
    static char report[4096];
    int failed = KwillMsvcChecks(report, sizeof report);
    DWORD length = 0;
    while (report[length]) ++length;
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), report, length, &written, nullptr);
    ::ExitProcess(failed == 0 ? 0 : 1);
}
