// The registration engine on small tables rooted in HKCU\Software\KwillEngineTest: how rows
// find their keys, what the expansions give, and what unregistering removes. (The library's
// own table is checked for real, through regsvr32, in registration_test.cpp.)
#include "frame/win_handle.h"
#include "shellext/registration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kwill::shellext {
namespace {

const wchar_t kBase[] = L"Software\\KwillEngineTest";
const HKEY kCU = HKEY_CURRENT_USER;

// Every key and value below the test key, as "path" and "path|name=data" lines in
// enumeration order (subkeys after the key's values).
void List(HKEY key, const std::wstring& path, std::vector<std::wstring>& out) {
    out.push_back(path);
    wchar_t name[256];
    BYTE data[2048];
    for (DWORD i = 0;; ++i) {
        DWORD chars = 256, bytes = sizeof(data), type = 0;
        if (::RegEnumValueW(key, i, name, &chars, nullptr, &type, data, &bytes) != ERROR_SUCCESS)
            break;
        std::wstring text =
            type == REG_DWORD ? std::to_wstring(*reinterpret_cast<DWORD*>(data))
                              : std::wstring(reinterpret_cast<wchar_t*>(data)).substr(0, bytes / 2);
        out.push_back(path + L"|" + name + L"=" + text);
    }
    for (DWORD i = 0;; ++i) {
        DWORD chars = 256;
        if (::RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY opened = nullptr;
        if (::RegOpenKeyExW(key, name, 0, KEY_READ, &opened) != ERROR_SUCCESS) continue;
        UniqueKey sub(opened);
        List(sub.get(), path + L"\\" + name, out);
    }
}

// Sorted, so that the order in which the registry enumerates values does not matter.
std::vector<std::wstring> ListTestKey() {
    std::vector<std::wstring> out;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(kCU, kBase, 0, KEY_READ, &opened) != ERROR_SUCCESS) return out;
    UniqueKey key(opened);
    List(key.get(), L"", out);
    std::sort(out.begin(), out.end());
    return out;
}

std::string Join(std::vector<std::wstring> lines) {
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::wstring& line : lines) out += std::string(line.begin(), line.end()) + "\n";
    return out;
}

class RegistrationEngine : public ::testing::Test {
  protected:
    void SetUp() override { ::RegDeleteTreeW(kCU, kBase); }
    void TearDown() override { ::RegDeleteTreeW(kCU, kBase); }
};

// Root rows start over at the root, child rows go one key down, sibling rows go back up one key
// first; a child row without a key path writes to the current key.
const RegRow kStackRows[] = {
    SzRow(kCU, L"Software\\KwillEngineTest\\R", nullptr, L"r", kRegDeleteTree),
    SzRow(kRegChild, L"A", nullptr, L"a"),
    SzRow(kRegChild, L"B", nullptr, L"b"),
    SzRow(kRegSibling, L"C", nullptr, L"c"),
    SzRow(kRegChild, nullptr, L"v", L"cv"),
    SzRow(kRegSibling, L"D\\E", nullptr, L"e"),
    SzRow(kCU, L"Software\\KwillEngineTest\\S", L"n", L"s"),
    DwordRow(kRegChild, nullptr, L"d", 7),
    KeyRow(kRegChild, L"K"),
};

TEST_F(RegistrationEngine, RowsFindTheirKeysForwardsAndBackwards) {
    ASSERT_EQ(ApplyRowsForward(kStackRows, L"C:\\m\\x.dll"), ERROR_SUCCESS);
    EXPECT_EQ(Join(ListTestKey()),
              Join({L"", L"\\R", L"\\R|=r", L"\\R\\A", L"\\R\\A|=a", L"\\R\\A\\B", L"\\R\\A\\B|=b",
                    L"\\R\\A\\C", L"\\R\\A\\C|=c", L"\\R\\A\\C|v=cv", L"\\R\\A\\D", L"\\R\\A\\D\\E",
                    L"\\R\\A\\D\\E|=e", L"\\S", L"\\S|n=s", L"\\S|d=7", L"\\S\\K"}));
    // R goes with its tree; S keeps its keys and loses only the row values.
    ASSERT_EQ(ApplyRowsBackward(kStackRows), ERROR_SUCCESS);
    EXPECT_EQ(Join(ListTestKey()), Join({L"", L"\\S", L"\\S\\K"}));
    // Nothing left to remove is not an error.
    EXPECT_EQ(ApplyRowsBackward(kStackRows), ERROR_SUCCESS);
}

TEST_F(RegistrationEngine, NeverCreatedRowsAreSkippedButRemoved) {
    const RegRow rows[] = {
        SzRow(kCU, L"Software\\KwillEngineTest\\Old", nullptr, L"o",
              kRegDeleteTree | kRegNeverCreate),
        SzRow(kRegChild, L"Sub", nullptr, L"x"),
        SzRow(kRegSibling, L"Sub2", nullptr, L"y"),
        SzRow(kCU, L"Software\\KwillEngineTest\\New", nullptr, L"n", kRegDeleteTree),
    };
    ASSERT_EQ(ApplyRowsForward(rows, L"C:\\m\\x.dll"), ERROR_SUCCESS);
    EXPECT_EQ(Join(ListTestKey()), Join({L"", L"\\New", L"\\New|=n"}));
    HKEY made = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(kCU, L"Software\\KwillEngineTest\\Old\\Sub\\Deep", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &made, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(made);
    ASSERT_EQ(ApplyRowsBackward(rows), ERROR_SUCCESS);
    EXPECT_EQ(Join(ListTestKey()), Join({L""}));
}

TEST_F(RegistrationEngine, Expansions) {
    HKEY made = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(kCU, L"Software\\KwillEngineTest\\Ref", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &made, nullptr),
              ERROR_SUCCESS);
    UniqueKey ref(made);
    auto setSz = [&](const wchar_t* name, const std::wstring& text, DWORD bytes) {
        ::RegSetValueExW(ref.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         bytes);
    };
    setSz(L"Action", L"Open folder", 12 * 2);
    setSz(nullptr, L"default text", 13 * 2);
    setSz(L"Unterminated", L"abcXYZ", 3 * 2);  // stored without its terminator
    setSz(L"Longest", std::wstring(519, L'l'), 520 * 2);
    setSz(L"TooLong", std::wstring(520, L'x'), 521 * 2);
    DWORD number = 5;
    ::RegSetValueExW(ref.get(), L"Number", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4);

    const std::wstring module = L"C:\\Program Files\\Tarn\\kwilllib.dll";
    struct Case {
        const wchar_t* text;
        DWORD flags;
        std::wstring expected;
    } cases[] = {
        {L"%MODULE%", 0, module},
        {L"%module%,1", 0, module + L",1"},
        {L"%APPPATH%", 0, L"C:\\Program Files\\Tarn"},
        {L"%AppPath%\\ignored", 0, L"C:\\Program Files\\Tarn"},
        {L"%KWILLRT% %1", 0, L"\"C:\\Program Files\\Tarn\\kwillrt.exe\" %1"},
        {L"%KWILLRT%,0", 0, L"\"C:\\Program Files\\Tarn\\kwillrt.exe\",0"},
        {L"plain %1 text", 0, L"plain %1 text"},
        {nullptr, 0, L""},
        {L"%MODULE", 0, L"%MODULE"},
        // References name a key and a value below the row's root.
        {L"Software\\KwillEngineTest\\Ref\\Action", kRegReference, L"Open folder"},
        {L"Software\\KwillEngineTest\\Ref\\", kRegReference, L"default text"},
        {L"Software\\KwillEngineTest\\Ref\\Unterminated", kRegReference, L"abc"},
        {L"Software\\KwillEngineTest\\Ref\\Longest", kRegReference, std::wstring(519, L'l')},
        {L"Software\\KwillEngineTest\\Ref\\TooLong", kRegReference, L""},
        {L"Software\\KwillEngineTest\\Ref\\Number", kRegReference, L""},
        {L"Software\\KwillEngineTest\\Ref\\Missing", kRegReference, L""},
        {L"Software\\KwillEngineTest\\NoKey\\Action", kRegReference, L""},
        {L"Software\\KwillEngineTest\\Ref\\Action", 0, L"Software\\KwillEngineTest\\Ref\\Action"},
        // The module tokens win over the reference flag.
        {L"%APPPATH%", kRegReference, L"C:\\Program Files\\Tarn"},
    };
    for (const Case& c : cases) {
        RegRow row = SzRow(kCU, L"x", nullptr, c.text, c.flags);
        std::wstring got = L"unset";
        EXPECT_TRUE(ExpandRowText(row, kCU, module, got)) << (c.text ? c.text[0] : '-');
        EXPECT_TRUE(got == c.expected) << "row " << (&c - cases);
    }
}

// A module path that does not fit the expansion is never written cut off: the run fails at
// that row. 519 characters fit (the 520th holds the terminator).
TEST_F(RegistrationEngine, ModulePathThatDoesNotFitFails) {
    const RegRow rows[] = {
        SzRow(kCU, L"Software\\KwillEngineTest\\Class", nullptr, L"name"),
        SzRow(kRegChild, L"InprocServer32", nullptr, L"%MODULE%"),
        SzRow(kRegChild, nullptr, L"After", L"a"),
    };
    const std::wstring fits = L"C:\\" + std::wstring(510, L'd') + L"\\x.dll";  // 519
    ASSERT_EQ(fits.size(), 519u);
    ASSERT_EQ(ApplyRowsForward(rows, fits), ERROR_SUCCESS);
    std::vector<std::wstring> written = ListTestKey();
    bool found = std::find(written.begin(), written.end(), L"\\Class\\InprocServer32|=" + fits) !=
                 written.end();
    EXPECT_TRUE(found);

    ::RegDeleteTreeW(kCU, kBase);
    const std::wstring tooLong = fits + L"l";
    EXPECT_EQ(ApplyRowsForward(rows, tooLong), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(Join(ListTestKey()),
              Join({L"", L"\\Class", L"\\Class|=name", L"\\Class\\InprocServer32"}));

    RegRow kwillrt = SzRow(kCU, L"x", nullptr, L"%KWILLRT% /cmd Prefs THEMEIMPORT \"%1\"");
    std::wstring out = L"unset";
    EXPECT_FALSE(ExpandRowText(kwillrt, kCU, fits, out));
    EXPECT_TRUE(out.empty());
}

TEST_F(RegistrationEngine, FailuresStopTheForwardRun) {
    const RegRow orphan[] = {SzRow(kRegChild, L"A", nullptr, L"a")};
    EXPECT_EQ(ApplyRowsForward(orphan, L"C:\\x.dll"), ERROR_INVALID_DATA);
    const RegRow sibling[] = {
        SzRow(kCU, L"Software\\KwillEngineTest\\R", nullptr, L"r"),
        SzRow(kRegSibling, L"B", nullptr, L"b"),  // nothing above R to go back to
        SzRow(kCU, L"Software\\KwillEngineTest\\After", nullptr, L"a"),
    };
    EXPECT_EQ(ApplyRowsForward(sibling, L"C:\\x.dll"), ERROR_INVALID_DATA);
    EXPECT_EQ(Join(ListTestKey()), Join({L"", L"\\R", L"\\R|=r"}));
}

TEST_F(RegistrationEngine, RecursiveDeleteKey) {
    // A tree wide and deep enough to need the enumeration to restart after each deletion.
    std::wstring path = std::wstring(kBase) + L"\\T";
    for (int depth = 0; depth < 12; ++depth) {
        for (int i = 0; i < 3; ++i) {
            HKEY made = nullptr;
            std::wstring sub = path + L"\\k" + std::to_wstring(i);
            ASSERT_EQ(::RegCreateKeyExW(kCU, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                        &made, nullptr),
                      ERROR_SUCCESS);
            ::RegCloseKey(made);
        }
        path += L"\\k1";
    }
    EXPECT_EQ(RecursiveDeleteKey(kCU, L"Software\\KwillEngineTest\\T"), ERROR_SUCCESS);
    EXPECT_EQ(Join(ListTestKey()), Join({L""}));
    EXPECT_EQ(RecursiveDeleteKey(kCU, L"Software\\KwillEngineTest\\T"), ERROR_FILE_NOT_FOUND);
    // An empty path would name the parent itself.
    EXPECT_EQ(RecursiveDeleteKey(kCU, L""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RecursiveDeleteKey(kCU, nullptr), ERROR_INVALID_PARAMETER);
    HKEY software = nullptr;
    EXPECT_EQ(::RegOpenKeyExW(kCU, L"Software", 0, KEY_READ, &software), ERROR_SUCCESS);
    ::RegCloseKey(software);
}

}  // namespace
}  // namespace kwill::shellext
