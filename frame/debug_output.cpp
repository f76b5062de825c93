#include "frame/debug_output.h"

#include <strsafe.h>

namespace kwill {
namespace {

void RealOutputDebugString(const wchar_t* line) {
    ::OutputDebugStringW(line);
}

}  // namespace

DebugSinkFn& DebugSink() {
    static DebugSinkFn sink = RealOutputDebugString;
    return sink;
}

void FormatDebugLine(wchar_t (&line)[kDebugLineChars], DWORD threadId, const wchar_t* format,
                     va_list args) {
    line[0] = L'\0';
    ::StringCchPrintfW(line, kDebugLineChars, L"[%4ld] kwill: ", static_cast<long>(threadId));
    if (!format) return;
    size_t prefix = 0;
    ::StringCchLengthW(line, kDebugLineChars, &prefix);
    // Truncation is expected for long messages: the cut text is still terminated.
    ::StringCchVPrintfW(line + prefix, kDebugLineChars - prefix, format, args);
}

void DebugOutputV(const wchar_t* format, va_list args) {
    wchar_t line[kDebugLineChars];
    FormatDebugLine(line, ::GetCurrentThreadId(), format, args);
    DebugSink()(line);
}

void DebugOutput(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    DebugOutputV(format, args);
    va_end(args);
}

LRESULT SendDebugConsole(const wchar_t* text) {
    if (!text) return 0;
    HWND console = ::FindWindowExW(HWND_MESSAGE, nullptr, kDebugConsoleClass, nullptr);
    if (!console) return 0;
    COPYDATASTRUCT block{};
    block.dwData = kDebugConsoleTag;
    block.cbData = static_cast<DWORD>((::lstrlenW(text) + 1) * sizeof(wchar_t));
    block.lpData = const_cast<wchar_t*>(text);
    return ::SendMessageW(console, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&block));
}

ATOM AddGlobalAtomChecked(ATOM expected, const wchar_t* name) {
    if (!name) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    ATOM atom = ::GlobalAddAtomW(name);
    if (atom == 0) return 0;
    if (expected == 0 || expected == atom) return atom;
    ::GlobalDeleteAtom(atom);
    return 0;
}

}  // namespace kwill
