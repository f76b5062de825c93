// Number and byte-size formatting in the user's locale, and the locale-free converters between
// 64-bit integers and decimal or hexadecimal text.
//
// Grouped integers come out exactly as GetNumberFormatW writes them for an integer text and a
// format without decimals; the library groups them itself for the groupings locales actually use
// (none, threes, and three-then-twos) and asks the system only for any other value.
#pragma once

#include "frame/platform.h"

#include <cstddef>
#include <cstdint>

namespace kwill {

// How a number is written: the NUMBERFMTW fields that matter for integers, and the locale's
// negative sign (which GetNumberFormatW takes from the locale, not from the format).
struct NumberStyle {
    NUMBERFMTW format;
    const wchar_t* negativeSign;
};

// The library's style: the number format cached at process attach and the user's negative sign.
const NumberStyle& LibraryNumberStyle();

// Writes a whole number as GetNumberFormatW(LOCALE_USER_DEFAULT, 0, text, &style.format, ...)
// does for its decimal text. Returns the units written including the terminator; outLen 0
// returns the size needed and writes nothing; 0 with the last error on failure
// (ERROR_INSUFFICIENT_BUFFER when the text does not fit, ERROR_INVALID_PARAMETER for a null
// buffer). The magnitude is unsigned so that every 64-bit count can be written.
int FormatWholeNumber(uint64_t magnitude, bool negative, const NumberStyle& style, wchar_t* out,
                      int outLen);

// Byte-size format of BytesToStringW. Callers build it as a C struct, so its layout is fixed:
// fields in this order with natural alignment.
struct ByteSizeFormat {
    uint32_t unitBase;  // bytes in one KB; 0 means 1,024
    uint32_t kbThreshold;
    uint32_t mbThreshold;
    uint64_t gbThreshold;
    uint64_t tbThreshold;
    uint64_t pbThreshold;
    const wchar_t* bytesText;  // unit texts; null takes the language string
    const wchar_t* kbText;
    const wchar_t* mbText;
    const wchar_t* gbText;
    const wchar_t* tbText;
    const wchar_t* pbText;
    int32_t decimals;  // digits after the separator; negative: automatic
    uint8_t keepZeroFraction;
};
static_assert(offsetof(ByteSizeFormat, gbThreshold) == 16);
static_assert(offsetof(ByteSizeFormat, bytesText) == 40);
static_assert(offsetof(ByteSizeFormat, pbText) == 80);
static_assert(offsetof(ByteSizeFormat, decimals) == 88);
static_assert(offsetof(ByteSizeFormat, keepZeroFraction) == 92);
static_assert(sizeof(ByteSizeFormat) == 96);

ByteSizeFormat DefaultByteSizeFormat();

enum ByteSizeFlag : uint32_t {
    kSizePadDecimals = 0x01,
    kSizeBytes = 0x02,
    kSizeTB = 0x04,
    kSizeGB = 0x08,
    kSizeMB = 0x10,
    kSizeKB = 0x20,
    kSizeRoundUpToUnit = 0x40,
    kSizePB = 0x80,
    kSizeZeroAsKB = 0x100,
};

// Language string numbers of the unit texts.
enum UnitString : unsigned {
    kUnitBytes = 20000,
    kUnitTB = 20001,
    kUnitGB = 20002,
    kUnitMB = 20003,
    kUnitKB = 20004,
    kUnitPB = 20038,
};

// The language strings layer fills this so that byte sizes get translated unit names. It writes
// the text of a string number, cut and terminated to outLen, and returns its length; 0 when the
// string is missing.
using UnitTextSource = int (*)(unsigned stringNumber, wchar_t* out, int outLen);
void SetUnitTextSource(UnitTextSource source);

// value / divisor with `decimals` digits (negative: 2 below 10, 1 below 100, else 0; more than 9
// counts as 9), rounded half up; a zero fraction is dropped unless keepZeroFraction. The divisor
// is wide so that byte-size units stay exact for any unit base. A zero divisor writes "0".
// Returns the length of the text in out (cut and terminated to outLen), 0 when out is unusable.
int DivideToString(uint64_t value, unsigned __int128 divisor, int decimals, bool keepZeroFraction,
                   const NumberStyle& style, wchar_t* out, int outLen);

// A byte count scaled to bytes, KB, MB, GB, TB or PB by the flags and the format (null: the
// defaults), followed by the unit text. Returns the length of the text in out.
int BytesToString(uint64_t value, uint32_t flags, const ByteSizeFormat* format,
                  const NumberStyle& style, wchar_t* out, int outLen);

// Decimal and lower-case hexadecimal digits of an unsigned value, terminated; returns the digit
// count. `out` must hold 21 (decimal) or 17 (hexadecimal) units.
template <typename Char>
int U64ToDecimal(uint64_t value, Char* out);
template <typename Char>
int U64ToHex(uint64_t value, Char* out);

// Up to maxDigits leading hexadecimal digits; anything else ends the number. Null reads 0.
template <typename Char>
uint64_t LeadingHex(const Char* s, int maxDigits);

}  // namespace kwill
