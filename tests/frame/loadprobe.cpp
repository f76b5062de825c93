// Loads the DLL named on the command line and exits 0 when it loaded, 1 when the loader refused
// it. Copied under other names by the tests to see which host processes the library refuses.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    HMODULE module = ::LoadLibraryW(argv[1]);
    if (!module) return 1;
    ::FreeLibrary(module);
    return 0;
}
