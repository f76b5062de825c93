// A DLL whose DllGetVersion fails although it has a version resource: GetDllVersion must report
// 0 for it without falling back on the resource.
#include <windows.h>
#include <shlwapi.h>

extern "C" __declspec(dllexport) HRESULT CALLBACK DllGetVersion(DLLVERSIONINFO*) {
    return E_FAIL;
}
