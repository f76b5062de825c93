/* english.dll holds resources only and is loaded as a data file; this entry point exists because
 * the linker wants one and is never run for a data file. */
#include <windows.h>

BOOL WINAPI EnglishEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
