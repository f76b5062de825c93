// Plain * and ? patterns against the shell's PathMatchSpecW on generated names. The two agree
// wherever the shell has no rules of its own: it splits patterns at ';', eats leading spaces and
// lets "*.*" match everything, so the generated patterns use none of these.
#include "tests/common/test_support.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kwill {
namespace {

using AllocFn = void*(__cdecl*)(const wchar_t*, DWORD);
using MatchFn = int(__cdecl*)(const void*, const wchar_t*);
using FreeFn = void(__cdecl*)(void*);

std::string Narrow(const std::wstring& s) {
    return std::string(s.begin(), s.end());
}

TEST(WildcardDifferential, AgreesWithPathMatchSpec) {
    auto alloc = test::Named<AllocFn>("AllocMatchPatternW");
    auto match = test::Named<MatchFn>("MatchPatternW");
    auto free = test::Named<FreeFn>("FreeMatchPattern");

    // Every pattern of up to four units over a, B, ., * and ?.
    const wchar_t patternUnits[] = L"aB.*?";
    std::vector<std::wstring> patterns = {L""};
    for (size_t from = 0, length = 1; length <= 4; ++length) {
        const size_t to = patterns.size();
        for (size_t i = from; i < to; ++i)
            for (size_t u = 0; u < 5; ++u) patterns.push_back(patterns[i] + patternUnits[u]);
        from = to;
    }
    // Names in both cases, with dots, some longer than any pattern.
    std::mt19937 rng(1206);
    const wchar_t nameUnits[] = L"aAbB.x";
    std::vector<std::wstring> names = {L"", L".", L"a", L"A.b", L"ab.ba"};
    while (names.size() < 300) {
        std::wstring n;
        const size_t length = rng() % 9;
        for (size_t i = 0; i < length; ++i) n += nameUnits[rng() % 6];
        names.push_back(n);
    }

    size_t compared = 0, matched = 0;
    for (const std::wstring& p : patterns) {
        if (p.empty() || p == L"*.*") continue;
        void* h = alloc(p.c_str(), 0);
        ASSERT_NE(h, nullptr);
        for (const std::wstring& n : names) {
            const int ours = match(h, n.c_str());
            const int shell = ::PathMatchSpecW(n.c_str(), p.c_str()) ? 1 : 0;
            ASSERT_EQ(ours, shell) << "pattern '" << Narrow(p) << "' name '" << Narrow(n) << "'";
            ++compared;
            matched += ours;
        }
        free(h);
    }
    EXPECT_GT(compared, 200000u);
    EXPECT_GT(matched, compared / 50);  // enough matches on both sides to mean something
}

}  // namespace
}  // namespace kwill
