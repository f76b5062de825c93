// Threads started with a name: the name is shown by debuggers and, while the thread's routine
// runs, its ANSI form sits in the thread's user value so the library can tell its threads apart.
#pragma once

#include "frame/platform.h"

#include <cstdint>

namespace kwill {

using ThreadRoutine = unsigned(__stdcall*)(void* parameter);

// The record handed to a new named thread. It is one LocalAlloc block: these fields, then the
// zero-terminated ANSI name that name points at (null without a name).
struct NamedThreadStart {
    char* name;
    ThreadRoutine routine;
    void* parameter;
};

// The calls BeginNamedThread makes, replaceable so that tests can make an allocation or the
// thread creation fail and count what is freed.
struct NamedThreadOps {
    HLOCAL (*alloc)(UINT flags, SIZE_T bytes);
    HLOCAL (*free)(HLOCAL block);
    uintptr_t (*begin)(void* security, unsigned stack, ThreadRoutine routine, void* parameter,
                       unsigned flags, unsigned* threadId);
};
const NamedThreadOps& DefaultNamedThreadOps();
NamedThreadOps& NamedThreadSeam();

// Builds the start record with the name in the given code page; null when short of memory.
NamedThreadStart* MakeNamedThreadStart(const wchar_t* name, ThreadRoutine routine, void* parameter,
                                       UINT codePage);

// Starts the thread (see the export of the same name); the handle, or 0.
uintptr_t BeginNamedThread(const wchar_t* name, ThreadRoutine routine, void* parameter,
                           unsigned flags, unsigned* threadId, unsigned stackSize);

}  // namespace kwill
