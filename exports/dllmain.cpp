// The DLL entry point: builds and tears down the library context and the per-thread blocks.
#include "frame/context.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    return kwill::DllEntry(module, reason, reserved != nullptr);
}
