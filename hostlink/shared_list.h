// ID lists that another process hands over in shared memory (the shell's SHAllocShared blocks).
//
// The four shared-memory functions are taken from shlwapi.dll when first needed, by name and
// else by their ordinals 7 to 10. The import library binds them to shell32, where Wine 8 lacks
// the names: an import would stop the process from loading at all.
#pragma once

#include "frame/platform.h"

#include <cstdint>

namespace kwill::hostlink {

struct SharedMemoryApi {
    HANDLE(WINAPI* alloc)(const void* data, DWORD size, DWORD processId);
    void*(WINAPI* lock)(HANDLE shared, DWORD processId);
    BOOL(WINAPI* unlock)(void* view);
    BOOL(WINAPI* free)(HANDLE shared, DWORD processId);
};

// The functions, or null members where shlwapi lacks them.
const SharedMemoryApi& SharedMemory();

// Takes the ID list out of the block that `processId` shared as `handle`: locks it, copies the
// list (task memory, the caller frees it), unlocks it and frees the block, which the sender
// gave away. The list is measured inside the mapped view only: a block without a terminator
// before the view ends, or with an item that runs past it, gives null (and is still freed).
// Null, and nothing freed, when the pair names no block.
uint8_t* TakeSharedIdList(HANDLE handle, DWORD processId);

}  // namespace kwill::hostlink
