// The registration engine: applies a table of registry rows forwards (writing keys and values)
// or backwards (removing them again).
#pragma once

#include "frame/platform.h"

#include <span>
#include <string>
#include <string_view>

namespace kwill::shellext {

// A row's anchor is a predefined root key, or one of these markers: a child row works below the
// current key, a sibling row first goes back up one level and then works like a child row.
inline const HKEY kRegChild = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000006));
inline const HKEY kRegSibling = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000005));

enum RegRowFlags : DWORD {
    kRegDeleteTree = 0x1,   // unregistration deletes the key with its whole subtree
    kRegReference = 0x4,    // the text names "key\value" under the same root; its value is written
    kRegNeverCreate = 0x8,  // registration skips the key (with kRegDeleteTree: removal only)
};

// Value types of a row: 0 makes only the key. REG_EXPAND_SZ is written as REG_SZ.
struct RegRow {
    HKEY anchor;
    const wchar_t* key;        // null: the current key itself
    const wchar_t* valueName;  // null: the key's default value
    DWORD type;
    const wchar_t* text;  // string data (null: empty string)
    DWORD number;         // REG_DWORD data
    DWORD flags;
};

// Row builders, so that tables read as lists of keys and values.
inline RegRow KeyRow(HKEY anchor, const wchar_t* key, DWORD flags = 0) {
    return {anchor, key, nullptr, REG_NONE, nullptr, 0, flags};
}
inline RegRow SzRow(HKEY anchor, const wchar_t* key, const wchar_t* name, const wchar_t* text,
                    DWORD flags = 0) {
    return {anchor, key, name, REG_SZ, text, 0, flags};
}
inline RegRow DwordRow(HKEY anchor, const wchar_t* key, const wchar_t* name, DWORD number) {
    return {anchor, key, name, REG_DWORD, nullptr, number, 0};
}

// Expanded string data holds at most this many characters, terminator included.
inline constexpr size_t kRegExpansionChars = 520;

// Expands a row's string data:
//   "%MODULE%rest"  -> the module's full file name, then rest;
//   "%APPPATH%..."  -> the module's folder without its trailing backslash (rest is not used);
//   "%KWILLRT%rest" -> "\"<module folder>\\kwillrt.exe\"", then rest;
//   otherwise, with kRegReference, the current text of the value "key\name" read below root
//   (an empty string when it is missing, not a string, or too long), else the text itself.
// The prefixes ignore case. Returns false, and nothing, when the result would not fit in
// kRegExpansionChars: a cut-off module path must never be registered.
bool ExpandRowText(const RegRow& row, HKEY root, std::wstring_view modulePath,
                   std::wstring& expanded);

// Registers: creates each row's key and writes its value, in table order. Stops at the first
// key that cannot be created or value that cannot be written (or text that cannot be expanded)
// and returns that error; keys written so far stay. ERROR_SUCCESS when every row was applied.
LSTATUS ApplyRowsForward(std::span<const RegRow> rows, std::wstring_view modulePath);

// Unregisters: deletes the trees of root rows flagged kRegDeleteTree, and the values of the
// other rows from keys that exist. Only a tree that may not be deleted (ERROR_ACCESS_DENIED)
// stops the run and is returned; missing keys and values are not errors.
LSTATUS ApplyRowsBackward(std::span<const RegRow> rows);

// Deletes parent\path with every subkey below it. Returns the first error met;
// ERROR_INVALID_PARAMETER for a null or empty path, which would name the parent itself.
LSTATUS RecursiveDeleteKey(HKEY parent, const wchar_t* path);

// The full file name of the library's own module (any length), or empty on failure.
std::wstring OwnModulePath();

}  // namespace kwill::shellext
