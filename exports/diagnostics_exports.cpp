// Debug trace, debug console, checked global atoms, named threads and time conversions.
#include "exports/export.h"
#include "frame/debug_output.h"
#include "frame/named_thread.h"
#include "frame/time_convert.h"

#include <cstdarg>
#include <cstdint>

// Writes "[tid] kwill: " and the formatted message to the debugger with OutputDebugStringW.
// A null format writes the prefix alone. The line is cut at 8192 characters in all; no line
// end is added, callers put "\n" in their formats.
KWILL_EXPORT void DebugOutputV(const wchar_t* format, va_list args) {
    kwill::DebugOutputV(format, args);
}

KWILL_EXPORT void DebugOutput(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    kwill::DebugOutputV(format, args);
    va_end(args);
}

// Sends the text, as it is, to the debug-console window ("kwill.debugconsole", a message-only
// window) in a WM_COPYDATA block tagged 0x96965853, and waits for it to be handled. Returns the
// window's answer, or 0 when no console runs or the text is null.
KWILL_EXPORT LRESULT SendDebugConsole(const wchar_t* text) {
    return kwill::SendDebugConsole(text);
}

// GlobalAddAtomW(name), kept only when expected is 0 or equals the atom obtained; otherwise the
// new reference is deleted again and the result is 0.
KWILL_EXPORT ATOM AddGlobalAtomChecked(ATOM expected, const wchar_t* name) {
    return kwill::AddGlobalAtomChecked(expected, name);
}

// Starts a thread with _beginthreadex whose name (may be null) debuggers show and whose user
// value (GetThreadUserValue) points at the ANSI name while the routine runs. Returns the thread
// handle, or 0 with a 0 thread id when the thread could not be started. When there is no memory
// for the name the thread is started directly on the routine, unnamed.
KWILL_EXPORT uintptr_t BeginNamedThread(const wchar_t* name, kwill::ThreadRoutine routine,
                                        void* parameter, unsigned flags, unsigned* threadId,
                                        unsigned stackSize) {
    return kwill::BeginNamedThread(name, routine, parameter, flags, threadId, stackSize);
}

// The time conversions apply the daylight-saving rule of the converted date in the current time
// zone. Each gives a FILETIME, whatever its name says, and FALSE (leaving the output alone) for
// a null pointer or a time the system cannot convert.
KWILL_EXPORT BOOL ConvertUTCFileTimeToLocalTime(const FILETIME* utc, FILETIME* local) {
    return kwill::UtcFileTimeToLocal(utc, local) ? TRUE : FALSE;
}

KWILL_EXPORT BOOL ConvertUTCSystemTimeToLocalTime(const SYSTEMTIME* utc, FILETIME* local) {
    return kwill::UtcSystemTimeToLocal(utc, local) ? TRUE : FALSE;
}

KWILL_EXPORT BOOL ConvertLocalFileTimeToUTCFileTime(const FILETIME* local, FILETIME* utc) {
    return kwill::LocalFileTimeToUtc(local, utc) ? TRUE : FALSE;
}

KWILL_EXPORT BOOL ConvertLocalSystemTimeToUTCFileTime(const SYSTEMTIME* local, FILETIME* utc) {
    return kwill::LocalSystemTimeToUtc(local, utc) ? TRUE : FALSE;
}
