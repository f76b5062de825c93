#include "frame/named_thread.h"

#include "frame/thread_data.h"

#include <process.h>

namespace kwill {
namespace {

uintptr_t RealBegin(void* security, unsigned stack, ThreadRoutine routine, void* parameter,
                    unsigned flags, unsigned* threadId) {
    return ::_beginthreadex(security, stack, routine, parameter, flags, threadId);
}

HLOCAL RealAlloc(UINT flags, SIZE_T bytes) {
    return ::LocalAlloc(flags, bytes);
}

HLOCAL RealFree(HLOCAL block) {
    return ::LocalFree(block);
}

constexpr NamedThreadOps kDefaultOps = {RealAlloc, RealFree, RealBegin};

// The library's start routine: the name is visible in the thread's user value exactly while the
// caller's routine runs; then the record goes and the routine's result becomes the exit code.
unsigned __stdcall NamedThreadMain(void* argument) {
    auto* start = static_cast<NamedThreadStart*>(argument);
    ThreadRoutine routine = start->routine;
    void* parameter = start->parameter;
    ThreadData* data = start->name ? GetThreadData() : nullptr;
    if (data) data->userValue = reinterpret_cast<uintptr_t>(start->name);
    unsigned result = routine(parameter);
    // The routine may have freed the block (FreeThreadData); look it up again.
    if (ThreadData* after = PeekThreadData()) after->userValue = 0;
    NamedThreadSeam().free(start);
    return result;
}

// Shows the name in debuggers where the system offers it (Windows 10 1607 and later).
void SetDebuggerName(HANDLE thread, const wchar_t* name) {
    using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto set = reinterpret_cast<SetThreadDescriptionFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (set) set(thread, name);
}

}  // namespace

const NamedThreadOps& DefaultNamedThreadOps() {
    return kDefaultOps;
}

NamedThreadOps& NamedThreadSeam() {
    static NamedThreadOps ops = kDefaultOps;
    return ops;
}

// The ANSI name gets as many bytes as the conversion needs: in a double-byte code page one
// wide character can take two, which a buffer of (wide length + 1) bytes would not hold.
NamedThreadStart* MakeNamedThreadStart(const wchar_t* name, ThreadRoutine routine, void* parameter,
                                       UINT codePage) {
    int nameBytes = 0;
    if (name) {
        nameBytes = ::WideCharToMultiByte(codePage, 0, name, -1, nullptr, 0, nullptr, nullptr);
        if (nameBytes <= 0) nameBytes = 1;  // an unconvertible name becomes ""
    }
    auto* start = static_cast<NamedThreadStart*>(
        NamedThreadSeam().alloc(LPTR, sizeof(NamedThreadStart) + nameBytes));
    if (!start) return nullptr;
    if (name) {
        start->name = reinterpret_cast<char*>(start + 1);
        if (::WideCharToMultiByte(codePage, 0, name, -1, start->name, nameBytes, nullptr,
                                  nullptr) <= 0)
            start->name[0] = '\0';
    }
    start->routine = routine;
    start->parameter = parameter;
    return start;
}

uintptr_t BeginNamedThread(const wchar_t* name, ThreadRoutine routine, void* parameter,
                           unsigned flags, unsigned* threadId, unsigned stackSize) {
    const NamedThreadOps& ops = NamedThreadSeam();
    unsigned id = 0;
    uintptr_t thread = 0;
    if (!routine) {
        // A thread on a null routine would only crash.
        if (threadId) *threadId = 0;
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (NamedThreadStart* start = MakeNamedThreadStart(name, routine, parameter, CP_ACP)) {
        thread = ops.begin(nullptr, stackSize, NamedThreadMain, start, flags, &id);
        if (!thread) {
            ops.free(start);
            id = 0;
        }
    } else {
        // Without memory for the record the thread still runs, only without its name.
        thread = ops.begin(nullptr, stackSize, routine, parameter, flags, &id);
        if (!thread) id = 0;
    }
    if (thread && name) SetDebuggerName(reinterpret_cast<HANDLE>(thread), name);
    if (threadId) *threadId = id;
    return thread;
}

}  // namespace kwill
