// The standard-library engine behind the library's error codes: compile errors mapped to their
// numbers, matches and groups, and the guards that turn runaway work and deep recursion into
// errors 2 and 3 instead of a hang or a crash.
#include "text/regex_std.h"

#include <gtest/gtest.h>

#include <string>

#include <windows.h>
#include <windows.h>
#include <cstdio>

namespace kwill {
namespace {

std::string Narrow(std::wstring_view s) {
    std::string out;
    for (wchar_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out.size() > 60 ? out.substr(0, 60) + "..." : out;
}

std::string Spans(const StdRegexResults& r, const wchar_t* text) {
    std::string out;
    for (size_t g = 0; g < r.start.size(); ++g) {
        if (g) out += ' ';
        if (!r.start[g]) {
            out += '-';
            continue;
        }
        out += std::to_string(r.start[g] - text) + "-" + std::to_string(r.end[g] - text);
    }
    return out;
}

TEST(RegexStd, CompileErrors) {
    static const struct {
        const wchar_t* pattern;
        RegexError error;
    } rows[] = {
        {L"a(b", kRegexUnmatchedParen},  {L"a)", kRegexUnmatchedParen},
        {L"[a", kRegexUnmatchedBracket}, {L"a{2,1}", kRegexBadBrace},
        {L"a{2", kRegexUnmatchedBrace},  {L"[[.xyz.]]", kRegexBadCollate},
        {L"[[:alpha", kRegexBadClass},   {L"(a)\\2", kRegexBadBackref},
        {L"[z-a]", kRegexBadRange},      {L"[[.a", kRegexBadCollate},
        {L"*a", kRegexUnmatchedParen},  // how this standard library reports it
        {L"a\\", kRegexBadEscape},       {L"\\x1", kRegexBadEscape},
        {L"a{100000}", kRegexNoMemory},  // more states than the standard library allows
    };
    for (const auto& r : rows) {
        StdRegex re;
        EXPECT_EQ(re.Compile(r.pattern, true), r.error) << Narrow(r.pattern);
        EXPECT_FALSE(re.ok());
    }
    namespace rc = std::regex_constants;
    EXPECT_EQ(StdRegex::MapError(rc::error_badrepeat), kRegexNestedRepeat);
    EXPECT_EQ(StdRegex::MapError(rc::error_complexity), kRegexTooComplex);
    EXPECT_EQ(StdRegex::MapError(rc::error_stack), kRegexNoMemory);
    EXPECT_EQ(StdRegex::MapError(static_cast<rc::error_type>(99)), kRegexOtherCompile);
}

TEST(RegexStd, MatchTable) {
    static const struct {
        const wchar_t* pattern;
        bool caseSensitive;
        const wchar_t* subject;
        const char* spans;
    } rows[] = {
        {L"(b)c", true, L"abcd", "1-3 1-2"},
        {L"B", false, L"abc", "1-2"},
        {L"B", true, L"abc", nullptr},
        {L"a{2,3}", true, L"caaaa", "1-4"},
        {L"\\d+", true, L"ab12c", "2-4"},
        {L"(x)?y", true, L"y", "0-1 -"},
        {L"", true, L"", "0-0"},
        {L"^$", true, L"", "0-0"},
        {L"(a|ab)(c|bcd)(d*)", true, L"abcd", "0-4 0-1 1-4 4-4"},
    };
    for (const auto& r : rows) {
        StdRegex re;
        ASSERT_EQ(re.Compile(r.pattern, r.caseSensitive), kRegexOk) << Narrow(r.pattern);
        StdRegexResults results;
        RegexError error = kRegexOk;
        bool hit = re.Search(r.subject, &results, &error);
        EXPECT_EQ(error, kRegexOk);
        ASSERT_EQ(hit, r.spans != nullptr) << Narrow(r.pattern);
        if (hit) {
            EXPECT_EQ(Spans(results, r.subject), r.spans) << Narrow(r.pattern);
        }
    }
}

// Exponential backtracking stops at the step budget with error 2. Once the budget is spent the
// matcher is made to see the end of the text everywhere, so the patterns that would then
// succeed there ("$", a word boundary, a negative lookahead, an empty alternative) must still
// come back as no match with the error, never as a match. The default budget ends the
// 40-character and the 64 KB cases alike.
TEST(RegexStd, StepBudget) {
    std::wstring shortText(28, L'a');
    shortText += L"c";
    std::wstring longText(64 * 1024 - 1, L'a');
    longText += L"c";
    const wchar_t* patterns[] = {L"(a*)*b",     L"(a|a)+b",    L"(a+)+b",     L"(a+)+$",
                                 L"(a|aa)+\\b", L"(a+)+(?!.)", L"(a+)+(b|)$", L".+*b"};
    struct Case {
        const std::wstring* text;
        uint64_t limit;
        bool caseSensitive;
    } cases[] = {{&shortText, 2'000'000, true},
                 {&shortText, StdRegex::kDefaultStepLimit, true},
                 {&shortText, StdRegex::kDefaultStepLimit, false},
                 {&longText, StdRegex::kDefaultStepLimit, true},
                 {&longText, StdRegex::kDefaultStepLimit, false}};
    for (const Case& c : cases) {
        for (const wchar_t* pattern : patterns) {
            StdRegex re;
            ASSERT_EQ(re.Compile(pattern, c.caseSensitive), kRegexOk) << Narrow(pattern);
            RegexError error = kRegexOk;
            StdRegexResults results;
            EXPECT_FALSE(re.Search(*c.text, &results, &error, c.limit))
                << Narrow(pattern) << " on " << c.text->size();
            EXPECT_EQ(error, kRegexTooComplex) << Narrow(pattern) << " on " << c.text->size();
        }
    }
}

// Searches of 64 KB that a host makes every day still get their answers under the budget, in
// either case mode: many steps over ordinary text, and a repeat that recurses through a third of
// it. Texts longer than 64 KB keep the budget they always had, or more.
TEST(RegexStd, BudgetGrowsWithTheText) {
    EXPECT_EQ(StdRegex::StepLimitFor(0), StdRegex::StepLimitFor(64 * 1024));
    EXPECT_EQ(StdRegex::StepLimitFor(64 * 1024 + 1), StdRegex::kLongTextStepLimit);
    EXPECT_EQ(StdRegex::StepLimitFor(16 << 20), StdRegex::kStepsPerTextUnit * (16 << 20));
    std::wstring words;
    // Just under 64 KB of words and numbers: an ordinary search reads each unit a few times.
    for (int i = 0; words.size() < 64 * 1024 - 40; ++i)
        words += L"word" + std::to_wstring(i) + L" ";
    words += L"needle99 ";
    // A repeat recursing through a third of it: the standard matcher takes about 1 KB of fresh
    // stack a unit, and on the whole 64 KB that alone would cost more time than the budget allows.
    std::wstring line(24 * 1024 - 1, L'a');
    line += L"c";
    struct Case {
        const std::wstring* text;
        const wchar_t* pattern;
        bool found;
    } cases[] = {
        {&words, L"[a-z]+[0-9]+ needlx", false},
        {&words, L"[a-z]+[0-9]+ needle99", true},
        {&words, L"WORD\\d+ NEEDLE", true},
        {&line, L".*c", true},
        {&line, L"^a+c$", true},
    };
    for (const Case& c : cases) {
        for (bool caseSensitive : {true, false}) {
            bool expect = c.found && (caseSensitive ? c.pattern[0] != L'W' : true);
            StdRegex re;
            ASSERT_EQ(re.Compile(c.pattern, caseSensitive), kRegexOk);
            RegexError error = kRegexOk;
            StdRegexResults results;
            EXPECT_EQ(re.Search(*c.text, &results, &error), expect)
                << Narrow(c.pattern) << " case " << caseSensitive;
            EXPECT_EQ(error, kRegexOk) << Narrow(c.pattern) << " case " << caseSensitive;
        }
    }
}

// The standard matcher recurses per unit of text: a long text either matches (on the helper
// thread's large stack when the calling thread's is too small) or ends with error 3, never with
// a crash. A megabyte is too long for the deep-recursing patterns.
TEST(RegexStd, LongSubjects) {
    // Within 64 KB the budget counts the fresh stack too, and `(a|b)*` takes about 2 KB a unit.
    std::wstring text(12000, L'a');
    text += L"needle";
    for (const wchar_t* pattern : {L"a*needle", L"(a|b)*needle"}) {
        StdRegex re;
        ASSERT_EQ(re.Compile(pattern, true), kRegexOk);
        StdRegexResults results;
        RegexError error = kRegexOk;
        EXPECT_TRUE(re.Search(text, &results, &error)) << Narrow(pattern);
        EXPECT_EQ(error, kRegexOk);
        EXPECT_EQ(results.end[0] - text.c_str(), 12006);
    }
}

TEST(RegexStd, MegabyteSubject) {
    std::wstring text(1 << 20, L'a');
    text += L"needle";
    static const struct {
        const wchar_t* pattern;
        const char* spans;
    } rows[] = {
        {L"needle", "1048576-1048582"},
        {L"a*needle", nullptr},
        {L"(a|b)*needle", nullptr},
        {L"[^a]+$", "1048576-1048582"},
    };
    for (const auto& r : rows) {
        StdRegex re;
        ASSERT_EQ(re.Compile(r.pattern, true), kRegexOk);
        StdRegexResults results;
        RegexError error = kRegexOk;
        LARGE_INTEGER t0, t1, f;
        QueryPerformanceCounter(&t0);
        bool hit = re.Search(text, &results, &error, 1ull << 40);
        QueryPerformanceCounter(&t1);
        QueryPerformanceFrequency(&f);
        printf("%s %d err %d %.1f ms\n", Narrow(r.pattern).c_str(), hit, error,
               (t1.QuadPart - t0.QuadPart) * 1000.0 / f.QuadPart);
        if (!hit) {
            EXPECT_EQ(error, kRegexNoMemory) << Narrow(r.pattern);
            continue;
        }
        EXPECT_EQ(Spans(results, text.c_str()), r.spans) << Narrow(r.pattern);
    }
}

// Patterns long or deep enough to overflow an ordinary stack in the standard compiler.
TEST(RegexStd, LongAndDeepPatterns) {
    std::wstring deep(20000, L'(');
    deep += L"a";
    deep += std::wstring(20000, L')');
    std::wstring wide(30000, L'x');
    std::wstring alternatives;
    for (int i = 0; i < 5000; ++i) alternatives += L"ab|";
    alternatives += L"c";
    for (const std::wstring& pattern : {deep, wide, alternatives}) {
        StdRegex re;
        RegexError error = re.Compile(pattern, true);
        if (error != kRegexOk) {
            EXPECT_EQ(error, kRegexNoMemory);
            continue;
        }
        RegexError matchError = kRegexOk;
        re.Search(L"xxxxabc", nullptr, &matchError);
        EXPECT_TRUE(matchError == kRegexOk || matchError == kRegexNoMemory);
    }
}

// The same guards hold on a thread with a small stack, as the host's worker threads may have.
TEST(RegexStd, SmallStackThread) {
    struct Work {
        int done = 0;
        static DWORD WINAPI Run(void* p) {
            auto* w = static_cast<Work*>(p);
            for (int depth : {50, 200, 400, 800, 1600}) {
                std::wstring pattern(depth, L'(');
                pattern += L"a|b*";
                pattern += std::wstring(depth, L')');
                pattern += L"c";
                for (bool deepText : {false, true}) {
                    StdRegex re;
                    if (re.Compile(pattern, true) != kRegexOk) continue;
                    std::wstring text = deepText ? std::wstring(5000, L'b') + L"c" : L"xxac";
                    RegexError error = kRegexOk;
                    if (re.Search(text, nullptr, &error) || error == kRegexNoMemory) ++w->done;
                }
            }
            return 0;
        }
    } work;
    HANDLE thread = ::CreateThread(nullptr, 192 * 1024, Work::Run, &work,
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(::WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeThread(thread, &code);
    ::CloseHandle(thread);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(work.done, 10);
}

}  // namespace
}  // namespace kwill
