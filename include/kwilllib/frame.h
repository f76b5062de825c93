/* kwilllib: the library frame (exports/kwilllib.def headings "library frame: ...").
 * Library context, version and flags; per-thread data; diagnostics, threads and time. */
#ifndef KWILLLIB_FRAME_H
#define KWILLLIB_FRAME_H

#include "base.h"

/* The caller's table of pinyin initials for U+4E00 + i (i < count): up to three initials in the
 * 5-bit fields at bits 0, 5 and 10 of each entry (1..26 = 'a'..'z', 0 = none). The library keeps
 * a copy of this descriptor, not of the entries, which must outlive their use. */
typedef struct PinyinInitialsTable {
    const WORD* entries;
    DWORD count;
} PinyinInitialsTable;

/* A thread's block of library data; its layout is the library's own. */
typedef struct ThreadData ThreadData;

/* A thread routine as _beginthreadex takes it. */
typedef unsigned(__stdcall* KwillThreadRoutine)(void* parameter);

/* ---- library frame: context, version, flags */

/* Lets the process that owns the window take the foreground (AllowSetForegroundWindow). */
KWILL_API_NONAME(7) BOOL KWILLCALL AllowForegroundForWindow(HWND window);

/* The locked data of a module's resource, or null; *size (may be null) is written on success.
 * The data belongs to the module. */
KWILL_API_NONAME(10)
const void* KWILLCALL LoadModuleResource(HMODULE module, const wchar_t* name, const wchar_t* type,
                                         DWORD* size);

/* Library flags := (old AND NOT clear) OR set, so a bit in both is set. Returns the old word. */
KWILL_API_NONAME(26) DWORD KWILLCALL SetLibFlags(DWORD set, DWORD clear);
KWILL_API_NONAME(27) DWORD KWILLCALL GetLibFlags(void);

/* Version numbers and strings from a file's version resource: the four version words, the
 * first translation (language in the low word, code page in the high word) and the
 * CompanyName, ProductName, LegalCopyright and FileDescription strings, each cut to its buffer
 * (sizes in characters) and trimmed of surrounding white space. Every output may be null.
 * Returns HIWORD(file version MS) * 100 + LOWORD(file version MS), or 0. */
KWILL_API_NONAME(52)
DWORD
KWILLCALL GetFileVersionStrings(const wchar_t* file, DWORD* fileVersionMS, DWORD* fileVersionLS,
                                DWORD* productVersionMS, DWORD* productVersionLS,
                                DWORD* translation, wchar_t* company, int companyChars,
                                wchar_t* product, int productChars, wchar_t* copyright,
                                int copyrightChars, wchar_t* description, int descriptionChars);

KWILL_API_NONAME(53) INT_PTR KWILLCALL LibReturnZero(void);

/* 2 with library flag 0x100, else 1 with flag 0x8, else 0. */
KWILL_API_NONAME(72) DWORD KWILLCALL GetInstallMode(void);

/* 1 when library flag 0x80 is set. */
KWILL_API_NONAME(125) BOOL KWILLCALL TestLibFlag80(void);

/* SetDllDirectoryW(path). A null path with keepDefault 0 passes "" (takes the current directory
 * out of the DLL search path); with keepDefault non-zero passes null (the default order). */
KWILL_API_NONAME(126) BOOL KWILLCALL SetLibDllDirectory(const wchar_t* path, BOOL keepDefault);

/* One value shared by the library's users in this process, kept under a lock. ClearSharedSlot
 * clears it only while it still holds `value`. */
KWILL_API_NONAME(130) UINT_PTR KWILLCALL GetSharedSlot(void);
KWILL_API_NONAME(131) void KWILLCALL SetSharedSlot(UINT_PTR value);
KWILL_API_NONAME(132) void KWILLCALL ClearSharedSlot(UINT_PTR value);

/* Pinyin-initial matching: library flag 0x400 and the installed table. SetPinyinTable copies
 * the descriptor (null uninstalls it); GetPinyinTable gives it while matching is on, else null. */
KWILL_API_NONAME(159) BOOL KWILLCALL IsPinyinMatchEnabled(void);
KWILL_API_NONAME(160) void KWILLCALL EnablePinyinMatch(BOOL enable);
KWILL_API_NONAME(161) void KWILLCALL SetPinyinTable(const PinyinInitialsTable* table);
KWILL_API_NONAME(162) const PinyinInitialsTable* KWILLCALL GetPinyinTable(void);

KWILL_API_NONAME(163) void KWILLCALL LibNoOp(void);

/* The Windows version flags detected at load, the update build revision ("UBR") and the
 * Windows 10/11 build number (0 on older systems). */
KWILL_API(1000) DWORD KWILLCALL OsVer(void);
KWILL_API(1001) DWORD KWILLCALL OsVerUBR(void);
KWILL_API(1002) DWORD KWILLCALL OsVerWin10Build(void);

/* FALSE: the library is 64-bit only. */
KWILL_API(1003) BOOL KWILLCALL IsWow64(void);

/* major * 100 + minor of a DLL: from its DllGetVersion when it exports one (a failing
 * DllGetVersion gives 0), else from its version resource, whose whole MS and LS file version
 * words then land in the outputs. Either output may be null. */
KWILL_API(1004) DWORD KWILLCALL GetDllVersion(const wchar_t* file, DWORD* major, DWORD* minor);

/* ---- library frame: per-thread data
 * Each accessor works on the calling thread's block, creating it when missing; without a block
 * setters do nothing and getters return 0. */

/* Thread flags A := (old AND NOT clear) OR set. */
KWILL_API_NONAME(24) void KWILLCALL SetThreadFlags(ULONGLONG set, ULONGLONG clear);
KWILL_API_NONAME(25) ULONGLONG KWILLCALL GetThreadFlags(void);
KWILL_API_NONAME(64) ThreadData* KWILLCALL GetThreadData(void);
/* Frees the calling thread's block (it is made again on the next use). */
KWILL_API_NONAME(86) void KWILLCALL FreeThreadData(void);
KWILL_API_NONAME(90) ULONGLONG KWILLCALL GetThreadUserValue(void);
KWILL_API_NONAME(91) void KWILLCALL SetThreadUserValue(ULONGLONG value);
/* TRUE and the tick at which the block was made; FALSE and 0 without a block (none is made). */
KWILL_API_NONAME(122) BOOL KWILLCALL GetThreadStartTick(DWORD* tick);
/* Mode 1 or 2 selects one of two mode bits; any other value clears both. */
KWILL_API_NONAME(137) void KWILLCALL SetThreadMode(int mode);
KWILL_API_NONAME(138) int KWILLCALL GetThreadMode(void);
KWILL_API_NONAME(171) DWORD KWILLCALL GetLibTlsIndex(void);
/* The thread's attached object, without a new reference. */
KWILL_API_NONAME(172) IUnknown* KWILLCALL GetThreadObject(void);
/* Attaches an object once per block and keeps a reference to it. */
KWILL_API_NONAME(173) BOOL KWILLCALL SetThreadObject(IUnknown* object);
/* The thread's nesting counter: the value after the change. */
KWILL_API_NONAME(174) int KWILLCALL IncThreadCounter(void);
KWILL_API_NONAME(175) int KWILLCALL DecThreadCounter(void);
KWILL_API_NONAME(176) int KWILLCALL GetThreadCounter(void);
/* Clears the mask in thread flags A; returns the bits of it that were set. */
KWILL_API_NONAME(177) ULONGLONG KWILLCALL TestClearThreadFlags(ULONGLONG mask);
KWILL_API_NONAME(178) void KWILLCALL SetThreadStateFlags(ULONGLONG set, ULONGLONG clear);
KWILL_API_NONAME(179) ULONGLONG KWILLCALL GetThreadStateFlags(void);
KWILL_API_NONAME(180) ULONGLONG KWILLCALL TestClearThreadStateFlags(ULONGLONG mask);
/* Another thread's block or object; the caller keeps that thread alive while it looks. */
KWILL_API_NONAME(204) ThreadData* KWILLCALL GetOtherThreadData(DWORD threadId);
KWILL_API_NONAME(205) IUnknown* KWILLCALL GetOtherThreadObject(DWORD threadId);

/* ---- library frame: diagnostics, threads, time, buffer builders, XML files */

/* Sends the text to the debug-console window ("kwill.debugconsole") and waits until it is
 * handled. Returns the window's answer, 0 when no console runs or the text is null. */
KWILL_API(75) LRESULT KWILLCALL SendDebugConsole(const wchar_t* text);

/* GlobalAddAtomW(name), kept only when expected is 0 or equals the atom obtained; else 0. */
KWILL_API(76) ATOM KWILLCALL AddGlobalAtomChecked(ATOM expected, const wchar_t* name);

/* Writes "[thread id] kwill: " and the formatted message with OutputDebugStringW (at most 8192
 * characters; no line end is added). */
KWILL_API(83) void KWILLCALL DebugOutput(const wchar_t* format, ...);
KWILL_API(134) void KWILLCALL DebugOutputV(const wchar_t* format, va_list args);

/* _beginthreadex with a thread name (may be null) that debuggers show. Returns the thread
 * handle (close it with CloseHandle), or 0 with *threadId 0. */
KWILL_API(1010)
UINT_PTR
KWILLCALL BeginNamedThread(const wchar_t* name, KwillThreadRoutine routine, void* parameter,
                           unsigned flags, unsigned* threadId, unsigned stackSize);

/* Time conversions with the daylight-saving rule of the converted date. Each writes a
 * FILETIME; FALSE (output untouched) for a null pointer or a time that cannot be converted. */
KWILL_API(1011) BOOL KWILLCALL ConvertUTCFileTimeToLocalTime(const FILETIME* utc, FILETIME* local);
KWILL_API(1012)
BOOL KWILLCALL ConvertUTCSystemTimeToLocalTime(const SYSTEMTIME* utc, FILETIME* local);
KWILL_API(1013)
BOOL KWILLCALL ConvertLocalFileTimeToUTCFileTime(const FILETIME* local, FILETIME* utc);
KWILL_API(1014)
BOOL KWILLCALL ConvertLocalSystemTimeToUTCFileTime(const SYSTEMTIME* local, FILETIME* utc);

#endif /* KWILLLIB_FRAME_H */
