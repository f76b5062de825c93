// The matcher is a backtracking search over (program position, text position) states with an
// explicit failure stack, so that neither a long text nor a long pattern can exhaust the
// machine stack. Whether a state can lead to a match depends only on the state, so every state
// is explored at most once: a state seen before has nothing new to offer and fails at once,
// which bounds the work of patterns such as *a*a*a*a*b or #(*|*). A negated item is the one
// place where that does not hold (what matters there is how far the item reaches, not whether
// it reaches the end), so the search never walks into one. Met from a start, the item is
// searched on its own for its furthest end, which is cheap for the usual negation met from one
// or two starts; once such searches have done as much work as the whole match may, or when the
// item holds a negation itself, the item is worked out for every start at once.
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
    // Returns the size of the set in 64-bit words.
    uint64_t Reset(uint32_t pBegin, uint32_t pCount, uint32_t tBegin, uint32_t tEnd) {
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
        return (bits + 63) / 64;
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
};

struct Entry {
    uint32_t p;
    uint32_t t;
    EntryKind kind;
};

// The failure stack: most matches need a few entries, which live inline, so that a match of a
// short name allocates nothing.
class EntryStack {
  public:
    bool empty() const { return size_ == 0; }
    void clear() { size_ = 0; }
    const Entry& back() const { return data_[size_ - 1]; }
    void pop_back() { --size_; }
    void push_back(const Entry& e) {
        if (size_ == capacity_) Grow();
        data_[size_++] = e;
    }

  private:
    void Grow() {
        heap_.resize(capacity_ * 2);
        if (data_ == inline_) std::copy(inline_, inline_ + size_, heap_.begin());
        data_ = heap_.data();
        capacity_ = heap_.size();
    }

    Entry inline_[32];
    Entry* data_ = inline_;
    size_t size_ = 0;
    size_t capacity_ = 32;
    std::vector<Entry> heap_;
};

// A negation's answer for a start where its item reaches the text's end.
constexpr uint32_t kNegationFails = 0xFFFFFFFF;
constexpr int32_t kNoEnd = -1;
constexpr int32_t kAbandoned = -2;
// Every negation needs a column of cells as long as the text (two while the negation around it
// is worked out): a pattern of thousands of negations on a name of a million characters would
// need tens of gigabytes. Past 512 MB the match fails for want of memory.
constexpr uint64_t kMaxNegationCells = uint64_t{128} << 20;

class Runner {
  public:
    Runner(std::wstring_view program, const ProgramLinks& links, std::wstring_view text,
           const MatchContext& context)
        : program_(program),
          links_(links),
          text_(text),
          context_(context),
          size_(static_cast<uint32_t>(program.size())),
          end_(static_cast<uint32_t>(text.size())),
          itemSteps_(context.searchNegationsPerStart ? (uint64_t{size_} + 1) * (uint64_t{end_} + 1)
                                                     : 0) {}

    bool Run();

  private:
    // One search over the states of a stretch of the program: the whole program against the
    // whole text, or a negated item from one start, where what counts is the furthest end the
    // item reaches.
    struct Scope {
        uint32_t begin;  // first program position
        uint32_t stop;   // reaching it completes a way through
        uint32_t start;  // text position of the first state
        StateSet states;
        EntryStack stack;
    };
    // The whole program (kItem false): 1 on a match, else 0. A negated item (kItem true): the
    // furthest end reached, kNoEnd, or kAbandoned when the item holds a negation of its own or
    // the steps allowed to item searches are spent.
    template <bool kItem>
    int32_t Search(Scope& scope);

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

    // Program positions are doubled in a scope's state set: the second half records the
    // positions at which an advancing entry has already walked, so each walk is made once.
    static bool Visit(Scope& scope, uint32_t p, uint32_t t) { return scope.states.Insert(p, t); }
    static bool VisitWalk(Scope& scope, uint32_t p, uint32_t t) {
        return scope.states.Insert(p + (scope.stop - scope.begin + 1), t);
    }
    // Pops until a new state; false when none is left.
    bool Resume(Scope& scope, uint32_t& p, uint32_t& t);

    // Where the negation opened at `open` lets the rest continue when it starts at t: from the
    // returned position on, or nowhere (kNegationFails).
    uint32_t NegationWalk(uint32_t open, uint32_t t);
    void BuildNegation(uint32_t open);

    std::wstring_view program_;
    const ProgramLinks& links_;
    std::wstring_view text_;
    const MatchContext& context_;
    const uint32_t size_;
    const uint32_t end_;

    Scope outer_;
    Scope item_;
    // Steps left to searches of negated items from single starts; once they are spent, every
    // negation met is worked out for all starts at once.
    uint64_t itemSteps_ = 0;
    // By program position of a negation open, once needed: its walk start for every text start.
    std::vector<std::vector<uint32_t>> negations_;
    uint64_t cells_ = 0;  // 32-bit cells held for negations (answers and work arrays)
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

uint32_t Runner::NegationWalk(uint32_t open, uint32_t t) {
    if (!negations_.empty() && !negations_[open].empty()) return negations_[open][t];
    if (itemSteps_ > 0) {
        // Most negations are met from a few starts only: search the item from this one.
        item_.begin = open + 1;
        item_.stop = links_.close[open];
        item_.start = t;
        const int32_t furthest = Search<true>(item_);
        if (furthest != kAbandoned) {
            if (furthest == static_cast<int32_t>(end_)) return kNegationFails;
            return furthest == kNoEnd ? t : static_cast<uint32_t>(furthest) + 1;
        }
    }
    // Otherwise work it out for all starts, and the negations nested in it first, innermost
    // (earliest close) first.
    if (negations_.empty()) negations_.resize(size_);
    std::vector<uint32_t> nested;
    const uint32_t close = links_.close[open];
    for (uint32_t i = open + 1; i < close;) {
        const wchar_t unit = program_[i];
        if (unit == kOpClass || unit == kOpNotClassOpen) {
            i = links_.close[i] + 1;
        } else if (unit == kOpEscape) {
            i += 2;
        } else {
            if (unit == kOpNotOpen && negations_[i].empty()) nested.push_back(i);
            ++i;
        }
    }
    std::sort(nested.begin(), nested.end(),
              [&](uint32_t a, uint32_t b) { return links_.close[a] < links_.close[b]; });
    // Refuse at once what would run out of memory half way.
    if (cells_ + (uint64_t{end_} + 2) * (2 * nested.size() + 1) > kMaxNegationCells)
        throw std::bad_alloc();
    for (uint32_t inner : nested) BuildNegation(inner);
    BuildNegation(open);
    return negations_[open][t];
}

// The negation ~X started at s matches every stretch [s, e) with e beyond the furthest end that
// X reaches from s, and nothing when X reaches the text's end. So what is needed of X is its
// furthest end from every start. That is a maximum over reachable states, computed for all
// states of the item at once, one text position at a time from the text's end backwards: a
// state that consumes a character takes the value of its successor one position on (already
// known), and the states that consume nothing form a graph within the position, walked from
// the item's end back to its start. That graph is acyclic but for the return from a
// repetition's close to its open: inside a repetition a state takes, besides what it reaches
// directly, the value of the repetition's open when it can reach the repetition's close, and
// that is settled in a second, forward walk. Negations nested in X come with their own answers
// and stand in the graph as one state. The work is item length x text length, for every start.
void Runner::BuildNegation(uint32_t open) {
    const uint32_t close = links_.close[open];
    const uint32_t base = open + 1;
    const uint32_t span = close - open;  // states base .. close
    constexpr uint32_t kNone = 0xFFFFFFFF;

    // The states of the item in program order, each with the open of the innermost repetition
    // around it (the repetition's own open for its close). Nested negations count as one state.
    struct State {
        uint32_t p;
        uint32_t loop;
        uint32_t nested;  // for a nested negation: its index in `suffix`
    };
    std::vector<State> states;
    std::vector<uint32_t> loops;
    std::vector<uint32_t> nestedOpens;
    for (uint32_t i = base; i <= close;) {
        const wchar_t unit = program_[i];
        const uint32_t loop = loops.empty() ? kNone : loops.back();
        switch (unit) {
            case kOpClass:
            case kOpNotClassOpen:
                states.push_back({i, loop, kNone});
                i = links_.close[i] + 1;
                continue;
            case kOpEscape:
                states.push_back({i, loop, kNone});
                i += 2;
                continue;
            case kOpNotOpen:
                states.push_back({i, loop, static_cast<uint32_t>(nestedOpens.size())});
                nestedOpens.push_back(i);
                i = links_.close[i] + 1;
                continue;
            case kOpRepeatOpen:
                states.push_back({i, loop, kNone});
                loops.push_back(i);
                ++i;
                continue;
            case kOpRepeatClose:
                states.push_back({i, loop, kNone});
                loops.pop_back();
                ++i;
                continue;
            default:
                break;
        }
        states.push_back({i, loop, kNone});
        ++i;
    }

    // For each nested negation, over text positions e: the furthest end of X from the state
    // after that negation at any position from e on (suffix[n + 1] stays "none").
    const uint64_t column = uint64_t{end_} + 2;
    cells_ += column * (nestedOpens.size() + 1);  // checked against the limit beforehand
    std::vector<std::vector<int32_t>> suffix(nestedOpens.size(),
                                             std::vector<int32_t>(column, kNoEnd));
    std::vector<int32_t> direct(span + 1), here(span + 1), next(span + 1, kNoEnd);
    std::vector<uint8_t> reachesLoop(span + 1);
    std::vector<uint32_t>& table = negations_[open];
    table.assign(size_t{end_} + 1, kNegationFails);

    for (uint32_t t = end_ + 1; t-- > 0;) {
        const bool more = t < end_;
        // Backward over the states: what each reaches without the repetitions' returns, and
        // whether it reaches the close of its innermost repetition.
        for (size_t k = states.size(); k-- > 0;) {
            const State& s = states[k];
            const uint32_t p = s.p;
            const uint32_t x = p - base;
            int32_t value = kNoEnd;
            bool loop = false;
            auto through = [&](uint32_t q) {  // consumes nothing, goes on at q
                value = std::max(value, direct[q - base]);
                loop = loop || reachesLoop[q - base];
            };
            auto consume = [&](uint32_t q) {  // consumes the character at t, goes on at q
                if (more) value = std::max(value, next[q - base]);
            };
            if (p == close) {
                value = static_cast<int32_t>(t);
            } else {
                switch (program_[p]) {
                    case kOpAnySequence:
                        through(p + 1);
                        consume(p);
                        break;
                    case kOpAnyChar:
                        consume(p + 1);
                        break;
                    case kOpGroupOpen:
                        through(p + 1);
                        for (uint32_t alt = links_.next[p]; program_[alt] == kOpAlternative;
                             alt = links_.next[alt])
                            through(alt + 1);
                        break;
                    case kOpAlternative:
                        through(links_.close[p] + 1);
                        break;
                    case kOpGroupClose:
                        through(p + 1);
                        break;
                    case kOpNotOpen: {
                        const uint32_t after = links_.close[p] + 1;
                        const uint32_t walk = negations_[p][t];
                        if (walk == kNegationFails) break;
                        value = suffix[s.nested][std::max(walk, t + 1)];
                        if (walk == t) through(after);
                        break;
                    }
                    case kOpNotClassOpen:
                    case kOpClass:
                        if (more && ClassHolds(p, At(t)) == (program_[p] == kOpClass))
                            consume(links_.close[p] + 1);
                        break;
                    case kOpRepeatOpen: {
                        // Into the body or past it; what the body reaches through its own
                        // close comes back here and adds nothing.
                        const uint32_t after = links_.close[p] + 1;
                        value = direct[p + 1 - base];
                        through(after);
                        loop = reachesLoop[after - base];
                        break;
                    }
                    case kOpRepeatClose:
                        // Back to the open: for now what leaving the repetition reaches.
                        through(p + 1);
                        loop = true;
                        break;
                    case kOpWordStart:
                        if (t == 0)
                            through(p + 1);
                        else if (IsWordBreak(t))
                            consume(p + 1);
                        break;
                    case kOpWordEnd:
                        if (t == 0 || t == end_)
                            through(p + 1);
                        else if (IsWordBreak(t))
                            consume(p + 1);
                        break;
                    case kOpEscape:
                        if (Literal(program_[p + 1], t)) consume(p + 2);
                        break;
                    default:
                        if (Literal(program_[p], t)) consume(p + 1);
                        break;
                }
            }
            direct[x] = value;
            reachesLoop[x] = loop;
        }
        // Forward: a state that reaches its repetition's close reaches all its open does.
        for (const State& s : states) {
            const uint32_t x = s.p - base;
            int32_t value = direct[x];
            if (reachesLoop[x] && s.loop != kNone) value = std::max(value, here[s.loop - base]);
            here[x] = value;
        }
        for (size_t i = 0; i < nestedOpens.size(); ++i) {
            const uint32_t after = links_.close[nestedOpens[i]] + 1;
            suffix[i][t] = std::max(suffix[i][t + 1], here[after - base]);
        }
        const int32_t furthest = here[0];
        if (furthest == static_cast<int32_t>(end_))
            table[t] = kNegationFails;
        else
            table[t] = furthest == kNoEnd ? t : static_cast<uint32_t>(furthest) + 1;
        std::swap(here, next);
    }
    // The nested negations are only ever seen through this one.
    for (uint32_t inner : nestedOpens) std::vector<uint32_t>().swap(negations_[inner]);
    cells_ -= column * (2 * nestedOpens.size());
}

bool Runner::Resume(Scope& scope, uint32_t& p, uint32_t& t) {
    EntryStack& stack = scope.stack;
    while (!stack.empty()) {
        const Entry e = stack.back();
        stack.pop_back();
        if (e.kind == EntryKind::Advancing) {
            if (!VisitWalk(scope, e.p, e.t)) continue;  // this walk was made before
            if (e.t < end_) stack.push_back({e.p, e.t + 1, EntryKind::Advancing});
        }
        if (!Visit(scope, e.p, e.t)) continue;
        p = e.p;
        t = e.t;
        return true;
    }
    return false;
}

bool Runner::Run() {
    outer_.begin = 0;
    outer_.stop = size_;
    outer_.start = 0;
    return Search<false>(outer_) != 0;
}

template <bool kItem>
int32_t Runner::Search(Scope& scope) {
    EntryStack& stack = scope.stack;
    stack.clear();
    const uint64_t words =
        scope.states.Reset(scope.begin, 2 * (scope.stop - scope.begin + 1), scope.start, end_);
    if constexpr (kItem) {
        // Clearing the state set is work too.
        if (itemSteps_ <= words) return kAbandoned;
        itemSteps_ -= words;
    }
    int32_t furthest = kNoEnd;
    uint32_t p = scope.begin, t = scope.start;
    bool fresh = true;  // (p, t) not yet recorded
    for (;;) {
        if constexpr (kItem) {
            if (itemSteps_ == 0) return kAbandoned;
            --itemSteps_;
        }
        bool fail = false;
        if (p >= scope.stop) {
            if constexpr (kItem) {
                // The negation can only go on beyond the furthest end; at the text's end it
                // fails, and nothing further needs looking at.
                if (t == end_) return static_cast<int32_t>(t);
                if (static_cast<int32_t>(t) > furthest) furthest = static_cast<int32_t>(t);
            } else {
                if (t == end_) return 1;
            }
            fail = true;
        } else {
            const wchar_t unit = program_[p];
            switch (unit) {
                case kOpAnySequence:
                    if (fresh && !Visit(scope, p, t)) {
                        fail = true;
                        break;
                    }
                    if (p + 1 < scope.stop && !IsOperatorUnit(program_[p + 1])) {
                        // A literal follows: only where it matches can the rest go on. Skip to
                        // there, recording the states passed over as explored.
                        const wchar_t unit = program_[p + 1];
                        bool seen = false;  // reached a state explored before
                        const uint32_t from = t;
                        while (!seen && t < end_ && !Literal(unit, t)) seen = !Visit(scope, p, ++t);
                        if constexpr (kItem) {
                            if (itemSteps_ <= t - from) return kAbandoned;
                            itemSteps_ -= t - from;
                        }
                        if (seen || t >= end_) {
                            fail = true;
                            break;
                        }
                        stack.push_back({p, t + 1, EntryKind::Plain});
                        p += 2;
                        ++t;
                        break;
                    }
                    // Shortest first: the rest with an empty sequence, then one longer.
                    if (t < end_) stack.push_back({p, t + 1, EntryKind::Plain});
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
                    if (fresh && !Visit(scope, p, t)) {
                        fail = true;
                        break;
                    }
                    for (uint32_t alt = links_.next[p]; program_[alt] == kOpAlternative;
                         alt = links_.next[alt])
                        stack.push_back({alt + 1, t, EntryKind::Plain});
                    ++p;
                    break;
                case kOpAlternative:  // an alternative has matched: leave the group
                    p = links_.close[p] + 1;
                    break;
                case kOpGroupClose:
                    ++p;
                    break;
                case kOpNotOpen: {
                    if constexpr (kItem) return kAbandoned;  // worked out for all starts
                    if (fresh && !Visit(scope, p, t)) {
                        fail = true;
                        break;
                    }
                    const uint32_t walk = NegationWalk(p, t);
                    if (walk != kNegationFails)
                        stack.push_back({links_.close[p] + 1, walk, EntryKind::Advancing});
                    fail = true;
                    break;
                }
                case kOpNotClose:  // only inside a negated item, which is never walked here
                    fail = true;
                    break;
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
                    if (fresh && !Visit(scope, p, t)) {
                        fail = true;
                        break;
                    }
                    // Zero repetitions first; one more from here on failure.
                    stack.push_back({p + 1, t, EntryKind::Plain});
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
            if (!Resume(scope, p, t)) return kItem ? furthest : 0;
            fresh = false;
        }
    }
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
            const wchar_t x = TransformUnit<kKind>(c, upper);
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

bool RunPattern(std::wstring_view program, const ProgramLinks& links, std::wstring_view text,
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
        return match;
    }
    return Runner(program, links, text, context).Run();
}

}  // namespace kwill::text
