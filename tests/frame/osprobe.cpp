// Loads kwilllib.dll from its own folder and writes what it detected to the file named on the
// command line: "<OsVer> <OsVerWin10Build> <major>.<minor>.<build> <product type>", the last two
// as the system reports them through RtlGetVersion.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    while (n > 0 && path[n - 1] != L'\\') --n;
    lstrcpyW(path + n, L"kwilllib.dll");
    HMODULE dll = ::LoadLibraryW(path);
    if (!dll) return 1;
    auto osVer =
        reinterpret_cast<DWORD (*)()>(reinterpret_cast<void*>(::GetProcAddress(dll, "OsVer")));
    auto build = reinterpret_cast<DWORD (*)()>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "OsVerWin10Build")));
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto rtl = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (!osVer || !build || !rtl) return 1;
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    rtl(&info);
    FILE* out = _wfopen(argv[1], L"w");
    if (!out) return 1;
    std::fprintf(out, "%lu %lu %lu.%lu.%lu %u\n", osVer(), build(), info.dwMajorVersion,
                 info.dwMinorVersion, info.dwBuildNumber, info.wProductType);
    std::fclose(out);
    return 0;
}
