// Number formatting exports: grouped numbers, quotients and byte sizes in the user's locale, the
// cached separators, and the locale-free decimal and hexadecimal converters.
#include "exports/export.h"
#include "frame/context.h"
#include "strings/number_format.h"

#include <cstdint>

using kwill::ByteSizeFormat;
using kwill::LibraryNumberStyle;

// The value grouped with the library number format and the locale's negative form, no decimals.
// Returns what GetNumberFormatW returns for that text: the units written including the
// terminator, 0 on failure with the last error set (ERROR_INSUFFICIENT_BUFFER when it does not
// fit); outLen 0 asks for the size needed.
KWILL_EXPORT int GetNumberStringW(int64_t value, wchar_t* out, int outLen) {
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : value;
    return kwill::FormatWholeNumber(magnitude, value < 0, LibraryNumberStyle(), out, outLen);
}

// value / divisor as grouped text with `decimals` digits after the library decimal separator
// (-1 or any negative: 2 below 10, 1 below 100, else none; more than 9 counts as 9), rounded
// half up. A zero fraction is dropped unless keepZeroFraction. A zero divisor gives "0".
// Returns the length of the text in out (cut and terminated to outLen); 0 for a null or empty
// buffer, which is left alone.
KWILL_EXPORT int DivideToStringW(uint64_t value, uint32_t divisor, int decimals,
                                 BOOL keepZeroFraction, wchar_t* out, int outLen) {
    return kwill::DivideToString(value, divisor, decimals, keepZeroFraction != FALSE,
                                 LibraryNumberStyle(), out, outLen);
}

// A byte count as text in bytes, KB, MB, GB, TB or PB followed by the unit text. `format` may be
// null for the defaults (1,024-byte units, switching unit at 1,000 of the previous one, automatic
// decimals, unit names from the current language). Returns the length of the text in out.
KWILL_EXPORT int BytesToStringW(uint64_t value, wchar_t* out, int outLen, uint32_t flags,
                                const ByteSizeFormat* format) {
    return kwill::BytesToString(value, flags, format, LibraryNumberStyle(), out, outLen);
}

// Copies the library number format; its separator pointers point into the library.
KWILL_EXPORT void GetLocalNumberFormatW(NUMBERFMTW* format) {
    if (format) *format = kwill::Context().numberFormat;
}

// The cached decimal separator, or "." when it is unset or empty.
KWILL_EXPORT const wchar_t* GetDecimalSeparatorW() {
    const wchar_t* sep = kwill::Context().numberFormat.lpDecimalSep;
    return sep && sep[0] ? sep : L".";
}

// The first unit of the decimal separator, or '.'.
KWILL_EXPORT wchar_t GetDecimalCharW() {
    return GetDecimalSeparatorW()[0];
}

// The first unit of the cached thousands separator, or 0.
KWILL_EXPORT wchar_t GetThousandCharW() {
    const wchar_t* sep = kwill::Context().numberFormat.lpThousandSep;
    return sep ? sep[0] : 0;
}

// Decimal digits of an unsigned value, no grouping; `out` must hold 21 units. Returns the count.
KWILL_EXPORT int L64ToStringA(uint64_t value, char* out) {
    return out ? kwill::U64ToDecimal(value, out) : 0;
}
KWILL_EXPORT int L64ToStringW(uint64_t value, wchar_t* out) {
    return out ? kwill::U64ToDecimal(value, out) : 0;
}

// Lower-case hexadecimal digits, no prefix; `out` must hold 17 units. Returns the count.
KWILL_EXPORT int L64ToHexStringA(uint64_t value, char* out) {
    return out ? kwill::U64ToHex(value, out) : 0;
}
KWILL_EXPORT int L64ToHexStringW(uint64_t value, wchar_t* out) {
    return out ? kwill::U64ToHex(value, out) : 0;
}

// Up to 8 (16) leading hexadecimal digits; no sign, prefix or white space; a null string is 0.
KWILL_EXPORT uint32_t AsciiToHexA(const char* s) {
    return static_cast<uint32_t>(kwill::LeadingHex(s, 8));
}
KWILL_EXPORT uint32_t AsciiToHexW(const wchar_t* s) {
    return static_cast<uint32_t>(kwill::LeadingHex(s, 8));
}
KWILL_EXPORT uint64_t AsciiToHex64A(const char* s) {
    return kwill::LeadingHex(s, 16);
}
KWILL_EXPORT uint64_t AsciiToHex64W(const wchar_t* s) {
    return kwill::LeadingHex(s, 16);
}
