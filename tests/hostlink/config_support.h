// Helpers of the configuration tests.
//
// The path table is filled once per process, so the in-process tests share one arrangement that
// the global environment (config_support.cpp) sets up before the first call: installation mode 2
// with "PA_TARNDATAFILES" naming a scratch folder, which sends kinds 0, 1, 2 and 9 there and
// keeps the prefix's AppData out of reach. Anything that needs another arrangement runs in a
// child run of the test executable: a fresh process, a fresh table, with the environment the
// test gives it. The child writes its answers, one "key=value" line each, to a file.
#pragma once

#include "tests/common/test_support.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kwill::test::config {

// The scratch folder the in-process configuration lives in (trailing backslash).
const std::wstring& ScratchData();

// The folder of the test executable and the DLL, without the trailing backslash.
std::wstring ProgramFolder();

// Environment changes for a child: a value sets the variable, nullopt-like empty `unset`
// removes it.
struct EnvVar {
    std::wstring name;
    std::wstring value;
    bool unset = false;
};

// Runs this executable as a child with "--config-child SCENARIO RESULTFILE ARGS...", waits, and
// returns the child's "key=value" lines (empty when it did not finish with exit code 0).
std::map<std::string, std::string> RunChild(const std::wstring& scenario,
                                            const std::vector<std::wstring>& args,
                                            const std::vector<EnvVar>& env);

// A child scenario: reads its arguments, writes its answers through `put`, returns the exit code.
using ChildPut = void (*)(const std::string& key, const std::string& value);
using ChildScenario = int (*)(const std::vector<std::wstring>& args, ChildPut put);
struct ChildRegistrar {
    ChildRegistrar(const wchar_t* name, ChildScenario run);
};

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);

// The known folder (CSIDL) plus the vendor sub-folder, as the library forms slots 0 to 2.
std::wstring VendorFolder(int csidl);

}  // namespace kwill::test::config
