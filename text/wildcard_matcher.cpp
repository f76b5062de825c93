// The matcher is a backtracking search over (program position, text position) states with an
// explicit failure stack, so that neither a long text nor a long pattern can exhaust the
// machine stack. Whether a state can lead to a match depends only on the state, except inside a
// negated item, where reaching the item's end feeds the negation being tried; so visited states
// are remembered per scope: one scope for the whole match and one for each negated item while it
// is being tried. A state seen before in the same scope has nothing new to offer and fails at
// once, which bounds the work of patterns such as *a*a*a*a*b or #(*|*). A negated item is tried
// afresh from each start, but a try skips the states that an earlier try of the same item
// explored when that try's ends are already behind its own (so *~(*b)c costs text length, not
// its square); what remains quadratic is bounded by a step budget.
#include "text/wildcard_matcher.h"

#include "strings/compare.h"
#include "text/char_case.h"

#include <algorithm>
#include <cwctype>
#include <memory>
#include <unordered_map>

namespace kwill::text {

bool BuildProgramLinks(std::wstring_view program, ProgramLinks& links) {
    const size_t size = program.size();
    links.close.assign(size, 0);
    links.next.assign(size, 0);
    links.simple = true;
    std::vector<uint32_t> open;  // positions of unclosed groups, negations and repetitions
    std::vector<uint32_t> lastAlternative;  // per open group: the open or its last alternative
    for (size_t i = 0; i < size; ++i) {
        const wchar_t c = program[i];
        if (!IsOperatorUnit(c)) continue;
        if (c != kOpAnySequence && c != kOpAnyChar) links.simple = false;
        const uint32_t at = static_cast<uint32_t>(i);
        switch (c) {
            case kOpGroupOpen:
            case kOpNotOpen:
            case kOpRepeatOpen:
                open.push_back(at);
                if (c == kOpGroupOpen) lastAlternative.push_back(at);
                break;
            case kOpAlternative:
                if (open.empty() || program[open.back()] != kOpGroupOpen) return false;
                links.next[lastAlternative.back()] = at;
                lastAlternative.back() = at;
                break;
            case kOpGroupClose:
            case kOpNotClose:
            case kOpRepeatClose: {
                const wchar_t opener = c == kOpGroupClose ? kOpGroupOpen
                                       : c == kOpNotClose ? kOpNotOpen
                                                          : kOpRepeatOpen;
                if (open.empty() || program[open.back()] != opener) return false;
                const uint32_t from = open.back();
                open.pop_back();
                links.close[from] = at;
                links.close[at] = from;
                if (c == kOpGroupClose) {
                    links.next[lastAlternative.back()] = at;
                    lastAlternative.pop_back();
                    // Every alternative of the group skips to its close.
                    for (uint32_t alt = links.next[from]; alt != at; alt = links.next[alt])
                        links.close[alt] = at;
                }
                break;
            }
            case kOpNotClassOpen:
            case kOpClass: {
                // Members run to the next unescaped class unit; there is at least one.
                size_t j = i + 1;
                if (j < size && program[j] == kOpEscape) ++j;
                ++j;
                while (j < size && program[j] != kOpClass) j += program[j] == kOpEscape ? 2 : 1;
                if (j >= size) return false;
                links.close[i] = static_cast<uint32_t>(j);
                i = j;
                break;
            }
            case kOpEscape:
                if (i + 1 >= size) return false;
                ++i;
                break;
            default:  // *, ?, word markers
                break;
        }
    }
    if (links.simple) {
        links.firstStar = program.find(static_cast<wchar_t>(kOpAnySequence));
        links.lastStar = program.rfind(static_cast<wchar_t>(kOpAnySequence));
    }
    return open.empty();
}

namespace {

// The set of (program position, text position) states explored outside negated items. Small
// sets use a flat bitmap (inline when it fits), large ones a bitmap row per program position,
// made when first needed.
class StateSet {
  public:
    void Reset(uint32_t pBegin, uint32_t pCount, uint32_t tBegin, uint32_t tEnd) {
        pBegin_ = pBegin;
        pCount_ = pCount;
        tBegin_ = tBegin;
        rowBits_ = uint64_t{tEnd} - tBegin + 1;
        const uint64_t bits = rowBits_ * pCount;
        if (bits <= kInlineBits) {
            mode_ = Mode::Inline;
            std::fill(inline_, inline_ + (bits + 63) / 64, 0);
        } else if (bits <= kFlatBits) {
            mode_ = Mode::Flat;
            flat_.assign((bits + 63) / 64, 0);
        } else {
            mode_ = Mode::Rows;
            rows_.clear();
            rows_.resize(pCount);
        }
    }

    // True when the state is new to this scope (and records it).
    bool Insert(uint32_t p, uint32_t t) {
        const uint64_t row = p - pBegin_;
        const uint64_t col = t - tBegin_;
        switch (mode_) {
            case Mode::Inline:
                return SetBit(inline_, row * rowBits_ + col);
            case Mode::Flat:
                return SetBit(flat_.data(), row * rowBits_ + col);
            case Mode::Rows: {
                auto& bits = rows_[row];
                if (!bits) bits.reset(new uint64_t[(rowBits_ + 63) / 64]());
                return SetBit(bits.get(), col);
            }
        }
        return true;
    }

  private:
    static constexpr uint64_t kInlineBits = 64 * 32;
    static constexpr uint64_t kFlatBits = uint64_t{1} << 20;
    enum class Mode { Inline, Flat, Rows };

    static bool SetBit(uint64_t* words, uint64_t bit) {
        uint64_t& w = words[bit / 64];
        const uint64_t mask = uint64_t{1} << (bit % 64);
        if (w & mask) return false;
        w |= mask;
        return true;
    }

    Mode mode_ = Mode::Inline;
    uint32_t pBegin_ = 0, pCount_ = 0, tBegin_ = 0;
    uint64_t rowBits_ = 0;
    uint64_t inline_[kInlineBits / 64];
    std::vector<uint64_t> flat_;
    std::vector<std::unique_ptr<uint64_t[]>> rows_;
};

enum class EntryKind : uint8_t {
    Plain,      // try (p, t)
    Advancing,  // try (p, t), and later (p, t + 1), ... up to the text's end
    Trying,     // an advancing entry whose negated item is still being tried
};

struct Entry {
    uint32_t p;
    uint32_t t;
    EntryKind kind;
};

// A negated item being tried from text position `start`.
struct Trial {
    size_t entry;    // index of its advancing entry on the failure stack
    uint32_t open;   // program position of the negation open
    uint32_t start;  // text position where the item starts
    uint32_t id;     // stamp of the states it explores
};

constexpr uint32_t kNegationFails = 0xFFFFFFFF;
constexpr uint32_t kTrialActive = 0xFFFFFFFE;

// Work budget for negated items, in steps: tries of a negated item from different starts share
// what they explored only partly (a trial whose item reaches the text's end teaches the others
// nothing), so nested negations can still cost text length squared. Past the budget the match
// is given up and reported as no match.
constexpr uint64_t kBudgetBase = uint64_t{128} << 20;
constexpr uint64_t kBudgetPerState = 4;

class Runner {
  public:
    Runner(std::wstring_view program, const ProgramLinks& links, std::wstring_view text,
           const MatchContext& context)
        : program_(program),
          links_(links),
          text_(text),
          context_(context),
          size_(static_cast<uint32_t>(program.size())),
          end_(static_cast<uint32_t>(text.size())) {
        // Generous: many times the number of states of the whole program over the whole text.
        budget_ = kBudgetBase + kBudgetPerState * (uint64_t{size_} + 1) * (uint64_t{end_} + 1);
    }

    bool Run();
    bool GaveUp() const { return gaveUp_; }

  private:
    wchar_t At(uint32_t t) const { return context_.transform(text_[t]); }
    bool Literal(wchar_t unit, uint32_t t) const {
        return t < end_ && context_.compare(unit, At(t), context_.pinyin);
    }
    bool ClassHolds(uint32_t open, wchar_t c) const;
    bool IsWordBreak(uint32_t t) const {
        if (t >= end_) return false;
        const wint_t c = text_[t];
        return std::iswspace(c) || std::iswpunct(c);
    }

    // Program positions are doubled in a scope's set: the second half records the positions
    // at which an advancing entry has already walked, so each walk is made once per scope.
    bool Visit(uint32_t p, uint32_t t) { return Insert(p, t); }
    bool VisitWalk(uint32_t p, uint32_t t) { return Insert(p + size_ + 1, t); }
    bool Insert(uint32_t p, uint32_t t) {
        if (depth_ == 0) return outer_.Insert(p, t);
        const Trial& trial = trials_[depth_ - 1];
        uint32_t& stamp = Stamp(p, t);
        if (stamp == trial.id) return false;
        // A state last explored by a finished trial of the same negated item leads at most to
        // the ends that trial found: when this trial's negation already starts beyond them,
        // the state has nothing to add.
        if (stamp != 0) {
            const uint32_t bound = trialBounds_[stamp];
            if (bound < kNegationFails && stack_[trial.entry].t >= bound) return false;
        }
        stamp = trial.id;
        return true;
    }
    uint32_t& Stamp(uint32_t p, uint32_t t) {
        auto& row = stamps_[p];
        if (!row) row.reset(new uint32_t[size_t{end_} + 1]());
        return row[t];
    }
    // Counts a step taken inside a negated item; false (and the match given up) once the
    // budget is spent.
    bool Spend() {
        if (depth_ == 0 || ++steps_ <= budget_) return true;
        gaveUp_ = true;
        return false;
    }

    void BeginTrial(uint32_t open, uint32_t t);
    void EndTrial(uint32_t result);
    bool Resume(uint32_t& p, uint32_t& t);  // pops until a new state; false when none is left

    std::wstring_view program_;
    const ProgramLinks& links_;
    std::wstring_view text_;
    const MatchContext& context_;
    const uint32_t size_;
    const uint32_t end_;

    std::vector<Entry> stack_;
    StateSet outer_;
    std::vector<Trial> trials_;  // reused; the first depth_ are active
    size_t depth_ = 0;
    // Negated items are tried from many start positions; rather than clear a set for each
    // trial, every state keeps the id of the last trial that explored it (one row of stamps a
    // program position, made when first needed), and each finished trial its result.
    std::vector<std::unique_ptr<uint32_t[]>> stamps_;
    std::vector<uint32_t> trialBounds_;  // by trial id: kTrialActive, kNegationFails or walk start
    uint32_t lastTrialId_ = 0;
    uint64_t steps_ = 0;
    uint64_t budget_ = 0;
    bool gaveUp_ = false;
    std::unordered_map<uint64_t, uint32_t> trialResults_;  // (open, start) -> walk start
};

bool Runner::ClassHolds(uint32_t open, wchar_t c) const {
    const uint32_t close = links_.close[open];
    uint32_t i = open + 1;
    while (i < close) {
        wchar_t low = program_[i];
        if (low == kOpEscape) low = program_[++i];
        ++i;
        wchar_t high = low;
        if (i < close && program_[i] == L'-') {
            if (i + 1 == close) {
                high = 0xFFFF;  // "a-" at the end runs to the last code
                i = close;
            } else {
                ++i;
                if (program_[i] == kOpEscape) ++i;
                high = program_[i++];
            }
        }
        if (c >= low && c <= high) return true;
    }
    return false;
}

void Runner::BeginTrial(uint32_t open, uint32_t t) {
    const uint32_t close = links_.close[open];
    stack_.push_back({close + 1, t, EntryKind::Trying});
    if (depth_ == trials_.size()) trials_.push_back({});
    Trial& trial = trials_[depth_++];
    trial.entry = stack_.size() - 1;
    trial.open = open;
    trial.start = t;
    if (stamps_.empty()) {
        // Walks are recorded in the second half.
        stamps_.resize(2 * (size_t{size_} + 1));
        trialBounds_.push_back(kNegationFails);  // id 0: no trial
    }
    if (lastTrialId_ >= kTrialActive - 1) {
        // Out of ids: forget what earlier trials explored (their results stay known).
        for (auto& row : stamps_) row.reset();
        trialBounds_.resize(1);
        for (size_t i = 0; i + 1 < depth_; ++i) {
            trials_[i].id = static_cast<uint32_t>(trialBounds_.size());
            trialBounds_.push_back(kTrialActive);
        }
        lastTrialId_ = static_cast<uint32_t>(trialBounds_.size() - 1);
    }
    trial.id = ++lastTrialId_;
    trialBounds_.push_back(kTrialActive);
}

void Runner::EndTrial(uint32_t result) {
    const Trial& trial = trials_[--depth_];
    trialResults_[(uint64_t{trial.open} << 32) | trial.start] = result;
    trialBounds_[trial.id] = result;
}

bool Runner::Resume(uint32_t& p, uint32_t& t) {
    while (!stack_.empty()) {
        if (!Spend()) return false;
        Entry e = stack_.back();
        stack_.pop_back();
        if (e.kind == EntryKind::Trying) {
            // Every way through the negated item has been tried: the negation matches from its
            // start to e.t and beyond.
            EndTrial(e.t);
            e.kind = EntryKind::Advancing;
        }
        if (e.kind == EntryKind::Advancing) {
            if (!VisitWalk(e.p, e.t)) continue;  // this walk was made before in this scope
            if (e.t < end_) stack_.push_back({e.p, e.t + 1, EntryKind::Advancing});
        }
        if (!Visit(e.p, e.t)) continue;
        p = e.p;
        t = e.t;
        return true;
    }
    return false;
}

bool Runner::Run() {
    outer_.Reset(0, 2 * (size_ + 1), 0, end_);
    stack_.reserve(64);
    uint32_t p = 0, t = 0;
    bool fresh = true;  // (p, t) not yet recorded
    for (;;) {
        if (!Spend()) return false;
        bool fail = false;
        if (p >= size_) {
            if (t == end_) return true;
            fail = true;
        } else {
            const wchar_t unit = program_[p];
            switch (unit) {
                case kOpAnySequence:
                    if (fresh && !Visit(p, t)) {
                        fail = true;
                        break;
                    }
                    // Shortest first: the rest with an empty sequence, then one longer.
                    if (t < end_) stack_.push_back({p, t + 1, EntryKind::Plain});
                    ++p;
                    break;
                case kOpAnyChar:
                    if (t >= end_) {
                        fail = true;
                    } else {
                        ++p;
                        ++t;
                    }
                    break;
                case kOpGroupOpen:
                    if (fresh && !Visit(p, t)) {
                        fail = true;
                        break;
                    }
                    for (uint32_t alt = links_.next[p]; program_[alt] == kOpAlternative;
                         alt = links_.next[alt])
                        stack_.push_back({alt + 1, t, EntryKind::Plain});
                    ++p;
                    break;
                case kOpAlternative:  // an alternative has matched: leave the group
                    p = links_.close[p] + 1;
                    break;
                case kOpGroupClose:
                    ++p;
                    break;
                case kOpNotOpen: {
                    if (fresh && !Visit(p, t)) {
                        fail = true;
                        break;
                    }
                    auto known = trialResults_.find((uint64_t{p} << 32) | t);
                    if (known == trialResults_.end()) {
                        BeginTrial(p, t);
                        ++p;
                    } else if (known->second == kNegationFails) {
                        fail = true;
                    } else {
                        // Tried before from here: continue as the trial's end would.
                        stack_.push_back(
                            {links_.close[p] + 1, known->second, EntryKind::Advancing});
                        fail = true;
                    }
                    break;
                }
                case kOpNotClose: {
                    // The negated item matched up to t: the negation must reach beyond t, and
                    // fails altogether when the item can reach the text's end.
                    if (depth_ == 0) {  // only reachable through a negation open
                        fail = true;
                        break;
                    }
                    Trial& trial = trials_[depth_ - 1];
                    if (t == end_) {
                        stack_.resize(trial.entry);
                        EndTrial(kNegationFails);
                    } else {
                        Entry& e = stack_[trial.entry];
                        if (e.t < t + 1) e.t = t + 1;
                    }
                    fail = true;
                    break;
                }
                case kOpNotClassOpen:
                    if (t >= end_ || ClassHolds(p, At(t))) {
                        fail = true;
                    } else {
                        p = links_.close[p] + 1;
                        ++t;
                    }
                    break;
                case kOpClass:
                    if (t >= end_ || !ClassHolds(p, At(t))) {
                        fail = true;
                    } else {
                        p = links_.close[p] + 1;
                        ++t;
                    }
                    break;
                case kOpRepeatOpen:
                    if (fresh && !Visit(p, t)) {
                        fail = true;
                        break;
                    }
                    // Zero repetitions first; one more from here on failure.
                    stack_.push_back({p + 1, t, EntryKind::Plain});
                    p = links_.close[p] + 1;
                    break;
                case kOpRepeatClose:  // the item matched once more: try another round
                    p = links_.close[p];
                    break;
                case kOpWordStart:
                    if (t == 0) {
                        ++p;
                    } else if (IsWordBreak(t)) {
                        ++p;
                        ++t;
                    } else {
                        fail = true;
                    }
                    break;
                case kOpWordEnd:
                    if (t == 0 || t == end_) {
                        ++p;
                    } else if (IsWordBreak(t)) {
                        ++p;
                        ++t;
                    } else {
                        fail = true;
                    }
                    break;
                case kOpEscape:
                    if (Literal(program_[p + 1], t)) {
                        p += 2;
                        ++t;
                    } else {
                        fail = true;
                    }
                    break;
                default:
                    if (Literal(unit, t)) {
                        ++p;
                        ++t;
                    } else {
                        fail = true;
                    }
                    break;
            }
        }
        fresh = true;
        if (fail) {
            if (!Resume(p, t)) return false;
            fresh = false;
        }
    }
}

template <TransformKind kKind>
inline wchar_t Transform(wchar_t c, const wchar_t* upper) {
    if constexpr (kKind == TransformKind::Path || kKind == TransformKind::PathUpper) {
        if (c == L'/') return L'\\';
    }
    if constexpr (kKind == TransformKind::Upper || kKind == TransformKind::PathUpper) {
        return c < 0x80 ? FoldUpperAscii(c) : upper[c];
    }
    return c;
}

// Literals, * and ?: the classic two-cursor match that returns to the last * on a mismatch.
// Equivalent to the general search for these programs and needs no memory. The transform and
// the plain comparison are inlined for the usual case.
template <TransformKind kKind>
bool RunSimple(std::wstring_view program, const ProgramLinks& links, std::wstring_view text,
               const MatchContext& context) {
    const wchar_t* upper = UpperUnitTable();
    auto accepts = [&](wchar_t unit, wchar_t c) {
        if constexpr (kKind == TransformKind::Other) {
            return context.compare(unit, context.transform(c), context.pinyin);
        } else {
            const wchar_t x = Transform<kKind>(c, upper);
            return unit == x || (!context.plainCompare && context.compare(unit, x, context.pinyin));
        }
    };
    auto fixed = [&](std::wstring_view piece, size_t at) {
        for (size_t i = 0; i < piece.size(); ++i)
            if (piece[i] != kOpAnyChar && !accepts(piece[i], text[at + i])) return false;
        return true;
    };
    // The pieces before the first * and after the last * have fixed lengths: they must sit at
    // the text's start and end, which settles most names without any search.
    const size_t firstStar = links.firstStar;
    if (firstStar == std::wstring_view::npos)
        return program.size() == text.size() && fixed(program, 0);
    const size_t lastStar = links.lastStar;
    const size_t tailLength = program.size() - lastStar - 1;
    if (firstStar + tailLength > text.size()) return false;
    if (!fixed(program.substr(lastStar + 1), text.size() - tailLength)) return false;
    if (!fixed(program.substr(0, firstStar), 0)) return false;

    // Between them: * piece * piece ... *, each piece taken at its leftmost place.
    size_t p = firstStar, t = firstStar;
    size_t starP = std::wstring_view::npos, starT = 0;
    const size_t size = lastStar + 1, end = text.size() - tailLength;
    // After a * the next literal decides where the piece can start: skip to such places.
    auto skipToLiteral = [&] {
        if (p < size && program[p] != kOpAnyChar && program[p] != kOpAnySequence) {
            const wchar_t unit = program[p];
            while (t < end && !accepts(unit, text[t])) ++t;
        }
        starT = t;
    };
    while (t < end) {
        if (p < size) {
            const wchar_t unit = program[p];
            if (unit == kOpAnySequence) {
                starP = p++;
                starT = t;
                skipToLiteral();
                continue;
            }
            if (unit == kOpAnyChar || accepts(unit, text[t])) {
                ++p;
                ++t;
                continue;
            }
        }
        if (starP == std::wstring_view::npos) return false;
        p = starP + 1;
        t = ++starT;
        skipToLiteral();
    }
    while (p < size && program[p] == kOpAnySequence) ++p;
    return p == size;
}

}  // namespace

RunResult RunPattern(std::wstring_view program, const ProgramLinks& links, std::wstring_view text,
                     const MatchContext& context) {
    if (links.simple) {
        bool match;
        switch (context.kind) {
            case TransformKind::Identity:
                match = RunSimple<TransformKind::Identity>(program, links, text, context);
                break;
            case TransformKind::Upper:
                match = RunSimple<TransformKind::Upper>(program, links, text, context);
                break;
            case TransformKind::Path:
                match = RunSimple<TransformKind::Path>(program, links, text, context);
                break;
            case TransformKind::PathUpper:
                match = RunSimple<TransformKind::PathUpper>(program, links, text, context);
                break;
            default:
                match = RunSimple<TransformKind::Other>(program, links, text, context);
                break;
        }
        return match ? RunResult::Match : RunResult::NoMatch;
    }
    Runner runner(program, links, text, context);
    if (runner.Run()) return RunResult::Match;
    return runner.GaveUp() ? RunResult::GaveUp : RunResult::NoMatch;
}

}  // namespace kwill::text
