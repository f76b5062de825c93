#include "text/regex_std.h"

#include "frame/platform.h"

#include <iterator>
#include <new>

namespace kwill {
namespace {

// Stack the standard compiler and matcher may use per pattern unit, measured generously: the
// compiler recurses once per term and the matcher walks chains of empty transitions whose length
// grows with the pattern.
constexpr size_t kStackPerPatternUnit = 1024;
// Stack the standard matcher may use per unit of text: it recurses at least once for each unit
// that a repeat takes (measured: about 640 bytes for "a*", 1.3 KB for "(a|b)*").
constexpr size_t kStackPerTextUnit = 1536;
// Room kept free below the floor for the frames between two checks and for unwinding.
constexpr size_t kStackMargin = 96 * 1024;
// Stack reserved for the helper thread that takes searches and compilations that need more.
constexpr size_t kLargeStack = 512u * 1024 * 1024;

struct StackLimitReached {};

// Work and stack budget of one search, checked every time the matcher reads the text.
//
// Running out of steps does not throw: unwinding an exception through the matcher's recursion,
// one frame per text unit it holds, cost far more than the search itself on long texts. Instead
// every text position then compares equal to every other, so the matcher sees the end of the
// text wherever it stands and backs out through its own returns; the caller discards whatever it
// answers and reports the budget error. Running out of stack must stop at once, and throws.
struct Budget {
    uint64_t steps = 0;
    uint64_t limit = 0;
    uint64_t stepCost = 1;
    uint64_t pageCost = 0;       // per page of stack below the deepest point so far
    uint64_t descentCost = 0;    // per KB of stack the recursion descends beyond its first MB
    uint64_t descentBytes = 0;   // descended since the last charge, less than a KB
    uintptr_t deepestPage = 0;   // the deepest stack page the search has reached
    uintptr_t shallowFloor = 0;  // the end of the first MB of the search's stack
    uintptr_t lastFrame = 0;
    uintptr_t stackFloor = 0;
    bool exhausted = false;

    void Start() {
        lastFrame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
        deepestPage = lastFrame >> 12;
        shallowFloor = lastFrame > (1u << 20) ? lastFrame - (1u << 20) : 0;
    }

    void Tick() {
        uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
        if (here < stackFloor) throw StackLimitReached();
        steps += stepCost;
        if (here < lastFrame && here < shallowFloor) {
            descentBytes += lastFrame - here;
            steps += (descentBytes >> 10) * descentCost;
            descentBytes &= 1023;
        }
        lastFrame = here;
        uintptr_t page = here >> 12;
        if (page < deepestPage) {
            steps += (deepestPage - page) * pageCost;
            deepestPage = page;
        }
        if (steps > limit) exhausted = true;
    }
};

// A text pointer that charges the budget on every read and comparison.
class BudgetIterator {
  public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = wchar_t;
    using difference_type = std::ptrdiff_t;
    using pointer = const wchar_t*;
    using reference = const wchar_t&;

    BudgetIterator() = default;
    BudgetIterator(const wchar_t* p, Budget* budget) : p_(p), budget_(budget) {}

    reference operator*() const {
        if (budget_) budget_->Tick();
        return *p_;
    }
    BudgetIterator& operator++() {
        ++p_;
        return *this;
    }
    BudgetIterator operator++(int) {
        BudgetIterator old = *this;
        ++p_;
        return old;
    }
    BudgetIterator& operator--() {
        --p_;
        return *this;
    }
    BudgetIterator operator--(int) {
        BudgetIterator old = *this;
        --p_;
        return old;
    }
    friend bool operator==(const BudgetIterator& a, const BudgetIterator& b) {
        if (Budget* budget = a.budget_ ? a.budget_ : b.budget_) {
            budget->Tick();
            if (budget->exhausted) return true;
        }
        return a.p_ == b.p_;
    }
    friend bool operator!=(const BudgetIterator& a, const BudgetIterator& b) { return !(a == b); }
    const wchar_t* get() const { return p_; }

  private:
    const wchar_t* p_ = nullptr;
    Budget* budget_ = nullptr;
};

// The low end of the calling thread's stack reservation.
uintptr_t StackLow() {
    MEMORY_BASIC_INFORMATION info{};
    int probe = 0;
    if (!::VirtualQuery(&probe, &info, sizeof(info))) return 0;
    return reinterpret_cast<uintptr_t>(info.AllocationBase);
}

uintptr_t StackLeft() {
    uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    uintptr_t low = StackLow();
    return here > low ? here - low : 0;
}

// Runs job on a new thread with a large stack and waits for it; false if no thread could start.
template <typename Job>
bool RunOnLargeStack(Job& job) {
    auto entry = [](void* p) -> DWORD {
        (*static_cast<Job*>(p))();
        return 0;
    };
    HANDLE thread = ::CreateThread(nullptr, kLargeStack, entry, &job,
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) return false;
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    return true;
}

size_t StackNeed(size_t patternLength) {
    return kStackMargin + patternLength * kStackPerPatternUnit;
}

}  // namespace

RegexError StdRegex::MapError(std::regex_constants::error_type kind) {
    namespace rc = std::regex_constants;
    switch (kind) {
        case rc::error_collate:
            return kRegexBadCollate;
        case rc::error_ctype:
            return kRegexBadClass;
        case rc::error_escape:
            return kRegexBadEscape;
        case rc::error_backref:
            return kRegexBadBackref;
        case rc::error_brack:
            return kRegexUnmatchedBracket;
        case rc::error_paren:
            return kRegexUnmatchedParen;
        case rc::error_brace:
            return kRegexUnmatchedBrace;
        case rc::error_badbrace:
            return kRegexBadBrace;
        case rc::error_range:
            return kRegexBadRange;
        case rc::error_space:
            return kRegexNoMemory;
        case rc::error_badrepeat:
            return kRegexNestedRepeat;
        case rc::error_complexity:
            return kRegexTooComplex;
        case rc::error_stack:
            return kRegexNoMemory;
        default:
            return kRegexOtherCompile;
    }
}

RegexError StdRegex::Compile(std::wstring_view pattern, bool caseSensitive) {
    regex_.reset();
    patternLength_ = pattern.size();
    auto flags = std::regex_constants::ECMAScript;
    if (!caseSensitive) flags |= std::regex_constants::icase;
    RegexError error = kRegexOk;
    std::unique_ptr<Expression> built;
    auto job = [&] {
        try {
            built.reset(new Expression(pattern.data(), pattern.size(), flags));
        } catch (const std::regex_error& e) {
            error = MapError(e.code());
        } catch (const std::bad_alloc&) {
            error = kRegexNoMemory;
        } catch (...) {
            error = kRegexOtherCompile;
        }
    };
    size_t need = StackNeed(pattern.size());
    if (need <= StackLeft()) {
        job();
    } else if (need > kLargeStack / 2 || !RunOnLargeStack(job)) {
        return kRegexNoMemory;
    }
    if (error == kRegexOk) regex_ = std::move(built);
    return error;
}

bool StdRegex::Search(std::wstring_view text, StdRegexResults* results, RegexError* error,
                      uint64_t stepLimit) const {
    *error = kRegexOk;
    if (!regex_) return false;
    bool found = false;
    bool stackShort = false;
    // One budget for the whole search: a retry on the large stack goes on counting where the
    // first attempt stopped, so the two together never do more than the budget's work.
    Budget budget;
    budget.limit = stepLimit ? stepLimit : StepLimitFor(text.size());
    if (IsShortText(text.size())) {
        const bool caseFolded = (regex_->flags() & std::regex_constants::icase) != 0;
        budget.stepCost = caseFolded ? kCaseFoldStepCost : 1;
        budget.pageCost = kStackPageCost;
        budget.descentCost = kStackDescentCost;
    }
    auto job = [&] {
        budget.stackFloor = StackLow() + StackNeed(patternLength_);
        budget.Start();
        stackShort = false;
        try {
            std::match_results<BudgetIterator> m;
            const wchar_t* base = text.data() ? text.data() : L"";
            BudgetIterator first(base, &budget), last(base + text.size(), &budget);
            found = std::regex_search(first, last, m, *regex_);
            if (budget.exhausted) {
                found = false;
                *error = kRegexTooComplex;
            } else if (found && results) {
                results->start.assign(m.size(), nullptr);
                results->end.assign(m.size(), nullptr);
                for (size_t i = 0; i < m.size(); ++i) {
                    if (!m[i].matched) continue;
                    results->start[i] = m[i].first.get();
                    results->end[i] = m[i].second.get();
                }
            }
        } catch (const StackLimitReached&) {
            found = false;
            stackShort = true;
            *error = kRegexNoMemory;
        } catch (const std::regex_error& e) {
            found = false;
            *error = MapError(e.code());
        } catch (const std::bad_alloc&) {
            found = false;
            *error = kRegexNoMemory;
        }
    };
    // The matcher walks chains of empty transitions as long as the pattern before it reads the
    // text (and meets the checks), so a long pattern goes to the large stack at once.
    size_t need = StackNeed(patternLength_);
    if (need <= StackLeft()) {
        job();
    } else {
        stackShort = true;
        *error = kRegexNoMemory;
    }
    // Retry on a large stack only when the text is short enough to fit there; a longer one
    // would only fill half a gigabyte of stack before failing the same way.
    if (stackShort && need + text.size() * kStackPerTextUnit <= kLargeStack) {
        *error = kRegexOk;
        if (!RunOnLargeStack(job)) *error = kRegexNoMemory;
    }
    return found;
}

}  // namespace kwill
