// A second process for the Explorer-replacement tests.
//
//   explorer_probe share PATH OUTFILE DONEEVENT   puts PATH's ID list in shared memory as the
//                                                 shell's sender does, writes ":handle:pid" to
//                                                 OUTFILE and waits (30 s at most) for DONEEVENT
//   explorer_probe bypass                         begins and ends one hook bypass through
//                                                 kwilllib.dll; exit code = 16 * first + second
//   explorer_probe decide OUTFILE TARGET...       sets installation mode 2 (library flag 0x100)
//                                                 and writes one line per target to OUTFILE:
//                                                 "H|S rule entry" from ExplainHostOpenFolder.
//                                                 A target is "path:TEXT", "pidl:TEXT" (the
//                                                 library's text form) or "none"
//   explorer_probe loadsys NAME                   exit 0 when LoadSystemLibrary(NAME) took the
//                                                 system folder's copy while LoadLibraryW(NAME)
//                                                 takes the one beside this program; else 1..3
#include <windows.h>

#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring Folder(HMODULE module) {
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring text(path, n);
    return text.substr(0, text.find_last_of(L'\\'));
}

HMODULE Library() {
    return ::LoadLibraryW((Folder(nullptr) + L"\\kwilllib.dll").c_str());
}

int Share(const wchar_t* path, const wchar_t* outFile, const wchar_t* doneEvent) {
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(::SHParseDisplayName(path, nullptr, &list, 0, nullptr))) return 2;
    using AllocFn = HANDLE(WINAPI*)(const void*, DWORD, DWORD);
    auto alloc = reinterpret_cast<AllocFn>(
        reinterpret_cast<void*>(::GetProcAddress(::LoadLibraryW(L"shlwapi.dll"), "SHAllocShared")));
    if (!alloc) return 3;
    HANDLE shared = alloc(list, ::ILGetSize(list), ::GetCurrentProcessId());
    if (!shared) return 4;
    HANDLE done = ::OpenEventW(SYNCHRONIZE, FALSE, doneEvent);
    FILE* out = _wfopen(outFile, L"w");
    if (!out) return 5;
    std::fprintf(out, ":%llu:%lu",
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(shared)),
                 ::GetCurrentProcessId());
    std::fclose(out);
    if (done) ::WaitForSingleObject(done, 30000);
    return 0;
}

int Bypass() {
    HMODULE dll = Library();
    if (!dll) return 255;
    using CountFn = LONG (*)();
    auto begin = reinterpret_cast<CountFn>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "BeginHookBypass")));
    auto end =
        reinterpret_cast<CountFn>(reinterpret_cast<void*>(::GetProcAddress(dll, "EndHookBypass")));
    if (!begin || !end) return 254;
    LONG first = begin();
    LONG second = end();
    return static_cast<int>(first * 16 + second);
}

int LoadSystem(const wchar_t* name) {
    HMODULE dll = Library();
    if (!dll) return 4;
    using LoadFn = HMODULE (*)(const wchar_t*);
    auto load = reinterpret_cast<LoadFn>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "LoadSystemLibrary")));
    if (!load) return 5;
    HMODULE system = load(name);
    if (!system) return 1;
    wchar_t systemFolder[MAX_PATH];
    ::GetSystemDirectoryW(systemFolder, MAX_PATH);
    if (_wcsicmp(Folder(system).c_str(), systemFolder) != 0) return 2;
    ::FreeLibrary(system);
    // The plain call finds the planted copy: the test would prove nothing otherwise.
    HMODULE plain = ::LoadLibraryW(name);
    if (!plain || _wcsicmp(Folder(plain).c_str(), Folder(nullptr).c_str()) != 0) return 3;
    return 0;
}

int Decide(int count, wchar_t** targets, const wchar_t* outFile) {
    HMODULE dll = Library();
    if (!dll) return 4;
    using SetFlagsFn = DWORD (*)(DWORD, DWORD);
    using ExplainFn = BOOL (*)(const wchar_t*, LPCITEMIDLIST, DWORD*, DWORD*);
    using FromStringFn = LPITEMIDLIST (*)(const wchar_t*, WORD*);
    auto setFlags = reinterpret_cast<SetFlagsFn>(
        reinterpret_cast<void*>(::GetProcAddress(dll, MAKEINTRESOURCEA(26))));
    auto explain = reinterpret_cast<ExplainFn>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "ExplainHostOpenFolder")));
    auto fromString = reinterpret_cast<FromStringFn>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "PIDLFromString")));
    if (!setFlags || !explain || !fromString) return 5;
    setFlags(0x100, 0);
    FILE* out = _wfopen(outFile, L"w");
    if (!out) return 6;
    for (int i = 0; i < count; ++i) {
        std::wstring target = targets[i];
        const wchar_t* path = nullptr;
        LPITEMIDLIST list = nullptr;
        if (target.rfind(L"path:", 0) == 0) path = targets[i] + 5;
        if (target.rfind(L"pidl:", 0) == 0) list = fromString(targets[i] + 5, nullptr);
        DWORD rule = 0, entry = 0;
        BOOL host = explain(path, list, &rule, &entry);
        std::fprintf(out, "%c %lu %lu\n", host ? 'H' : 'S', rule, entry);
        ::CoTaskMemFree(list);
    }
    std::fclose(out);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 5 && std::wcscmp(argv[1], L"share") == 0) return Share(argv[2], argv[3], argv[4]);
    if (argc >= 2 && std::wcscmp(argv[1], L"bypass") == 0) return Bypass();
    if (argc >= 3 && std::wcscmp(argv[1], L"loadsys") == 0) return LoadSystem(argv[2]);
    if (argc >= 3 && std::wcscmp(argv[1], L"decide") == 0) {
        ::CoInitialize(nullptr);
        return Decide(argc - 3, argv + 3, argv[2]);
    }
    return 100;
}
