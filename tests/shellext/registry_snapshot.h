// Snapshots of registry trees, their differences, and putting a tree back as it was: the
// registration tests compare what registering really wrote with the rows it should write.
#pragma once

#include "frame/platform.h"

#include <map>
#include <string>
#include <vector>

namespace kwill::test {

// Every key and value below the given roots. A key is stored as "HKLM\path" with an empty
// text; a value as "HKLM\path | name" (name "(default)" for the default value) with the text
// "TYPE | data" (REG_SZ text as it is, REG_DWORD as 0x%08lx, other types as hexadecimal bytes).
struct RegistryValue {
    std::wstring key;   // "HKLM\\path"
    std::wstring name;  // empty for the default value
    DWORD type = 0;
    std::vector<BYTE> data;
    std::wstring Text() const;
};

struct RegistrySnapshot {
    std::map<std::wstring, bool> keys;             // path -> true
    std::map<std::wstring, RegistryValue> values;  // "path | name" -> value
};

// HKLM\Software and HKCU\Software, without the Wow6432Node views and Software\Wine, as two
// walks in a row found them (another process may be writing meanwhile).
RegistrySnapshot TakeSnapshot();

// The changes from before to after, one line each, sorted, key paths lower-cased:
//   "+ path | name | TYPE | data"   a value that is new
//   "- path | name | TYPE | data"   a value that is gone
//   "~ path | name | TYPE | data"   a value whose data changed (the new data)
//   "+ path" / "- path"            a key that is new or gone and holds no value and no other
//                                  change below it (keys implied by a value line are left out)
std::vector<std::wstring> Difference(const RegistrySnapshot& before, const RegistrySnapshot& after);

// Deletes keys and values that are in now but not in before, and rewrites changed values, so
// that the registry looks as it did. Keys and values that were removed are not recreated: they
// are returned, with every key or value that could not be put back, as difference lines.
std::vector<std::wstring> RestoreAdded(const RegistrySnapshot& before);

// The text form of one difference line for printing.
std::string Narrow(const std::wstring& text);

}  // namespace kwill::test
