// One small block shared by every process that loads the library (a shared data section).
#pragma once

#include "frame/platform.h"

#include <cstdint>

namespace kwill {

struct SharedState {
    volatile LONG comObjects;   // live COM objects of all processes (interlocked)
    volatile LONG serverLocks;  // IClassFactory::LockServer count (interlocked)
    volatile LONG hookBypass;   // non-zero: the shell execute hooks pass everything
    volatile LONG languageGeneration;
    volatile DWORD passThroughTick;  // 0 when unset
    volatile LONG64 passThroughValue;
    volatile LONG skipNext;  // changed only while holding the named mutex
};

SharedState& Shared();

}  // namespace kwill
