// The matcher against a small reference that computes, item by item, the set of text positions
// where a compiled program can end: no memo, no shared work between negation tries, so it is
// slow but plainly right on short names. Random patterns with ~, #, groups and classes over
// short names of a and b must give the same answers.
#include "text/wildcard.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kwill::text {
namespace {

using Ends = std::vector<bool>;  // one flag a text position

class Reference {
  public:
    Reference(const std::wstring& program, const std::wstring& text)
        : program_(program), text_(text), n_(text.size()) {}

    bool Matches() {
        Ends start(n_ + 1);
        start[0] = true;
        return Sequence(0, program_.size(), start)[n_];
    }

  private:
    // The positions where the items in [begin, end) can end, from any start in `from`.
    Ends Sequence(size_t begin, size_t end, Ends from) {
        size_t p = begin;
        while (p < end) {
            const size_t next = ItemEnd(p);
            Ends to(n_ + 1);
            for (size_t t = 0; t <= n_; ++t)
                if (from[t]) Item(p, t, to);
            from = to;
            p = next;
        }
        return from;
    }

    // The position after the item that starts at p.
    size_t ItemEnd(size_t p) const {
        switch (program_[p]) {
            case kOpGroupOpen:
            case kOpNotOpen:
            case kOpRepeatOpen:
                return Partner(p) + 1;
            case kOpClass:
            case kOpNotClassOpen:
                return ClassClose(p) + 1;
            case kOpEscape:
                return p + 2;
            default:
                return p + 1;
        }
    }

    // The close of the group, negation or repetition opened at `open`.
    size_t Partner(size_t open) const {
        int depth = 0;
        for (size_t i = open;;) {
            const wchar_t u = program_[i];
            if (u == kOpClass || u == kOpNotClassOpen) {
                i = ClassClose(i) + 1;
                continue;
            }
            if (u == kOpEscape) {
                i += 2;
                continue;
            }
            if (u == kOpGroupOpen || u == kOpNotOpen || u == kOpRepeatOpen) {
                ++depth;
            } else if (u == kOpGroupClose || u == kOpNotClose || u == kOpRepeatClose) {
                if (--depth == 0) return i;
            }
            ++i;
        }
    }

    size_t ClassClose(size_t open) const {
        size_t j = open + 1;
        if (program_[j] == kOpEscape) ++j;
        ++j;
        while (program_[j] != kOpClass) j += program_[j] == kOpEscape ? 2 : 1;
        return j;
    }

    bool InClass(size_t open, wchar_t c) const {
        const size_t close = ClassClose(open);
        for (size_t i = open + 1; i < close;) {
            wchar_t low = program_[i];
            if (low == kOpEscape) low = program_[++i];
            ++i;
            wchar_t high = low;
            if (i < close && program_[i] == L'-') {
                if (i + 1 == close) {
                    high = 0xFFFF;
                    i = close;
                } else {
                    ++i;
                    if (program_[i] == kOpEscape) ++i;
                    high = program_[i++];
                }
            }
            if (c >= low && c <= high) return true;
        }
        return false;
    }

    // Alternatives of the group at `open`: [first, last) ranges of each.
    std::vector<std::pair<size_t, size_t>> Alternatives(size_t open) const {
        std::vector<std::pair<size_t, size_t>> out;
        size_t from = open + 1;
        for (size_t j = open + 1;;) {
            const wchar_t u = program_[j];
            if (u == kOpGroupClose || u == kOpAlternative) {
                out.push_back({from, j});
                if (u == kOpGroupClose) return out;
                from = j + 1;
                ++j;
            } else {
                j = ItemEnd(j);
            }
        }
    }

    void Item(size_t p, size_t t, Ends& to) {
        const wchar_t c = program_[p];
        Ends one(n_ + 1);
        one[t] = true;
        switch (c) {
            case kOpAnySequence:
                for (size_t e = t; e <= n_; ++e) to[e] = true;
                return;
            case kOpAnyChar:
                if (t < n_) to[t + 1] = true;
                return;
            case kOpGroupOpen:
                for (auto [first, last] : Alternatives(p)) Or(to, Sequence(first, last, one));
                return;
            case kOpNotOpen: {
                // Beyond every end of the item; nothing when the item can reach the text's end.
                const Ends inner = Sequence(p + 1, Partner(p), one);
                if (inner[n_]) return;
                size_t low = t;
                for (size_t e = t; e < n_; ++e)
                    if (inner[e]) low = e + 1;
                for (size_t e = low; e <= n_; ++e) to[e] = true;
                return;
            }
            case kOpRepeatOpen: {
                Ends reached = one;
                for (;;) {
                    Ends more = reached;
                    Or(more, Sequence(p + 1, Partner(p), reached));
                    if (more == reached) break;
                    reached = more;
                }
                Or(to, reached);
                return;
            }
            case kOpClass:
                if (t < n_ && InClass(p, text_[t])) to[t + 1] = true;
                return;
            case kOpNotClassOpen:
                if (t < n_ && !InClass(p, text_[t])) to[t + 1] = true;
                return;
            case kOpEscape:
                if (t < n_ && text_[t] == program_[p + 1]) to[t + 1] = true;
                return;
            default:
                if (t < n_ && text_[t] == c) to[t + 1] = true;
                return;
        }
    }

    static void Or(Ends& into, const Ends& from) {
        for (size_t i = 0; i < into.size(); ++i)
            if (from[i]) into[i] = true;
    }

    const std::wstring& program_;
    const std::wstring& text_;
    const size_t n_;
};

// A random pattern text of about `budget` items over the letters a and b.
std::wstring RandomPattern(std::mt19937& rng, int budget, int depth = 0) {
    std::wstring out;
    auto pick = [&](int n) { return static_cast<int>(rng() % n); };
    const int items = 1 + pick(budget);
    for (int i = 0; i < items; ++i) {
        const int kind = depth > 3 ? pick(4) : pick(9);
        switch (kind) {
            case 0:
                out += pick(2) ? L'a' : L'b';
                break;
            case 1:
                out += L'*';
                break;
            case 2:
                out += L'?';
                break;
            case 3:
                out += pick(2) ? L"[a]" : L"[~a]";
                break;
            case 4:
            case 5:
                out += L"~(" + RandomPattern(rng, 3, depth + 1) + L")";
                break;
            case 6:
                out += L"#(" + RandomPattern(rng, 2, depth + 1) + L")";
                break;
            case 7:
                out += L"(" + RandomPattern(rng, 2, depth + 1) + L"|" +
                       RandomPattern(rng, 2, depth + 1) + L")";
                break;
            default:
                out += pick(2) ? L"~*" : L"~a";
                break;
        }
    }
    return out;
}

TEST(WildcardReference, RandomNegationsAndRepetitionsAgree) {
    std::mt19937 rng(6);
    int compared = 0;
    for (int round = 0; round < 4000; ++round) {
        const std::wstring source = RandomPattern(rng, 5);
        auto pattern =
            NewMatchPattern(source.c_str(), kPatternCaseSensitive | kPatternNoWholeNegation);
        if (pattern->state != kPatternWild) continue;
        for (int k = 0; k < 8; ++k) {
            std::wstring name;
            const int length = static_cast<int>(rng() % 13);
            for (int i = 0; i < length; ++i) name += rng() % 3 ? L'a' : L'b';
            const int expected = Reference(pattern->program, name).Matches() ? 1 : 0;
            ASSERT_EQ(DoMatchPattern(*pattern, name.c_str()), expected)
                << "pattern '" << std::string(source.begin(), source.end()) << "' name '"
                << std::string(name.begin(), name.end()) << "'";
            // Again with every negated item worked out for all starts at once.
            MatchContext allStarts{pattern->transform, pattern->compare, pattern->pinyin};
            allStarts.searchNegationsPerStart = false;
            ASSERT_EQ(RunPattern(pattern->program, pattern->links, name, allStarts) ? 1 : 0,
                      expected)
                << "all starts: pattern '" << std::string(source.begin(), source.end())
                << "' name '" << std::string(name.begin(), name.end()) << "'";
            ++compared;
        }
    }
    EXPECT_GT(compared, 10000);
}

// Negations tried from every start, nested negations and negations under repetition on
// longer names; the answers come from the reference on short names of the same shape.
TEST(WildcardReference, HostileNegationShapes) {
    struct Row {
        const wchar_t* pattern;
        const wchar_t* tail;  // after the a's
    } rows[] = {
        {L"*~(*b)c", L""},     {L"*~(*b)c", L"c"},     {L"~(*a*)", L""},
        {L"~(*a*)", L"b"},     {L"*~(~(*a)b)c", L""},  {L"*~(~(*a)b)c", L"c"},
        {L"#(~(*b)|*)c", L""}, {L"#(~(*b)|*)c", L"c"}, {L"*~(*b)~(*c)", L"b"},
        {L"#(~(a*)b)", L"b"},  {L"*~(#(a|b)c)a", L""}, {L"~(*~(*b))", L"b"},
    };
    for (const Row& r : rows) {
        auto pattern = NewMatchPattern(r.pattern, kPatternCaseSensitive);
        ASSERT_EQ(pattern->state, kPatternWild);
        const std::wstring shortName = std::wstring(5, L'a') + r.tail;
        const int expected = Reference(pattern->program, shortName).Matches() ? 1 : 0;
        for (size_t length : {5, 300, 3000}) {
            const std::wstring name = std::wstring(length, L'a') + r.tail;
            EXPECT_EQ(DoMatchPattern(*pattern, name.c_str()), expected)
                << std::string(r.pattern, r.pattern + wcslen(r.pattern)) << " x" << length;
        }
    }
}

// A negated item that reaches the text's end from every start, nested in a negation tried from
// every start, and two such items side by side, on names up to 1 MB: the answers are exact,
// also under the whole-pattern negation.
TEST(WildcardReference, NestedNegationsOnLongNames) {
    struct Row {
        const wchar_t* pattern;
        const wchar_t* tail;
    } rows[] = {
        {L"*~(~(*a)b)c", L""}, {L"*~(~(*a)b)c", L"c"}, {L"*~(*b)~(*c)", L"b"},
        {L"*~(*b)~(*c)", L""}, {L"~(*~(*b))", L"b"},   {L"~(*~(*b))", L""},
    };
    for (const Row& r : rows) {
        auto pattern = NewMatchPattern(r.pattern, kPatternCaseSensitive);
        const std::wstring shortName = std::wstring(5, L'a') + r.tail;
        const int expected = Reference(pattern->program, shortName).Matches() ? 1 : 0;
        auto negated = NewMatchPattern((L"~" + std::wstring(r.pattern)).c_str(), 0);
        ASSERT_EQ(negated->negate, 1);
        const std::wstring name = std::wstring(size_t{1} << 20, L'a') + r.tail;
        EXPECT_EQ(MatchPattern(*pattern, name.c_str()), expected)
            << std::string(r.pattern, r.pattern + wcslen(r.pattern));
        EXPECT_EQ(MatchPattern(*negated, name.c_str()), 1 - expected)
            << std::string(r.pattern, r.pattern + wcslen(r.pattern));
    }
}

// Each negation holds a column of answers as long as the name: hundreds of them inside one
// negated item on a 1 MB name would need gigabytes, and the match refuses for want of memory
// instead of taking it.
TEST(WildcardReference, NegationMemoryIsCapped) {
    std::wstring source = L"*~(";
    for (int i = 0; i < 300; ++i) source += L"~a";
    source += L"c)";
    auto pattern = NewMatchPattern(source.c_str(), kPatternCaseSensitive);
    ASSERT_EQ(pattern->state, kPatternWild);
    EXPECT_EQ(MatchPattern(*pattern, L"bbbb"), 1);
    const std::wstring name(size_t{1} << 20, L'b');
    EXPECT_THROW(MatchPattern(*pattern, name.c_str()), std::bad_alloc);
}

}  // namespace
}  // namespace kwill::text
