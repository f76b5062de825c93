// Regular-expression handle exports. A handle is a RegExWrapper; every export does nothing and
// returns 0 for a null handle, and no exception leaves an export.
#include "exports/export.h"
#include "text/regex_handle.h"

#include <cstdint>

using kwill::RegExWrapper;

namespace {

RegExWrapper* Handle(void* handle) {
    return static_cast<RegExWrapper*>(handle);
}

}  // namespace

// A new handle. engine 2 chooses the standard library's ECMAScript engine, any other non-zero
// value the library's own engine, and 0 lets library flag 0x40 decide (set: own engine). The
// pattern, when not null, is compiled at once; a failed compilation still gives a handle, whose
// RegExpParsed is 0. Null only when memory runs out.
KWILL_EXPORT void* RegExpAllocW(const wchar_t* pattern, DWORD engine) {
    try {
        return kwill::NewRegExWrapper(pattern, engine);
    } catch (...) {
        return nullptr;
    }
}

// Destroys a handle; null is ignored. Results objects must have been freed before.
KWILL_EXPORT void RegExpFree(void* handle) {
    if (handle) Handle(handle)->Destroy();
}

// 1 if the last compilation succeeded.
KWILL_EXPORT BOOL RegExpParsed(void* handle) {
    return handle ? Handle(handle)->Parsed() : 0;
}

// 1 if the pattern last compiled holds a unit above 0xFF.
KWILL_EXPORT BOOL RegExpUnicode(void* handle) {
    return handle ? Handle(handle)->Unicode() : 0;
}

// Compiles a new pattern into the handle; 1 on success, else RegExpCompileError tells why. The
// standard engine compiles a null pattern as the empty one; the own engine refuses it (error 1).
KWILL_EXPORT BOOL RegExpCompileW(void* handle, const wchar_t* pattern) {
    if (!handle) return 0;
    try {
        return Handle(handle)->Compile(pattern);
    } catch (...) {
        return 0;
    }
}

// 1 if the text holds a match. caseSensitive: any non-zero value is true (the standard engine
// recompiles when it changes). results, when not null, receives the results object of a match
// (null on no match), to be freed with RegExpFreeResults on the same handle. The own engine
// fails with error 21 for a null or empty text.
KWILL_EXPORT BOOL RegExpMatchW(void* handle, const wchar_t* text, DWORD caseSensitive,
                               void** results) {
    if (!handle) return 0;
    try {
        return Handle(handle)->Match(text, caseSensitive != 0, results);
    } catch (...) {
        return 0;
    }
}

// Expands a replacement template from a match's results into out (outSize units): '&' is the
// whole match, '\' and a digit a group, "\\" and "\&" the character itself, and with the standard
// engine ":group::N::" group N. At most outSize - 2 units of text are written and out is always
// terminated; text that does not fit fails with error 23, keeping what was written. error may be
// null. The own engine needs a template and results (error 26 otherwise).
KWILL_EXPORT BOOL RegExpReplaceW(void* handle, void* results, DWORD* error, const wchar_t* tmpl,
                                 wchar_t* out, int outSize) {
    if (!handle) return 0;
    uint32_t code = 0;
    BOOL ok = FALSE;
    try {
        ok = Handle(handle)->Replace(results, &code, tmpl, out, outSize);
    } catch (...) {
        code = kwill::kRegexNoMemory;
    }
    if (error) *error = code;
    return ok;
}

// Frees a results object of RegExpMatchW (null is ignored).
KWILL_EXPORT void RegExpFreeResults(void* handle, void* results) {
    if (handle && results) Handle(handle)->FreeResults(results);
}

// The handle's last error code: of the last compilation, or of a match that failed with an error.
KWILL_EXPORT DWORD RegExpCompileError(void* handle) {
    return handle ? Handle(handle)->CompileError() : 0;
}

// The language string id for an error code (10500 to 10527), 0 for 0 or an unknown code.
KWILL_EXPORT DWORD RegExpErrorMsg(void* handle, DWORD code) {
    return handle ? Handle(handle)->ErrorMsg(code) : 0;
}

// The language string id of the handle's last error.
KWILL_EXPORT DWORD RegExpCompileErrorMsg(void* handle) {
    if (!handle) return 0;
    RegExWrapper* h = Handle(handle);
    return h->ErrorMsg(h->CompileError());
}

// The number of groups in a results object, not counting the whole match for the standard
// engine; the own engine counts the set groups from group 0 up to the first unset one.
KWILL_EXPORT int RegExpCountCaptureGroups(void* handle, void* results) {
    return handle ? Handle(handle)->CountCaptureGroups(results) : 0;
}

// 1 for the characters with a meaning in the pattern syntax: $ ( ) * + . ? [ \ ] ^ |
KWILL_EXPORT BOOL RegExpIsValidCharW(WORD c) {
    return kwill::IsRegexSyntaxChar(static_cast<wchar_t>(c));
}
