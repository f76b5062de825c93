// A DLL with a version resource and no DllGetVersion.
#include <windows.h>

extern "C" __declspec(dllexport) int PlainVersionProbe() {
    return 1;
}
