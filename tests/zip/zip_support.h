// Helpers shared by the zip tests.
#pragma once

#include "tests/common/test_support.h"

#include <string>
#include <vector>

namespace kwill::test {

// The folder of archives made by other producers (tests/zip/make_fixtures.sh).
inline std::wstring FixtureFolder() {
    return ExeFolder() + L"zip_fixtures\\";
}
inline std::wstring Fixture(const std::wstring& name) {
    return FixtureFolder() + name;
}
inline std::vector<uint8_t> FixtureBytes(const std::wstring& name) {
    return ReadFileBytes(Fixture(name));
}

// The folder for files the other producers' readers check after the tests
// (tests/zip/check_outputs.sh); emptied on first use in each run.
std::wstring OutputFolder();

// The names of the files (not folders) in a folder.
std::vector<std::wstring> FilesIn(const std::wstring& folder);

// A reproducible mix of text-like and random bytes.
std::vector<uint8_t> MixedBytes(size_t size, uint32_t seed);

}  // namespace kwill::test
