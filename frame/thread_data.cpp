#include "frame/thread_data.h"

#include "frame/context.h"
#include "frame/hooks.h"
#include "frame/win_handle.h"

namespace kwill {
namespace {

// Offsets in the 64-bit thread environment block.
constexpr size_t kTebTlsSlots = 0x1480;
constexpr size_t kTebTlsExpansionSlots = 0x1780;
constexpr DWORD kTlsMinimumAvailable = 64;
constexpr DWORD kTlsExpansionSlots = 1024;

struct ThreadBasicInformation {
    LONG exitStatus;
    void* tebBaseAddress;
    void* uniqueProcess;
    void* uniqueThread;
    ULONG_PTR affinityMask;
    LONG priority;
    LONG basePriority;
};
using NtQueryInformationThreadFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);

}  // namespace

ThreadData* PeekThreadData() {
    DWORD index = Context().tlsIndex;
    if (index == kNoTlsIndex) return nullptr;
    return static_cast<ThreadData*>(::TlsGetValue(index));
}

ThreadData* GetThreadData() {
    DWORD index = Context().tlsIndex;
    if (index == kNoTlsIndex) return nullptr;
    if (auto* existing = static_cast<ThreadData*>(::TlsGetValue(index))) return existing;
    auto* block = static_cast<ThreadData*>(::LocalAlloc(LPTR, sizeof(ThreadData)));
    if (block) block->startTick = ::GetTickCount();
    ::TlsSetValue(index, block);
    return block;
}

void ShutDownThreadZipHalves(ThreadData& block) {
    if (auto shutdown = Hooks().zipThreadShutdown) {
        if (block.flagsA & kThreadZipHalfA) shutdown(1);
        if (block.flagsA & kThreadZipHalfB) shutdown(2);
    }
    block.flagsA &= ~uint64_t(kThreadZipHalfA | kThreadZipHalfB);
}

void FreeThreadData() {
    DWORD index = Context().tlsIndex;
    if (index == kNoTlsIndex) return;
    auto* block = static_cast<ThreadData*>(::TlsGetValue(index));
    if (!block || (block->flagsB & kThreadTearingDown)) return;
    block->flagsB |= kThreadTearingDown;
    ShutDownThreadZipHalves(*block);
    if (IUnknown* object = block->object) {
        block->object = nullptr;
        object->Release();
    }
    ::LocalFree(block);
    ::TlsSetValue(index, nullptr);
}

ThreadData* GetOtherThreadData(DWORD threadId) {
    DWORD index = Context().tlsIndex;
    if (index == kNoTlsIndex) return nullptr;
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    auto query = ntdll ? reinterpret_cast<NtQueryInformationThreadFn>(reinterpret_cast<void*>(
                             ::GetProcAddress(ntdll, "NtQueryInformationThread")))
                       : nullptr;
    if (!query) return nullptr;
    UniqueHandle thread(::OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId));
    if (!thread) return nullptr;
    ThreadBasicInformation info{};
    if (query(thread.get(), 0 /* ThreadBasicInformation */, &info, sizeof(info), nullptr) != 0 ||
        !info.tebBaseAddress)
        return nullptr;
    auto* teb = static_cast<unsigned char*>(info.tebBaseAddress);
    if (index < kTlsMinimumAvailable) {
        auto* slots = reinterpret_cast<void**>(teb + kTebTlsSlots);
        return static_cast<ThreadData*>(slots[index]);
    }
    if (index - kTlsMinimumAvailable >= kTlsExpansionSlots) return nullptr;
    auto* expansion = *reinterpret_cast<void***>(teb + kTebTlsExpansionSlots);
    if (!expansion) return nullptr;
    return static_cast<ThreadData*>(expansion[index - kTlsMinimumAvailable]);
}

}  // namespace kwill
