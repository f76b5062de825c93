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

}  // namespace kwill::test
