// The debug trace (every line tagged with the calling thread), the channel to a separate
// debug-console window, and the global atom that must match what the caller expects.
#pragma once

#include "frame/platform.h"

#include <cstdarg>
#include <cstddef>

namespace kwill {

// The whole line, prefix and terminator included, fits in this many characters.
inline constexpr size_t kDebugLineChars = 8192;
// dwData of the WM_COPYDATA block that carries a text to the debug console.
inline constexpr ULONG_PTR kDebugConsoleTag = 0x96965853;
inline constexpr wchar_t kDebugConsoleClass[] = L"kwill.debugconsole";

// Where finished lines go: OutputDebugStringW unless a test listens instead.
using DebugSinkFn = void (*)(const wchar_t* line);
DebugSinkFn& DebugSink();

// "[tid] kwill: " and the formatted message, cut to fit the buffer. No line end is added.
void FormatDebugLine(wchar_t (&line)[kDebugLineChars], DWORD threadId, const wchar_t* format,
                     va_list args);
void DebugOutputV(const wchar_t* format, va_list args);
void DebugOutput(const wchar_t* format, ...);

// Sends the text unchanged to the message-only window of the debug-console class and returns
// its answer; 0 when there is no such window (or no text).
LRESULT SendDebugConsole(const wchar_t* text);

// GlobalAddAtomW, kept only when it gives the expected atom (0: any); a mismatching reference is
// dropped again.
ATOM AddGlobalAtomChecked(ATOM expected, const wchar_t* name);

}  // namespace kwill
