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
    static constexpr uint64_t kDefaultStepLimit = 64u * 1024 * 1024;

    // Builds the expression; any failure leaves no expression and returns its error code.
    RegexError Compile(std::wstring_view pattern, bool caseSensitive);
    bool ok() const { return regex_ != nullptr; }
    void Reset() { regex_.reset(); }

    // Searches text anywhere. False with *error 0 when nothing matches, with 2 when the step
    // budget ran out and 3 when memory or stack did.
    bool Search(std::wstring_view text, StdRegexResults* results, RegexError* error,
                uint64_t stepLimit = kDefaultStepLimit) const;

    // The error code of a standard library error kind.
    static RegexError MapError(std::regex_constants::error_type kind);

  private:
    std::unique_ptr<std::wregex> regex_;
    size_t patternLength_ = 0;
};

}  // namespace kwill
