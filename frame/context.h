// The process-wide library context: built at process attach, reset at process detach.
#pragma once

#include "frame/platform.h"
#include "frame/pinyin_table.h"

#include <cstdint>

namespace kwill {

struct LanguageHandle;

using CompareStringOrdinalFn = int(WINAPI*)(LPCWCH, int, LPCWCH, int, BOOL);
// Exported by the host program when the library runs inside it.
using GetLanguageTranslationOverlayFn = BOOL(__cdecl*)(int stringId, wchar_t* buffer,
                                                       int bufferChars);
using ConstructEvalStringArgUIntFn = BOOL(__cdecl*)(int stringId, wchar_t* buffer, int bufferChars,
                                                    unsigned value);

// Library flags word bits. The library sets only 0x1 and 0x2; the host sets the others.
enum LibFlag : uint32_t {
    kLibZipHalfA = 0x1,
    kLibZipHalfB = 0x2,
    kLibInsideHost = 0x4,
    kLibInstallMode1 = 0x8,
    kLibRegexVariant = 0x40,
    kLibFlag80 = 0x80,
    kLibInstallMode2 = 0x100,
    kLibPinyin = 0x400,
};

struct OwnRequestNode {
    OwnRequestNode* next;
    const void* request;
};

inline constexpr DWORD kNoTlsIndex = 0xFFFFFFFF;
inline constexpr int kConfigPathCount = 9;

struct LibraryContext {
    HMODULE module;
    CRITICAL_SECTION lock1;  // zip engine one-time start-up
    volatile uint32_t libFlags;
    uint32_t osFlags;
    uint32_t ubr;
    uint32_t win10Build;
    DWORD tlsIndex;
    wchar_t decimalSeparator[8];
    wchar_t thousandSeparator[8];
    NUMBERFMTW numberFormat;
    LanguageHandle* language;
    CRITICAL_SECTION lock2;  // current language
    CRITICAL_SECTION lock3;  // configuration cache
    uint32_t configValue;
    wchar_t paths[kConfigPathCount][MAX_PATH];
    CRITICAL_SECTION lock4;  // own-request list
    OwnRequestNode* ownRequests;
    HANDLE mutex;
    CRITICAL_SECTION lock5;  // configuration cache
    CRITICAL_SECTION lock6;  // shared slot
    uintptr_t sharedSlot;
    CompareStringOrdinalFn compareStringOrdinal;
    PinyinInitialsTable pinyin;
    GetLanguageTranslationOverlayFn hostTranslationOverlay;
    ConstructEvalStringArgUIntFn hostConstructEvalString;
};

LibraryContext& Context();

// True between a successful process attach and process detach.
bool ContextReady();

// The entry point's work: reason 1 process attach, 0 process detach, 2 thread attach, 3 thread
// detach; any other reason is refused with FALSE. processEnding is the entry point's reserved
// argument being set at process detach: the process is exiting rather than unloading the
// library, and nothing is torn down (see DllEntry).
BOOL DllEntry(HMODULE module, DWORD reason, bool processEnding = false);
BOOL ProcessAttach(HMODULE module);
BOOL ProcessDetach();

// True when the executable path names a process the library must not enter.
bool IsRefusedHostPath(const wchar_t* path, size_t length);

uint32_t LibFlags();
uint32_t SetLibFlags(uint32_t set, uint32_t clear);
unsigned InstallMode();

uintptr_t GetSharedSlot();
void SetSharedSlot(uintptr_t value);
void ClearSharedSlot(uintptr_t value);

// The table when pinyin matching is on and a table is installed, else null.
const PinyinInitialsTable* ActivePinyinTable();
void InstallPinyinTable(const PinyinInitialsTable* table);

// The list of the library's own shell requests.
bool AddOwnRequest(const void* request);
void RemoveOwnRequest(const void* request);
bool IsOwnRequest(const void* request);

}  // namespace kwill
