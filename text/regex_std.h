// The standard library's wide regular expressions (ECMAScript grammar) behind the same error
// codes as the own engine. The standard matcher recurses once or more per text unit and has no
// work limit of its own, so every search runs with a step budget and a stack floor: crossing
// either ends the search with an error instead of a hang or a stack overflow. A search that
// needs more stack than the calling thread has left is run again on a helper thread with a large
// stack.
#pragma once

#include "text/regex_error.h"

#include <cstdint>
#include <memory>
#include <regex>
#include <string_view>
#include <vector>

namespace kwill {

// Start and end of each group of a match (group 0 the whole match); null where a group did not
// take part.
struct StdRegexResults {
    std::vector<const wchar_t*> start;
    std::vector<const wchar_t*> end;
};

// The standard wide traits, with the locale's character-type facet looked up once instead of on
// every comparison: a case-insensitive pattern asks the traits to fold each text unit it reads,
// and the standard traits look the facet up in the locale each time, which made such searches
// several times slower than case-sensitive ones. The answers are those of the standard traits.
class CachedRegexTraits : public std::regex_traits<wchar_t> {
  public:
    CachedRegexTraits() : ctype_(&std::use_facet<std::ctype<wchar_t>>(getloc())) {}
    locale_type imbue(locale_type locale) {
        locale_type old = std::regex_traits<wchar_t>::imbue(locale);
        ctype_ = &std::use_facet<std::ctype<wchar_t>>(getloc());
        return old;
    }
    wchar_t translate_nocase(wchar_t c) const { return ctype_->tolower(c); }
    bool isctype(wchar_t c, char_class_type type) const {
        return ctype_->is(type._M_base, c) ||
               ((type._M_extended & char_class_type::_S_under) && c == ctype_->widen('_'));
    }

  private:
    const std::ctype<wchar_t>* ctype_;
};

class StdRegex {
  public:
    // The work budget, in steps. Up to 64 KB of text it is fixed, small enough that any search
    // of such a text ends within about 50 ms however its pattern makes the matcher backtrack, and
    // large enough for ordinary searches of 64 KB (under 15 steps a unit) and for a repeat that
    // takes the whole 64 KB. On such texts a step read case-insensitively counts as
    // kCaseFoldStepCost (folding costs as much as the step), and every 4 KB of stack the
    // matcher's recursion reaches beyond its deepest point so far counts as kStackPageCost
    // steps: a deep recursion spends its time in fresh stack pages, not in steps. Longer texts
    // keep the larger budget they always had, counted in plain steps, and more for very long
    // ones, so that their searches still get their answers.
    static constexpr uint64_t kShortTextStepLimit = 2'500'000;
    static constexpr uint64_t kCaseFoldStepCost = 2;
    static constexpr uint64_t kStackPageCost = 192;
    static constexpr uint64_t kStackDescentCost = 16;
    static constexpr uint64_t kStepsPerTextUnit = 24;
    static constexpr uint64_t kStepFloorUnits = 64 * 1024;
    static constexpr uint64_t kLongTextStepLimit = 64u * 1024 * 1024;
    static constexpr bool IsShortText(size_t textUnits) { return textUnits <= kStepFloorUnits; }
    static constexpr uint64_t StepLimitFor(size_t textUnits) {
        if (IsShortText(textUnits)) return kShortTextStepLimit;
        uint64_t scaled = kStepsPerTextUnit * textUnits;
        return scaled > kLongTextStepLimit ? scaled : kLongTextStepLimit;
    }
    static constexpr uint64_t kDefaultStepLimit = 0;  // StepLimitFor the text searched

    // Builds the expression; any failure leaves no expression and returns its error code.
    RegexError Compile(std::wstring_view pattern, bool caseSensitive);
    bool ok() const { return regex_ != nullptr; }
    void Reset() { regex_.reset(); }

    // Searches text anywhere. False with *error 0 when nothing matches, with 2 when the step
    // budget (kDefaultStepLimit: StepLimitFor the text) ran out and 3 when memory or stack did.
    bool Search(std::wstring_view text, StdRegexResults* results, RegexError* error,
                uint64_t stepLimit = kDefaultStepLimit) const;

    // The error code of a standard library error kind.
    static RegexError MapError(std::regex_constants::error_type kind);

  private:
    using Expression = std::basic_regex<wchar_t, CachedRegexTraits>;
    std::unique_ptr<Expression> regex_;
    size_t patternLength_ = 0;
};

}  // namespace kwill
