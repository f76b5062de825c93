#include "strings/number_format.h"

#include "frame/context.h"
#include "strings/compare.h"

#include <atomic>
#include <cwchar>

namespace kwill {
namespace {

std::atomic<UnitTextSource> g_unitTextSource{nullptr};

// Appends text to a caller buffer, cutting it to leave room for the terminator.
class BoundedText {
  public:
    BoundedText(wchar_t* out, int outLen, int start = 0)
        : out_(out),
          cap_(outLen > 0 ? static_cast<size_t>(outLen) : 0),
          len_(start >= 0 ? static_cast<size_t>(start) : 0) {
        if (cap_ && len_ >= cap_) len_ = cap_ - 1;
        if (cap_) out_[len_] = 0;
    }
    void Append(const wchar_t* text, size_t n) {
        if (!cap_) return;
        for (size_t i = 0; i < n && len_ + 1 < cap_; ++i) out_[len_++] = text[i];
        out_[len_] = 0;
    }
    void Append(const wchar_t* text) { Append(text, text ? std::wcslen(text) : 0); }
    void Append(wchar_t c) { Append(&c, 1); }
    int length() const { return static_cast<int>(len_); }

  private:
    wchar_t* out_;
    size_t cap_;
    size_t len_;
};

bool InHouseGrouping(const NUMBERFMTW& f) {
    return f.NumDigits == 0 && f.NegativeOrder <= 4 && f.lpDecimalSep && f.lpThousandSep &&
           (f.Grouping == 0 || f.Grouping == 3 || f.Grouping == 32);
}

int FormatBySystem(uint64_t magnitude, bool negative, const NumberStyle& style, wchar_t* out,
                   int outLen) {
    wchar_t digits[24];
    digits[0] = L'-';
    U64ToDecimal(magnitude, digits + 1);
    NUMBERFMTW format = style.format;
    return ::GetNumberFormatW(LOCALE_USER_DEFAULT, 0, negative ? digits : digits + 1, &format, out,
                              outLen);
}

// Writes the decimal digits of value so that they end at `end`, two at a time; returns where
// they start.
template <typename Char>
Char* DigitsBackward(uint64_t value, Char* end) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    Char* p = end;
    while (value >= 100) {
        const unsigned pair = static_cast<unsigned>(value % 100) * 2;
        value /= 100;
        *--p = static_cast<Char>(kPairs[pair + 1]);
        *--p = static_cast<Char>(kPairs[pair]);
    }
    if (value >= 10) {
        *--p = static_cast<Char>(kPairs[value * 2 + 1]);
        *--p = static_cast<Char>(kPairs[value * 2]);
    } else {
        *--p = static_cast<Char>('0' + value);
    }
    return p;
}

constexpr uint64_t kPowersOfTen[10] = {1,      10,      100,      1000,      10000,
                                       100000, 1000000, 10000000, 100000000, 1000000000};

int DecimalsFor(uint64_t q) {
    return q < 10 ? 2 : q < 100 ? 1 : 0;
}

}  // namespace

const NumberStyle& LibraryNumberStyle() {
    static const NumberStyle style = [] {
        static wchar_t sign[8] = L"-";
        if (!::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SNEGATIVESIGN, sign, 8) || !sign[0]) {
            sign[0] = L'-';
            sign[1] = 0;
        }
        return NumberStyle{Context().numberFormat, sign};
    }();
    return style;
}

int FormatWholeNumber(uint64_t magnitude, bool negative, const NumberStyle& style, wchar_t* out,
                      int outLen) {
    const NUMBERFMTW& f = style.format;
    if (!InHouseGrouping(f)) return FormatBySystem(magnitude, negative, style, out, outLen);
    if (outLen < 0 || (!out && outLen != 0)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }

    wchar_t digitBuffer[20];
    wchar_t* const digitsEnd = digitBuffer + 20;
    const wchar_t* digits = DigitsBackward(magnitude, digitsEnd);
    const int n = static_cast<int>(digitsEnd - digits);

    // The first group is what is left over on the left; then groups of three, or of two up to
    // the last three digits for the three-then-twos grouping.
    int separators = 0, lead = n;
    if (f.Grouping == 3 && n > 3) {
        separators = (n - 1) / 3;
        lead = n - 3 * separators;
    } else if (f.Grouping == 32 && n > 3) {
        separators = 1 + (n - 4) / 2;
        lead = n - 3 - 2 * (separators - 1);
    }
    const wchar_t* sep = f.lpThousandSep;
    const size_t sepLen = std::wcslen(sep);
    const wchar_t* sign = style.negativeSign ? style.negativeSign : L"-";
    size_t signLen = std::wcslen(sign);
    if (signLen > 4) signLen = 4;
    size_t before = 0, after = 0;
    if (negative) {
        switch (f.NegativeOrder) {
            case 0:
                before = after = 1;
                break;
            case 1:
                before = signLen;
                break;
            case 2:
                before = signLen + 1;
                break;
            case 3:
                after = signLen;
                break;
            default:
                after = signLen + 1;
                break;
        }
    }
    const size_t total = before + static_cast<size_t>(n) + separators * sepLen + after + 1;
    if (outLen == 0) return static_cast<int>(total);
    if (total > static_cast<size_t>(outLen)) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }

    wchar_t* p = out;
    auto put = [&p](const wchar_t* text, size_t length) {
        for (size_t i = 0; i < length; ++i) *p++ = text[i];
    };
    if (negative) {
        switch (f.NegativeOrder) {
            case 0:
                *p++ = L'(';
                break;
            case 1:
                put(sign, signLen);
                break;
            case 2:
                put(sign, signLen), *p++ = L' ';
                break;
            default:
                break;
        }
    }
    put(digits, static_cast<size_t>(lead));
    digits += lead;
    for (int group = 0; group < separators; ++group) {
        const int size = (f.Grouping == 32 && group < separators - 1) ? 2 : 3;
        if (sepLen == 1) {
            *p++ = sep[0];
        } else {
            put(sep, sepLen);
        }
        put(digits, static_cast<size_t>(size));
        digits += size;
    }
    if (negative) {
        switch (f.NegativeOrder) {
            case 0:
                *p++ = L')';
                break;
            case 3:
                put(sign, signLen);
                break;
            case 4:
                *p++ = L' ', put(sign, signLen);
                break;
            default:
                break;
        }
    }
    *p = 0;
    return static_cast<int>(total);
}

ByteSizeFormat DefaultByteSizeFormat() {
    ByteSizeFormat f{};
    f.unitBase = 1024;
    f.kbThreshold = 1024;
    f.mbThreshold = 0xFA000;
    f.gbThreshold = 0x3E800000;
    f.tbThreshold = 0xFA00000000;
    f.pbThreshold = 0x3E80000000000;
    f.decimals = -1;
    return f;
}

void SetUnitTextSource(UnitTextSource source) {
    g_unitTextSource.store(source, std::memory_order_release);
}

int DivideToString(uint64_t value, unsigned __int128 divisor, int decimals, bool keepZeroFraction,
                   const NumberStyle& style, wchar_t* out, int outLen) {
    if (!out || outLen <= 0) return 0;
    BoundedText text(out, outLen);
    if (divisor == 0) {
        text.Append(L'0');
        return text.length();
    }
    const bool automatic = decimals < 0;
    int d;
    uint64_t q, f = 0;
    if (divisor <= UINT32_MAX) {
        // Every divisor of the default units: r * 10^9 and 2r fit 64 bits, no wide division.
        const uint64_t div = static_cast<uint64_t>(divisor);
        q = value / div;
        uint64_t r = value % div;
        d = automatic ? DecimalsFor(q) : (decimals > 9 ? 9 : decimals);
        const uint64_t m = kPowersOfTen[d];
        if (d > 0) {
            f = r * m / div;
            r = r * m % div;
        }
        if (2 * r >= div && ++f == m) {
            ++q;
            f = 0;
            if (automatic) d = DecimalsFor(q);
        }
    } else {
        // r < divisor < 2^96 for any byte-size unit, so r * 10^9 and 2r stay exact in 128 bits.
        q = static_cast<uint64_t>(value / divisor);
        unsigned __int128 r = value % divisor;
        d = automatic ? DecimalsFor(q) : (decimals > 9 ? 9 : decimals);
        const uint64_t m = kPowersOfTen[d];
        if (d > 0) {
            f = static_cast<uint64_t>(r * m / divisor);
            r = r * m % divisor;
        }
        if (2 * r >= divisor && ++f == m) {
            ++q;
            f = 0;
            if (automatic) d = DecimalsFor(q);
        }
    }
    // q fits 64 bits: it only exceeds value / divisor when rounding up, which needs divisor > 1.
    const int written = FormatWholeNumber(q, false, style, out, outLen);
    text = BoundedText(out, outLen, written > 0 ? written - 1 : 0);
    if (written <= 0) {
        // Too long for the buffer: show what fits of the plain digits rather than nothing.
        wchar_t digits[21];
        text.Append(digits, static_cast<size_t>(U64ToDecimal(q, digits)));
    }
    if (d > 0 && (keepZeroFraction || f != 0)) {
        wchar_t fraction[10];
        for (int i = d - 1; i >= 0; --i, f /= 10) fraction[i] = static_cast<wchar_t>(L'0' + f % 10);
        text.Append(style.format.lpDecimalSep);
        text.Append(fraction, static_cast<size_t>(d));
    }
    return text.length();
}

int BytesToString(uint64_t value, uint32_t flags, const ByteSizeFormat* format,
                  const NumberStyle& style, wchar_t* out, int outLen) {
    if (!out || outLen <= 0) return 0;
    const ByteSizeFormat f = format ? *format : DefaultByteSizeFormat();
    const uint64_t base = f.unitBase ? f.unitBase : 1024;
    if ((flags & kSizeRoundUpToUnit) && value % base) {
        const uint64_t up = value + (base - value % base);
        value = up < value ? UINT64_MAX : up;  // saturate rather than wrap to a tiny size
    }

    const uint32_t unitFlags = kSizeBytes | kSizeTB | kSizeGB | kSizeMB | kSizeKB | kSizePB;
    const bool free = (flags & unitFlags) == 0;
    const unsigned __int128 b = base, b2 = b * b, b3 = b2 * b;
    unsigned __int128 divisor = 0;
    const wchar_t* unitText = f.bytesText;
    unsigned unitString = kUnitBytes;
    if ((free && value >= f.pbThreshold) || (flags & kSizePB)) {
        value = static_cast<uint64_t>(value / b2);
        divisor = b3, unitText = f.pbText, unitString = kUnitPB;
    } else if ((free && value >= f.tbThreshold) || (flags & kSizeTB)) {
        value = static_cast<uint64_t>(value / b);
        divisor = b3, unitText = f.tbText, unitString = kUnitTB;
    } else if ((free && value >= f.gbThreshold) || (flags & kSizeGB)) {
        divisor = b3, unitText = f.gbText, unitString = kUnitGB;
    } else if ((free && value >= f.mbThreshold) || (flags & kSizeMB)) {
        divisor = b2, unitText = f.mbText, unitString = kUnitMB;
    } else if ((free && value >= f.kbThreshold) || (flags & kSizeKB) ||
               ((flags & kSizeZeroAsKB) && value == 0)) {
        if ((flags & kSizeKB) && value != 0 && value < base) value = base;
        divisor = b, unitText = f.kbText, unitString = kUnitKB;
    }

    wchar_t fetched[64];
    if (!unitText) {
        fetched[0] = 0;
        if (UnitTextSource source = g_unitTextSource.load(std::memory_order_acquire)) {
            if (source(unitString, fetched, 64) <= 0) fetched[0] = 0;
        }
        unitText = fetched;
    }
    size_t unitLen = std::wcslen(unitText);
    if (unitLen > 59) unitLen = 59;

    int length;
    if (divisor != 0) {
        length =
            DivideToString(value, divisor, f.decimals, f.keepZeroFraction != 0, style, out, outLen);
        if ((flags & kSizePadDecimals) && f.decimals >= 0) {
            const int want = f.decimals > 9 ? 9 : f.decimals;
            const wchar_t* sep = style.format.lpDecimalSep;
            const wchar_t* found = sep && *sep ? strstriW(out, sep) : nullptr;
            BoundedText text(out, outLen, length);
            int have = 0;
            if (!found) {
                text.Append(sep);
            } else {
                for (const wchar_t* p = found + std::wcslen(sep); *p >= L'0' && *p <= L'9'; ++p)
                    ++have;
            }
            for (; have < want; ++have) text.Append(L'0');
            length = text.length();
        }
    } else {
        const int written = FormatWholeNumber(value, false, style, out, outLen);
        length = written > 0 ? written - 1 : 0;
        if (written <= 0) {
            wchar_t digits[21];
            BoundedText text(out, outLen);
            text.Append(digits, static_cast<size_t>(U64ToDecimal(value, digits)));
            length = text.length();
        }
    }
    BoundedText text(out, outLen, length);
    text.Append(unitText, unitLen);
    return text.length();
}

template <typename Char>
int U64ToDecimal(uint64_t value, Char* out) {
    Char digits[20];
    const Char* start = DigitsBackward(value, digits + 20);
    const int n = static_cast<int>(digits + 20 - start);
    for (int i = 0; i < n; ++i) out[i] = start[i];
    out[n] = 0;
    return n;
}

template <typename Char>
int U64ToHex(uint64_t value, Char* out) {
    Char digits[16];
    int n = 0;
    do {
        digits[n++] = static_cast<Char>("0123456789abcdef"[value & 15]);
        value >>= 4;
    } while (value);
    for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    out[n] = 0;
    return n;
}

template <typename Char>
uint64_t LeadingHex(const Char* s, int maxDigits) {
    uint64_t value = 0;
    if (!s) return 0;
    for (int i = 0; i < maxDigits; ++i) {
        const unsigned c = static_cast<unsigned>(s[i]);
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
            digit = (c | 0x20) - 'a' + 10;
        } else {
            break;
        }
        value = value << 4 | digit;
    }
    return value;
}

template int U64ToDecimal<char>(uint64_t, char*);
template int U64ToDecimal<wchar_t>(uint64_t, wchar_t*);
template int U64ToHex<char>(uint64_t, char*);
template int U64ToHex<wchar_t>(uint64_t, wchar_t*);
template uint64_t LeadingHex<char>(const char*, int);
template uint64_t LeadingHex<wchar_t>(const wchar_t*, int);

}  // namespace kwill
