#include "text/boyer_moore.h"

#include "strings/path_strings.h"
#include "text/char_case.h"
#include "text/fold_diacritics.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace kwill::text {
namespace {

template <typename Char>
inline uint32_t Code(Char c) {
    return static_cast<std::make_unsigned_t<Char>>(c);
}

template <typename Char>
void BuildTable(BoyerSkipTable& table, const std::basic_string<Char>& pattern) {
    const size_t n = pattern.size();
    uint32_t low = Code(pattern[0]), high = low;
    for (Char c : pattern) {
        low = std::min(low, Code(c));
        high = std::max(high, Code(c));
    }
    table.base = low;
    table.span = high - low + 1;
    // One entry more than the range: codes outside it are clamped onto this "does not occur"
    // entry, so that the lookups need no branch.
    table.entries.assign(2 * (size_t{table.span} + 1), 0);
    for (uint32_t d = 0; d <= table.span; ++d) table.entries[2 * d + 1] = static_cast<uint8_t>(n);
    // Later occurrences overwrite the shift, earlier ones (down to index 1) the first index.
    for (size_t k = 0; k < n; ++k)
        table.entries[2 * (Code(pattern[k]) - low) + 1] = static_cast<uint8_t>(n - 1 - k);
    for (size_t k = n - 1; k >= 1; --k)
        table.entries[2 * (Code(pattern[k]) - low)] = static_cast<uint8_t>(k);
    // For the backward search: the smallest index of each code, 0 included (n when absent).
    table.first.assign(size_t{table.span} + 1, static_cast<uint8_t>(n));
    for (size_t k = n; k-- > 0;) table.first[Code(pattern[k]) - low] = static_cast<uint8_t>(k);
    table.built = true;
}

// Text accessors: the search compares Text(i) with the pattern variant.
template <typename Char>
struct PlainText {
    const Char* text;
    Char operator()(size_t i) const { return text[i]; }
};

template <typename Char>
struct UpperText {
    const Char* text;
    const Char* upper;  // the upper-case table of the character type
    Char operator()(size_t i) const { return upper[Code(text[i])]; }
};

// One cursor of the forward search over a text: `end` is the text index under the pattern's
// last character. After a mismatch the window moves so that the last occurrence of the
// mismatched character in the pattern lines up with it, and always at least one position.
template <typename Char, typename Text>
struct ForwardCursor {
    const Char* p;
    size_t n;
    const uint8_t* entries;
    uint32_t base, span;
    Text at;

    size_t Shift(size_t i) const {
        const uint32_t d = std::min(Code(at(i)) - base, span);
        return entries[2 * size_t{d} + 1];
    }
    // The move from a window ending at `end` (end + 1 inside the text): 0 when its last
    // character matches (the only character whose shift is 0), else the larger of its shift and
    // the one that lines the character just past the window up with its last occurrence.
    size_t Skip(size_t end) const {
        const size_t s = Shift(end);
        if (s == 0) return 0;
        const size_t beyond = Shift(end + 1) + 1;
        return s > beyond ? s : beyond;
    }
    // Compares the window that ends at `end` from its end; its start on a match, else -1 with
    // `end` moved on by the bad-character rule.
    ptrdiff_t Verify(size_t& end) const {
        size_t k = n - 1, t = end;
        while (k > 0 && at(t - 1) == p[k - 1]) {
            --k;
            --t;
        }
        if (k == 0) return static_cast<ptrdiff_t>(t);
        const size_t next = (t - 1) + Shift(t - 1);
        end = next > end + 1 ? next : end + 1;
        return -1;
    }
    // The leftmost match among the windows that end in [end, limit).
    ptrdiff_t Scan(size_t end, size_t limit, size_t length) const {
        while (end < limit) {
            const size_t s = end + 1 < length ? Skip(end) : Shift(end);
            if (s != 0) {
                end += s;
                continue;
            }
            const ptrdiff_t found = Verify(end);
            if (found >= 0) return found;
        }
        return -1;
    }
};

// Leftmost window whose characters equal the pattern. The skip loop waits on one table lookup
// after another, so a long text is searched as two halves whose cursors advance side by side:
// a match in the first half wins, else the second half's first match is the answer.
template <typename Char, typename Text>
ptrdiff_t Forward(const std::basic_string<Char>& pattern, const BoyerSkipTable& table, Text at,
                  size_t length) {
    const size_t n = pattern.size();
    if (length < n) return -1;
    const ForwardCursor<Char, Text> c{pattern.data(), n,          table.entries.data(),
                                      table.base,     table.span, at};
    if (length < 8192) return c.Scan(n - 1, length, length);

    const size_t mid = length / 2;
    const size_t limitA = mid + n - 1;  // first half: windows that start before mid
    size_t a = n - 1, b = limitA;       // second half: windows that start at mid or later
    ptrdiff_t foundB = -1;
    bool doneB = false;
    while (a < limitA) {
        while (!doneB && a + n + 2 < limitA && b + n + 2 < length) {
            const size_t sa = c.Skip(a), sb = c.Skip(b);
            if (sa == 0 || sb == 0) break;
            a += sa;
            b += sb;
        }
        const size_t sa = c.Skip(a);  // a + 1 < limitA + 1 <= length
        if (sa != 0) {
            a += sa;
        } else {
            const ptrdiff_t found = c.Verify(a);
            if (found >= 0) return found;
        }
        if (!doneB) {
            if (b >= length) {
                doneB = true;
                continue;
            }
            const size_t sb = b + 1 < length ? c.Skip(b) : c.Shift(b);
            if (sb != 0) {
                b += sb;
            } else {
                foundB = c.Verify(b);
                doneB = foundB >= 0;
            }
        }
    }
    if (foundB >= 0) return foundB;
    return doneB ? -1 : c.Scan(b, length, length);
}

// The mirror image for the backward search: `start` is the text index under the pattern's
// first character, and a window moves left so that the first occurrence of the mismatched
// character in the pattern lines up with it.
template <typename Char, typename Text>
struct BackwardCursor {
    const Char* p;
    size_t n;
    const uint8_t* first;
    uint32_t base, span;
    Text at;

    size_t First(size_t i) const {
        const uint32_t d = std::min(Code(at(i)) - base, span);
        return first[d];
    }
    // The move from a window starting at `start` (>= 1): 0 when its first character matches,
    // else the larger of the move for that character and the one that lines the character just
    // before the window up with its first occurrence.
    size_t Skip(size_t start) const {
        const size_t f = First(start);
        if (f == 0) return 0;
        const size_t before = First(start - 1) + 1;
        return f > before ? f : before;
    }
    // Compares the window at `start` from its start; true on a match, else `start` moved on
    // (possibly below 0).
    bool Verify(ptrdiff_t& start) const {
        size_t k = 1, t = static_cast<size_t>(start) + 1;
        while (k < n && at(t) == p[k]) {
            ++k;
            ++t;
        }
        if (k == n) return true;
        const ptrdiff_t next = static_cast<ptrdiff_t>(t) - static_cast<ptrdiff_t>(First(t));
        start = next < start ? next : start - 1;
        return false;
    }
    // The rightmost match among the windows that start in (limit, start].
    ptrdiff_t Scan(ptrdiff_t start, ptrdiff_t limit) const {
        while (start > limit) {
            const size_t s = start >= 1 ? Skip(static_cast<size_t>(start)) : First(0);
            if (s != 0) {
                start -= static_cast<ptrdiff_t>(s);
                continue;
            }
            if (Verify(start)) return start;
        }
        return -1;
    }
};

// Rightmost window whose characters equal the pattern; long texts as two halves, as forwards:
// a match in the upper half wins, else the lower half's last match is the answer.
template <typename Char, typename Text>
ptrdiff_t Backward(const std::basic_string<Char>& pattern, const BoyerSkipTable& table, Text at,
                   size_t length) {
    const size_t n = pattern.size();
    if (length < n) return -1;
    const BackwardCursor<Char, Text> c{pattern.data(), n,          table.first.data(),
                                       table.base,     table.span, at};
    const ptrdiff_t last = static_cast<ptrdiff_t>(length - n);
    if (length < 8192) return c.Scan(last, -1);

    const ptrdiff_t mid = static_cast<ptrdiff_t>(length / 2);
    const ptrdiff_t span = static_cast<ptrdiff_t>(n) + 2;
    ptrdiff_t a = last, b = mid - 1;  // upper half: windows from mid on; lower: before mid
    ptrdiff_t foundB = -1;
    bool doneB = false;
    while (a >= mid) {
        while (!doneB && a >= mid + span && b >= span) {
            const size_t sa = c.Skip(static_cast<size_t>(a)), sb = c.Skip(static_cast<size_t>(b));
            if (sa == 0 || sb == 0) break;
            a -= static_cast<ptrdiff_t>(sa);
            b -= static_cast<ptrdiff_t>(sb);
        }
        const size_t sa = c.Skip(static_cast<size_t>(a));  // a >= mid >= 1
        if (sa != 0) {
            a -= static_cast<ptrdiff_t>(sa);
        } else if (c.Verify(a)) {
            return a;
        }
        if (!doneB) {
            if (b < 0) {
                doneB = true;
                continue;
            }
            const size_t sb = b >= 1 ? c.Skip(static_cast<size_t>(b)) : c.First(0);
            if (sb != 0) {
                b -= static_cast<ptrdiff_t>(sb);
            } else if (c.Verify(b)) {
                foundB = b;
                doneB = true;
            }
        }
    }
    if (foundB >= 0) return foundB;
    return doneB ? -1 : c.Scan(b, -1);
}

template <typename Char, typename Text>
ptrdiff_t Search(const std::basic_string<Char>& pattern, const BoyerSkipTable& table, Text at,
                 size_t length, bool reverse) {
    return reverse ? Backward(pattern, table, at, length) : Forward(pattern, table, at, length);
}

const wchar_t* UpperTableOf(wchar_t) {
    return UpperUnitTable();
}
const char* UpperTableOf(char) {
    return UpperByteTable();
}

std::wstring Fold(const std::wstring& s) {
    return FoldDiacritics(s);
}
std::string Fold(const std::string& s) {
    return FoldDiacriticsAnsi(s);
}

std::wstring_view FoldOne(wchar_t c) {
    return FoldUnit(c);
}
std::string_view FoldOne(char c) {
    return FoldByte(c);
}

template <typename Char>
std::basic_string<Char> Upper(const std::basic_string<Char>& s) {
    const Char* upper = UpperTableOf(Char{});
    std::basic_string<Char> out(s);
    for (Char& c : out) c = upper[Code(c)];
    return out;
}

template <typename Char>
const std::basic_string<Char>& Variant(BoyerHandle<Char>& handle, int v) {
    if (!handle.variantBuilt[v]) {
        switch (v) {
            case 1:
                handle.variant[1] = Upper(handle.variant[0]);
                break;
            case 2:
                handle.variant[2] = Fold(handle.variant[0]);
                if (handle.variant[2].size() > kBoyerMaxPattern)
                    handle.variant[2].resize(kBoyerMaxPattern);
                break;
            case 3:
                handle.variant[3] = Upper(Variant(handle, 2));
                break;
        }
        handle.variantBuilt[v] = true;
    }
    return handle.variant[v];
}

// Whether every unit is below 0x80. Blocks are or-ed together without early exits, which the
// compiler turns into vector code; the test between blocks stops early on other texts.
template <typename Char>
bool AllBelow80(const Char* text, size_t length) {
    constexpr size_t kBlock = 1024;
    size_t i = 0;
    for (; i + kBlock <= length; i += kBlock) {
        uint32_t any = 0;
        for (size_t k = 0; k < kBlock; ++k) any |= Code(text[i + k]);
        if (any >= 0x80) return false;
    }
    uint32_t any = 0;
    for (; i < length; ++i) any |= Code(text[i]);
    return any < 0x80;
}

template <typename Char>
const Char* Find(BoyerHandle<Char>& handle, const Char* text, size_t length, bool ignoreCase,
                 bool fold, bool reverse) {
    if (!text) return nullptr;
    const int v = (ignoreCase ? 1 : 0) + (fold ? 2 : 0);
    const std::basic_string<Char>& pattern = Variant(handle, v);
    // A pattern made only of marks folds to nothing; there is nothing to look for.
    if (pattern.empty() || length < pattern.size()) return nullptr;
    BoyerSkipTable& table = handle.table[v];
    if (!table.built) BuildTable(table, pattern);
    const Char* upper = UpperTableOf(Char{});

    // Folding leaves characters below 0x80 alone, so such a text is searched in place.
    if (!fold || AllBelow80(text, length)) {
        ptrdiff_t at = ignoreCase
                           ? Search(pattern, table, UpperText<Char>{text, upper}, length, reverse)
                           : Search(pattern, table, PlainText<Char>{text}, length, reverse);
        return at < 0 ? nullptr : text + at;
    }

    // Otherwise fold the text unit by unit: a unit may fold to nothing (a mark) or to several
    // (a ligature), so each folded unit remembers the text index it came from, and the match is
    // reported at the character whose fold holds its first unit.
    std::basic_string<Char> folded;
    std::vector<uint32_t> origin;
    folded.reserve(length);
    origin.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        for (Char u : FoldOne(text[i])) {
            folded += ignoreCase ? upper[Code(u)] : u;
            origin.push_back(static_cast<uint32_t>(i));
        }
    }
    ptrdiff_t at = Search(pattern, table, PlainText<Char>{folded.data()}, folded.size(), reverse);
    return at < 0 ? nullptr : text + origin[static_cast<size_t>(at)];
}

template <typename Char>
std::unique_ptr<BoyerHandle<Char>> NewHandle(const Char* pattern, uint64_t kind) {
    if (!pattern || !pattern[0]) return nullptr;
    auto handle = std::make_unique<BoyerHandle<Char>>();
    handle->kind = kind;
    size_t n = 0;
    while (n < kBoyerMaxPattern && pattern[n]) ++n;
    handle->length = n;
    handle->variant[0].assign(pattern, n);
    return handle;
}

}  // namespace

std::unique_ptr<BoyerHandleW> NewBoyerHandle(const wchar_t* pattern) {
    auto handle = NewHandle(pattern, kBoyerWide);
    if (handle) {
        // Whether the whole given pattern, not only its first 255 units, leaves Latin-1.
        handle->unicode = IsStringUnicode(pattern, -1) ? 1 : 0;
    }
    return handle;
}

std::unique_ptr<BoyerHandleA> NewBoyerHandle(const char* pattern) {
    return NewHandle(pattern, kBoyerAnsi);
}

const wchar_t* BoyerFind(BoyerHandleW& handle, const wchar_t* text, size_t length, bool ignoreCase,
                         bool fold, bool reverse) {
    return Find(handle, text, length, ignoreCase, fold, reverse);
}

const char* BoyerFind(BoyerHandleA& handle, const char* text, size_t length, bool ignoreCase,
                      bool fold, bool reverse) {
    return Find(handle, text, length, ignoreCase, fold, reverse);
}

}  // namespace kwill::text
