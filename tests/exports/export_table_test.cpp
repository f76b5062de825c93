// Every export of kwilllib.def is reachable by its ordinal, named exports also by name and to the
// same address, NONAME exports not by name; and the DLL exports nothing else.
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace kwill {
namespace {

struct DefEntry {
    std::string name;
    WORD ordinal;
    bool noname;
};

std::vector<DefEntry> ReadDef() {
    std::vector<DefEntry> entries;
    std::istringstream in(test::ReadFileText(test::ExeFolder() + L"kwilllib.def"));
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find(';'));
        std::istringstream words(line);
        std::string name, ordinal, word;
        if (!(words >> name >> ordinal) || ordinal.size() < 2 || ordinal[0] != '@') continue;
        DefEntry e{name, static_cast<WORD>(std::stoi(ordinal.substr(1))), false};
        while (words >> word) e.noname |= word == "NONAME";
        entries.push_back(e);
    }
    return entries;
}

TEST(ExportTable, EveryDefEntryByOrdinalAndName) {
    std::vector<DefEntry> entries = ReadDef();
    ASSERT_GT(entries.size(), 40u);
    HMODULE dll = test::KwillDll::Get().module();
    std::set<WORD> ordinals;
    std::set<std::string> names;
    for (const DefEntry& e : entries) {
        EXPECT_TRUE(ordinals.insert(e.ordinal).second) << "ordinal used twice: " << e.ordinal;
        EXPECT_TRUE(names.insert(e.name).second) << "name used twice: " << e.name;
        FARPROC byOrdinal = ::GetProcAddress(dll, MAKEINTRESOURCEA(e.ordinal));
        EXPECT_NE(byOrdinal, nullptr) << e.name << " @" << e.ordinal;
        FARPROC byName = ::GetProcAddress(dll, e.name.c_str());
        if (e.noname) {
            EXPECT_EQ(byName, nullptr) << e.name << " must be exported by ordinal only";
        } else {
            EXPECT_EQ(byName, byOrdinal) << e.name << " @" << e.ordinal;
        }
    }
}

// Walks the loaded image's export directory: no export that the .def does not list.
TEST(ExportTable, NothingBeyondTheDef) {
    std::vector<DefEntry> entries = ReadDef();
    auto* base = reinterpret_cast<const BYTE*>(test::KwillDll::Get().module());
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto* functions = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
    size_t used = 0;
    for (DWORD i = 0; i < exports->NumberOfFunctions; ++i) used += functions[i] != 0;
    size_t named = 0;
    for (const DefEntry& e : entries) named += !e.noname;
    EXPECT_EQ(used, entries.size());
    EXPECT_EQ(exports->NumberOfNames, named);
}

}  // namespace
}  // namespace kwill
