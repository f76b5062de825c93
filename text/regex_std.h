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

class StdRegex {
  public:
    // The step budget. Up to 64 KB of text it is fixed, small enough that any search of such a
    // text ends within about 50 ms of the standard matcher's work (about 30 ns a step under
    // Wine) however its pattern makes it backtrack, and large enough for ordinary searches of
    // 64 KB (under 15 steps a unit). Longer texts keep the larger budget they always had, and
    // more for very long ones, so that their searches still get their answers.
    static constexpr uint64_t kStepsPerTextUnit = 24;
    static constexpr uint64_t kStepFloorUnits = 64 * 1024;
    static constexpr uint64_t kLongTextStepLimit = 64u * 1024 * 1024;
    static constexpr uint64_t StepLimitFor(size_t textUnits) {
        if (textUnits <= kStepFloorUnits) return kStepsPerTextUnit * kStepFloorUnits;
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
    std::unique_ptr<std::wregex> regex_;
    size_t patternLength_ = 0;
};

}  // namespace kwill
