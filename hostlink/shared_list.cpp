#include "hostlink/shared_list.h"

#include "shellns/id_list.h"
#include "shellns/id_list_memory.h"

#include <span>

namespace kwill::hostlink {
namespace {

template <typename Fn>
Fn Lookup(HMODULE module, const char* name, WORD ordinal) {
    FARPROC fn = ::GetProcAddress(module, name);
    if (!fn) fn = ::GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(fn));
}

SharedMemoryApi LoadApi() {
    SharedMemoryApi api{};
    // Kept loaded for the life of the process, like the shell keeps it.
    HMODULE shlwapi = ::LoadLibraryW(L"shlwapi.dll");
    if (!shlwapi) return api;
    api.alloc = Lookup<decltype(api.alloc)>(shlwapi, "SHAllocShared", 7);
    api.lock = Lookup<decltype(api.lock)>(shlwapi, "SHLockShared", 8);
    api.unlock = Lookup<decltype(api.unlock)>(shlwapi, "SHUnlockShared", 9);
    api.free = Lookup<decltype(api.free)>(shlwapi, "SHFreeShared", 10);
    return api;
}

// Bytes readable from `p` to the end of its region of the address space.
size_t ReadableBytes(const void* p) {
    MEMORY_BASIC_INFORMATION info;
    if (::VirtualQuery(p, &info, sizeof(info)) != sizeof(info)) return 0;
    if (info.State != MEM_COMMIT || (info.Protect & (PAGE_NOACCESS | PAGE_GUARD))) return 0;
    const auto* base = static_cast<const uint8_t*>(info.BaseAddress);
    const auto* at = static_cast<const uint8_t*>(p);
    return static_cast<size_t>(base + info.RegionSize - at);
}

}  // namespace

const SharedMemoryApi& SharedMemory() {
    static const SharedMemoryApi api = LoadApi();
    return api;
}

uint8_t* TakeSharedIdList(HANDLE handle, DWORD processId) {
    const SharedMemoryApi& api = SharedMemory();
    if (!api.lock || !api.unlock || !api.free) return nullptr;
    void* view = api.lock(handle, processId);
    if (!view) return nullptr;
    const auto* bytes = static_cast<const uint8_t*>(view);
    uint8_t* list = nullptr;
    std::optional<size_t> size = shellns::CheckList(std::span(bytes, ReadableBytes(view)));
    if (size) list = shellns::CopyBlock(std::span(bytes, *size));
    api.unlock(view);
    api.free(handle, processId);
    return list;
}

}  // namespace kwill::hostlink
