// Regular-expression handles: one abstract interface with two engines behind it, the standard
// library's (ECMAScript grammar) and the library's own. The handle is what the RegExp exports
// give out; its virtual functions keep a fixed order because that order is part of the handle's
// binary shape (slot 0 destroys the object).
#pragma once

#include "frame/pinyin_table.h"
#include "text/regex_engine.h"
#include "text/regex_error.h"
#include "text/regex_std.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace kwill {

// A 32-bit lock word, 0 free and 1 held; a waiting thread gives up its time slice between tries.
class RegexSpinLock {
  public:
    void lock();
    void unlock() { word_.store(0, std::memory_order_release); }

  private:
    std::atomic<uint32_t> word_{0};
};

enum RegexEngine : uint32_t {
    kRegexEngineDefault = 0,  // the library flags choose
    kRegexEngineOwn = 1,      // any non-zero value other than 2
    kRegexEngineStd = 2,
};

class RegExWrapper {
  public:
    virtual void Destroy() = 0;  // slot 0
    virtual int Parsed() = 0;    // did the last compilation succeed
    virtual int Unicode() = 0;   // does the pattern hold a unit above 0xFF
    virtual int Compile(const wchar_t* pattern) = 0;
    // Searches text; any non-zero caseSensitive is true. When results is given it receives the
    // results object of a match (null otherwise), which the caller frees with FreeResults.
    virtual int Match(const wchar_t* text, int caseSensitive, void** results) = 0;
    // Expands a replacement template from the groups of a match into out (outSize units).
    virtual int Replace(void* results, uint32_t* error, const wchar_t* tmpl, wchar_t* out,
                        int outSize) = 0;
    virtual void FreeResults(void* results) = 0;
    virtual uint32_t CompileError() = 0;
    virtual uint32_t ErrorMsg(uint32_t code) = 0;
    virtual int CountCaptureGroups(void* results) = 0;

  protected:
    ~RegExWrapper() = default;
    RegexSpinLock lock_;
};

// The standard engine. Its case flag starts false, so a new handle ignores case until a match
// asks otherwise; changing the flag recompiles the kept pattern.
template <typename Char>
class RegExWrapper_TR1;

template <>
class RegExWrapper_TR1<wchar_t> final : public RegExWrapper {
  public:
    void Destroy() override;
    int Parsed() override { return parsed_; }
    int Unicode() override { return unicode_; }
    int Compile(const wchar_t* pattern) override;
    int Match(const wchar_t* text, int caseSensitive, void** results) override;
    int Replace(void* results, uint32_t* error, const wchar_t* tmpl, wchar_t* out,
                int outSize) override;
    void FreeResults(void* results) override;
    uint32_t CompileError() override { return error_; }
    uint32_t ErrorMsg(uint32_t code) override { return RegexErrorStringId(code); }
    int CountCaptureGroups(void* results) override;

  private:
    void CompileLocked(const wchar_t* pattern);

    StdRegex regex_;
    std::wstring pattern_;
    bool caseSensitive_ = false;
    bool compiled_ = false;  // a pattern has been compiled (successfully or not)
    uint32_t error_ = 0;
    int parsed_ = 0;
    int unicode_ = 0;
};

// The own engine. Matching reports its failures (empty text, damaged program, work limit) in
// the handle's error code; a match hands out a RegexCaptures block when results is given.
class RegExWrapper_Std final : public RegExWrapper, public RegExp {
  public:
    void Destroy() override;
    int Parsed() override { return parsed_; }
    int Unicode() override { return unicode_; }
    int Compile(const wchar_t* pattern) override;
    int Match(const wchar_t* text, int caseSensitive, void** results) override;
    int Replace(void* results, uint32_t* error, const wchar_t* tmpl, wchar_t* out,
                int outSize) override;
    void FreeResults(void* results) override;
    uint32_t CompileError() override { return lastError_; }
    uint32_t ErrorMsg(uint32_t code) override { return RegexErrorStringId(code); }
    int CountCaptureGroups(void* results) override;

  private:
    PinyinInitialsTable pinyin_{};
    bool hasPinyin_ = false;
    uint32_t lastError_ = kRegexNullPattern;
    int parsed_ = 0;
    int unicode_ = 0;
};

// A new handle for the engine choice (0: the library flags decide), with the pattern compiled
// when it is not null. Null only when memory runs out.
RegExWrapper* NewRegExWrapper(const wchar_t* pattern, uint32_t engine);

// True for the units that have a meaning in the pattern syntax.
bool IsRegexSyntaxChar(wchar_t c);

// Reads group n of a results object; false for a group that did not take part or is absent.
using RegexGroupFn = bool (*)(const void* results, int n, const wchar_t** start,
                              const wchar_t** end);

// Expands a template into out: '&' is group 0, '\' and a digit that group, "\\" and "\&" the
// character itself, any other '\' stays; with namedGroups also ":group::N::" (any letter case).
// Writes at most outSize - 2 units and always terminates out; false with *error 23 when the text
// does not fit, or 28 when stopAtTerminator is set and a captured piece holds a terminator.
bool ExpandRegexTemplate(const wchar_t* tmpl, RegexGroupFn group, const void* results,
                         bool namedGroups, bool stopAtTerminator, wchar_t* out, int outSize,
                         uint32_t* error);

}  // namespace kwill
