#include "frame/context.h"

#include "frame/hooks.h"
#include "frame/locale_format.h"
#include "frame/os_version.h"
#include "frame/thread_data.h"
#include "frame/win_handle.h"

#include <cwchar>

namespace kwill {
namespace {

// Not attached until process attach has run: a program that links the frame without loading
// the library (tests, the benchmark) must not take the zeroed context for a built one.
// Every other field starts at zero.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
LibraryContext g_context{.tlsIndex = kNoTlsIndex};
#pragma GCC diagnostic pop
FrameHooks g_hooks{};

constexpr wchar_t kHookHelperMutex[] = L"kwill.win7exhookhelper.mutex";
constexpr wchar_t kRefusedHost[] = L"chrome.exe";
constexpr size_t kRefusedHostLength = 10;

// The state the context has before attach and after detach: all zero but the host's exports,
// which are found only when the host program is the process that loaded the library.
LibraryContext DefaultContext() {
    LibraryContext c{};
    c.tlsIndex = kNoTlsIndex;
    if (HMODULE host = ::GetModuleHandleW(L"kwill.exe")) {
        c.hostTranslationOverlay = reinterpret_cast<GetLanguageTranslationOverlayFn>(
            reinterpret_cast<void*>(::GetProcAddress(host, "GetLanguageTranslationOverlay")));
        c.hostConstructEvalString = reinterpret_cast<ConstructEvalStringArgUIntFn>(
            reinterpret_cast<void*>(::GetProcAddress(host, "ConstructEvalString_ArgUInt")));
    }
    return c;
}

void ResetContext() {
    if (g_context.language && g_hooks.releaseLanguage) g_hooks.releaseLanguage(g_context.language);
    g_context = DefaultContext();
}

CRITICAL_SECTION* const kLocks[] = {&g_context.lock1, &g_context.lock2, &g_context.lock3,
                                    &g_context.lock4, &g_context.lock5, &g_context.lock6};

}  // namespace

LibraryContext& Context() {
    return g_context;
}
FrameHooks& Hooks() {
    return g_hooks;
}
bool ContextReady() {
    return g_context.tlsIndex != kNoTlsIndex;
}

bool IsRefusedHostPath(const wchar_t* path, size_t length) {
    if (!path || length < kRefusedHostLength) return false;
    const wchar_t* tail = path + (length - kRefusedHostLength);
    for (size_t i = 0; i < kRefusedHostLength; ++i) {
        wchar_t c = tail[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
        if (c != kRefusedHost[i]) return false;
    }
    return length == kRefusedHostLength || tail[-1] == L'\\';
}

BOOL ProcessAttach(HMODULE module) {
    ResetContext();
    g_context.tlsIndex = kNoTlsIndex;
    g_context.module = module;

    wchar_t exe[1024];
    DWORD length = ::GetModuleFileNameW(nullptr, exe, 1024);
    if (length > 0 && length < 1024 && IsRefusedHostPath(exe, length)) return FALSE;

    DWORD tls = ::TlsAlloc();
    if (tls == TLS_OUT_OF_INDEXES) return FALSE;

    for (CRITICAL_SECTION* lock : kLocks) ::InitializeCriticalSection(lock);
    g_context.configValue = 0xFFFFFFFF;

    if (HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
        g_context.compareStringOrdinal = reinterpret_cast<CompareStringOrdinalFn>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "CompareStringOrdinal")));
    }

    OsVersion version = DetectOsVersion(SystemVersionQuery());
    g_context.osFlags = version.flags;
    g_context.win10Build = version.win10Build;
    g_context.ubr = version.ubr;

    ReadUserNumberFormat(g_context.decimalSeparator, g_context.thousandSeparator,
                         g_context.numberFormat);

    g_context.mutex = ::CreateMutexW(nullptr, FALSE, kHookHelperMutex);

    // The index goes in last: from here on the context counts as built.
    g_context.tlsIndex = tls;
    GetThreadData();
    return TRUE;
}

BOOL ProcessDetach() {
    if (g_context.tlsIndex == kNoTlsIndex) return TRUE;
    if (ThreadData* block = PeekThreadData()) ShutDownThreadZipHalves(*block);
    if (g_hooks.zipProcessShutdown) {
        if (g_context.libFlags & kLibZipHalfA) g_hooks.zipProcessShutdown(1);
        if (g_context.libFlags & kLibZipHalfB) g_hooks.zipProcessShutdown(2);
    }
    for (CRITICAL_SECTION* lock : kLocks) ::DeleteCriticalSection(lock);
    if (g_context.mutex) ::CloseHandle(g_context.mutex);
    ::TlsFree(g_context.tlsIndex);
    ResetContext();
    return TRUE;
}

BOOL DllEntry(HMODULE module, DWORD reason, bool processEnding) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            return ProcessAttach(module);
        case DLL_PROCESS_DETACH:
            // When the process exits, its other threads have been stopped wherever they were,
            // perhaps inside the heap or holding one of the locks, and freeing the zip halves'
            // state or deleting the locks could wait on them for ever. The system takes back the
            // memory, slots and handles anyway; only an unload tears the context down.
            if (processEnding) return TRUE;
            return ProcessDetach();
        case DLL_THREAD_ATTACH:
            GetThreadData();
            return TRUE;
        case DLL_THREAD_DETACH:
            FreeThreadData();
            return TRUE;
        default:
            return FALSE;
    }
}

uint32_t LibFlags() {
    return g_context.libFlags;
}

uint32_t SetLibFlags(uint32_t set, uint32_t clear) {
    uint32_t old = g_context.libFlags;
    g_context.libFlags = (old & ~clear) | set;
    return old;
}

unsigned InstallMode() {
    uint32_t flags = g_context.libFlags;
    if (flags & kLibInstallMode2) return 2;
    if (flags & kLibInstallMode1) return 1;
    return 0;
}

uintptr_t GetSharedSlot() {
    if (!ContextReady()) return g_context.sharedSlot;
    CriticalSectionLock lock(g_context.lock6);
    return g_context.sharedSlot;
}

void SetSharedSlot(uintptr_t value) {
    if (!ContextReady()) return;
    CriticalSectionLock lock(g_context.lock6);
    g_context.sharedSlot = value;
}

void ClearSharedSlot(uintptr_t value) {
    if (!ContextReady()) return;
    CriticalSectionLock lock(g_context.lock6);
    if (g_context.sharedSlot == value) g_context.sharedSlot = 0;
}

const PinyinInitialsTable* ActivePinyinTable() {
    if (!(g_context.libFlags & kLibPinyin) || !g_context.pinyin.entries) return nullptr;
    return &g_context.pinyin;
}

void InstallPinyinTable(const PinyinInitialsTable* table) {
    if (table) {
        g_context.pinyin = *table;
    } else {
        g_context.pinyin.entries = nullptr;
    }
}

bool AddOwnRequest(const void* request) {
    if (!ContextReady()) return false;
    auto* node = static_cast<OwnRequestNode*>(::GlobalAlloc(GMEM_FIXED, sizeof(OwnRequestNode)));
    if (!node) return false;
    node->request = request;
    CriticalSectionLock lock(g_context.lock4);
    node->next = g_context.ownRequests;
    g_context.ownRequests = node;
    return true;
}

void RemoveOwnRequest(const void* request) {
    if (!ContextReady()) return;
    OwnRequestNode* found = nullptr;
    {
        CriticalSectionLock lock(g_context.lock4);
        for (OwnRequestNode** link = &g_context.ownRequests; *link; link = &(*link)->next) {
            if ((*link)->request == request) {
                found = *link;
                *link = found->next;
                break;
            }
        }
    }
    if (found) ::GlobalFree(found);
}

bool IsOwnRequest(const void* request) {
    if (!ContextReady()) return false;
    CriticalSectionLock lock(g_context.lock4);
    for (OwnRequestNode* n = g_context.ownRequests; n; n = n->next) {
        if (n->request == request) return true;
    }
    return false;
}

}  // namespace kwill
