// The file manager's wildcard language: * ? # ~ (a|b) [a-z] [~...] and the ' escape, compiled to
// a compact program of wide units (the host reads it, so its layout is fixed; see the operator
// units in wildcard_matcher.h). The same handle may instead wrap a regular expression.
#pragma once

#include "frame/pinyin_table.h"
#include "text/wildcard_matcher.h"
#include "text/wildcard_plan.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kwill {
class RegExWrapper;
}

namespace kwill::text {

enum PatternOption : uint32_t {
    kPatternExtensionList = 0x1,  // "jpg png;gif" means *.(jpg|png|gif)
    kPatternCaseSensitive = 0x2,
    kPatternPlain = 0x4,  // only * and ? are special
    kPatternRegex = 0x8,
    kPatternPathMode = 0x10,  // / is read as \ in pattern and text
    kPatternFoldDiacritics = 0x40,
    kPatternPartial = 0x80,           // may match anywhere in the text
    kPatternAnchorRegex = 0x100,      // with 0x8: anchor the expression at both ends
    kPatternNoWholeNegation = 0x200,  // a leading ~ is not whole-pattern negation
};

// Compile states.
inline constexpr uint32_t kPatternNotWild = 0;
inline constexpr uint32_t kPatternWild = 1;
inline constexpr uint32_t kPatternInvalid = 0xFFFFFFFF;

// The pattern handle. The fields up to `regex` are laid out as the host knows them; the links
// that follow are the matcher's own index of the program.
struct String_Pattern {
    String_Pattern() = default;
    String_Pattern(const String_Pattern&) = delete;
    String_Pattern& operator=(const String_Pattern&) = delete;
    ~String_Pattern();  // frees the regular-expression handle

    std::wstring program;
    std::wstring text;  // after folding, negation removal, wrapping and extension rewriting
    uint8_t negate = 0;
    PatternTransform transform = nullptr;
    PatternCompare compare = nullptr;
    uint32_t options = 0;
    const PinyinInitialsTable* pinyin = nullptr;
    uint32_t state = kPatternInvalid;
    uint32_t unicode = 0;
    uint32_t caseSensitive = 0;
    RegExWrapper* regex = nullptr;  // regular-expression handle in mode 0x8

    ProgramLinks links;
    MatchPlan plan;
};

// A new handle compiled from the text (null text: an empty pattern). The handle exists even
// when the pattern is invalid. Throws std::bad_alloc when memory is short.
std::unique_ptr<String_Pattern> NewMatchPattern(const wchar_t* text, uint32_t options);

// Recompiles with the handle's options and a new case flag; returns the compile state. Neither
// rewrites extension lists nor changes the pinyin setting.
uint32_t ParsePattern(String_Pattern& pattern, const wchar_t* text, bool caseSensitive);

// 1 on a match, 0 otherwise; inverted when the pattern began with the whole-pattern negation.
// In regular-expression mode, what the regular-expression match returns. Throws std::bad_alloc
// when memory is short (see RunPattern).
int MatchPattern(const String_Pattern& pattern, const wchar_t* text);

// The match without the whole-pattern negation.
int DoMatchPattern(const String_Pattern& pattern, const wchar_t* text);

bool IsPatternValid(const String_Pattern& pattern);

// The compiler on its own: writes the program for a (preprocessed) pattern text and returns the
// compile state.
uint32_t CompilePattern(std::wstring_view text, bool plain, PatternTransform transform,
                        std::wstring& program);

// The transform for a case flag and path mode, and the two compare functions.
PatternTransform SelectTransform(bool caseSensitive, bool pathMode);
bool PlainCompare(wchar_t literal, wchar_t textChar, const PinyinInitialsTable* table);
bool PinyinCompare(wchar_t literal, wchar_t textChar, const PinyinInitialsTable* table);

// Whether the text starts with a special token of the wildcard (regex false) or the regular-
// expression syntax; *length receives the token's length (0 when there is none).
bool IsWildToken(const wchar_t* text, bool regex, int* length);

}  // namespace kwill::text
