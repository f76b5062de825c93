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

int DecimalsFor(unsigned __int128 q) {
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

    // Digits backwards with the separators, then the sign around them.
    wchar_t digits[21];
    const int count = U64ToDecimal(magnitude, digits);
    const size_t sepLen = std::wcslen(f.lpThousandSep);
    wchar_t text[24 * 9 + 32];
    size_t n = 0;
    int group = 3, inGroup = 0;
    for (int i = count - 1; i >= 0; --i) {
        if (f.Grouping != 0 && inGroup == group) {
            for (size_t s = sepLen; s-- > 0;) text[n++] = f.lpThousandSep[s];
            inGroup = 0;
            if (f.Grouping == 32) group = 2;
        }
        text[n++] = digits[i];
        ++inGroup;
    }
    // text holds the grouped number reversed.
    wchar_t result[sizeof(text) / sizeof(text[0]) + 16];
    size_t r = 0;
    const wchar_t* sign = style.negativeSign ? style.negativeSign : L"-";
    const size_t signLen = std::wcslen(sign) > 4 ? 4 : std::wcslen(sign);
    auto putSign = [&] {
        for (size_t s = 0; s < signLen; ++s) result[r++] = sign[s];
    };
    if (negative) {
        switch (f.NegativeOrder) {
            case 0:
                result[r++] = L'(';
                break;
            case 1:
                putSign();
                break;
            case 2:
                putSign();
                result[r++] = L' ';
                break;
            default:
                break;
        }
    }
    while (n > 0) result[r++] = text[--n];
    if (negative) {
        switch (f.NegativeOrder) {
            case 0:
                result[r++] = L')';
                break;
            case 3:
                putSign();
                break;
            case 4:
                result[r++] = L' ';
                putSign();
                break;
            default:
                break;
        }
    }
    result[r++] = 0;
    if (outLen == 0) return static_cast<int>(r);
    if (r > static_cast<size_t>(outLen)) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < r; ++i) out[i] = result[i];
    return static_cast<int>(r);
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
    unsigned __int128 q = value / divisor;
    unsigned __int128 r = value % divisor;
    const bool automatic = decimals < 0;
    int d = automatic ? DecimalsFor(q) : (decimals > 9 ? 9 : decimals);
    uint64_t m = 1;
    for (int i = 0; i < d; ++i) m *= 10;
    // r < divisor < 2^96 for any byte-size unit, so r * 10^9 and 2r stay exact in 128 bits.
    uint64_t f = 0;
    if (d > 0) {
        f = static_cast<uint64_t>(r * m / divisor);
        r = r * m % divisor;
    }
    if (2 * r >= divisor) {
        if (++f == m) {
            ++q;
            f = 0;
            if (automatic) d = DecimalsFor(q);
        }
    }
    // q fits 64 bits: it only exceeds value / divisor when rounding up, which needs divisor > 1.
    const int written = FormatWholeNumber(static_cast<uint64_t>(q), false, style, out, outLen);
    text = BoundedText(out, outLen, written > 0 ? written - 1 : 0);
    if (written <= 0) {
        // Too long for the buffer: show what fits of the plain digits rather than nothing.
        wchar_t digits[21];
        text.Append(digits, static_cast<size_t>(U64ToDecimal(static_cast<uint64_t>(q), digits)));
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
    int n = 0;
    do {
        digits[n++] = static_cast<Char>('0' + value % 10);
        value /= 10;
    } while (value);
    for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
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
