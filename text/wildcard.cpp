#include "text/wildcard.h"

#include "frame/context.h"
#include "text/char_case.h"
#include "text/fold_diacritics.h"
#include "strings/compare.h"
#include "strings/path_strings.h"
#include "text/regex_handle.h"

#include <cwchar>
#include <vector>

namespace kwill::text {
namespace {

wchar_t IdentityTransform(wchar_t c) {
    return c;
}
wchar_t UpperTransform(wchar_t c) {
    return PatternUpper(c);
}
wchar_t PathTransform(wchar_t c) {
    return c == L'/' ? L'\\' : c;
}
wchar_t PathUpperTransform(wchar_t c) {
    return c == L'/' ? L'\\' : PatternUpper(c);
}

TransformKind KindOf(PatternTransform transform) {
    if (transform == IdentityTransform) return TransformKind::Identity;
    if (transform == UpperTransform) return TransformKind::Upper;
    if (transform == PathTransform) return TransformKind::Path;
    if (transform == PathUpperTransform) return TransformKind::PathUpper;
    return TransformKind::Other;
}

// The operator stack holds pending closes (negation, repetition) and group markers.
constexpr wchar_t kGroupMarker = 0;

class Compiler {
  public:
    Compiler(std::wstring_view text, bool plain, PatternTransform transform, std::wstring& out)
        : text_(text), plain_(plain), transform_(transform), out_(out) {}

    uint32_t Run();

  private:
    wchar_t Next() const { return i_ + 1 < text_.size() ? text_[i_ + 1] : 0; }
    bool AtLast() const { return i_ + 1 >= text_.size(); }

    // Writes a (transformed) unit as a literal. A unit that is itself an operator unit is
    // written behind the escape unit, so that no pattern text can put an unbalanced operator
    // into the program.
    void WriteLiteral(wchar_t c) {
        if (IsOperatorUnit(c)) out_ += static_cast<wchar_t>(kOpEscape);
        out_ += c;
    }
    // After a complete item: the prefix operators waiting for it are closed.
    void ClosePending() {
        while (!stack_.empty() && stack_.back() != kGroupMarker) {
            out_ += stack_.back();
            stack_.pop_back();
        }
    }
    void Literal(wchar_t c) {
        WriteLiteral(transform_(c));
        ClosePending();
    }
    bool Class();

    std::wstring_view text_;
    bool plain_;
    PatternTransform transform_;
    std::wstring& out_;
    std::vector<wchar_t> stack_;
    size_t groups_ = 0;  // group markers on the stack
    size_t i_ = 0;
    bool wild_ = false;
};

bool Compiler::Class() {
    wild_ = true;
    if (Next() == L'~') {
        ++i_;
        out_ += static_cast<wchar_t>(kOpNotClassOpen);
    } else {
        out_ += static_cast<wchar_t>(kOpClass);
    }
    // The first character after [ or [~ is always a member, so []a] holds ] and a.
    bool first = true;
    for (++i_;; ++i_) {
        if (i_ >= text_.size()) return false;
        wchar_t c = text_[i_];
        if (c == L']' && !first) break;
        first = false;
        if (c == L'\'') {
            if (++i_ >= text_.size()) return false;
            c = text_[i_];
        }
        WriteLiteral(transform_(c));
    }
    out_ += static_cast<wchar_t>(kOpClass);
    ClosePending();
    return true;
}

uint32_t Compiler::Run() {
    out_.clear();
    for (i_ = 0; i_ < text_.size(); ++i_) {
        const wchar_t c = text_[i_];
        if (plain_ && (c == L'#' || c == L'\'' || c == L'(' || c == L')' || c == L'[' ||
                       c == L'|' || c == L'~')) {
            Literal(c);
            continue;
        }
        switch (c) {
            case L'*':
                wild_ = true;
                out_ += static_cast<wchar_t>(kOpAnySequence);
                ClosePending();
                break;
            case L'?':
                // Leaves pending operators open: they cover the next complete item as well.
                wild_ = true;
                out_ += static_cast<wchar_t>(kOpAnyChar);
                break;
            case L'#': {
                wild_ = true;
                const wchar_t next = Next();
                if (AtLast() || next == L'#' || next == L')' || next == L'~')
                    return kPatternInvalid;
                if (next == L'*' || next == L'?') {
                    ++i_;
                    out_ += static_cast<wchar_t>(kOpAnySequence);
                    ClosePending();
                } else {
                    out_ += static_cast<wchar_t>(kOpRepeatOpen);
                    stack_.push_back(kOpRepeatClose);
                }
                break;
            }
            case L'~':
                if (AtLast()) {
                    Literal(c);
                    break;
                }
                if (Next() == L')') return kPatternInvalid;
                wild_ = true;
                out_ += static_cast<wchar_t>(kOpNotOpen);
                stack_.push_back(kOpNotClose);
                break;
            case L'(':
                out_ += static_cast<wchar_t>(kOpGroupOpen);
                stack_.push_back(kGroupMarker);
                ++groups_;
                break;
            case L'|':
                // Only inside a group: a | outside one would leave an alternative that no group
                // close ends.
                if (groups_ == 0) return kPatternInvalid;
                wild_ = true;
                ClosePending();
                out_ += static_cast<wchar_t>(kOpAlternative);
                break;
            case L')':
                if (groups_ == 0) return kPatternInvalid;
                ClosePending();
                out_ += static_cast<wchar_t>(kOpGroupClose);
                stack_.pop_back();
                --groups_;
                wild_ = true;
                ClosePending();
                break;
            case L'[':
                if (!Class()) return kPatternInvalid;
                break;
            case L'\'': {
                const wchar_t next = Next();
                if (!AtLast() && std::wcschr(L"#%'()*/?[]|~", next)) {
                    ++i_;
                    wild_ = true;
                    Literal(next);
                } else {
                    Literal(c);
                }
                break;
            }
            case kOpWordStart:
                // The markers make the pattern wild: compared as plain text, a marker could
                // never match a name.
                wild_ = true;
                out_ += static_cast<wchar_t>(kOpAnySequence);
                out_ += static_cast<wchar_t>(kOpWordStart);
                ClosePending();
                break;
            case kOpWordEnd:
                wild_ = true;
                out_ += static_cast<wchar_t>(kOpWordEnd);
                out_ += static_cast<wchar_t>(kOpAnySequence);
                ClosePending();
                break;
            default:
                Literal(c);
                break;
        }
    }
    // An open group, or a ~ or # still waiting for its item.
    if (!stack_.empty()) return kPatternInvalid;
    return wild_ ? kPatternWild : kPatternNotWild;
}

bool IsExtensionSeparator(wchar_t c) {
    return c == L' ' || c == L',' || c == L';';
}

// "jpg png;gif" or ".jpg,.png" becomes *.(jpg|png|gif). Tokens are three characters, with an
// optional leading dot, each followed by separators or the end; the walk stops at the first
// position that does not fit, and nothing changes when no token was found.
void RewriteExtensionList(String_Pattern& pattern) {
    const std::wstring& s = pattern.text;
    std::wstring joined;
    size_t i = 0;
    while (i < s.size()) {
        size_t start = s[i] == L'.' ? i + 1 : i;
        if (start + 3 > s.size()) break;
        bool fits = true;
        for (size_t k = start; k < start + 3; ++k)
            if (IsExtensionSeparator(s[k])) fits = false;
        if (!fits || (start + 3 < s.size() && !IsExtensionSeparator(s[start + 3]))) break;
        if (!joined.empty()) joined += L'|';
        joined.append(s, start, 3);
        i = start + 3;
        while (i < s.size() && IsExtensionSeparator(s[i])) ++i;
    }
    if (joined.empty()) return;
    // The list may have been negated as a whole ("~jpg gif": everything but these); the new
    // parse would forget that, so it is carried over.
    const uint8_t negate = pattern.negate;
    std::wstring rewritten = L"*.(" + joined + L")";
    ParsePattern(pattern, rewritten.c_str(), pattern.caseSensitive != 0);
    pattern.negate = negate;
}

bool IsPrintableAscii(std::wstring_view s) {
    for (wchar_t c : s)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

// The default English collation has no contractions, expansions or ignorable units among the
// printable ASCII characters, and no two of them weigh the same but for case. Asked when the
// pattern is compiled, like the case tables, which are read once per process.
bool UserSortIsPlainEnglish() {
    const LCID lcid = ::GetUserDefaultLCID();
    return PRIMARYLANGID(LANGIDFROMLCID(lcid)) == LANG_ENGLISH &&
           SORTIDFROMLCID(lcid) == SORT_DEFAULT;
}

// For a printable ASCII pattern text under that collation: 1 when the text is the same but for
// ASCII case, 0 when it is not, -1 when a unit outside printable ASCII comes before the first
// difference (the collation decides). After equal printable text, a differing printable unit or
// one text ending first gives a different primary weight, whatever follows.
int EqualIgnoringAsciiCase(std::wstring_view pattern, const wchar_t* text) {
    for (size_t i = 0;; ++i) {
        const wchar_t c = text[i];
        if (c == 0) return i == pattern.size() ? 1 : 0;
        if (c < 0x20 || c > 0x7E) return -1;
        if (i >= pattern.size() || FoldUpperAscii(c) != FoldUpperAscii(pattern[i])) return 0;
    }
}

bool StartsWith(const std::wstring& s, std::wstring_view prefix) {
    return s.size() >= prefix.size() && std::wstring_view(s).substr(0, prefix.size()) == prefix;
}
bool EndsWith(const std::wstring& s, std::wstring_view suffix) {
    return s.size() >= suffix.size() &&
           std::wstring_view(s).substr(s.size() - suffix.size()) == suffix;
}

}  // namespace

PatternTransform SelectTransform(bool caseSensitive, bool pathMode) {
    if (pathMode) return caseSensitive ? PathTransform : PathUpperTransform;
    return caseSensitive ? IdentityTransform : UpperTransform;
}

bool PlainCompare(wchar_t literal, wchar_t textChar, const PinyinInitialsTable*) {
    return literal == textChar;
}

// The typed letter may stand for a Chinese ideograph in the text by its pinyin initial.
bool PinyinCompare(wchar_t literal, wchar_t textChar, const PinyinInitialsTable* table) {
    if (literal == textChar) return true;
    if (literal >= L'A' && literal <= L'Z') literal = static_cast<wchar_t>(literal + 0x20);
    return PinyinMatches(textChar, literal, table);
}

uint32_t CompilePattern(std::wstring_view text, bool plain, PatternTransform transform,
                        std::wstring& program) {
    Compiler compiler(text, plain, transform, program);
    return compiler.Run();
}

uint32_t ParsePattern(String_Pattern& pattern, const wchar_t* text, bool caseSensitive) {
    const uint32_t options = pattern.options;
    const bool regexMode = options & kPatternRegex;
    pattern.text.clear();
    pattern.negate = 0;
    std::wstring t;
    if (text) {
        t = text;
        if (options & kPatternFoldDiacritics) t = FoldDiacritics(t);
        if (!regexMode && !(options & kPatternNoWholeNegation) && t.size() >= 2 && t[0] == L'~' &&
            t[1] != L'(' && t[1] != L'[') {
            pattern.negate = 1;
            t.erase(0, 1);
        }
    }
    if ((options & kPatternPartial) && !regexMode) {
        if (!t.empty() && t[0] != L'*' && t[0] != L'~' && t.back() != L'*') t = L"*" + t + L"*";
    } else if (regexMode && (options & kPatternAnchorRegex)) {
        if (!t.empty() && t[0] != L'^' && t.back() != L'$' &&
            (!(options & kPatternPartial) || StartsWith(t, L".*") || EndsWith(t, L".*"))) {
            t = L"^" + t + L"$";
        }
    }
    pattern.text = std::move(t);
    pattern.caseSensitive = caseSensitive ? 1 : 0;
    pattern.transform = SelectTransform(caseSensitive, options & kPatternPathMode);
    pattern.program.clear();
    pattern.links = ProgramLinks();
    pattern.plan = MatchPlan();

    if (regexMode) {
        if (!pattern.regex) return pattern.state = kPatternInvalid;
        pattern.unicode = 0;
        if (pattern.text.empty()) return pattern.state = kPatternNotWild;
        if (!pattern.regex->Compile(pattern.text.c_str())) return pattern.state = kPatternInvalid;
        pattern.unicode = pattern.regex->Unicode() ? 1 : 0;
        return pattern.state = kPatternWild;
    }

    pattern.unicode = IsStringUnicode(pattern.text.c_str(), -1) ? 1 : 0;
    uint32_t state =
        CompilePattern(pattern.text, options & kPatternPlain, pattern.transform, pattern.program);
    if (state != kPatternInvalid && !BuildProgramLinks(pattern.program, pattern.links))
        state = kPatternInvalid;
    if (state == kPatternInvalid) pattern.program.clear();
    if (state == kPatternWild && !(options & kPatternFoldDiacritics))
        pattern.plan = BuildMatchPlan(pattern.program, pattern.links, KindOf(pattern.transform));
    if (state == kPatternNotWild && !pattern.program.empty() && !caseSensitive &&
        !(options & kPatternFoldDiacritics) && IsPrintableAscii(pattern.text) &&
        UserSortIsPlainEnglish())
        pattern.plan.mode = MatchPlan::Mode::Text;
    return pattern.state = state;
}

std::unique_ptr<String_Pattern> NewMatchPattern(const wchar_t* text, uint32_t options) {
    auto pattern = std::make_unique<String_Pattern>();
    pattern->options = options;
    pattern->compare = PlainCompare;
    pattern->caseSensitive = (options & kPatternCaseSensitive) ? 1 : 0;
    pattern->transform = SelectTransform(pattern->caseSensitive, options & kPatternPathMode);
    if (options & kPatternRegex) {
        pattern->regex = NewRegExWrapper(nullptr, kRegexEngineDefault);
        if (!pattern->regex) {
            pattern->state = kPatternInvalid;
            return pattern;
        }
    }
    ParsePattern(*pattern, text, options & kPatternCaseSensitive);
    if ((options & kPatternExtensionList) && pattern->state == kPatternNotWild)
        RewriteExtensionList(*pattern);
    if (const PinyinInitialsTable* table = ActivePinyinTable()) {
        pattern->compare = PinyinCompare;
        pattern->pinyin = table;
    }
    return pattern;
}

namespace {

// Everything but a plan that settles the match on its own.
[[gnu::noinline]] int MatchWithoutPlan(const String_Pattern& pattern, const wchar_t* text) {
    std::wstring folded;
    if (text && (pattern.options & kPatternFoldDiacritics)) {
        folded = FoldDiacritics(text);
        text = folded.c_str();
    }
    if (pattern.options & kPatternRegex) {
        if (!pattern.regex) return static_cast<int>(kPatternInvalid);
        return pattern.regex->Match(text, pattern.caseSensitive, nullptr);
    }
    if (!text || pattern.program.empty() || pattern.state == kPatternInvalid) return 0;
    if (pattern.state == kPatternNotWild) {
        // No special element: one comparison of the whole text.
        const int order = pattern.caseSensitive
                              ? strcmpnW(pattern.text.c_str(), text, -1)
                              : StringCompareW(pattern.text.c_str(), text,
                                               kCompareIgnoreCase | kCompareLocale, -1);
        return order == 0 ? 1 : 0;
    }
    MatchContext context{pattern.transform, pattern.compare, pattern.pinyin};
    context.kind = KindOf(pattern.transform);
    context.plainCompare = pattern.compare == PlainCompare;
    size_t length = 0;
    if (pattern.plan.mode == MatchPlan::Mode::Ends && context.plainCompare) {
        if (!pattern.plan.MayStartWith(text[0]) || !PlanEndsFit(pattern.plan, text, length))
            return 0;
    } else {
        while (text[length]) ++length;
        if (length >= 0xFFFFFFF0u) return 0;  // beyond the matcher's 32-bit positions
    }
    return RunPattern(pattern.program, pattern.links, std::wstring_view(text, length), context) ? 1
                                                                                                : 0;
}

}  // namespace

int DoMatchPattern(const String_Pattern& pattern, const wchar_t* text) {
    // The usual pattern: a plan of one-character items and * settles it (no plan is made for
    // folded diacritics, and pinyin initials take the general comparison).
    if (pattern.plan.mode == MatchPlan::Mode::Sequences && pattern.compare == PlainCompare && text)
        return pattern.plan.MayStartWith(text[0]) && RunPlan(pattern.plan, text) ? 1 : 0;
    // A plain text compared ignoring case: the collation is needed only beyond printable ASCII.
    if (pattern.plan.mode == MatchPlan::Mode::Text && text) {
        const int equal = EqualIgnoringAsciiCase(pattern.text, text);
        if (equal >= 0) return equal;
    }
    return MatchWithoutPlan(pattern, text);
}

int MatchPattern(const String_Pattern& pattern, const wchar_t* text) {
    const int result = DoMatchPattern(pattern, text);
    if (pattern.negate) return result == 0 ? 1 : 0;
    return result;
}

bool IsPatternValid(const String_Pattern& pattern) {
    return (!pattern.program.empty() || pattern.regex) && pattern.state != kPatternInvalid;
}

String_Pattern::~String_Pattern() {
    if (regex) regex->Destroy();
}

bool IsWildToken(const wchar_t* text, bool regex, int* length) {
    int found = 0;
    bool special = false;
    if (text && text[0]) {
        const wchar_t c = text[0];
        if (regex) {
            if (c == L'\\' && text[1]) {
                found = 2;
            } else if (std::wcschr(L"$()*+.?[]^{|}", c)) {
                found = 1;
                special = true;
            }
        } else if (stricmpnW(text, L"grp:", 4) == 0) {
            found = 4;
            special = true;
        } else if (c == L'\'') {
            found = 2;
        } else if (std::wcschr(L"#()*?[]|~", c)) {
            found = 1;
            special = true;
        }
    }
    if (length) *length = found;
    return special;
}

}  // namespace kwill::text
