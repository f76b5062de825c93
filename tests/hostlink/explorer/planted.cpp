// A DLL with nothing in it, planted beside a program under a system DLL's name.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
