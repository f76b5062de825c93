// The library's own regular-expression engine: the classic small grammar (alternation, groups,
// sets, '*', '+', '?', '^', '$', '.'), compiled to a program of 16-bit units and run by a
// backtracking matcher with an explicit stack. The matcher remembers which (instruction,
// position) states at its choice points have already failed, so one search does work bounded by
// program size times text length; a step limit stops what would still take too long.
#pragma once

#include "frame/pinyin_table.h"
#include "text/regex_error.h"
#include "text/unit_scan.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kwill {

// Start and end of group 0 (the whole match) and groups 1 to 9; null where a group did not take
// part. This is the results block that the own engine's handle gives out.
struct RegexCaptures {
    const wchar_t* start[10];
    const wchar_t* end[10];
};

struct RegexMatchOptions {
    bool caseSensitive = true;
    // Letters of the pattern also match ideographs whose pinyin initial they are.
    const PinyinInitialsTable* pinyin = nullptr;
    // Work limit of one search, in matcher steps.
    uint64_t stepLimit = 256u * 1024 * 1024;
};

// Which of the units below 0x80 one single-unit atom takes, exactly and ignoring case; the
// matcher asks the atom itself about the other units, and about all when pinyin initials are in
// play.
struct RegexUnitCheck {
    enum Kind : uint8_t { kUnit, kAny, kSet, kFirstUnits };
    uint64_t exact[2] = {};
    uint64_t folded[2] = {};
    Kind kind = kUnit;
    bool foldedMap = true;   // folded holds the answer ignoring case (no unit above 0x7F)
    bool takesHigh = false;  // some unit from 0x80 up passes (with case)
    wchar_t unit = 0;        // kUnit
    uint32_t pc = 0;         // kSet: the set instruction
    // The maps as ranges for scans eight units at a time (unusable: too many ranges, or none).
    UnitRanges exactRanges;
    UnitRanges foldedRanges;
};

class RegExp {
  public:
    static constexpr uint16_t kMagic = 156;

    // Compiles a pattern; on failure the old program is gone and the error code says why.
    RegexError Compile(const wchar_t* pattern);
    RegexError Compile(std::wstring_view pattern);

    bool ok() const { return error_ == kRegexOk && !program_.empty(); }
    RegexError error() const { return error_; }
    int groupCount() const { return groups_; }
    bool anchored() const { return anchored_; }

    // Searches text for the leftmost match. Returns false with *error set when the text is empty,
    // the program is damaged or the work limit is reached; captures (optional) are filled on a
    // match.
    bool Search(std::wstring_view text, const RegexMatchOptions& options, RegexCaptures* captures,
                RegexError* error) const {
        // The text goes on as pointer and length: a view handed down by address would be read
        // back as a whole right after its two halves were written.
        return SearchUnits(text.data(), text.size(), options, captures, error);
    }

    // Whether the program runs without a backtracking stack (see straight_).
    bool straight() const { return straight_; }
    // Whether the program is one literal that Search looks for directly (literalLength_).
    bool literal() const { return literalLength_ != 0; }

    // For tests that check how the matcher treats a damaged program. The matcher no longer
    // trusts what the analysis saw in a program handed out here: it checks the instructions
    // that the prefix checks stand for, and runs a straight program and a literal through the
    // checking matcher.
    std::vector<uint16_t>& programForTesting() {
        analysed_ = turnAway_ = false;
        return program_;
    }

    // A text unit c passes a unit of a literal when (c | fold) == want.
    struct LiteralUnit {
        uint16_t fold;
        uint16_t want;
    };

  private:
    friend class RegexMatcher;

    // Fills the set checks, the prefix checks and the leading run from a parsed program.
    void Analyse(const std::vector<uint16_t>& program, uint32_t sets);
    void AnalyseRun(const std::vector<uint16_t>& program);
    void AnalyseStraight(const std::vector<uint16_t>& program);
    void AnalyseLiteral(const std::vector<uint16_t>& program);
    bool SearchUnits(const wchar_t* text, size_t size, const RegexMatchOptions& options,
                     RegexCaptures* captures, RegexError* error) const;
    bool SearchLiteral(const wchar_t* text, size_t size, bool caseSensitive,
                       RegexCaptures* captures, RegexError* error) const;
    bool TurnAway(const wchar_t* text, size_t size, bool caseSensitive, uint32_t* literal,
                  RegexError* error) const;
    [[gnu::noinline]] bool SearchByMatcher(const wchar_t* text, size_t size,
                                           const RegexMatchOptions& options,
                                           RegexCaptures* captures, RegexError* error,
                                           uint32_t literal) const;

    static constexpr uint32_t kNoPlace = 0xFFFFFFFF;

    static constexpr size_t kMaxPrefix = 16;

    std::vector<uint16_t> program_;
    std::wstring requiredLiteral_;  // every match contains it (unless it is the prefix below)
    // The single-unit atoms every match begins with, in order; or, for a program that begins
    // with a choice between literals, one kFirstUnits check of their first units.
    std::vector<RegexUnitCheck> prefix_;
    uint32_t prefixUnits_ = 0;  // how many units of text prefix_ consumes
    // The prefix checks that some unit fails ('.' passes all), in order, each with its maps of
    // the units below 0x80 as RegexUnitCheck has them, kept together so that a start is tested
    // without reading the whole checks.
    struct PrefixTest {
        uint64_t exact[2];
        uint64_t folded[2];
        uint32_t offset;  // its place in prefix_, which is the unit of the start it tests
        bool foldedMap;   // folded holds the answer ignoring case
    };
    PrefixTest prefixTests_[kMaxPrefix] = {};
    uint32_t prefixTestCount_ = 0;
    uint32_t prefixEndPc_ = 0;  // the instruction after the prefix's (0: start over)
    // By set number: the units below 0x80 that pass each set.
    std::vector<RegexUnitCheck> setChecks_;
    // The program begins with a repeat of one single-unit atom ("x+" or "x*"), so that a start
    // inside a run of units the atom takes fails when the start before it failed.
    uint32_t leadingRunPc_ = 0;  // the repeated atom
    // The repeated atom and the single-unit atom after the leading repeat, and whether no unit
    // (with case) passes both, so that only the end of a run can continue.
    RegexUnitCheck runAtom_;
    RegexUnitCheck runNext_;
    bool runDisjoint_ = false;
    // The program is one straight line (no choice between alternatives) in which every repeat is
    // followed by something that no unit of its atom passes (with case), so that only the
    // longest run of a repeat can go on and a start needs no backtracking.
    bool straight_ = false;
    // A straight program's instructions as the runner reads them, a repeat with its atom in
    // one step; and the step where a start that passed the prefix checks goes on.
    struct StraightStep {
        uint16_t op;       // the instruction (kOpSet for both kinds of set)
        uint16_t atom;     // a repeat's atom: kOpAny, kOpLit or kOpSet
        uint16_t unit;     // a repeat's literal atom
        uint16_t follow;   // the first unit of the literal right after a repeat
        bool followLit;    // a repeat is followed right away by a literal
        bool leading;      // the leading repeat (leadingRunPc_)
        uint32_t pc;       // a literal's or set's instruction; a repeat's atom
        uint32_t arg;      // a literal's length, a save's slot, a repeat's memo slot
        uint32_t shorter;  // steps of one shorter run of a repeat (0: the program ends after it)
        uint64_t map[2];   // a set's units below 0x80 (with case)
        // A repeat whose atom is a set that takes exactly the units from runLow to runLow +
        // runSpan, all below 0x80, so that its run is found by blocks.
        bool runRange;
        uint16_t runLow;
        uint16_t runSpan;
    };
    std::vector<StraightStep> straightSteps_;
    uint32_t straightResume_ = 0;
    bool analysed_ = false;  // program_ is what the analysis saw
    // TurnAway can refuse texts of this program (it reads what the analysis saw, so a program
    // handed out for testing is not turned away).
    bool turnAway_ = false;
    // A program of one literal of up to kMaxPrefix units and the end, by unit with case and
    // ignoring case; the latter only when every unit is below 0x80 (literalFoldable_). Ignoring
    // case it is searched for directly unless a unit from 0x80 up folds onto one of its units
    // (literalUppers_ holds their upper-case forms).
    LiteralUnit literalExact_[kMaxPrefix] = {};
    LiteralUnit literalFolded_[kMaxPrefix] = {};
    uint32_t literalLength_ = 0;
    bool literalFoldable_ = false;
    uint64_t literalUppers_[2] = {};
    // The prefix check that a scan tests beside the first one, with and without case (0: none).
    uint32_t pairExact_ = 0;
    uint32_t pairFolded_ = 0;
    RegexUnitCheck requiredFirst_;  // the first and last units of requiredLiteral_
    RegexUnitCheck requiredLast_;
    // requiredLiteral_ of up to kMaxPrefix units by unit, as the literal above, for a direct
    // search; ignoring case only when requiredFoldable_ (every unit below 0x80, and no unit
    // from 0x80 up folds onto one of them).
    LiteralUnit requiredExact_[kMaxPrefix] = {};
    LiteralUnit requiredFolded_[kMaxPrefix] = {};
    bool requiredFoldable_ = false;
    RegexError error_ = kRegexNullPattern;
    uint32_t memoSlots_ = 0;  // choice points whose failed states the matcher remembers
    uint32_t setCount_ = 0;
    int groups_ = 0;
    // Units one of which every match starts with (from leading literals, also across
    // alternatives).
    wchar_t firstUnits_[8] = {};
    uint32_t firstUnitCount_ = 0;
    bool anchored_ = false;
};

// Upper-case form of one unit as the own engine folds case: A-Z below 0x80, the system's
// per-character upper-casing from 0x80.
wchar_t RegexUpper(wchar_t c);
wchar_t RegexLower(wchar_t c);

}  // namespace kwill
