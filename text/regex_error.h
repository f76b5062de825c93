// Error codes of the regular-expression handles. The numbers are part of the interface: callers
// show them through the language strings that RegexErrorStringId names.
#pragma once

#include <cstdint>

namespace kwill {

enum RegexError : uint32_t {
    kRegexOk = 0,
    kRegexNullPattern = 1,     // own engine: no pattern given
    kRegexTooComplex = 2,      // expression too complex; also a match that hit the step limit
    kRegexNoMemory = 3,        // out of memory or stack
    kRegexTooManyGroups = 4,   // own engine: more than nine groups
    kRegexUnmatchedParen = 5,  // '(' or ')' without its partner
    kRegexTrailingText = 6,    // own engine: text left after the expression (not raised)
    kRegexEmptyRepeat = 7,     // own engine: '*' or '+' on something that can match nothing
    kRegexNestedRepeat = 8,    // own engine: a repeat on a repeat; standard engine: bad repeat
    kRegexBadSetRange = 9,     // own engine: set range whose start lies above its end
    kRegexUnmatchedBracket = 10,
    kRegexNoAtom = 11,          // own engine: no atom where one is read (not raised)
    kRegexRepeatNothing = 12,   // own engine: '*', '+' or '?' with nothing before it
    kRegexBadEscape = 13,       // own engine: '\' at the end; standard engine: bad escape
    kRegexEmptyLiteral = 14,    // own engine: empty literal (not raised)
    kRegexBadBrace = 15,        // standard engine: bad brace contents
    kRegexUnmatchedBrace = 16,  // standard engine
    kRegexBadCollate = 17,      // standard engine
    kRegexBadClass = 18,        // standard engine
    kRegexBadBackref = 19,      // standard engine
    kRegexBadRange = 20,        // standard engine
    kRegexEmptyText = 21,       // own engine: text to match is null or empty
    kRegexDamagedProgram = 22,  // own engine: the program lacks its magic unit
    kRegexUnknownNode = 23,     // own engine: unknown node; replacement output does not fit
    kRegexBrokenLink = 24,      // own engine: a jump leads outside the program
    kRegexOtherCompile = 25,    // standard engine: any other compile error
    kRegexNoOutput = 26,        // replacement without output buffer (or template/results)
    kRegexUnused = 27,          // never raised; kept for its language string
    kRegexCaptureCut = 28,      // own engine: a captured piece ends early in a replacement
};

inline constexpr uint32_t kRegexOutputFull = kRegexUnknownNode;

// The language string that describes an error code: 10500 + code - 1 for most codes, with the
// standard engine's codes 15 to 20 in their own order. 0 for 0 or an unknown code.
uint32_t RegexErrorStringId(uint32_t code);

}  // namespace kwill
