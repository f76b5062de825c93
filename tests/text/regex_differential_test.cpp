// Both engines over generated patterns in the syntax they share (literals, '.', simple sets,
// groups, alternation, '*', '+', '?', '^', '$'): every pattern the own engine accepts must give
// the same matches as the standard engine. Groups are compared when no group sits inside a
// repeat, where the ECMAScript grammar resets captures on every iteration.
#include "text/regex_engine.h"
#include "text/regex_std.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace kwill {
namespace {

class Generator {
  public:
    explicit Generator(uint64_t seed) : state_(seed) {}

    uint32_t Below(uint32_t n) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<uint32_t>(state_ % n);
    }

    // A pattern; repeatedGroup tells whether a group ended up inside a repeat.
    std::wstring Pattern(bool* repeatedGroup) {
        groups_ = 0;
        repeatedGroup_ = false;
        std::wstring p;
        if (Below(5) == 0) p += L'^';
        p += Expression(0, false);
        if (Below(5) == 0) p += L'$';
        *repeatedGroup = repeatedGroup_;
        return p;
    }

    std::wstring Subject() {
        static const wchar_t kUnits[] = L"aabbcAB";
        std::wstring s;
        size_t length = 1 + Below(8);
        for (size_t i = 0; i < length; ++i) s += kUnits[Below(7)];
        return s;
    }

  private:
    std::wstring Expression(int depth, bool inRepeat) {
        std::wstring e = Branch(depth, inRepeat);
        while (depth < 3 && Below(4) == 0) {
            e += L'|';
            e += Branch(depth, inRepeat);
        }
        return e;
    }

    std::wstring Branch(int depth, bool inRepeat) {
        std::wstring b;
        size_t pieces = 1 + Below(3);
        for (size_t i = 0; i < pieces; ++i) {
            uint32_t op = Below(8);
            bool repeated = op < 3;
            b += Atom(depth, inRepeat || repeated);
            if (repeated) b += L"*+?"[op];
        }
        return b;
    }

    std::wstring Atom(int depth, bool inRepeat) {
        switch (Below(depth < 2 ? 9 : 7)) {
            case 0:
                return L".";
            case 1:
                return Below(2) ? L"[ab]" : L"[a-b]";
            case 2:
                return L"[^a]";
            case 7:
            case 8:
                if (groups_ < 9) {
                    ++groups_;
                    if (inRepeat) repeatedGroup_ = true;
                    std::wstring group(1, L'(');
                    group += Expression(depth + 1, inRepeat);
                    group += L')';
                    return group;
                }
                [[fallthrough]];
            default:
                return std::wstring(1, L"abc"[Below(3)]);
        }
    }

    uint64_t state_;
    int groups_ = 0;
    bool repeatedGroup_ = false;
};

std::string Narrow(std::wstring_view s) {
    return std::string(s.begin(), s.end());
}

void AppendSpan(std::string& out, std::ptrdiff_t start, std::ptrdiff_t end) {
    out += ' ';
    out += std::to_string(start);
    out += '-';
    out += std::to_string(end);
}

std::string OwnSpans(const RegexCaptures& c, const std::wstring& s, int groups, bool all) {
    std::string out;
    for (int g = 0; g <= (all ? groups : 0); ++g) {
        if (!c.start[g]) {
            out += " -";
            continue;
        }
        AppendSpan(out, c.start[g] - s.c_str(), c.end[g] - s.c_str());
    }
    return out;
}

std::string StdSpans(const StdRegexResults& r, const std::wstring& s, bool all) {
    std::string out;
    for (size_t g = 0; g < (all ? r.start.size() : 1); ++g) {
        if (!r.start[g]) {
            out += " -";
            continue;
        }
        AppendSpan(out, r.start[g] - s.c_str(), r.end[g] - s.c_str());
    }
    return out;
}

// What a differential run has seen; the first ten disagreements are reported as failures.
struct Tally {
    int compared = 0;
    int matched = 0;
    int disagreements = 0;

    void Compare(const RegExp& own, const StdRegex& peer, const std::wstring& pattern,
                 const std::wstring& subject, bool caseSensitive, bool groups) {
        RegexMatchOptions options;
        options.caseSensitive = caseSensitive;
        RegexCaptures c{};
        RegexError ownError = kRegexOk, peerError = kRegexOk;
        bool ownHit = own.Search(subject, options, &c, &ownError);
        StdRegexResults r;
        bool peerHit = peer.Search(subject, &r, &peerError);
        EXPECT_EQ(ownError, kRegexOk) << Narrow(pattern) << " on " << Narrow(subject);
        EXPECT_EQ(peerError, kRegexOk) << Narrow(pattern) << " on " << Narrow(subject);
        std::string a = ownHit ? OwnSpans(c, subject, own.groupCount(), groups) : "no match";
        std::string b = peerHit ? StdSpans(r, subject, groups) : "no match";
        ++compared;
        matched += ownHit;
        if (a != b && ++disagreements <= 10) {
            ADD_FAILURE() << "/" << Narrow(pattern) << "/" << (caseSensitive ? "" : "i") << " on '"
                          << Narrow(subject) << "': own" << a << ", std" << b;
        }
    }
};

TEST(RegexDifferential, GeneratedPatterns) {
    Generator gen(20261206);
    Tally tally;
    for (int i = 0; i < 1500; ++i) {
        bool repeatedGroup = false;
        std::wstring pattern = gen.Pattern(&repeatedGroup);
        RegExp own;
        if (own.Compile(pattern) != kRegexOk) continue;  // e.g. a repeat of an empty-able group
        for (bool caseSensitive : {true, false}) {
            StdRegex peer;
            ASSERT_EQ(peer.Compile(pattern, caseSensitive), kRegexOk) << Narrow(pattern);
            for (int k = 0; k < 5; ++k)
                tally.Compare(own, peer, pattern, gen.Subject(), caseSensitive, !repeatedGroup);
        }
    }
    EXPECT_EQ(tally.disagreements, 0);
    EXPECT_GT(tally.compared, 5000);
    EXPECT_GT(tally.matched, tally.compared / 4);  // the texts exercise matches as well as failures
}

// Patterns in the shapes that the matcher scans for before it runs: runs of single-unit atoms
// at the start (literals, '.', sets with and without '^'), a leading "x+" or "x*", literals that
// every match holds after a group or a repeat, and choices between literals. The texts are long
// enough for the scans to run in blocks and hold the units the patterns ask for, near misses
// and, when case counts, units above 0x7F.
class ScanShapes {
  public:
    explicit ScanShapes(uint64_t seed) : gen_(seed) {}

    std::wstring Pattern() {
        std::wstring p;
        if (gen_.Below(6) == 0) p += L'^';
        size_t pieces = 1 + gen_.Below(6);
        for (size_t i = 0; i < pieces; ++i) {
            p += Atom();
            uint32_t r = gen_.Below(7);
            if (r < 3) p += L"+*?"[r];
        }
        if (gen_.Below(6) == 0) p += L'$';
        return p;
    }

    std::wstring Subject(bool high) {
        static const wchar_t kUnits[] = L"aab1-1. 09cAB";
        std::wstring s;
        size_t length = gen_.Below(41);
        for (size_t i = 0; i < length; ++i) {
            if (high && gen_.Below(12) == 0)
                s += static_cast<wchar_t>(L"\u00e9\u0131\u4e2d"[gen_.Below(3)]);
            else
                s += kUnits[gen_.Below(13)];
        }
        return s;
    }

  private:
    std::wstring Atom() {
        static const wchar_t* const kAtoms[] = {
            L"a",      L"b1",     L"1-",        L"ab",    L".",    L"\\.", L"[0-9]", L"[a-c]",
            L"[^0-9]", L"[A-B1]", L"(ab|b1|c)", L"(1|-)", L"(a.)", L"a-1", L" ",     L"[^ ]",
        };
        return kAtoms[gen_.Below(16)];
    }

    Generator gen_;
};

TEST(RegexDifferential, ScanShapes) {
    ScanShapes gen(20261207);
    Tally tally;
    for (int i = 0; i < 1500; ++i) {
        std::wstring pattern = gen.Pattern();
        RegExp own;
        if (own.Compile(pattern) != kRegexOk) continue;
        for (bool caseSensitive : {true, false}) {
            StdRegex peer;
            ASSERT_EQ(peer.Compile(pattern, caseSensitive), kRegexOk) << Narrow(pattern);
            for (int k = 0; k < 6; ++k) {
                // The engines fold case differently above 0x7F, so such units only when case
                // counts.
                std::wstring subject = gen.Subject(caseSensitive);
                if (!subject.empty())
                    tally.Compare(own, peer, pattern, subject, caseSensitive, true);
            }
        }
    }
    EXPECT_EQ(tally.disagreements, 0);
    EXPECT_GT(tally.compared, 10000);
    EXPECT_GT(tally.matched, tally.compared / 5);
}

}  // namespace
}  // namespace kwill
