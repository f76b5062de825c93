#include "text/regex_engine.h"

#include "strings/compare.h"

#include <algorithm>
#include <iterator>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace kwill {
namespace {

// Program layout: unit 0 is the magic unit, the first instruction follows. Jump targets are
// signed 32-bit offsets (two units, low first) from the start of the instruction that holds
// them, so that a compiled fragment can be moved as a whole while the program is assembled.
enum Op : uint16_t {
    kOpMatch = 1,  // [op]
    kOpBol,        // [op]
    kOpEol,        // [op]
    kOpAny,        // [op]
    kOpLit,        // [op][len][units...]
    kOpSet,        // [op][set lo][set hi][ranges][first, last]...
    kOpNotSet,     // as kOpSet
    kOpSplit,      // [op][memo lo][memo hi][x lo][x hi][y lo][y hi]: try x, then y
    kOpJmp,        // [op][x lo][x hi]
    kOpSave,       // [op][slot]
    kOpStar,       // [op][memo lo][memo hi] then one single-unit atom; the rest follows it
};

constexpr uint32_t kSplitSize = 7;
constexpr uint32_t kJmpSize = 3;
constexpr uint32_t kStarSize = 3;
constexpr uint32_t kMaxLiteral = 0xFFFF;
constexpr wchar_t kMeta[] = L"^$.[()|?+*\\";

using Program = std::vector<uint16_t>;

void Put32(Program& p, size_t at, uint32_t v) {
    p[at] = static_cast<uint16_t>(v & 0xFFFF);
    p[at + 1] = static_cast<uint16_t>(v >> 16);
}
uint32_t Get32(const uint16_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 16);
}

void EmitSplit(Program& p, int32_t x, int32_t y) {
    size_t at = p.size();
    p.resize(at + kSplitSize);
    p[at] = kOpSplit;
    Put32(p, at + 1, 0);
    Put32(p, at + 3, static_cast<uint32_t>(x));
    Put32(p, at + 5, static_cast<uint32_t>(y));
}
void EmitJmp(Program& p, int32_t x) {
    size_t at = p.size();
    p.resize(at + kJmpSize);
    p[at] = kOpJmp;
    Put32(p, at + 1, static_cast<uint32_t>(x));
}
void Append(Program& p, const Program& q) {
    p.insert(p.end(), q.begin(), q.end());
}

// Size of the instruction at pc, 0 for an unknown one.
uint32_t InstructionSize(const uint16_t* prog, size_t size, size_t pc) {
    switch (prog[pc]) {
        case kOpMatch:
        case kOpBol:
        case kOpEol:
        case kOpAny:
            return 1;
        case kOpLit:
            return pc + 1 < size ? 2 + prog[pc + 1] : 0;
        case kOpSet:
        case kOpNotSet:
            return pc + 3 < size ? 4 + 2u * prog[pc + 3] : 0;
        case kOpSplit:
            return kSplitSize;
        case kOpJmp:
            return kJmpSize;
        case kOpSave:
            return 2;
        case kOpStar:
            return kStarSize;  // the atom that follows is an instruction of its own
        default:
            return 0;
    }
}

struct Piece {
    Program code;
    bool width = false;    // can never match the empty text
    bool simple = false;   // one instruction that matches exactly one unit
    bool literal = false;  // code is a kOpLit and its text is in `text`
    std::wstring text;
};

class Parser {
  public:
    Parser(std::wstring_view pattern) : p_(pattern.data()), end_(pattern.data() + pattern.size()) {}

    RegexError Parse(Program& out, std::wstring& required, int& groups, uint32_t& sets) {
        bool width = false;
        Program body;
        if (!Expression(body, width, true)) return error_;
        if (p_ != end_) return *p_ == L')' ? kRegexUnmatchedParen : kRegexTrailingText;
        out.clear();
        out.push_back(RegExp::kMagic);
        Append(out, body);
        out.push_back(kOpMatch);
        required = required_;
        groups = groups_;
        sets = sets_;
        return kRegexOk;
    }

  private:
    bool Fail(RegexError e) {
        error_ = e;
        return false;
    }

    bool Expression(Program& out, bool& width, bool top) {
        std::vector<Program> branches;
        width = true;
        for (;;) {
            Program b;
            bool w = false;
            if (!Branch(b, w, top)) return false;
            branches.push_back(std::move(b));
            width = width && w;
            if (p_ < end_ && *p_ == L'|') {
                ++p_;
                continue;
            }
            break;
        }
        if (branches.size() > 1) required_.clear();  // a literal of one branch is not required
        size_t total = 0;
        for (size_t i = 0; i < branches.size(); ++i)
            total += branches[i].size() + (i + 1 < branches.size() ? kSplitSize + kJmpSize : 0);
        out.reserve(total);
        size_t at = 0;
        for (size_t i = 0; i < branches.size(); ++i) {
            const Program& b = branches[i];
            if (i + 1 < branches.size()) {
                EmitSplit(out, kSplitSize, static_cast<int32_t>(kSplitSize + b.size() + kJmpSize));
                Append(out, b);
                at = out.size();
                EmitJmp(out, static_cast<int32_t>(total - at));
            } else {
                Append(out, b);
            }
        }
        return true;
    }

    bool Branch(Program& out, bool& width, bool top) {
        width = false;
        std::wstring pending;  // adjacent unrepeated literals are joined into one instruction
        std::wstring longest;
        auto flush = [&] {
            if (top && pending.size() > longest.size()) longest = pending;
            for (size_t i = 0; i < pending.size(); i += kMaxLiteral) {
                size_t len = std::min<size_t>(kMaxLiteral, pending.size() - i);
                out.push_back(kOpLit);
                out.push_back(static_cast<uint16_t>(len));
                out.insert(out.end(), pending.begin() + i, pending.begin() + i + len);
            }
            pending.clear();
        };
        while (p_ < end_ && *p_ != L'|' && *p_ != L')') {
            Piece piece;
            bool repeated = false;
            if (!PieceAt(piece, repeated)) return false;
            width = width || piece.width;
            if (piece.literal && !repeated) {
                pending += piece.text;
                continue;
            }
            flush();
            Append(out, piece.code);
        }
        flush();
        if (top) required_ = longest;
        return true;
    }

    static bool IsRepeat(wchar_t c) { return c == L'*' || c == L'+' || c == L'?'; }

    bool PieceAt(Piece& piece, bool& repeated) {
        Piece atom;
        if (!Atom(atom)) return false;
        if (p_ == end_ || !IsRepeat(*p_)) {
            piece = std::move(atom);
            return true;
        }
        wchar_t op = *p_++;
        if (p_ < end_ && IsRepeat(*p_)) return Fail(kRegexNestedRepeat);
        if (op != L'?' && !atom.width) return Fail(kRegexEmptyRepeat);
        repeated = true;
        Program& out = piece.code;
        const Program& a = atom.code;
        int32_t as = static_cast<int32_t>(a.size());
        if (op == L'?') {
            EmitSplit(out, kSplitSize, kSplitSize + as);
            Append(out, a);
        } else if (atom.simple) {
            if (op == L'+') Append(out, a);
            out.push_back(kOpStar);
            out.push_back(0);
            out.push_back(0);
            Append(out, a);
        } else if (op == L'*') {
            EmitSplit(out, kSplitSize, kSplitSize + as + kJmpSize);
            Append(out, a);
            EmitJmp(out, -(static_cast<int32_t>(kSplitSize) + as));
        } else {
            Append(out, a);
            EmitSplit(out, -as, kSplitSize);
        }
        piece.width = op == L'+';
        return true;
    }

    void Literal(Piece& atom, const wchar_t* from, size_t len) {
        atom.code.push_back(kOpLit);
        atom.code.push_back(static_cast<uint16_t>(len));
        atom.code.insert(atom.code.end(), from, from + len);
        atom.text.assign(from, len);
        atom.literal = true;
        atom.width = true;
        atom.simple = len == 1;
    }

    bool Atom(Piece& atom) {
        wchar_t c = *p_++;
        switch (c) {
            case L'^':
                atom.code.push_back(kOpBol);
                return true;
            case L'$':
                atom.code.push_back(kOpEol);
                return true;
            case L'.':
                atom.code.push_back(kOpAny);
                atom.width = atom.simple = true;
                return true;
            case L'[':
                return Set(atom);
            case L'(': {
                if (groups_ == 9) return Fail(kRegexTooManyGroups);
                int group = ++groups_;
                Program inner;
                bool width = false;
                if (!Expression(inner, width, false)) return false;
                if (p_ == end_ || *p_ != L')') return Fail(kRegexUnmatchedParen);
                ++p_;
                atom.code.push_back(kOpSave);
                atom.code.push_back(static_cast<uint16_t>(2 * group));
                Append(atom.code, inner);
                atom.code.push_back(kOpSave);
                atom.code.push_back(static_cast<uint16_t>(2 * group + 1));
                atom.width = width;
                return true;
            }
            case L'|':
            case L')':
                return Fail(kRegexNoAtom);  // the branch loop stops before these
            case L'?':
            case L'+':
            case L'*':
                return Fail(kRegexRepeatNothing);
            case L'\\':
                if (p_ == end_) return Fail(kRegexBadEscape);
                Literal(atom, p_++, 1);
                return true;
            default: {
                const wchar_t* from = p_ - 1;
                const wchar_t* stop = p_;
                while (stop < end_ && !std::wcschr(kMeta, *stop)) ++stop;
                size_t len = static_cast<size_t>(stop - from);
                // The last unit alone takes a repeat that follows the run.
                if (len > 1 && stop < end_ && IsRepeat(*stop)) --len;
                if (len == 0) return Fail(kRegexEmptyLiteral);
                Literal(atom, from, len);
                p_ = from + len;
                return true;
            }
        }
    }

    bool Set(Piece& atom) {
        bool negate = false;
        if (p_ < end_ && *p_ == L'^') {
            negate = true;
            ++p_;
        }
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        if (p_ < end_ && (*p_ == L']' || *p_ == L'-')) {
            ranges.emplace_back(*p_, *p_);
            ++p_;
        }
        while (p_ < end_ && *p_ != L']') {
            if (*p_ == L'-') {
                ++p_;
                if (p_ == end_ || *p_ == L']') {
                    ranges.emplace_back(L'-', L'-');
                } else {
                    // The range starts after the unit before the '-', which is already a member.
                    uint32_t from = static_cast<uint32_t>(p_[-2]) + 1;
                    uint32_t to = *p_++;
                    if (from > to + 1) return Fail(kRegexBadSetRange);
                    if (from <= to) ranges.emplace_back(from, to);
                }
            } else {
                ranges.emplace_back(*p_, *p_);
                ++p_;
            }
        }
        if (p_ == end_) return Fail(kRegexUnmatchedBracket);
        ++p_;
        std::sort(ranges.begin(), ranges.end());
        std::vector<std::pair<uint32_t, uint32_t>> merged;
        for (const auto& r : ranges) {
            if (!merged.empty() && r.first <= merged.back().second + 1)
                merged.back().second = std::max(merged.back().second, r.second);
            else
                merged.push_back(r);
        }
        atom.code.push_back(negate ? kOpNotSet : kOpSet);
        atom.code.push_back(0);
        atom.code.push_back(0);
        Put32(atom.code, 1, sets_++);
        atom.code.push_back(static_cast<uint16_t>(merged.size()));
        for (const auto& r : merged) {
            atom.code.push_back(static_cast<uint16_t>(r.first));
            atom.code.push_back(static_cast<uint16_t>(r.second));
        }
        atom.width = atom.simple = true;
        return true;
    }

    const wchar_t* p_;
    const wchar_t* end_;
    int groups_ = 0;
    uint32_t sets_ = 0;
    RegexError error_ = kRegexOk;
    std::wstring required_;
};

// Collects the first units of every path from pc when each path begins with a literal; false
// when some path can begin otherwise (or the search grows too wide to be worth it).
bool FirstUnits(const Program& p, size_t pc, wchar_t* units, uint32_t* count, int& budget) {
    for (;;) {
        if (--budget < 0 || pc >= p.size()) return false;
        switch (p[pc]) {
            case kOpSave:
                pc += 2;
                continue;
            case kOpJmp:
                pc = static_cast<size_t>(static_cast<int64_t>(pc) +
                                         static_cast<int32_t>(Get32(&p[pc + 1])));
                continue;
            case kOpLit: {
                wchar_t u = static_cast<wchar_t>(p[pc + 2]);
                for (uint32_t i = 0; i < *count; ++i)
                    if (units[i] == u) return true;
                if (*count == 8) return false;
                units[(*count)++] = u;
                return true;
            }
            case kOpSplit: {
                int32_t x = static_cast<int32_t>(Get32(&p[pc + 3]));
                int32_t y = static_cast<int32_t>(Get32(&p[pc + 5]));
                if (x <= 0 || y <= 0) return false;
                return FirstUnits(p, pc + x, units, count, budget) &&
                       FirstUnits(p, pc + y, units, count, budget);
            }
            default:
                return false;
        }
    }
}

void SetBit(uint64_t* bits, uint32_t c) {
    bits[c >> 6] |= 1ull << (c & 63);
}
bool TestBit(const uint64_t* bits, uint32_t c) {
    return (bits[c >> 6] >> (c & 63)) & 1;
}

bool RangesHold(const uint16_t* ranges, uint32_t count, uint32_t c) {
    for (uint32_t i = 0; i < count; ++i)
        if (c >= ranges[2 * i] && c <= ranges[2 * i + 1]) return true;
    return false;
}

RegexUnitCheck UnitCheckFor(wchar_t u) {
    RegexUnitCheck k;
    k.kind = RegexUnitCheck::kUnit;
    k.unit = u;
    k.takesHigh = u >= 0x80;
    if (u >= 0x80) {
        k.foldedMap = false;  // the system's folding may take it to an ASCII letter
        return k;
    }
    SetBit(k.exact, u);
    for (uint32_t t = 0; t < 0x80; ++t)
        if (FoldUpperAscii(static_cast<wchar_t>(t)) == FoldUpperAscii(u)) SetBit(k.folded, t);
    return k;
}

void AddFirstUnit(RegexUnitCheck& k, wchar_t u) {
    RegexUnitCheck one = UnitCheckFor(u);
    for (int w = 0; w < 2; ++w) {
        k.exact[w] |= one.exact[w];
        k.folded[w] |= one.folded[w];
    }
    k.foldedMap = k.foldedMap && one.foldedMap;
    k.takesHigh = k.takesHigh || one.takesHigh;
}

// Below 0x80 a set folds case with the ASCII tables only, so its folded map is exact.
RegexUnitCheck SetCheckFor(const Program& p, size_t pc) {
    RegexUnitCheck k;
    k.kind = RegexUnitCheck::kSet;
    k.pc = static_cast<uint32_t>(pc);
    bool negate = p[pc] == kOpNotSet;
    const uint16_t* ranges = &p[pc + 4];
    uint32_t count = p[pc + 3];
    k.takesHigh = negate || (count > 0 && ranges[2 * count - 1] >= 0x80);
    for (uint32_t c = 0; c < 0x80; ++c) {
        bool in = RangesHold(ranges, count, c);
        if (in != negate) SetBit(k.exact, c);
        wchar_t w = static_cast<wchar_t>(c);
        in = in || RangesHold(ranges, count, FoldUpperAscii(w)) ||
             RangesHold(ranges, count, FoldLowerAscii(w));
        if (in != negate) SetBit(k.folded, c);
    }
    return k;
}

// The maps of a check as ranges for scans. Without case, a unit from 0x80 up may always pass
// (the system's folding decides); with case, only when the check takes some such unit.
void SetRanges(RegexUnitCheck& k) {
    k.exactRanges = UnitRanges::FromMap(k.exact, k.takesHigh);
    if (k.foldedMap) k.foldedRanges = UnitRanges::FromMap(k.folded, true);
}

RegexUnitCheck AnyCheck() {
    RegexUnitCheck k;
    k.kind = RegexUnitCheck::kAny;
    k.takesHigh = true;
    k.exact[0] = k.exact[1] = k.folded[0] = k.folded[1] = ~0ull;
    return k;
}

struct CaseTables {
    wchar_t upper[0x10000];
    wchar_t lower[0x10000];
    // The runtime's "C" folding below 0x80, the system's per-character folding (by the user's
    // language) from 0x80; surrogate halves stay as they are.
    CaseTables() {
        for (uint32_t i = 0; i < 0x10000; ++i) {
            wchar_t c = static_cast<wchar_t>(i);
            bool surrogate = i >= 0xD800 && i <= 0xDFFF;
            upper[i] = i < 0x80 ? FoldUpperAscii(c) : surrogate ? c : CharUpperUnit(c);
            lower[i] = i < 0x80 ? FoldLowerAscii(c) : surrogate ? c : CharLowerUnit(c);
            if (i >= 0x80 && upper[i] < 0x80) SetBit(highUppers, upper[i]);
        }
    }
    // The units below 0x80 that some unit from 0x80 up upper-cases to.
    uint64_t highUppers[2] = {};
};

const CaseTables& Cases() {
    static const CaseTables* tables = new CaseTables();
    return *tables;
}

bool IsPinyinIdeograph(wchar_t c) {
    return c == 0x3007 || (c >= 0x4E00 && c <= 0x9FA5);
}

bool PinyinInitial(wchar_t c, wchar_t letter, const PinyinInitialsTable& table) {
    return PinyinMatches(c, letter, &table);
}

// The leftmost position up to n - m of text where the m units of a literal pass, each unit c
// where (c | fold) == want. Reads whole aligned 16-byte blocks that each hold a unit of the text,
// so never onto another page.
[[gnu::always_inline]] inline bool FindLiteral(const wchar_t* text, uint32_t n,
                                               const RegExp::LiteralUnit* units, uint32_t m,
                                               uint32_t* found) {
    const uint32_t last = n - m;
    // The last unit is tested first: after the first, it tells most places apart.
    auto rest = [&](const wchar_t* p) {
        if ((p[m - 1] | units[m - 1].fold) != units[m - 1].want) return false;
        for (uint32_t k = 1; k + 1 < m; ++k)
            if ((p[k] | units[k].fold) != units[k].want) return false;
        return true;
    };
    uintptr_t address = reinterpret_cast<uintptr_t>(text);
    if (address & 1) {
        for (uint32_t at = 0; at <= last; ++at) {
            if ((text[at] | units[0].fold) == units[0].want && rest(text + at)) {
                *found = at;
                return true;
            }
        }
        return false;
    }
    const __m128i fold = _mm_set1_epi16(static_cast<short>(units[0].fold));
    const __m128i want = _mm_set1_epi16(static_cast<short>(units[0].want));
    auto hits = [&](const wchar_t* block) {
        __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
        return static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_or_si128(v, fold), want)));
    };
    const wchar_t* lastUnit = text + last;
    const wchar_t* block = reinterpret_cast<const wchar_t*>(address & ~uintptr_t{15});
    unsigned mask = hits(block) & (0xFFFFu << (address & 15));  // not the units before text
    for (;;) {
        while (mask) {
            const wchar_t* p = block + NextLane(mask);
            if (p > lastUnit) return false;
            if (rest(p)) {
                *found = static_cast<uint32_t>(p - text);
                return true;
            }
        }
        block += 8;
        if (block > lastUnit) return false;
        mask = hits(block);
    }
}

// The units of a literal as FindLiteral takes them, with case and ignoring case, and the
// upper-case forms of its units; false when a unit is from 0x80 up, which the system's folding
// decides, so that the units ignoring case are unusable.
bool LiteralUnits(const uint16_t* units, uint32_t length, RegExp::LiteralUnit* exact,
                  RegExp::LiteralUnit* folded, uint64_t uppers[2]) {
    bool foldable = true;
    for (uint32_t k = 0; k < length; ++k) {
        wchar_t u = static_cast<wchar_t>(units[k]);
        exact[k] = {0, static_cast<uint16_t>(u)};
        if (u >= 0x80) {
            foldable = false;
            continue;
        }
        // Below 0x80 case folds between 'A'-'Z' and 'a'-'z' alone, which differ in bit 0x20.
        wchar_t upper = FoldUpperAscii(u);
        bool letter = upper != FoldLowerAscii(u);
        folded[k] = {static_cast<uint16_t>(letter ? 0x20 : 0),
                     static_cast<uint16_t>(letter ? FoldLowerAscii(u) : u)};
        SetBit(uppers, upper);
    }
    return foldable;
}

}  // namespace

wchar_t RegexUpper(wchar_t c) {
    return Cases().upper[static_cast<uint16_t>(c)];
}
wchar_t RegexLower(wchar_t c) {
    return Cases().lower[static_cast<uint16_t>(c)];
}

RegexError RegExp::Compile(const wchar_t* pattern) {
    if (!pattern) {
        program_.clear();
        groups_ = 0;
        return error_ = kRegexNullPattern;
    }
    return Compile(std::wstring_view(pattern));
}

RegexError RegExp::Compile(std::wstring_view pattern) {
    program_.clear();
    requiredLiteral_.clear();
    groups_ = 0;
    setCount_ = memoSlots_ = 0;
    anchored_ = false;
    firstUnitCount_ = pairExact_ = pairFolded_ = 0;
    prefix_.clear();
    setChecks_.clear();
    prefixUnits_ = prefixEndPc_ = leadingRunPc_ = prefixTestCount_ = 0;
    runDisjoint_ = straight_ = false;
    straightSteps_.clear();
    literalLength_ = 0;
    literalFoldable_ = false;
    turnAway_ = false;
    literalUppers_[0] = literalUppers_[1] = 0;
    Parser parser(pattern);
    Program program;
    std::wstring required;
    int groups = 0;
    uint32_t sets = 0;
    error_ = parser.Parse(program, required, groups, sets);
    if (error_ != kRegexOk) return error_;
    // Number the choice points whose failures the matcher remembers.
    uint32_t memo = 0;
    for (size_t pc = 1; pc < program.size();) {
        uint32_t size = InstructionSize(program.data(), program.size(), pc);
        if (program[pc] == kOpSplit || program[pc] == kOpStar) Put32(program, pc + 1, memo++);
        pc += size;
    }
    anchored_ = program[1] == kOpBol;
    if (int budget = 32; !FirstUnits(program, 1, firstUnits_, &firstUnitCount_, budget))
        firstUnitCount_ = 0;
    Analyse(program, sets);
    AnalyseStraight(program);
    AnalyseLiteral(program);
    // A literal that the prefix checks already find needs no search of its own.
    for (size_t i = 0; !required.empty() && i + required.size() <= prefix_.size(); ++i) {
        size_t k = 0;
        while (k < required.size() && prefix_[i + k].kind == RegexUnitCheck::kUnit &&
               prefix_[i + k].unit == required[k])
            ++k;
        if (k == required.size()) required.clear();
    }
    // A scan pairs the literal's first unit with its last, or its 16th when it is longer.
    for (RegexUnitCheck* k : {&requiredFirst_, &requiredLast_}) {
        size_t at = k == &requiredFirst_ ? 0 : std::min<size_t>(required.size(), kMaxPrefix) - 1;
        *k = UnitCheckFor(required.empty() ? 0 : required[at]);
        SetRanges(*k);
    }
    requiredFoldable_ = false;
    if (!required.empty() && required.size() <= kMaxPrefix) {
        std::vector<uint16_t> units(required.begin(), required.end());
        uint64_t uppers[2] = {};
        requiredFoldable_ = LiteralUnits(units.data(), static_cast<uint32_t>(units.size()),
                                         requiredExact_, requiredFolded_, uppers);
        const uint64_t* high = Cases().highUppers;
        requiredFoldable_ = requiredFoldable_ && !((uppers[0] & high[0]) | (uppers[1] & high[1]));
    }
    // Texts are turned away before the matcher by an anchored program's first prefix test, or
    // by a literal of more than one unit that every match holds (one unit many texts hold).
    turnAway_ = (anchored_ && prefixTestCount_ > 0) ||
                (required.size() > 1 && required.size() <= kMaxPrefix);
    program_ = std::move(program);
    analysed_ = true;
    requiredLiteral_ = std::move(required);
    groups_ = groups;
    setCount_ = sets;
    memoSlots_ = memo;
    return kRegexOk;
}

void RegExp::Analyse(const std::vector<uint16_t>& program, uint32_t sets) {
    setChecks_.assign(sets, RegexUnitCheck());
    for (size_t pc = 1; pc < program.size();) {
        if (program[pc] == kOpSet || program[pc] == kOpNotSet) {
            uint32_t index = Get32(&program[pc + 1]);
            if (index < sets) setChecks_[index] = SetCheckFor(program, pc);
        }
        pc += InstructionSize(program.data(), program.size(), pc);
    }
    // The atoms every match begins with: zero-width saves and '^' are passed over. When the
    // checks cover whole instructions from the start with nothing else but a leading '^', a
    // start that passes them goes on from the instruction after them.
    size_t pc = 1;
    bool resumable = true;
    while (pc < program.size() && prefix_.size() < kMaxPrefix) {
        uint16_t op = program[pc];
        if (op == kOpSave || op == kOpBol) {
            resumable = resumable && op == kOpBol && pc == 1;
            pc += InstructionSize(program.data(), program.size(), pc);
            continue;
        }
        if (op == kOpLit) {
            uint32_t len = program[pc + 1];
            for (uint32_t i = 0; i < len; ++i) {
                if (prefix_.size() == kMaxPrefix) {
                    resumable = false;  // the literal goes on past the checks
                    break;
                }
                wchar_t u = static_cast<wchar_t>(program[pc + 2 + i]);
                prefix_.push_back(UnitCheckFor(u));
            }
            pc += 2 + len;
            continue;
        }
        if (op == kOpAny) {
            prefix_.push_back(AnyCheck());
        } else if (op == kOpSet || op == kOpNotSet) {
            uint32_t index = Get32(&program[pc + 1]);
            if (index >= sets) break;
            prefix_.push_back(setChecks_[index]);
        } else {
            break;
        }
        pc += InstructionSize(program.data(), program.size(), pc);
    }
    if (resumable && !prefix_.empty()) prefixEndPc_ = static_cast<uint32_t>(pc);
    if (prefix_.empty() && firstUnitCount_ > 0) {
        // A choice between literals: one check of their first units.
        RegexUnitCheck k;
        k.kind = RegexUnitCheck::kFirstUnits;
        for (uint32_t i = 0; i < firstUnitCount_; ++i) AddFirstUnit(k, firstUnits_[i]);
        prefix_.push_back(k);
    }
    prefixUnits_ = static_cast<uint32_t>(prefix_.size());
    for (uint32_t i = 0; i < prefixUnits_; ++i) {
        RegexUnitCheck& k = prefix_[i];
        if (k.kind == RegexUnitCheck::kAny) continue;  // every unit passes: nothing to scan for
        SetRanges(k);
        PrefixTest& test = prefixTests_[prefixTestCount_++];
        std::copy(std::begin(k.exact), std::end(k.exact), test.exact);
        std::copy(std::begin(k.folded), std::end(k.folded), test.folded);
        test.offset = i;
        test.foldedMap = k.foldedMap;
    }
    // Beside the first check, a scan tests the one that the fewest units pass.
    for (bool folded : {false, true}) {
        uint32_t best = 0;
        int fewest = 0x81;
        for (uint32_t k = 1; k < prefixUnits_; ++k) {
            const RegexUnitCheck& check = prefix_[k];
            if (!(folded ? check.foldedRanges : check.exactRanges).usable()) continue;
            const uint64_t* map = folded ? check.folded : check.exact;
            int count = __builtin_popcountll(map[0]) + __builtin_popcountll(map[1]);
            if (count <= fewest) {
                best = k;
                fewest = count;
            }
        }
        (folded ? pairFolded_ : pairExact_) = best;
    }

    // A leading "x+" (x, then a repeat of x) or "x*" of a single-unit atom x.
    if (anchored_) return;
    size_t first = 1;
    while (first < program.size() && program[first] == kOpSave) first += 2;
    if (first >= program.size()) return;
    if (program[first] == kOpStar) {
        leadingRunPc_ = static_cast<uint32_t>(first + kStarSize);
        return;
    }
    uint32_t size = InstructionSize(program.data(), program.size(), first);
    uint16_t op = program[first];
    bool single = op == kOpAny || op == kOpSet || op == kOpNotSet ||
                  (op == kOpLit && program[first + 1] == 1);
    size_t star = first + size;
    size_t atom = star + kStarSize;
    if (!single || size == 0 || atom + size > program.size() || program[star] != kOpStar) return;
    if (!std::equal(&program[first], &program[first] + size, &program[atom])) return;
    leadingRunPc_ = static_cast<uint32_t>(atom);
    AnalyseRun(program);
}

void RegExp::AnalyseLiteral(const std::vector<uint16_t>& program) {
    // One literal and the end: a start where the prefix checks pass (they cover the literal)
    // goes on to the match instruction alone.
    if (program.size() < 4 || program[1] != kOpLit) return;
    uint32_t length = program[2];
    if (length == 0 || length > kMaxPrefix || program.size() != 4 + length ||
        program[3 + length] != kOpMatch || prefixUnits_ != length || prefixEndPc_ != 3 + length)
        return;
    literalFoldable_ =
        LiteralUnits(&program[3], length, literalExact_, literalFolded_, literalUppers_);
    literalLength_ = length;
}

void RegExp::AnalyseRun(const std::vector<uint16_t>& program) {
    // The single-unit atom that follows the repeat (past saves), when no unit passes both it
    // and the repeated atom.
    auto checkAt = [&](size_t pc, RegexUnitCheck& k) {
        uint16_t op = program[pc];
        if (op == kOpLit && program[pc + 1] > 0) {
            k = UnitCheckFor(static_cast<wchar_t>(program[pc + 2]));
        } else if ((op == kOpSet || op == kOpNotSet) &&
                   Get32(&program[pc + 1]) < setChecks_.size()) {
            k = setChecks_[Get32(&program[pc + 1])];
        } else {
            return false;
        }
        return true;
    };
    RegexUnitCheck& run = runAtom_;
    if (!checkAt(leadingRunPc_, run)) return;
    size_t next = leadingRunPc_ + InstructionSize(program.data(), program.size(), leadingRunPc_);
    while (next < program.size() && program[next] == kOpSave) next += 2;
    if (next >= program.size() || !checkAt(next, runNext_)) return;
    runDisjoint_ = !(run.exact[0] & runNext_.exact[0]) && !(run.exact[1] & runNext_.exact[1]) &&
                   !(run.takesHigh && runNext_.takesHigh);
}

void RegExp::AnalyseStraight(const std::vector<uint16_t>& program) {
    // What a single-unit atom passes (with case); false for anything else.
    auto checkAt = [&](size_t pc, RegexUnitCheck& k) {
        switch (program[pc]) {
            case kOpAny:
                k = AnyCheck();
                return true;
            case kOpLit:
                if (program[pc + 1] == 0) return false;
                k = UnitCheckFor(static_cast<wchar_t>(program[pc + 2]));
                return true;
            case kOpSet:
            case kOpNotSet:
                if (Get32(&program[pc + 1]) >= setChecks_.size()) return false;
                k = setChecks_[Get32(&program[pc + 1])];
                return true;
            default:
                return false;
        }
    };
    std::vector<StraightStep> steps;
    bool resumes = prefixEndPc_ == 0;
    size_t pc = 1;
    while (pc < program.size()) {
        uint32_t size = InstructionSize(program.data(), program.size(), pc);
        if (size == 0 || pc + size > program.size()) return;
        if (pc == prefixEndPc_) {
            straightResume_ = static_cast<uint32_t>(steps.size());
            resumes = true;
        }
        StraightStep step{};
        step.op = program[pc];
        step.pc = static_cast<uint32_t>(pc);
        RegexUnitCheck atom;
        switch (program[pc]) {
            case kOpMatch:
                if (pc + 1 != program.size() || !resumes) return;
                steps.push_back(step);
                straightSteps_ = std::move(steps);
                straight_ = true;
                return;
            case kOpBol:
            case kOpEol:
                break;
            case kOpSave:
                if (program[pc + 1] >= 20) return;
                step.arg = program[pc + 1];
                break;
            case kOpAny:
            case kOpLit:
            case kOpSet:
            case kOpNotSet:
                if (!checkAt(pc, atom)) return;
                step.op = program[pc] == kOpNotSet ? uint16_t{kOpSet} : program[pc];
                step.arg = program[pc] == kOpLit ? program[pc + 1] : 0;
                step.map[0] = atom.exact[0];
                step.map[1] = atom.exact[1];
                break;
            case kOpStar: {
                size_t at = pc + kStarSize;
                if (at >= program.size() || !checkAt(at, atom)) return;
                if (program[at] == kOpLit && program[at + 1] != 1) return;
                size = kStarSize + InstructionSize(program.data(), program.size(), at);
                step.atom = program[at] == kOpNotSet ? uint16_t{kOpSet} : program[at];
                step.unit = program[at] == kOpLit ? program[at + 2] : 0;
                step.pc = static_cast<uint32_t>(at);
                step.arg = Get32(&program[pc + 1]);
                step.leading = at == leadingRunPc_;
                step.map[0] = atom.exact[0];
                step.map[1] = atom.exact[1];
                if (step.atom == kOpSet && !atom.takesHigh) {
                    UnitRanges ranges = UnitRanges::FromMap(atom.exact, false);
                    uint32_t low = 0;
                    while (low < 0x80 && !TestBit(atom.exact, low)) ++low;
                    step.runRange = ranges.count == 1;
                    step.runLow = static_cast<uint16_t>(low);
                    step.runSpan = static_cast<uint16_t>(__builtin_popcountll(atom.exact[0]) +
                                                         __builtin_popcountll(atom.exact[1]) - 1);
                }
                // What follows the repeat, past saves, must refuse every unit of the atom: a
                // literal or set that shares no unit with it, or the end of the text or program.
                size_t next = pc + size;
                uint32_t saves = 0;
                while (next < program.size() && program[next] == kOpSave) {
                    next += 2;
                    ++saves;
                }
                if (next >= program.size()) return;
                if (program[next] != kOpEol && program[next] != kOpMatch) {
                    RegexUnitCheck follower;
                    if (program[next] == kOpAny || !checkAt(next, follower)) return;
                    if ((atom.exact[0] & follower.exact[0]) ||
                        (atom.exact[1] & follower.exact[1]) ||
                        (atom.takesHigh && follower.takesHigh))
                        return;
                }
                // Try keeps only the counts after which a literal right after the repeat can
                // start; otherwise it goes back to every shorter run, whose follower fails at
                // once, past the saves before it.
                step.followLit = saves == 0 && program[next] == kOpLit;
                step.follow = step.followLit ? program[next + 2] : 0;
                step.shorter = program[next] == kOpMatch ? 0 : saves + 1;
                break;
            }
            default:
                return;  // a choice or a jump
        }
        steps.push_back(step);
        pc += size;
    }
}

// One search of a compiled program over one text. FirstStart finds where the search can begin
// and is inlined into RegExp::Search, so that a text with no place to start costs no more than
// that; Search, out of line, runs the program from there.
class RegexMatcher {
  public:
    RegexMatcher(const RegExp& re, const wchar_t* text, size_t size,
                 const RegexMatchOptions& options)
        : re_(re),
          prog_(re.program_.data()),
          progSize_(static_cast<uint32_t>(re.program_.size())),
          text_(text),
          n_(static_cast<uint32_t>(size)),
          options_(options),
          folded_(!options.caseSensitive || options.pinyin),
          mapsUsable_(!options.pinyin),
          setChecks_(re.setChecks_.data()),
          setCheckCount_(re.setCount_) {
        if (folded_) {
            upper_ = Cases().upper;
            lower_ = Cases().lower;
        }
    }

    // The checks that come before any start (an empty text, a damaged program), the first
    // start where the prefix checks pass, and whether the text holds the literal that every
    // match holds from there on. False when the search ends here (*error says whether it
    // failed); else the matcher goes on from *first.
    // literalFrom0, unless kNoPlace, is where the literal that every match holds first is in
    // the whole text (which the caller has searched already).
    [[gnu::always_inline]] inline bool FirstStart(uint32_t* first, RegexError* error,
                                                  uint32_t literalFrom0);
    // Runs the search from the start that FirstStart found.
    [[gnu::noinline]] bool Search(uint32_t first, RegexCaptures* captures, RegexError* error);

  private:
    static constexpr uint32_t kUnset = 0xFFFFFFFF;
    static constexpr uint64_t kMemoBitLimit = 256ull * 1024 * 1024;
    static constexpr size_t kJobLimit = 16u * 1024 * 1024;

    // The last start that leaves room for the prefix's units (0 for an anchored program).
    uint32_t LastStart() const { return re_.anchored_ ? 0 : n_ - re_.prefixUnits_; }
    // Finds the literal that every match holds in the text from `from` on: false when it is
    // not there, else *found is where it first is.
    bool FindRequired(uint32_t from, uint32_t* found);

    // Moves start to the next position up to last where the text holds the prefix atoms;
    // false when there is none.
    [[gnu::always_inline]] bool SkipToCandidate(uint32_t& start, uint32_t last) {
        const RegexUnitCheck* checks = re_.prefix_.data();
        if (re_.prefix_.empty()) return true;
        bool firstExact = false;  // the scan's first ranges are the first check itself
        // The checks that some unit can fail, by their maps where these decide (as Passes).
        auto prefixAt = [&](uint32_t at, bool scanned = false) __attribute__((always_inline)) {
            const RegExp::PrefixTest* t = re_.prefixTests_;
            const RegExp::PrefixTest* end = t + re_.prefixTestCount_;
            if (scanned && firstExact && t != end && t->offset == 0) ++t;
            for (; t != end; ++t) {
                wchar_t c = text_[at + t->offset];
                if (c < 0x80 && mapsUsable_ && (!folded_ || t->foldedMap)) {
                    if (!TestBit(folded_ ? t->folded : t->exact, c)) return false;
                } else if (!PassesOutOfLine(checks[t->offset], c)) {
                    return false;
                }
            }
            return true;
        };
        if (start == last) return prefixAt(start);  // an anchored program's one start
        if (!options_.pinyin) {
            const RegexUnitCheck& head = checks[0];
            uint32_t pair = folded_ ? re_.pairFolded_ : re_.pairExact_;
            const UnitRanges& first = folded_ ? head.foldedRanges : head.exactRanges;
            if (first.usable() || pair) {
                const UnitRanges* second =
                    pair ? folded_ ? &checks[pair].foldedRanges : &checks[pair].exactRanges
                         : nullptr;
                // Ranges that pass no unit from 0x80 up are the first check itself.
                firstExact = first.usable() && !first.high;
                return Scan(first.usable() ? &first : nullptr, second, pair, start, last, prefixAt);
            }
        }
        for (; start <= last; ++start)
            if (prefixAt(start)) return true;
        return false;
    }

    // Finds the first position from start up to last where verify holds, testing 16 positions
    // at a time for a unit in first (when given) there and a unit in second (when given) gap
    // (< 16) units further on. The blocks read are aligned, so a block may reach before the
    // text or past its end, never onto another page; positions outside start..last are masked
    // off. A few positions are simply tried one by one. verify(at, scanned) learns whether the
    // position passed the block tests.
    template <typename Verify>
    [[gnu::always_inline]] bool Scan(const UnitRanges* first, const UnitRanges* second,
                                     uint32_t gap, uint32_t& start, uint32_t last,
                                     const Verify& verify) {
        if (last - start < 2 || (reinterpret_cast<uintptr_t>(text_) & 1)) {
            for (uint32_t at = start; at <= last; ++at) {
                if (verify(at)) {
                    start = at;
                    return true;
                }
            }
            return false;
        }
        // The most common tests, one range of units below 0x80 each, without the general loop.
        auto oneRange = [](const UnitRanges& r) { return r.count == 1 && !r.high; };
        if (first && oneRange(*first) && (!second || oneRange(*second))) {
            const __m128i low = first->low[0], span = first->span[0];
            auto one = [&](const wchar_t* w, const wchar_t* end) {
                return Hits16One(low, span, w, end);
            };
            if (!second) return ScanBlocks(one, one, false, 0, start, last, verify);
            const __m128i low2 = second->low[0], span2 = second->span[0];
            auto two = [&](const wchar_t* w, const wchar_t* end) {
                return Hits16One(low2, span2, w, end);
            };
            return ScanBlocks(one, two, true, gap, start, last, verify);
        }
        auto any = [&](const wchar_t* w, const wchar_t* end) {
            return first ? Hits16(*first, w, end) : 0xFFFFu;
        };
        auto pair = [&](const wchar_t* w, const wchar_t* end) { return Hits16(*second, w, end); };
        return ScanBlocks(any, pair, second != nullptr, gap, start, last, verify);
    }

    // Scan's blocks, with hits16(w, end) the first test of the 16 units from w and, when
    // paired, second16 the test gap units further on.
    template <typename Hits, typename Second, typename Verify>
    [[gnu::always_inline]] bool ScanBlocks(const Hits& hits16, const Second& second16, bool paired,
                                           uint32_t gap, uint32_t& start, uint32_t last,
                                           const Verify& verify) {
        const wchar_t* end = text_ + n_;
        const wchar_t* w = reinterpret_cast<const wchar_t*>(
            reinterpret_cast<uintptr_t>(text_ + start) & ~uintptr_t{15});
        uint32_t ahead = paired ? second16(w, end) : 0;
        for (; w <= text_ + last; w += 16) {
            uint32_t hits = hits16(w, end);
            if (paired) {
                uint32_t here = ahead;
                ahead = second16(w + 16, end);
                hits &= (here | (ahead << 16)) >> gap;
            }
            ptrdiff_t from = text_ + start - w;
            if (from > 0) hits &= ~0u << from;
            ptrdiff_t to = text_ + last - w;
            if (to < 15) hits &= 0xFFFFu >> (15 - to);
            while (hits) {
                uint32_t at =
                    static_cast<uint32_t>(w - text_) + static_cast<uint32_t>(__builtin_ctz(hits));
                hits &= hits - 1;
                if (verify(at, true)) {
                    start = at;
                    return true;
                }
            }
        }
        return false;
    }

    // Where the run of units from `from` that lie from low to low + span ends (n at the latest):
    // eight units at a time from the aligned block that holds `from`, never reading a block
    // without a unit of the text.
    uint32_t RangeRunEnd(uint32_t from, uint16_t low, uint16_t span) const {
        if (from >= n_) return from;
        if (reinterpret_cast<uintptr_t>(text_) & 1) {
            while (from < n_ && static_cast<uint16_t>(text_[from] - low) <= span) ++from;
            return from;
        }
        const __m128i lows = _mm_set1_epi16(static_cast<short>(low));
        const __m128i spans = _mm_set1_epi16(static_cast<short>(span));
        const __m128i zero = _mm_setzero_si128();
        auto outside = [&](const wchar_t* block) {
            __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
            __m128i in = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(v, lows), spans), zero);
            return static_cast<unsigned>(_mm_movemask_epi8(in)) ^ 0xFFFFu;
        };
        const wchar_t* p = text_ + from;
        const wchar_t* end = text_ + n_;
        const wchar_t* block =
            reinterpret_cast<const wchar_t*>(reinterpret_cast<uintptr_t>(p) & ~uintptr_t{15});
        unsigned mask = outside(block) & (0xFFFFu << (reinterpret_cast<uintptr_t>(p) & 15));
        while (!mask) {
            block += 8;
            if (block >= end) return n_;
            mask = outside(block);
        }
        uint32_t at = static_cast<uint32_t>(block - text_) + __builtin_ctz(mask) / 2;
        return at < n_ ? at : n_;
    }

    [[gnu::always_inline]] bool Passes(const RegexUnitCheck& check, wchar_t c) {
        if (c < 0x80 && !options_.pinyin) {
            if (!folded_) return TestBit(check.exact, c);
            if (check.foldedMap) return TestBit(check.folded, c);
        }
        switch (check.kind) {
            case RegexUnitCheck::kUnit:
                return UnitMatches(check.unit, c);
            case RegexUnitCheck::kAny:
                return true;
            case RegexUnitCheck::kSet:
                return SetMatches(prog_ + check.pc, c);
            default:
                for (uint32_t i = 0; i < re_.firstUnitCount_; ++i)
                    if (UnitMatches(re_.firstUnits_[i], c)) return true;
                return false;
        }
    }

    [[gnu::noinline]] bool PassesOutOfLine(const RegexUnitCheck& check, wchar_t c) {
        return Passes(check, c);
    }

    bool UnitMatches(wchar_t pattern, wchar_t text) const {
        if (pattern == text) return true;
        if (!folded_) return false;
        if (!options_.caseSensitive &&
            upper_[static_cast<uint16_t>(pattern)] == upper_[static_cast<uint16_t>(text)])
            return true;
        return options_.pinyin && IsPinyinIdeograph(text) &&
               PinyinInitial(text, pattern, *options_.pinyin);
    }

    bool InRanges(const uint16_t* ranges, uint32_t count, wchar_t c) const {
        if (count <= 8) {
            for (uint32_t i = 0; i < count; ++i)
                if (c >= ranges[2 * i] && c <= ranges[2 * i + 1]) return true;
            return false;
        }
        uint32_t lo = 0, hi = count;
        while (lo < hi) {
            uint32_t mid = (lo + hi) / 2;
            if (c > ranges[2 * mid + 1])
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo < count && c >= ranges[2 * lo];
    }

    // Letters a-z (bit 0 = 'a') that are pinyin initials of an ideograph of the set.
    uint32_t SetLetters(const uint16_t* set) {
        uint32_t index = Get32(set + 1);
        std::vector<uint32_t>& letters = Heap().setLetters;
        if (letters.empty()) letters.assign(re_.setCount_, kUnset);
        if (index >= letters.size()) return 0;
        uint32_t& mask = letters[index];
        if (mask != kUnset) return mask;
        mask = 0;
        const uint16_t* ranges = set + 4;
        for (uint32_t i = 0; i < set[3]; ++i) {
            for (uint32_t c = ranges[2 * i]; c <= ranges[2 * i + 1]; ++c) {
                if (!IsPinyinIdeograph(static_cast<wchar_t>(c))) {
                    if (c < 0x3007) continue;
                    if (c > 0x3007 && c < 0x4E00) c = 0x4E00 - 1;  // skip to the block
                    if (c >= 0x9FA5) break;
                    continue;
                }
                for (wchar_t l = L'a'; l <= L'z'; ++l)
                    if (PinyinInitial(static_cast<wchar_t>(c), l, *options_.pinyin))
                        mask |= 1u << (l - L'a');
            }
        }
        return mask;
    }

    // Units below 0x80 are looked up in the set's map (unless pinyin initials are in play).
    [[gnu::always_inline]] bool SetMatches(const uint16_t* set, wchar_t c) {
        if (c < 0x80 && mapsUsable_) {
            uint32_t index = Get32(set + 1);
            if (index < setCheckCount_) {
                const RegexUnitCheck& check = setChecks_[index];
                return TestBit(folded_ ? check.folded : check.exact, c);
            }
        }
        return SetMatchesByRanges(set, c);
    }

    bool SetMatchesByRanges(const uint16_t* set, wchar_t c) {
        const uint16_t* ranges = set + 4;
        uint32_t count = set[3];
        bool in = InRanges(ranges, count, c);
        if (!in && folded_) {
            if (!options_.caseSensitive)
                in = InRanges(ranges, count, upper_[static_cast<uint16_t>(c)]) ||
                     InRanges(ranges, count, lower_[static_cast<uint16_t>(c)]);
            if (!in && options_.pinyin) {
                wchar_t l = lower_[static_cast<uint16_t>(c)];
                if (l >= L'a' && l <= L'z' && c < 0x80) in = (SetLetters(set) >> (l - L'a')) & 1;
            }
        }
        return in != (set[0] == kOpNotSet);
    }

    [[gnu::always_inline]] bool AtomMatches(uint32_t pc, wchar_t c) {
        switch (prog_[pc]) {
            case kOpAny:
                return true;
            case kOpLit:
                return UnitMatches(static_cast<wchar_t>(prog_[pc + 2]), c);
            default:
                return SetMatches(prog_ + pc, c);
        }
    }

    struct Job {
        int32_t pc;  // < 0: restore capture slot -pc - 1 to `lo`
        uint32_t lo;
        uint32_t hi;  // positions lo..hi still to try at pc, the highest first
    };

    enum class Outcome { kMatch, kFail, kError };

    // Runs the program from pc at pos for a match that starts at start.
    Outcome Try(uint32_t start, uint32_t pc, uint32_t pos);
    // Try for a straight program (RegExp::straight_), which needs no backtracking stack, from
    // its step `step`: the same result, captures, memory of failed states and step count.
    // runEnd (when not 0) is where the leading run from start ends.
    Outcome TryStraight(uint32_t start, uint32_t step, uint32_t pos, uint32_t runEnd);
    // How far a repeat of the single-unit atom at `atom` entered at pos takes the text: as far
    // as the atom allows, but not onto a position that an earlier run of the same repeat (memo
    // slot) has taken, whose continuations have been tried. Marks the positions it takes.
    uint32_t RunEnd(uint32_t slot, uint32_t atom, uint32_t pos);
    // The instructions that the prefix checks stand for are what the analysis saw (a damaged
    // program goes the whole way, to meet its damage).
    bool PrefixIntact() const;
    // Clears the memory of failed states (when the program has choice points); for a straight
    // program, its stand-in reach_.
    void PrepareMemo(bool straight);

    // Remembers that state (slot, pos) has been entered; false if it had been already.
    bool Enter(uint32_t slot, uint32_t pos) {
        if (!memo_) return true;
        uint64_t bit = static_cast<uint64_t>(slot) * (n_ + 1ull) + pos;
        uint64_t& word = memo_[bit >> 6];
        uint64_t mask = 1ull << (bit & 63);
        if (word & mask) return false;
        word |= mask;
        return true;
    }

    bool Push(int32_t pc, uint32_t lo, uint32_t hi) {
        if (jobs_.size() >= kJobLimit) {
            error_ = kRegexNoMemory;
            return false;
        }
        jobs_.push_back({pc, lo, hi});
        return true;
    }

    const RegExp& re_;
    const uint16_t* prog_;
    uint32_t progSize_;
    const wchar_t* text_;
    uint32_t n_;
    const RegexMatchOptions& options_;
    bool folded_;
    bool mapsUsable_;
    const RegexUnitCheck* setChecks_;
    uint32_t setCheckCount_;
    const wchar_t* upper_ = nullptr;
    const wchar_t* lower_ = nullptr;
    uint64_t steps_ = 0;
    RegexError error_ = kRegexOk;
    // The backtracking stack, in blocks that never move: small searches stay in the inline
    // block, and a deep search touches each page of its stack once.
    class JobStack {
      public:
        static constexpr size_t kBlock = 8192;
        bool empty() const { return size_ == 0; }
        size_t size() const { return size_; }
        Job& back() { return top_[-1]; }
        void pop_back() {
            --size_;
            if (--top_ == base_ && size_ > 0) Select(size_ - 1);
        }
        void clear() {
            size_ = 0;
            base_ = top_ = inline_;
            limit_ = inline_ + std::size(inline_);
        }
        void push_back(const Job& job) {
            if (top_ == limit_) Select(size_);
            *top_++ = job;
            ++size_;
        }

      private:
        // Points base_, top_ and limit_ at the block holding entry i, with top_ just past it
        // (at the block's start when i is the next entry to push).
        void Select(size_t i) {
            size_t inlineSize = std::size(inline_);
            if (i < inlineSize) {
                base_ = inline_;
                limit_ = inline_ + inlineSize;
                top_ = inline_ + i + 1;
                return;
            }
            size_t block = (i - inlineSize) / kBlock;
            if (!blocks_) blocks_.reset(new std::vector<std::unique_ptr<Job[]>>());
            std::vector<std::unique_ptr<Job[]>>& blocks = *blocks_;
            if (block == blocks.size()) blocks.emplace_back(new Job[kBlock]);
            base_ = blocks[block].get();
            limit_ = base_ + kBlock;
            size_t offset = (i - inlineSize) % kBlock;
            top_ = base_ + offset + (i == size_ ? 0 : 1);
        }
        Job inline_[48];
        Job* base_ = inline_;
        Job* top_ = inline_;
        Job* limit_ = inline_ + 48;
        size_t size_ = 0;
        std::unique_ptr<std::vector<std::unique_ptr<Job[]>>> blocks_;  // made when first needed
    };
    JobStack jobs_;
    uint64_t* memo_ = nullptr;
    uint64_t memoInline_[32];
    // For a straight program, in place of memo_: by repeat, the position after its last run.
    uint32_t* reach_ = nullptr;
    uint32_t reachInline_[16];
    uint32_t caps_[20];
    // What a search keeps on the heap, made when first needed: most searches need none of it,
    // and a matcher that owns nothing is quick to set up and take down.
    struct HeapParts {
        std::unique_ptr<uint64_t[]> memo;
        std::unique_ptr<uint32_t[]> reach;
        std::vector<uint32_t> setLetters;  // SetLetters' answers by set
    };
    std::unique_ptr<HeapParts> heap_;
    HeapParts& Heap() {
        if (!heap_) heap_.reset(new HeapParts());
        return *heap_;
    }
};

bool RegexMatcher::FindRequired(uint32_t from, uint32_t* found) {
    const std::wstring& required = re_.requiredLiteral_;
    uint32_t length = static_cast<uint32_t>(required.size());
    *found = from;
    if (length == 0) return true;
    if (length > n_ - from) return false;
    if (length == 1 && !folded_) {
        size_t at = FindUnit(text_ + from, n_ - from, required[0]);
        *found = from + static_cast<uint32_t>(at);
        return at < n_ - from;
    }
    if (length <= RegExp::kMaxPrefix && !options_.pinyin &&
        (options_.caseSensitive || re_.requiredFoldable_)) {
        uint32_t at = 0;
        bool hit = FindLiteral(text_ + from, n_ - from,
                               options_.caseSensitive ? re_.requiredExact_ : re_.requiredFolded_,
                               length, &at);
        *found = from + at;
        return hit;
    }
    bool firstExact = false;  // the scan's first ranges are the literal's first unit itself
    auto literalAt = [&](uint32_t at, bool scanned = false) {
        for (uint32_t k = scanned && firstExact ? 1 : 0; k < length; ++k)
            if (!UnitMatches(required[k], text_[at + k])) return false;
        return true;
    };
    const UnitRanges& first =
        folded_ ? re_.requiredFirst_.foldedRanges : re_.requiredFirst_.exactRanges;
    const UnitRanges& second =
        folded_ ? re_.requiredLast_.foldedRanges : re_.requiredLast_.exactRanges;
    uint32_t gap = std::min<uint32_t>(length, RegExp::kMaxPrefix) - 1;
    if (!options_.pinyin && first.usable() && second.usable()) {
        firstExact = !first.high;
        bool hit = Scan(&first, gap ? &second : nullptr, gap, from, n_ - length, literalAt);
        *found = from;
        return hit;
    }
    for (uint32_t at = from; at + length <= n_; ++at) {
        if (literalAt(at)) {
            *found = at;
            return true;
        }
    }
    return false;
}

// Sets n 32-bit units to value by 16-byte stores. The compiler would turn a plain loop (or
// std::fill) into a call of the runtime's memset, which under Wine is a call into msvcrt for a
// few bytes on every search.
void FillUnits(uint32_t* p, size_t n, uint32_t value) {
    __m128i v = _mm_set1_epi32(static_cast<int>(value));
    asm("" : "+x"(v));  // not a constant to the compiler, so not a memset
    size_t i = 0;
    for (; i + 4 <= n; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), v);
    for (; i < n; ++i) p[i] = static_cast<uint32_t>(_mm_cvtsi128_si32(v));
}

void RegexMatcher::PrepareMemo(bool straight) {
    uint64_t memoBits = static_cast<uint64_t>(re_.memoSlots_) * (n_ + 1ull);
    if (memoBits == 0 || memoBits > kMemoBitLimit) return;
    if (straight) {
        // Its choice points are all repeats.
        uint32_t slots = re_.memoSlots_;
        if (slots <= std::size(reachInline_)) {
            reach_ = reachInline_;
        } else {
            std::unique_ptr<uint32_t[]>& heap = Heap().reach;
            heap.reset(new uint32_t[slots]);
            reach_ = heap.get();
        }
        FillUnits(reach_, slots, 0);
        return;
    }
    size_t words = static_cast<size_t>((memoBits + 63) / 64);
    if (words <= std::size(memoInline_)) {
        memo_ = memoInline_;
    } else {
        std::unique_ptr<uint64_t[]>& heap = Heap().memo;
        heap.reset(new uint64_t[words]);
        memo_ = heap.get();
    }
    FillUnits(reinterpret_cast<uint32_t*>(memo_), 2 * words, 0);
}

inline bool RegexMatcher::FirstStart(uint32_t* first, RegexError* error, uint32_t literalFrom0) {
    *error = kRegexOk;
    if (!text_ || n_ == 0) {
        *error = kRegexEmptyText;
        return false;
    }
    if (progSize_ < 2 || prog_[0] != RegExp::kMagic) {
        *error = kRegexDamagedProgram;
        return false;
    }
    if (n_ >= kUnset) {
        *error = kRegexNoMemory;
        return false;
    }
    // Every match takes at least the prefix's units.
    if (re_.prefixUnits_ > n_) return false;
    // The literal that every match holds must be in the text from the first start on. Unless
    // the program is anchored (one start, quickly tested) or the literal is one unit (which
    // many texts hold), the whole text is searched for it first: a text without it, as most
    // are, needs no start looked for.
    uint32_t literal = literalFrom0;
    bool literalFound = literal != RegExp::kNoPlace;
    if (!literalFound && !re_.anchored_ && re_.requiredLiteral_.size() > 1) {
        if (!FindRequired(0, &literal)) return false;
        literalFound = true;
    }
    uint32_t start = 0;
    if (!SkipToCandidate(start, LastStart())) return false;
    if (!literalFound && !re_.requiredLiteral_.empty() && !FindRequired(start, &literal))
        return false;
    if (literalFound && literal < start && !FindRequired(start, &literal)) return false;
    *first = start;
    return true;
}

bool RegexMatcher::Search(uint32_t first, RegexCaptures* captures, RegexError* error) {
    uint32_t last = LastStart();
    bool prepared = false;
    bool straight = re_.straight_ && re_.analysed_ && !folded_;
    uint32_t resumePc = 0;  // where a start that passed the prefix checks goes on
    for (uint32_t start = first; start <= last; ++start) {
        // The first start has passed the prefix checks already.
        if (start != first && !SkipToCandidate(start, last)) break;
        uint32_t runEnd = 0;
        if (re_.runDisjoint_ && !folded_) {
            // Only the end of the leading run can be followed by the atom after the repeat,
            // which no unit of the run passes; no start in the run gets further.
            uint32_t end = start;
            uint32_t run = re_.leadingRunPc_;
            const uint64_t* map = re_.runAtom_.exact;
            for (; end < n_; ++end) {
                wchar_t c = text_[end];
                if (c < 0x80 ? !TestBit(map, c) : !AtomMatches(run, c)) break;
            }
            if (end == n_ || !Passes(re_.runNext_, text_[end])) {
                start = end;
                continue;
            }
            runEnd = end;
        }
        if (!prepared) {
            if (re_.prefixEndPc_ && (re_.analysed_ || PrefixIntact())) resumePc = re_.prefixEndPc_;
            PrepareMemo(straight);
            // A failed start leaves the capture slots as it found them.
            FillUnits(caps_, std::size(caps_), kUnset);
            prepared = true;
        }
        uint32_t pos = resumePc ? start + re_.prefixUnits_ : start;
        Outcome outcome = straight
                              ? TryStraight(start, resumePc ? re_.straightResume_ : 0, pos, runEnd)
                              : Try(start, resumePc ? resumePc : 1, pos);
        if (outcome == Outcome::kError) {
            *error = error_;
            return false;
        }
        if (outcome == Outcome::kFail && re_.leadingRunPc_) {
            // The run of the leading repeat from start on has had every continuation tried,
            // and a start later in the run tries only some of them again.
            while (start < n_ && AtomMatches(re_.leadingRunPc_, text_[start])) ++start;
        }
        if (outcome == Outcome::kMatch) {
            if (captures) {
                for (int g = 0; g < 10; ++g) {
                    bool set = caps_[2 * g] != kUnset && caps_[2 * g + 1] != kUnset;
                    captures->start[g] = set ? text_ + caps_[2 * g] : nullptr;
                    captures->end[g] = set ? text_ + caps_[2 * g + 1] : nullptr;
                }
            }
            return true;
        }
    }
    return false;
}

bool RegexMatcher::PrefixIntact() const {
    uint32_t pc = 1;
    while (pc < re_.prefixEndPc_) {
        uint16_t op = prog_[pc];
        bool atom = op == kOpLit || op == kOpAny || op == kOpSet || op == kOpNotSet;
        if (!atom && !(op == kOpBol && pc == 1)) return false;
        uint32_t size = InstructionSize(prog_, progSize_, pc);
        if (size == 0) return false;
        pc += size;
    }
    return pc == re_.prefixEndPc_;
}

uint32_t RegexMatcher::RunEnd(uint32_t slot, uint32_t atom, uint32_t pos) {
    // The units from `from` up to stop that the atom takes.
    auto scan = [&](uint32_t from, uint32_t stop) {
        switch (prog_[atom]) {
            case kOpAny:
                return stop;
            case kOpSet:
            case kOpNotSet:
                while (from < stop && SetMatches(prog_ + atom, text_[from])) ++from;
                return from;
            default:
                while (from < stop && AtomMatches(atom, text_[from])) ++from;
                return from;
        }
    };
    if (!memo_) return scan(pos, n_);
    // The marks of positions pos + 1 on, a memory word at a time: the run goes on through a
    // word's free marks and stops at the first taken one.
    uint64_t bit = slot * (n_ + 1ull) + pos + 1;
    uint32_t end = pos;
    while (end < n_) {
        uint64_t& word = memo_[bit >> 6];
        uint32_t offset = static_cast<uint32_t>(bit & 63);
        uint64_t taken = word >> offset;
        uint32_t room = taken ? static_cast<uint32_t>(__builtin_ctzll(taken)) : 64 - offset;
        uint32_t stop = end + std::min(room, n_ - end);
        uint32_t reached = scan(end, stop);
        uint32_t count = reached - end;
        if (count) word |= (count == 64 ? ~0ull : (1ull << count) - 1) << offset;
        bit += count;
        end = reached;
        if (reached < stop || taken) break;
    }
    return end;
}

RegexMatcher::Outcome RegexMatcher::TryStraight(uint32_t start, uint32_t step, uint32_t pos,
                                                uint32_t runEnd) {
    caps_[0] = start;
    const uint16_t* const prog = prog_;
    const wchar_t* const text = text_;
    const uint32_t n = n_;
    const uint64_t limit = options_.stepLimit;
    uint64_t steps = steps_;
    // Try would go back to the shorter runs of repeats whose follower is not a literal; each
    // fails at once (the follower refuses a unit of the atom) but costs the follower's steps,
    // counted here when the start fails.
    uint64_t shorter = 0;
    uint32_t saved = 0;  // capture slots set on the way, cleared again when the start fails
    // Units below 0x80 by the step's map (with case), the others by the set's ranges.
    auto inSet = [&](const RegExp::StraightStep& s, wchar_t c) {
        if (c < 0x80) return TestBit(s.map, c);
        return SetMatchesByRanges(prog + s.pc, c);
    };
    for (const RegExp::StraightStep* s = re_.straightSteps_.data() + step;; ++s) {
        if (++steps > limit) {
            steps_ = steps;
            error_ = kRegexTooComplex;
            return Outcome::kError;
        }
        switch (s->op) {
            case kOpMatch:
                steps_ = steps;
                caps_[1] = pos;
                return Outcome::kMatch;
            case kOpBol:
                if (pos != 0) goto fail;
                continue;
            case kOpEol:
                if (pos != n) goto fail;
                continue;
            case kOpAny:
                if (pos >= n) goto fail;
                ++pos;
                continue;
            case kOpLit: {
                uint32_t len = s->arg;
                if (len > n - pos) goto fail;
                const uint16_t* units = prog + s->pc + 2;
                for (uint32_t i = 0; i < len; ++i)
                    if (units[i] != static_cast<uint16_t>(text[pos + i])) goto fail;
                steps += len;
                pos += len;
                continue;
            }
            case kOpSet:
                if (pos >= n || !inSet(*s, text[pos])) goto fail;
                ++pos;
                continue;
            case kOpSave:
                saved |= 1u << s->arg;
                caps_[s->arg] = pos;
                continue;
            default: {  // kOpStar
                // Entries into a repeat come at rising positions (starts rise, and each
                // instruction takes a fixed count of units or a run to its end, which rises
                // with where the run begins), so the positions that Try's memory would hold for
                // this repeat are those up to the end of its last run, and no run meets them.
                if (reach_ && pos < reach_[s->arg]) goto fail;
                uint32_t end = runEnd && s->leading ? runEnd : pos;
                switch (s->atom) {
                    case kOpAny:
                        end = n;
                        break;
                    case kOpLit:
                        while (end < n && text[end] == static_cast<wchar_t>(s->unit)) ++end;
                        break;
                    default:
                        // A run of more than one unit goes on by blocks.
                        if (s->runRange) {
                            if (end < n && inSet(*s, text[end]))
                                end = RangeRunEnd(end + 1, s->runLow, s->runSpan);
                            break;
                        }
                        while (end < n && inSet(*s, text[end])) ++end;
                        break;
                }
                if (reach_) reach_[s->arg] = end + 1;
                steps += end - pos;
                if (s->followLit) {
                    if (end >= n || s->follow != static_cast<uint16_t>(text[end])) goto fail;
                } else {
                    shorter += static_cast<uint64_t>(end - pos) * s->shorter;
                }
                pos = end;
                continue;
            }
        }
    }
fail:
    while (saved) {
        caps_[__builtin_ctz(saved)] = kUnset;
        saved &= saved - 1;
    }
    // Try's last step is the last shorter run's (when there is one): only then is the limit
    // checked again.
    steps += shorter;
    steps_ = steps;
    if (shorter && steps > limit) {
        error_ = kRegexTooComplex;
        return Outcome::kError;
    }
    return Outcome::kFail;
}

RegexMatcher::Outcome RegexMatcher::Try(uint32_t start, uint32_t pc, uint32_t pos) {
    caps_[0] = start;
    jobs_.clear();
    jobs_.push_back({static_cast<int32_t>(pc), pos, pos});
    const uint64_t limit = options_.stepLimit;
    while (!jobs_.empty()) {
        Job& job = jobs_.back();
        if (job.pc < 0) {
            caps_[-job.pc - 1] = job.lo;
            jobs_.pop_back();
            continue;
        }
        uint32_t pc = static_cast<uint32_t>(job.pc);
        uint32_t pos = job.hi;
        if (job.hi == job.lo)
            jobs_.pop_back();
        else
            --job.hi;
        for (;;) {
            if (++steps_ > limit) {
                error_ = kRegexTooComplex;
                return Outcome::kError;
            }
            if (pc >= progSize_) {
                error_ = kRegexBrokenLink;
                return Outcome::kError;
            }
            switch (prog_[pc]) {
                case kOpMatch:
                    caps_[1] = pos;
                    return Outcome::kMatch;
                case kOpBol:
                    if (pos != 0) goto fail;
                    ++pc;
                    continue;
                case kOpEol:
                    if (pos != n_) goto fail;
                    ++pc;
                    continue;
                case kOpAny:
                    if (pos >= n_) goto fail;
                    ++pos;
                    ++pc;
                    continue;
                case kOpLit: {
                    uint32_t len = prog_[pc + 1];
                    if (len > n_ - pos) goto fail;
                    const uint16_t* units = prog_ + pc + 2;
                    if (!folded_) {
                        for (uint32_t i = 0; i < len; ++i)
                            if (units[i] != static_cast<uint16_t>(text_[pos + i])) goto fail;
                    } else {
                        for (uint32_t i = 0; i < len; ++i)
                            if (!UnitMatches(static_cast<wchar_t>(units[i]), text_[pos + i]))
                                goto fail;
                    }
                    steps_ += len;
                    pos += len;
                    pc += 2 + len;
                    continue;
                }
                case kOpSet:
                case kOpNotSet:
                    if (pos >= n_ || !SetMatches(prog_ + pc, text_[pos])) goto fail;
                    ++pos;
                    pc += 4 + 2u * prog_[pc + 3];
                    continue;
                case kOpSplit: {
                    if (!Enter(Get32(prog_ + pc + 1), pos)) goto fail;
                    int32_t x = static_cast<int32_t>(Get32(prog_ + pc + 3));
                    int32_t y = static_cast<int32_t>(Get32(prog_ + pc + 5));
                    if (!Push(static_cast<int32_t>(pc) + y, pos, pos)) return Outcome::kError;
                    pc = static_cast<uint32_t>(static_cast<int32_t>(pc) + x);
                    continue;
                }
                case kOpJmp:
                    pc = static_cast<uint32_t>(static_cast<int32_t>(pc) +
                                               static_cast<int32_t>(Get32(prog_ + pc + 1)));
                    continue;
                case kOpSave: {
                    uint32_t slot = prog_[pc + 1];
                    if (slot >= 20) {
                        error_ = kRegexUnknownNode;
                        return Outcome::kError;
                    }
                    if (!Push(-static_cast<int32_t>(slot) - 1, caps_[slot], 0))
                        return Outcome::kError;
                    caps_[slot] = pos;
                    pc += 2;
                    continue;
                }
                case kOpStar: {
                    uint32_t slot = Get32(prog_ + pc + 1);
                    if (!Enter(slot, pos)) goto fail;
                    uint32_t atom = pc + kStarSize;
                    if (atom >= progSize_) {
                        error_ = kRegexBrokenLink;
                        return Outcome::kError;
                    }
                    uint32_t atomSize = InstructionSize(prog_, progSize_, atom);
                    if (atomSize == 0) {
                        error_ = kRegexUnknownNode;
                        return Outcome::kError;
                    }
                    uint32_t next = atom + atomSize;
                    uint32_t end = RunEnd(slot, atom, pos);
                    steps_ += end - pos;
                    // The continuation is tried at the longest count first. When it begins with
                    // a literal, counts after which the literal cannot start are skipped; with
                    // case, when the atom refuses the literal's first unit, all but the longest.
                    if (next < progSize_ && prog_[next] == kOpLit) {
                        wchar_t want = static_cast<wchar_t>(prog_[next + 2]);
                        size_t base = jobs_.size();
                        uint32_t q = pos;
                        if (!folded_ && !AtomMatches(atom, want)) q = end;
                        for (; q <= end; ++q) {
                            if (q >= n_ || !UnitMatches(want, text_[q])) continue;
                            if (jobs_.size() > base && jobs_.back().hi + 1 == q) {
                                jobs_.back().hi = q;
                            } else if (!Push(static_cast<int32_t>(next), q, q)) {
                                return Outcome::kError;
                            }
                        }
                    } else if (!Push(static_cast<int32_t>(next), pos, end)) {
                        return Outcome::kError;
                    }
                    goto fail;
                }
                default:
                    error_ = kRegexUnknownNode;
                    return Outcome::kError;
            }
        }
    fail:;
    }
    return Outcome::kFail;
}

bool RegExp::SearchUnits(const wchar_t* text, size_t size, const RegexMatchOptions& options,
                         RegexCaptures* captures, RegexError* error) const {
    if (!error) {
        RegexError ignored;
        return SearchUnits(text, size, options, captures, &ignored);
    }
    if (program_.empty()) {
        *error = error_ != kRegexOk ? error_ : kRegexNullPattern;
        return false;
    }
    if (literalLength_ && analysed_ && !options.pinyin && options.stepLimit > 0) {
        if (options.caseSensitive) return SearchLiteral(text, size, true, captures, error);
        // No unit from 0x80 up may fold onto a unit of the literal, which the bit test below
        // could not see.
        const uint64_t* high = Cases().highUppers;
        if (literalFoldable_ && !((literalUppers_[0] & high[0]) | (literalUppers_[1] & high[1])))
            return SearchLiteral(text, size, false, captures, error);
    }
    // Most texts are turned away before a matcher is set up (see TurnAway).
    uint32_t literal = kNoPlace;
    if (turnAway_ && !options.pinyin &&
        TurnAway(text, size, options.caseSensitive, &literal, error))
        return false;
    return SearchByMatcher(text, size, options, captures, error, literal);
}

// The rest of Search, out of line so that the searches above need no matcher's frame.
bool RegExp::SearchByMatcher(const wchar_t* text, size_t size, const RegexMatchOptions& options,
                             RegexCaptures* captures, RegexError* error, uint32_t literal) const {
    RegexMatcher matcher(*this, text, size, options);
    uint32_t first = 0;
    if (!matcher.FirstStart(&first, error, literal)) return false;
    return matcher.Search(first, captures, error);
}

// The matcher's answer for the texts that a quick test turns away: those shorter than the
// prefix, those where an anchored program's first prefix test fails at its one start, and those
// without the literal of two or more units that every match holds. True when the text is turned
// away (false, with no error); else *literal is where that literal first is, when it was looked
// for (an anchored program's one start is the text's start, so the literal must be there on).
bool RegExp::TurnAway(const wchar_t* text, size_t size, bool caseSensitive, uint32_t* literal,
                      RegexError* error) const {
    if (!text || size == 0 || size >= 0xFFFFFFFFu) return false;
    uint32_t n = static_cast<uint32_t>(size);
    *error = kRegexOk;
    if (prefixUnits_ > n) return true;
    if (anchored_ && prefixTestCount_) {
        const PrefixTest& t = prefixTests_[0];
        wchar_t c = text[t.offset];
        if (c < 0x80 && (caseSensitive || t.foldedMap) &&
            !TestBit(caseSensitive ? t.exact : t.folded, c))
            return true;
    }
    uint32_t length = static_cast<uint32_t>(requiredLiteral_.size());
    if (length < 2 || length > kMaxPrefix || (!caseSensitive && !requiredFoldable_)) return false;
    return length > n ||
           !FindLiteral(text, n, caseSensitive ? requiredExact_ : requiredFolded_, length, literal);
}

// The matcher's answers for a literal program: its prefix checks find the place, the match
// instruction is the one step a match costs, and no other start is tried.
bool RegExp::SearchLiteral(const wchar_t* text, size_t size, bool caseSensitive,
                           RegexCaptures* captures, RegexError* error) const {
    *error = kRegexOk;
    if (!text || size == 0) {
        *error = kRegexEmptyText;
        return false;
    }
    if (size >= 0xFFFFFFFFu) {
        *error = kRegexNoMemory;
        return false;
    }
    uint32_t n = static_cast<uint32_t>(size);
    uint32_t at = 0;
    if (literalLength_ > n ||
        !FindLiteral(text, n, caseSensitive ? literalExact_ : literalFolded_, literalLength_, &at))
        return false;
    if (captures) {
        std::fill(std::begin(captures->start), std::end(captures->start), nullptr);
        std::fill(std::begin(captures->end), std::end(captures->end), nullptr);
        captures->start[0] = text + at;
        captures->end[0] = text + at + literalLength_;
    }
    return true;
}

uint32_t RegexErrorStringId(uint32_t code) {
    static constexpr uint16_t kIds[] = {
        0,     10500, 10501, 10502, 10503, 10504, 10505, 10506, 10507, 10508,
        10509, 10510, 10511, 10512, 10513, 10522, 10523, 10524, 10525, 10527,
        10526, 10514, 10515, 10516, 10517, 10518, 10519, 10520, 10521,
    };
    return code < std::size(kIds) ? kIds[code] : 0;
}

}  // namespace kwill
