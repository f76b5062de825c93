// The comparison family. One bounded loop serves every strcmpn/stricmpn variant; the variants
// differ only in how a unit is folded (or mapped) and in which differing pairs still count as
// equal (separators, pinyin initials).
#include "strings/compare.h"

#include "frame/platform.h"

#include <atomic>
#include <cstddef>
#include <cwchar>
#include <cwctype>

namespace kwill {
namespace {

template <typename T>
int NullOrder(const T* a, const T* b) {
    if (!a) return b ? -1 : 0;
    return 1;
}

// The pinyin-less, fold-only loop shared by the wide comparisons. `fold` maps a unit to what is
// compared; `rescue(ca, cb, fa, fb)` may accept a differing pair. Equal raw units never need
// folding, which keeps the common case (long equal prefixes) free of calls.
template <typename Fold, typename Rescue>
inline int Bounded(const wchar_t* a, const wchar_t* b, int n, bool prefixTest, Fold fold,
                   Rescue rescue) {
    if (!a || !b) return NullOrder(a, b);
    for (;; ++a, ++b) {
        if (n >= 0) {
            if (n == 0) return 0;
            --n;
        }
        const wchar_t ca = *a, cb = *b;
        if (ca == cb) {
            if (ca == 0) return 0;
            continue;
        }
        const wchar_t fa = fold(ca), fb = fold(cb);
        if (fa == fb) continue;  // only equal units fold to the terminator
        if (rescue(ca, fa, fb)) continue;
        if (prefixTest && fb == 0) return 0;
        return static_cast<int>(fa) - static_cast<int>(fb);
    }
}

inline wchar_t Same(wchar_t c) {
    return c;
}
inline bool NoRescue(wchar_t, wchar_t, wchar_t) {
    return false;
}

// Space-high order: the space moves to 0x7B, 0x21..0x7B move down one.
inline wchar_t SpaceHigh(wchar_t c) {
    if (c == L' ') return 0x7B;
    if (c >= 0x21 && c <= 0x7B) return static_cast<wchar_t>(c - 1);
    return c;
}

template <typename Fold>
inline int BoundedA(const char* a, const char* b, int n, Fold fold) {
    if (!a || !b) return NullOrder(a, b);
    for (;; ++a, ++b) {
        if (n >= 0) {
            if (n == 0) return 0;
            --n;
        }
        const char fa = fold(*a), fb = fold(*b);
        if (fa == fb) {
            if (fa == 0) return 0;
            continue;
        }
        return static_cast<int>(static_cast<signed char>(fa)) -
               static_cast<int>(static_cast<signed char>(fb));
    }
}

// Path order with one trailing separator ignored: -1, 0 or +1.
template <typename Fold>
int TrailingSeparatorCompare(const wchar_t* a, const wchar_t* b, int n, Fold fold) {
    if (!a || !b) return NullOrder(a, b);
    for (;; ++a, ++b) {
        if (n >= 0) {
            if (n == 0) return 0;
            --n;
        }
        const bool endA = *a == 0 || (IsPathSeparator(*a) && a[1] == 0);
        const bool endB = *b == 0 || (IsPathSeparator(*b) && b[1] == 0);
        if (endA) return endB ? 0 : -1;
        if (endB) return 1;
        wchar_t fa = fold(*a), fb = fold(*b);
        if (fa == L'\\') fa = L'/';
        if (fb == L'\\') fb = L'/';
        if (fa != fb) return fa < fb ? -1 : 1;
    }
}

template <typename Unit, typename Match>
const Unit* Search(const Unit* text, const Unit* sought, Match match) {
    if (!text || !sought || !*sought) return nullptr;
    for (; *text; ++text) {
        if (!match(*text, *sought)) continue;
        size_t i = 1;
        while (sought[i] && text[i] && match(text[i], sought[i])) ++i;
        if (!sought[i]) return text;
    }
    return nullptr;
}

// The CJK ideographs, frequent in names, are no digits: the runtime is asked only about others.
inline bool IsDigitUnit(wchar_t c) {
    if (c < 0x80) return c >= L'0' && c <= L'9';
    if (c >= 0x3400 && c <= 0x9FFF) return false;
    return std::iswdigit(c) != 0;
}

bool UserSortIsEnglishDefault() {
    const LCID lcid = ::GetUserDefaultLCID();
    return PRIMARYLANGID(LANGIDFROMLCID(lcid)) == LANG_ENGLISH &&
           SORTIDFROMLCID(lcid) == SORT_DEFAULT;
}

// `english` keeps the answer for one NumericStrCmp call: -1 not asked yet, else 0 or 1.
inline bool EnglishSort(int& english) {
    if (english < 0) english = UserSortIsEnglishDefault() ? 1 : 0;
    return english != 0;
}

// Collation as the pending texts use it: ignoring case, string or word sort.
int Collate(const wchar_t* x, int lx, const wchar_t* y, int ly, bool wordSort) {
    return FileSystemCompareString(x, lx, y, ly, true, wordSort);
}

// Primary order of single units, read from the collation itself so that it agrees with it by
// construction. Each question is a collation call on two- or three-unit strings:
// - x has a primary weight when "a" + x sorts below x (x weighs more than 'a') or x + "z" below
//   "a" (x weighs less than 'a'); a unit without primary weight fails both.
// - for x with a primary weight, x + y below y means y has one too and x's first weight is the
//   smaller, so wherever x and y are the first difference after equal text, x's side is the
//   smaller. Equal first weights (x + y then sorts above y) give no answer.
// A failed call answers nothing. The default English order has no contractions, so equal text
// before the difference weighs the same on both sides; the shortcuts are used only under it.
bool HasPrimaryWeight(wchar_t x, bool wordSort) {
    if (x == L'a') return true;
    const wchar_t ax[] = {L'a', x}, xz[] = {x, L'z'};
    return Collate(ax, 2, &x, 1, wordSort) == -1 || Collate(xz, 2, L"a", 1, wordSort) == -1;
}
bool PrimaryBelow(wchar_t x, wchar_t y, bool wordSort) {
    const wchar_t xy[] = {x, y};
    return Collate(xy, 2, &y, 1, wordSort) == -1;
}

// Printable ASCII by primary weight: rank 0 for a unit whose weight is not known to differ from
// every other's, else its place in the order (a capital letter has its small letter's rank).
// Built once for both sort modes, about two thousand short collation calls.
struct AsciiRanks {
    uint8_t rank[128] = {};
};

AsciiRanks BuildAsciiRanks(bool wordSort) {
    wchar_t order[128];
    int count = 0;
    for (wchar_t c = 0x20; c < 0x7F; ++c) {
        if (c >= L'A' && c <= L'Z') continue;
        if (!HasPrimaryWeight(c, wordSort)) continue;
        // Binary insertion by the collation of the single units.
        int lo = 0, hi = count;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (Collate(&order[mid], 1, &c, 1, wordSort) <= 0) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        for (int i = count; i > lo; --i) order[i] = order[i - 1];
        order[lo] = c;
        ++count;
    }
    // A unit gets a rank when its primary weight is strictly between its neighbours'; in the
    // sorted order that makes every two ranked units strictly ordered.
    bool below[128] = {};
    for (int i = 0; i + 1 < count; ++i) below[i] = PrimaryBelow(order[i], order[i + 1], wordSort);
    AsciiRanks r;
    for (int i = 0; i < count; ++i) {
        if ((i == 0 || below[i - 1]) && (i + 1 == count || below[i])) {
            r.rank[order[i]] = static_cast<uint8_t>(i + 1);
        }
    }
    // The collation ignores case, so a capital weighs what its small letter does.
    for (wchar_t c = L'A'; c <= L'Z'; ++c) r.rank[c] = r.rank[FoldLowerAscii(c)];
    return r;
}

struct RankTables {
    AsciiRanks mode[2];  // string sort, word sort
};

// Published once built; the rank tables are read on every comparison that reaches a difference.
std::atomic<const RankTables*> gRankTables{nullptr};

[[gnu::noinline]] const RankTables* BuildRankTables() {
    static const RankTables tables{{BuildAsciiRanks(false), BuildAsciiRanks(true)}};
    gRankTables.store(&tables, std::memory_order_release);
    return &tables;
}

// The rank table of one sort mode; consulted only under the default English order.
inline const uint8_t* RankTable(bool wordSort) {
    const RankTables* tables = gRankTables.load(std::memory_order_acquire);
    if (!tables) tables = BuildRankTables();
    return tables->mode[wordSort ? 1 : 0].rank;
}

inline int AsciiRank(wchar_t c, bool wordSort) {
    return c < 0x80 ? RankTable(wordSort)[c] : 0;
}

// Answers for pairs that involve other units (CJK names against each other and against ASCII),
// kept in a small direct-mapped table of packed words: x, y, the sort mode and the answer
// (1: x below, 2: x above, 3: no answer). Entries are written whole, so threads that race on
// one only ever redo the same questions.
std::atomic<uint64_t> gPairOrders[1024];

uint64_t PairKey(wchar_t x, wchar_t y, bool wordSort) {
    return static_cast<uint64_t>(x) | static_cast<uint64_t>(y) << 16 |
           static_cast<uint64_t>(wordSort) << 32;
}

bool Weighted(wchar_t x, bool wordSort) {
    return x < 0x80 ? AsciiRank(x, wordSort) != 0 : HasPrimaryWeight(x, wordSort);
}

// The units asked about one by one: ASCII and the CJK ideographs, which stand alone in the
// collation (no combining with neighbours, unlike surrogates, jamo or some scripts' vowels).
inline bool IsLoneUnit(wchar_t c) {
    return c < 0x80 || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF);
}

// PrimaryOrder for pairs that are not both ASCII.
int OtherPrimaryOrder(wchar_t x, wchar_t y, bool wordSort) {
    if (!IsLoneUnit(x) || !IsLoneUnit(y)) return 0;
    const uint64_t key = PairKey(x, y, wordSort);
    std::atomic<uint64_t>& slot = gPairOrders[(x * 31u + y * 17u + (wordSort ? 7u : 0u)) & 1023u];
    const uint64_t seen = slot.load(std::memory_order_relaxed);
    if ((seen & 0x1FFFFFFFFull) == key) {
        const uint64_t answer = seen >> 33;
        return answer == 1 ? -1 : (answer == 2 ? 1 : 0);
    }
    int r = 0;
    if (Weighted(x, wordSort) && PrimaryBelow(x, y, wordSort)) {
        r = -1;
    } else if (Weighted(y, wordSort) && PrimaryBelow(y, x, wordSort)) {
        r = 1;
    }
    const uint64_t answer = r < 0 ? 1 : (r > 0 ? 2 : 3);
    slot.store(key | answer << 33, std::memory_order_relaxed);
    return r;
}

// -1 or +1 when x against y decides at primary level wherever they are the first difference;
// 0 when only the collation of the whole texts can tell.
inline int PrimaryOrder(wchar_t x, wchar_t y, bool wordSort) {
    if ((x | y) < 0x80) {
        const uint8_t* rank = RankTable(wordSort);
        const int rx = rank[x], ry = rank[y];
        if (rx == 0 || ry == 0) return 0;
        return rx < ry ? -1 : 1;
    }
    return OtherPrimaryOrder(x, y, wordSort);
}

// Pending text of the natural order. The collation call costs far more than everything else
// here, so the cheap cases come first. Text equal but for the case of ASCII letters is equal to
// the collation too. Where the first difference (after a common run, which weighs the same on
// both sides) is a pair of units with known, different primary weights, that pair decides, as
// it does where one text ends and the other goes on with a unit that has a primary weight.
// Everything else goes to the collation.
int CompareText(const wchar_t* a, int la, const wchar_t* b, int lb, bool wordSort, int& english) {
    const int common = la < lb ? la : lb;
    int d = 0;
    // Units that fold to the same unit are ASCII letters differing only in case.
    while (d < common && (a[d] == b[d] || FoldLowerAscii(a[d]) == FoldLowerAscii(b[d]))) ++d;
    if (d == common) {
        if (la == lb) return 0;
        const wchar_t next = la > lb ? a[d] : b[d];
        if (next < 0x80 && EnglishSort(english) && AsciiRank(next, wordSort) != 0) {
            return la > lb ? 1 : -1;
        }
    } else if (EnglishSort(english)) {
        const int r = PrimaryOrder(a[d], b[d], wordSort);
        if (r != 0) return r;
    }
    return Collate(a, la, b, lb, wordSort);
}

// The numbers that start at pa and pb (both digits): of any length, the longer run of
// significant digits is the larger, then digit by digit; more leading zeros sort first, also
// between numbers made only of zeros. When they are equal, ea and eb receive their ends.
inline int CompareNumbers(const wchar_t* pa, const wchar_t* pb, const wchar_t*& ea,
                          const wchar_t*& eb) {
    const wchar_t* za = pa;
    while (*za == L'0') ++za;
    const wchar_t* zb = pb;
    while (*zb == L'0') ++zb;
    const ptrdiff_t zerosA = za - pa, zerosB = zb - pb;
    const bool digitA = IsDigitUnit(*za), digitB = IsDigitUnit(*zb);
    if (!digitA || !digitB) {
        if (digitA) return 1;
        if (digitB) return -1;
        if (zerosA != zerosB) return zerosA < zerosB ? 1 : -1;
        ea = za;
        eb = zb;
        return 0;
    }
    ea = za;
    while (IsDigitUnit(*ea)) ++ea;
    eb = zb;
    while (IsDigitUnit(*eb)) ++eb;
    if (ea - za != eb - zb) return (ea - za) < (eb - zb) ? -1 : 1;
    for (const wchar_t *x = za, *y = zb; x < ea; ++x, ++y) {
        if (*x != *y) return *x < *y ? -1 : 1;
    }
    if (zerosA != zerosB) return zerosA < zerosB ? 1 : -1;
    return 0;
}

// The natural order from the cursors pa and pb on, with the pending texts starting at ma and mb
// (equal so far but for ASCII case, and as long as each other).
[[gnu::noinline]] int NumericWalk(const wchar_t* pa, const wchar_t* pb, const wchar_t* ma,
                                  const wchar_t* mb, bool wordSort, int& english) {
    // The cursors advance in step from the marks, so the two pending texts are always equally
    // long. `differs` tells that they are not equal but for ASCII case: the first such pair of
    // units is where the collation of the pending texts will look first, and when the pair's
    // primary order is known it decides at once, without walking the rest.
    bool differs = false;
    while (*pa && *pb) {
        if (!IsDigitUnit(*pa) || !IsDigitUnit(*pb)) {
            if (!differs && *pa != *pb && FoldLowerAscii(*pa) != FoldLowerAscii(*pb)) {
                differs = true;
                if (EnglishSort(english)) {
                    const int r = PrimaryOrder(*pa, *pb, wordSort);
                    if (r != 0) return r;
                }
            }
            ++pa;
            ++pb;
            continue;
        }
        if (differs) {
            const int r = CompareText(ma, static_cast<int>(pa - ma), mb, static_cast<int>(pb - mb),
                                      wordSort, english);
            if (r != 0) return r;
        }
        const wchar_t *ea, *eb;
        if (const int r = CompareNumbers(pa, pb, ea, eb)) return r;
        pa = ma = ea;
        pb = mb = eb;
        differs = false;
    }
    // One text ended. Pending texts equal so far: both ended, or the unit that goes on decides
    // when its weight is known; only the rest needs the lengths and the collation.
    if (!differs) {
        if (*pa == *pb) return 0;
        const wchar_t next = *pa != 0 ? *pa : *pb;
        if (next < 0x80 && EnglishSort(english) && RankTable(wordSort)[next] != 0) {
            return *pa != 0 ? 1 : -1;
        }
    }
    return CompareText(ma, static_cast<int>(std::wcslen(ma)), mb, static_cast<int>(std::wcslen(mb)),
                       wordSort, english);
}

// The natural order of a and b whose first k units are equal but for ASCII case. Everything in
// that run is the same on both sides, so the walk would have found each number in it equal and
// left the pending text equal: it resumes at the first difference, or at the first digit of a
// number that the run cut in two, with the pending text from the end of the number before.
[[gnu::noinline]] int NumericAfterCommonRun(const wchar_t* a, const wchar_t* b, size_t k,
                                            bool wordSort) {
    size_t start = k;
    if (IsDigitUnit(a[k]) || IsDigitUnit(b[k])) {
        while (start > 0 && IsDigitUnit(a[start - 1])) --start;
        if (IsDigitUnit(a[start]) && IsDigitUnit(b[start])) {
            // Two numbers: unless they are equal, the text before them is not needed.
            const wchar_t *ea, *eb;
            if (const int r = CompareNumbers(a + start, b + start, ea, eb)) return r;
            int english = -1;
            return NumericWalk(ea, eb, ea, eb, wordSort, english);
        }
    }
    size_t mark = start;
    while (mark > 0 && !IsDigitUnit(a[mark - 1])) --mark;
    int english = -1;
    return NumericWalk(a + start, b + start, a + mark, b + mark, wordSort, english);
}
}  // namespace

wchar_t CharLowerUnit(wchar_t c) {
    return static_cast<wchar_t>(reinterpret_cast<uintptr_t>(
        ::CharLowerW(reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(c)))));
}

wchar_t CharUpperUnit(wchar_t c) {
    return static_cast<wchar_t>(reinterpret_cast<uintptr_t>(
        ::CharUpperW(reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(c)))));
}

bool PinyinMatches(wchar_t ideograph, wchar_t letter, const PinyinInitialsTable* table) {
    const wchar_t l = FoldLowerAscii(letter);
    if (ideograph == 0x3007) return l == L'l';  // the ideographic number zero, "ling"
    if (ideograph < 0x4E00 || ideograph > 0x9FA5) return false;
    if (l < L'a' || l > L'z') return false;
    const uint32_t index = ideograph - 0x4E00u;
    if (table && table->entries && index < table->count) {
        const uint16_t entry = table->entries[index];
        for (int shift = 0; shift <= 10; shift += 5) {
            const unsigned v = (entry >> shift) & 0x1F;
            if (v >= 1 && v <= 26 && static_cast<wchar_t>(0x60 + v) == l) return true;
        }
    }
    // Readings that the usual tables lack, kept whatever the table says.
    switch (ideograph) {
        case 0x7AD3:
            return l == L'g' || l == L's' || l == L'y';
        case 0x7AD5:
            return l == L'g' || l == L'y';
        case 0x7AE1:
            return l == L'b';
        default:
            return false;
    }
}

int strcmpnA(const char* a, const char* b, int n) {
    return BoundedA(a, b, n, [](char c) { return c; });
}

int stricmpnA(const char* a, const char* b, int n) {
    return BoundedA(a, b, n, [](char c) { return FoldLowerAscii(c); });
}

int strcmpnW(const wchar_t* a, const wchar_t* b, int n) {
    return Bounded(a, b, n, false, Same, NoRescue);
}

int stricmpnW(const wchar_t* a, const wchar_t* b, int n) {
    return Bounded(
        a, b, n, n == kPrefixTest, [](wchar_t c) { return FoldLowerAscii(c); }, NoRescue);
}

int stricmpnWF(const wchar_t* a, const wchar_t* b, int n) {
    return Bounded(a, b, n, false, CharLowerUnit, NoRescue);
}

int strcmpnWPY(const wchar_t* a, const wchar_t* b, int n, const PinyinInitialsTable* table) {
    return Bounded(a, b, n, false, Same, [table](wchar_t ca, wchar_t, wchar_t fb) {
        return PinyinMatches(ca, fb, table);
    });
}

int stricmpnWPY(const wchar_t* a, const wchar_t* b, int n, const PinyinInitialsTable* table) {
    return Bounded(
        a, b, n, n == kPrefixTest, [](wchar_t c) { return FoldLowerAscii(c); },
        [table](wchar_t ca, wchar_t, wchar_t fb) { return PinyinMatches(ca, fb, table); });
}

int stricmpnWFPY(const wchar_t* a, const wchar_t* b, int n, const PinyinInitialsTable* table) {
    return Bounded(a, b, n, false, CharLowerUnit, [table](wchar_t ca, wchar_t, wchar_t fb) {
        return PinyinMatches(ca, fb, table);
    });
}

int strcmpnPSW(const wchar_t* a, const wchar_t* b, int n) {
    return Bounded(a, b, n, false, Same, [](wchar_t, wchar_t fa, wchar_t fb) {
        return IsPathSeparator(fa) && IsPathSeparator(fb);
    });
}

int stricmpnPSW(const wchar_t* a, const wchar_t* b, int n) {
    return Bounded(
        a, b, n, false, [](wchar_t c) { return FoldLowerAscii(c); },
        [](wchar_t, wchar_t fa, wchar_t fb) { return IsPathSeparator(fa) && IsPathSeparator(fb); });
}

int strcmpnPIESW(const wchar_t* a, const wchar_t* b, int n) {
    return TrailingSeparatorCompare(a, b, n, Same);
}

int stricmpnPIESW(const wchar_t* a, const wchar_t* b, int n) {
    return TrailingSeparatorCompare(a, b, n, [](wchar_t c) { return FoldLowerAscii(c); });
}

int strcmpnHSW(const wchar_t* a, const wchar_t* b, int n) {
    return Bounded(a, b, n, false, SpaceHigh, NoRescue);
}

int stricmpnHSW(const wchar_t* a, const wchar_t* b, int n) {
    return Bounded(
        a, b, n, false, [](wchar_t c) { return SpaceHigh(FoldLowerAscii(c)); }, NoRescue);
}

int safestrcmpiW(const wchar_t* a, const wchar_t* b) {
    if (!a || !b) return NullOrder(a, b);
    return _wcsicmp(a, b);
}

const char* strstriA(const char* text, const char* sought) {
    return Search(text, sought,
                  [](char t, char s) { return FoldUpperAscii(t) == FoldUpperAscii(s); });
}

const wchar_t* strstriW(const wchar_t* text, const wchar_t* sought) {
    if (!text || !sought || !*sought) return nullptr;
    // Look for the first unit in its two cases before comparing the rest.
    const wchar_t first = FoldUpperAscii(*sought);
    const wchar_t other = FoldLowerAscii(first);
    for (; *text; ++text) {
        if (*text != first && *text != other) continue;
        size_t i = 1;
        while (sought[i] && FoldUpperAscii(text[i]) == FoldUpperAscii(sought[i])) ++i;
        if (!sought[i]) return text;
    }
    return nullptr;
}

const wchar_t* strstriWW(const wchar_t* text, const wchar_t* sought) {
    return Search(text, sought, [](wchar_t t, wchar_t s) {
        return t == s || CharUpperUnit(t) == CharUpperUnit(s);
    });
}

const wchar_t* strstriWWPY(const wchar_t* text, const wchar_t* sought,
                           const PinyinInitialsTable* table) {
    return Search(text, sought, [table](wchar_t t, wchar_t s) {
        if (t == s) return true;
        const wchar_t us = CharUpperUnit(s);
        return CharUpperUnit(t) == us || PinyinMatches(t, us, table);
    });
}

const wchar_t* strstrWPY(const wchar_t* text, const wchar_t* sought,
                         const PinyinInitialsTable* table) {
    return Search(text, sought,
                  [table](wchar_t t, wchar_t s) { return t == s || PinyinMatches(t, s, table); });
}

int FileSystemCompareString(const wchar_t* s1, int len1, const wchar_t* s2, int len2,
                            bool ignoreCase, bool wordSort) {
    if (!s1 || !s2) return -2;
    DWORD flags = 0;
    if (ignoreCase) flags |= NORM_IGNORECASE;
    if (!wordSort) flags |= SORT_STRINGSORT;
    const int r = ::CompareStringW(LOCALE_USER_DEFAULT, flags, s1, len1 < 0 ? -1 : len1, s2,
                                   len2 < 0 ? -1 : len2);
    return r == 0 ? -2 : r - 2;
}

int StringCompareW(const wchar_t* a, const wchar_t* b, uint32_t flags, int n) {
    if (!a || !b) return NullOrder(a, b);
    const bool ignoreCase = (flags & kCompareIgnoreCase) != 0;
    if (!(flags & kCompareLocale)) return ignoreCase ? stricmpnW(a, b, n) : strcmpnW(a, b, n);

    bool cut = false;
    if (n >= 0) {
        const size_t la = std::wcslen(a);
        if (static_cast<size_t>(n) > la) {
            n = static_cast<int>(la);
            cut = true;
        }
        const size_t lb = std::wcslen(b);
        if (static_cast<size_t>(n) > lb) {
            n = static_cast<int>(lb);
            cut = true;
        }
    }
    // `b` goes first, as it always has for the locale mode.
    const int r = FileSystemCompareString(b, n, a, n, ignoreCase, (flags & kCompareWordSort) != 0);
    if (r != 0 || !cut) return r;
    // Equal up to the shorter string: the units at the cut (one is a terminator) decide.
    wchar_t ua = a[n], ub = b[n];
    if (ignoreCase) {
        ua = FoldLowerAscii(ua);
        ub = FoldLowerAscii(ub);
    }
    return static_cast<int>(ub) - static_cast<int>(ua);
}

int NumericStrCmp(const wchar_t* a, const wchar_t* b, bool wordSort) {
    if (!a || !b) return NullOrder(a, b);
    // The common run first: units equal or equal but for ASCII case need no classification,
    // and equal strings end here.
    size_t k = 0;
    wchar_t ca, cb;
    for (;; ++k) {
        ca = a[k];
        cb = b[k];
        if (ca == cb) {
            if (ca == 0) return 0;
            continue;
        }
        if ((ca ^ cb) != 0x20 || static_cast<unsigned>((ca | 0x20) - L'a') > 25u) break;
    }
    // Where neither differing unit is a digit, any number before ends here on both sides,
    // equal: this is the first difference of equal pending texts, or the end of one of them,
    // and known weights decide.
    if ((ca | cb) < 0x80 && static_cast<unsigned>(ca - L'0') > 9u &&
        static_cast<unsigned>(cb - L'0') > 9u && UserSortIsEnglishDefault()) {
        const uint8_t* rank = RankTable(wordSort);
        const int ra = rank[ca], rb = rank[cb];  // the terminator has no rank
        if (ra != 0 && rb != 0) return ra < rb ? -1 : 1;
        if ((ca == 0 || cb == 0) && (ra | rb) != 0) return ca != 0 ? 1 : -1;
    }
    return NumericAfterCommonRun(a, b, k, wordSort);
}

}  // namespace kwill
