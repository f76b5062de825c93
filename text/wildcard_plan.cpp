#include "text/wildcard_plan.h"

#include "text/char_case.h"

#include <cwchar>
#include <string>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kwill::text {
namespace {

// A group of alternatives is matched as the set of sequences it spells out: (a|b)*.(x|y) is
// a*.x, a*.y, b*.x and b*.y. Beyond this many the general search is the better deal.
constexpr size_t kMaxSequences = 32;

// Groups nested deeper are left to the general search (the spelling out recurses per level).
constexpr int kMaxNesting = 8;

// Longer texts are beyond the general search's 32-bit positions, which answers no match.
constexpr size_t kMaxLength = 0xFFFFFFF0u;

// The end of the class that opens at `open` in a stretch of program units (the escape-aware
// walk of BuildProgramLinks), or npos.
size_t ClassEnd(std::wstring_view units, size_t open) {
    size_t j = open + 1;
    if (j < units.size() && units[j] == kOpEscape) ++j;
    ++j;
    while (j < units.size() && units[j] != kOpClass) j += units[j] == kOpEscape ? 2 : 1;
    return j < units.size() ? j : std::wstring_view::npos;
}

// The members of the class units[open..close] as ranges, read as the general search reads them.
PlanSet ReadClass(std::wstring_view units, size_t open, size_t close) {
    PlanSet set;
    for (size_t i = open + 1; i < close;) {
        wchar_t low = units[i];
        if (low == kOpEscape) low = units[++i];
        ++i;
        wchar_t high = low;
        if (i < close && units[i] == L'-') {
            if (i + 1 == close) {
                high = 0xFFFF;
                i = close;
            } else {
                ++i;
                if (units[i] == kOpEscape) ++i;
                high = units[i++];
            }
        }
        set.ranges.push_back({low, high});
        for (uint32_t x = low; x <= high && x < 0x80; ++x)
            set.ascii[x >> 6] |= uint64_t{1} << (x & 63);
    }
    return set;
}

// The one-character item that starts at units[i], or false; `next` gets the position after it.
bool ReadFixedItem(std::wstring_view units, size_t i, MatchPlan& plan, PlanItem& item,
                   size_t& next) {
    const wchar_t unit = units[i];
    if (!IsOperatorUnit(unit)) {
        item = {PlanItem::Literal, 0, unit};
        next = i + 1;
        return true;
    }
    switch (unit) {
        case kOpEscape:
            if (i + 1 >= units.size()) return false;
            item = {PlanItem::Literal, 0, units[i + 1]};
            next = i + 2;
            return true;
        case kOpAnyChar:
            item = {PlanItem::AnyChar, 0, 0};
            next = i + 1;
            return true;
        case kOpClass:
        case kOpNotClassOpen: {
            const size_t close = ClassEnd(units, i);
            if (close == std::wstring_view::npos || plan.sets.size() >= 0xFFFF) return false;
            plan.sets.push_back(ReadClass(units, i, close));
            item = {unit == kOpClass ? PlanItem::Class : PlanItem::NotClass,
                    static_cast<uint16_t>(plan.sets.size() - 1), 0};
            next = close + 1;
            return true;
        }
        default:
            return false;
    }
}

void Finish(PlanSequence& s) {
    size_t first = s.items.size(), last = 0;
    for (size_t i = 0; i < s.items.size(); ++i) {
        if (s.items[i].kind != PlanItem::AnySequence) {
            ++s.fixed;
            continue;
        }
        if (first == s.items.size()) first = i;
        last = i;
    }
    s.star = first != s.items.size();
    s.head = static_cast<uint32_t>(first);
    s.tail = s.star ? static_cast<uint32_t>(s.items.size() - last - 1) : 0;
    s.open = s.star && s.tail == 0;
}

// A stretch of units made only of one-character items and *, as a sequence; false when it
// holds anything else.
bool ReadSequence(std::wstring_view units, MatchPlan& plan, PlanSequence& s) {
    for (size_t i = 0; i < units.size();) {
        if (units[i] == kOpAnySequence) {
            s.items.push_back({PlanItem::AnySequence, 0, 0});
            ++i;
            continue;
        }
        PlanItem item;
        if (!ReadFixedItem(units, i, plan, item, i)) return false;
        s.items.push_back(item);
    }
    Finish(s);
    return true;
}

// Spells out the groups of program[begin, end) into `out` (each a stretch of units without
// groups); false when the stretch holds a negation, a repetition or a word marker, or spells
// out too many.
bool Expand(std::wstring_view program, const ProgramLinks& links, size_t begin, size_t end,
            std::vector<std::wstring>& out, int depth = 0) {
    if (depth > kMaxNesting) return false;
    out.assign(1, std::wstring());
    for (size_t i = begin; i < end;) {
        const wchar_t unit = program[i];
        size_t next = i + 1;
        if (unit == kOpClass || unit == kOpNotClassOpen) {
            next = links.close[i] + 1;
        } else if (unit == kOpEscape) {
            next = i + 2;
        } else if (unit == kOpGroupOpen) {
            const size_t close = links.close[i];
            std::vector<std::wstring> choices, part;
            for (size_t from = i + 1;;) {
                const size_t to = links.next[from == i + 1 ? i : from - 1];
                if (!Expand(program, links, from, to, part, depth + 1)) return false;
                choices.insert(choices.end(), part.begin(), part.end());
                if (to >= close) break;
                from = to + 1;
            }
            if (out.size() * choices.size() > kMaxSequences) return false;
            std::vector<std::wstring> joined;
            for (const std::wstring& head : out)
                for (const std::wstring& choice : choices) joined.push_back(head + choice);
            out.swap(joined);
            i = close + 1;
            continue;
        } else if (IsOperatorUnit(unit) && unit != kOpAnySequence && unit != kOpAnyChar) {
            return false;
        }
        for (std::wstring& s : out) s.append(program.substr(i, next - i));
        i = next;
    }
    return true;
}

// For the other programs: the one-character items at the start and at the end of the top level,
// as one sequence `head items * tail items`.
bool ReadEnds(std::wstring_view program, const ProgramLinks& links, MatchPlan& plan) {
    PlanSequence ends;
    std::vector<PlanItem> trailing;
    bool leading = true;
    for (size_t i = 0; i < program.size();) {
        PlanItem item;
        size_t next;
        if (ReadFixedItem(program, i, plan, item, next)) {
            (leading ? ends.items : trailing).push_back(item);
            i = next;
            continue;
        }
        const wchar_t unit = program[i];
        if (unit == kOpGroupOpen || unit == kOpNotOpen || unit == kOpRepeatOpen) {
            i = links.close[i] + 1;
        } else if (unit == kOpAnySequence || unit == kOpWordStart || unit == kOpWordEnd) {
            ++i;
        } else {
            return false;  // not at the top level of a program the compiler wrote
        }
        leading = false;
        trailing.clear();
    }
    if (ends.items.empty() && trailing.empty()) return false;
    ends.items.push_back({PlanItem::AnySequence, 0, 0});
    ends.items.insert(ends.items.end(), trailing.begin(), trailing.end());
    Finish(ends);
    plan.sequences.push_back(std::move(ends));
    return true;
}

// The length of a terminated text, counting on from `from` units that are known not to end it.
// Aligned 16-byte blocks never cross a page, so reading a block past the terminator is safe.
inline size_t Length(const wchar_t* text, size_t from) {
    const wchar_t* p = text + from;
#if defined(__SSE2__)
    if ((reinterpret_cast<uintptr_t>(p) & 1) == 0) {
        for (; reinterpret_cast<uintptr_t>(p) & 15; ++p)
            if (*p == 0) return static_cast<size_t>(p - text);
        const __m128i zero = _mm_setzero_si128();
        for (;; p += 8) {
            const __m128i block = _mm_load_si128(reinterpret_cast<const __m128i*>(p));
            const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(block, zero));
            if (mask) return static_cast<size_t>(p - text) + (__builtin_ctz(mask) >> 1);
        }
    }
#endif
    return from + std::wcslen(p);
}

#if defined(__SSE2__)
// Bit pairs for the units of an 8-unit block that are a or b or above U+007F.
inline int CandidateMask(const wchar_t* units, __m128i a, __m128i b) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
    const __m128i zero = _mm_setzero_si128();
    const __m128i ascii =
        _mm_cmpeq_epi16(_mm_and_si128(block, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
    const __m128i hit = _mm_or_si128(_mm_cmpeq_epi16(block, a), _mm_cmpeq_epi16(block, b));
    return _mm_movemask_epi8(
        _mm_or_si128(hit, _mm_andnot_si128(ascii, _mm_cmpeq_epi16(zero, zero))));
}
#endif

// The first position in [at, last] where the literal can stand: one of its two units below
// U+0080, or any unit above U+007F (which the caller compares properly); last + 1 if none.
inline size_t FindCandidate(const PlanItem& literal, const wchar_t* text, size_t at, size_t last) {
#if defined(__SSE2__)
    const __m128i a = _mm_set1_epi16(static_cast<short>(literal.raw[0]));
    const __m128i b = _mm_set1_epi16(static_cast<short>(literal.raw[1]));
    for (; at + 8 <= last + 1; at += 8) {
        const int mask = CandidateMask(text + at, a, b);
        if (mask) return at + (__builtin_ctz(mask) >> 1);
    }
    if (at <= last && last >= 7) {
        // The rest as the last eight units, leaving out those before `at`.
        const size_t from = last - 7;
        const int mask = CandidateMask(text + from, a, b) >> (2 * (at - from));
        return mask ? at + (__builtin_ctz(mask) >> 1) : last + 1;
    }
#endif
    for (; at <= last; ++at) {
        const wchar_t c = text[at];
        if (c == literal.raw[0] || c == literal.raw[1] || c >= 0x80) return at;
    }
    return at;
}

// The first position from `at` on that holds one of the literal's two units below U+0080, a
// unit above U+007F or the terminator. Only aligned blocks are read past `at`, which never
// cross a page.
inline size_t FindCandidateOrEnd(const PlanItem& literal, const wchar_t* text, size_t at) {
    auto stops = [&](wchar_t c) {
        return c == literal.raw[0] || c == literal.raw[1] || c >= 0x80 || c == 0;
    };
#if defined(__SSE2__)
    if ((reinterpret_cast<uintptr_t>(text) & 1) == 0) {
        for (; reinterpret_cast<uintptr_t>(text + at) & 15; ++at)
            if (stops(text[at])) return at;
        const __m128i a = _mm_set1_epi16(static_cast<short>(literal.raw[0]));
        const __m128i b = _mm_set1_epi16(static_cast<short>(literal.raw[1]));
        const __m128i zero = _mm_setzero_si128();
        for (;; at += 8) {
            const __m128i block = _mm_load_si128(reinterpret_cast<const __m128i*>(text + at));
            const int mask =
                CandidateMask(text + at, a, b) | _mm_movemask_epi8(_mm_cmpeq_epi16(block, zero));
            if (mask) return at + (__builtin_ctz(mask) >> 1);
        }
    }
#endif
    while (!stops(text[at])) ++at;
    return at;
}

template <TransformKind kKind>
inline bool Accepts(const PlanItem& item, const MatchPlan& plan, wchar_t c, const wchar_t* upper) {
    switch (item.kind) {
        case PlanItem::Literal:
            return TransformUnit<kKind>(c, upper) == item.unit;
        case PlanItem::Class:
            return plan.sets[item.set].Holds(TransformUnit<kKind>(c, upper));
        case PlanItem::NotClass:
            return !plan.sets[item.set].Holds(TransformUnit<kKind>(c, upper));
        default:
            return true;
    }
}

template <TransformKind kKind>
inline bool AcceptsAll(const PlanItem* items, size_t count, const MatchPlan& plan,
                       const wchar_t* text, const wchar_t* upper) {
    for (size_t i = 0; i < count; ++i)
        if (!Accepts<kKind>(items[i], plan, text[i], upper)) return false;
    return true;
}

// The head and the tail of a sequence on a text; `length` is measured on first need (npos until
// then). With the tail and the length known, `middle` returns the stretch between them.
template <TransformKind kKind>
inline bool MatchHead(const PlanSequence& s, const MatchPlan& plan, const wchar_t* text,
                      const wchar_t* upper) {
    // Stopping at the terminator: no item takes it.
    for (uint32_t i = 0; i < s.head; ++i) {
        const wchar_t c = text[i];
        if (c == 0 || !Accepts<kKind>(s.items[i], plan, c, upper)) return false;
    }
    return true;
}

template <TransformKind kKind>
bool MatchEnds(const PlanSequence& s, const MatchPlan& plan, const wchar_t* text, size_t& length,
               const wchar_t* upper) {
    if (!MatchHead<kKind>(s, plan, text, upper)) return false;
    if (length == std::wstring_view::npos) {
        if (!s.star) return text[s.head] == 0;  // a fixed length: the text must end here
        length = Length(text, s.head);
    }
    if (length >= kMaxLength) return false;
    if (!s.star) return length == s.head;
    if (length < s.fixed) return false;
    return AcceptsAll<kKind>(s.items.data() + s.items.size() - s.tail, s.tail, plan,
                             text + length - s.tail, upper);
}

// Between the head and the tail: * piece * piece ... *, each piece of one-character items taken
// at its leftmost place, which is where the rest has the most room.
template <TransformKind kKind>
bool MatchMiddle(const PlanSequence& s, const MatchPlan& plan, const wchar_t* text, size_t length,
                 const wchar_t* upper) {
    const PlanItem* items = s.items.data();
    const size_t stop = s.items.size() - s.tail;
    const size_t end = length - s.tail;
    size_t at = s.head;
    for (size_t i = s.head; i < stop;) {
        if (items[i].kind == PlanItem::AnySequence) {
            ++i;
            continue;
        }
        size_t j = i;
        while (items[j].kind != PlanItem::AnySequence) ++j;  // the last * ends every piece
        const size_t width = j - i;
        if (end - at < width) return false;
        const size_t last = end - width;
        const PlanItem& first = items[i];
        const bool scan = first.kind == PlanItem::Literal && first.raw[0] != 0;
        for (;; ++at) {
            // Only where the first literal stands can the piece start.
            if (scan) at = FindCandidate(first, text, at, last);
            if (at > last) return false;
            if (AcceptsAll<kKind>(items + i, width, plan, text + at, upper)) break;
        }
        at += width;
        i = j;
    }
    return true;
}

// 1 when the items match the text from its start, 0 when they do not, -1 when the text ends
// first (so that no later start can fit them either).
template <TransformKind kKind>
inline int AcceptsBefore(const PlanItem* items, size_t count, const MatchPlan& plan,
                         const wchar_t* text, const wchar_t* upper) {
    for (size_t i = 0; i < count; ++i) {
        if (text[i] == 0) return -1;
        if (!Accepts<kKind>(items[i], plan, text[i], upper)) return 0;
    }
    return 1;
}

// A sequence that ends in * after its head (head * piece * ... piece *): the pieces are searched
// up to the terminator, without measuring the text first. `end` gets where the last piece ended.
template <TransformKind kKind>
bool MatchOpen(const PlanSequence& s, const MatchPlan& plan, const wchar_t* text, size_t& end,
               const wchar_t* upper) {
    if (!MatchHead<kKind>(s, plan, text, upper)) return false;
    const PlanItem* items = s.items.data();
    const size_t stop = s.items.size();
    size_t at = s.head;
    for (size_t i = s.head; i < stop;) {
        if (items[i].kind == PlanItem::AnySequence) {
            ++i;
            continue;
        }
        size_t j = i;
        while (items[j].kind != PlanItem::AnySequence) ++j;  // the last * ends every piece
        const PlanItem& first = items[i];
        const bool scan = first.kind == PlanItem::Literal && first.raw[0] != 0;
        for (;; ++at) {
            if (scan) at = FindCandidateOrEnd(first, text, at);
            const int fit = AcceptsBefore<kKind>(items + i, j - i, plan, text + at, upper);
            if (fit < 0) return false;
            if (fit > 0) break;
        }
        at += j - i;
        i = j;
    }
    end = at;
    return true;
}

// Calls fn with the kind as a compile-time constant (std::integral_constant).
template <typename Fn>
auto WithKind(TransformKind kind, Fn&& fn) {
    using K = TransformKind;
    switch (kind) {
        case K::Identity:
            return fn(std::integral_constant<K, K::Identity>());
        case K::Upper:
            return fn(std::integral_constant<K, K::Upper>());
        case K::Path:
            return fn(std::integral_constant<K, K::Path>());
        default:
            return fn(std::integral_constant<K, K::PathUpper>());
    }
}

wchar_t TransformAs(TransformKind kind, wchar_t c, const wchar_t* upper) {
    return WithKind(kind, [&](auto k) { return TransformUnit<decltype(k)::value>(c, upper); });
}

// The units below U+0080 that each literal below U+0080 accepts (raw), and which units can be
// a matching text's first (first, 0 standing for the empty text).
void FindRawUnits(MatchPlan& plan) {
    for (PlanSequence& s : plan.sequences) {
        for (PlanItem& item : s.items) {
            if (item.kind != PlanItem::Literal || item.unit >= 0x80) continue;
            int found = 0;
            for (uint32_t c = 1; c < 0x80; ++c) {
                const wchar_t x = TransformAs(plan.kind, static_cast<wchar_t>(c), plan.upper);
                if (x == item.unit && found++ < 2) item.raw[found - 1] = static_cast<wchar_t>(c);
            }
            if (found == 1) item.raw[1] = item.raw[0];
            if (found == 0) item.raw[0] = item.raw[1] = 0x80;  // only units above U+007F
            if (found > 2) item.raw[0] = item.raw[1] = 0;      // not searched for
        }
    }
}

// Which units below U+0080 can be a matching text's first (0 standing for the empty text).
void FindFirstUnits(MatchPlan& plan) {
    plan.first[0] = plan.first[1] = 0;
    auto allow = [&](uint32_t c) { plan.first[c >> 6] |= uint64_t{1} << (c & 63); };
    for (const PlanSequence& s : plan.sequences) {
        if (s.items.empty() || s.head == 0) {
            // Starts with a * (or is empty): anything may come first, the empty text too.
            plan.first[0] = plan.first[1] = ~uint64_t{0};
            return;
        }
        const PlanItem& item = s.items[0];
        for (uint32_t c = 1; c < 0x80; ++c) {
            const wchar_t x = TransformAs(plan.kind, static_cast<wchar_t>(c), plan.upper);
            bool takes = true;
            if (item.kind == PlanItem::Literal) takes = x == item.unit;
            if (item.kind == PlanItem::Class) takes = plan.sets[item.set].Holds(x);
            if (item.kind == PlanItem::NotClass) takes = !plan.sets[item.set].Holds(x);
            if (takes) allow(c);
        }
    }
}

template <TransformKind kKind>
bool RunSequences(const MatchPlan& plan, const wchar_t* text) {
    size_t length = std::wstring_view::npos;
    for (const PlanSequence& s : plan.sequences) {
        size_t end;
        if (s.open) {
            if (!MatchOpen<kKind>(s, plan, text, end, plan.upper)) continue;
            if (length == std::wstring_view::npos) length = Length(text, end);
            return length < kMaxLength;
        }
        if (MatchEnds<kKind>(s, plan, text, length, plan.upper) &&
            (!s.star || MatchMiddle<kKind>(s, plan, text, length, plan.upper)))
            return true;
    }
    return false;
}

}  // namespace

MatchPlan BuildMatchPlan(std::wstring_view program, const ProgramLinks& links, TransformKind kind) {
    MatchPlan plan;
    if (program.empty() || links.close.size() != program.size() || kind == TransformKind::Other)
        return plan;
    plan.kind = kind;
    if (kind == TransformKind::Upper || kind == TransformKind::PathUpper)
        plan.upper = UpperUnitTable();
    std::vector<std::wstring> spelled;
    if (Expand(program, links, 0, program.size(), spelled)) {
        plan.mode = MatchPlan::Mode::Sequences;
        for (const std::wstring& units : spelled) {
            PlanSequence s;
            if (!ReadSequence(units, plan, s)) return MatchPlan();
            plan.sequences.push_back(std::move(s));
        }
        FindRawUnits(plan);
        FindFirstUnits(plan);
        return plan;
    }
    plan.sequences.clear();
    plan.sets.clear();
    if (ReadEnds(program, links, plan)) {
        plan.mode = MatchPlan::Mode::Ends;
        FindRawUnits(plan);
        FindFirstUnits(plan);
        return plan;
    }
    return MatchPlan();
}

bool RunPlan(const MatchPlan& plan, const wchar_t* text) {
    return WithKind(plan.kind,
                    [&](auto k) { return RunSequences<decltype(k)::value>(plan, text); });
}

bool PlanEndsFit(const MatchPlan& plan, const wchar_t* text, size_t& length) {
    length = std::wstring_view::npos;
    return WithKind(plan.kind, [&](auto k) {
        return MatchEnds<decltype(k)::value>(plan.sequences[0], plan, text, length, plan.upper);
    });
}

}  // namespace kwill::text
