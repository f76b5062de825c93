// Numbers and switches in the configuration files: the parsers on their own, then the flag and
// switch exports on real files in the scratch configuration folder.
#include "frame/xml_document.h"
#include "hostlink/config_values.h"
#include "tests/hostlink/config_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kwill::test::config {
namespace {

using namespace kwill::config;

TEST(ConfigNumbers, FlagValues) {
    struct Row {
        const char* text;
        int64_t value;
    } rows[] = {
        {nullptr, 0},
        {"", 0},
        {"0x1F", 31},
        {"0X1f", 31},
        {"-5", -5},
        {"  +17", 17},
        {"42abc", 42},
        {"abc", 0},
        {"0x", 0},
        {"0xg", 0},
        {"0x7fffffffffffffff", INT64_MAX},
        {"0xffffffffffffffff", -1},
        {"0x-1", 0},
        {"0x000000000000000F1", 0xF},                 // at most 16 digits are read
        {"0x10000000000000000", 0x1000000000000000},  // the 17th digit is dropped
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", INT64_MAX},  // one past: saturates
        {"-9223372036854775808", INT64_MIN},
        {"-9223372036854775809", INT64_MIN},
        {"99999999999999999999999", INT64_MAX},
        {" 0x10", 0},  // hexadecimal only right at the start
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ParseFlagNumber(row.text), row.value) << (row.text ? row.text : "(null)");
    }
}

TEST(ConfigNumbers, DecimalAndHexWords) {
    struct Row {
        const char* text;
        uint32_t decimal;
        uint32_t hex;
    } rows[] = {
        {nullptr, 0, 0},
        {"0", 0, 0},
        {"12", 12, 0x12},
        {"4294967295", 4294967295u, 0x42949672},
        {"4294967296", 0xFFFFFFFF, 0x42949672},  // decimal overflow saturates
        {"-1", 0xFFFFFFFF, 0},
        {"ff", 0, 0xFF},
        {"0000000001", 1, 0},
        {"123456789", 123456789, 0x12345678},  // the ninth hexadecimal digit is dropped
        {"00000000F", 0, 0},                   // leading zeros count among the eight
    };
    for (const Row& row : rows) {
        const char* name = row.text ? row.text : "(null)";
        EXPECT_EQ(ParseDecimalU32(row.text), row.decimal) << name;
        EXPECT_EQ(ParseHexU32(row.text), row.hex) << name;
    }
}

TEST(ConfigNumbers, PlusTimesRoundTrip) {
    for (uint64_t value : {uint64_t{0}, uint64_t{1}, uint64_t{0x01D9A1B2C3D4E5F6},
                           uint64_t{0xFFFFFFFF}, uint64_t{0x100000000}, UINT64_MAX}) {
        EXPECT_EQ(ParsePlusTime(FormatPlusTime(value).c_str()), value) << value;
    }
    EXPECT_EQ(FormatPlusTime(0x1234567890ABCDEFull), "+12345678+90abcdef");
    EXPECT_EQ(ParsePlusTime("12345678+1"), 0u);  // no leading "+"
    EXPECT_EQ(ParsePlusTime("+5"), 0x500000000u);
    EXPECT_EQ(ParsePlusTime(nullptr), 0u);
}

TEST(ConfigText, CutOnACharacterBoundary) {
    struct Row {
        const char* text;
        size_t size;
        const char* want;
    } rows[] = {
        {"abc", 4, "abc"},
        {"abcd", 4, "abc"},
        {"ab\xC3\xA9", 4, "ab"},        // é would need bytes 3 and 4
        {"a\xC3\xA9", 4, "a\xC3\xA9"},  // fits exactly
        {"\xE2\x82\xAC\xE2\x82\xAC", 5, "\xE2\x82\xAC"},
        {"\xF0\x9F\x98\x80x", 4, ""},  // a four-byte character never half-copied
        {nullptr, 4, ""},
        {"x", 1, ""},
    };
    for (const Row& row : rows) {
        char out[8];
        std::memset(out, '#', sizeof(out));
        CopyTextField(out, row.size, row.text);
        EXPECT_STREQ(out, row.want) << (row.text ? row.text : "(null)") << " in " << row.size;
    }
}

TEST(ConfigText, HexBytes) {
    uint8_t bytes[4];
    EXPECT_EQ(ParseHexBytes("00ff10Ab", bytes, 4), 4u);
    EXPECT_EQ(FormatHexBytes(bytes, 4), "00ff10ab");
    EXPECT_EQ(ParseHexBytes("0102x3", bytes, 4), 2u);  // stops at the bad pair, rest zero
    EXPECT_EQ(FormatHexBytes(bytes, 4), "01020000");
    EXPECT_EQ(ParseHexBytes("010", bytes, 4), 1u);  // an odd digit is dropped
    EXPECT_EQ(ParseHexBytes("0102030405", bytes, 4), 4u);
    EXPECT_EQ(ParseHexBytes(nullptr, bytes, 4), 0u);
    EXPECT_EQ(FormatHexBytes(bytes, 4), "00000000");
}

// ---- the exports on files

using ReadFlagFn = long long (*)(const char*, const char*);
using WriteFlagFn = BOOL (*)(const char*, const char*, long long);
using UserFlagFn = BOOL (*)(const char*);

std::wstring ConfigFile(const wchar_t* name) {
    ::CreateDirectoryW((ScratchData() + L"ConfigFiles").c_str(), nullptr);
    return ScratchData() + L"ConfigFiles\\" + name;
}

void WriteText(const std::wstring& path, const char* text) {
    ASSERT_TRUE(WriteFileBytes(path, text, std::strlen(text)));
}

constexpr char kPrefs[] =
    "<?xml version=\"1.0\" ?>\n"
    "<prefs>\n"
    "  <flags settings1=\"0x1F\" settings2=\"-5\" settings4=\"12\" big=\"0x1ffffffffffffffff\"/>\n"
    "  <flags settings1=\"0x99\"/>\n"
    "  <zip flags=\"1\"/>\n"
    "  <outer><inner a=\"7\"/></outer>\n"
    "</prefs>\n"
    "<prefs><other a=\"1\"/></prefs>\n";

TEST(ConfigFlags, ReadFromThePreferencesFile) {
    WriteText(ConfigFile(L"Prefs.txc"), kPrefs);
    auto read = Named<ReadFlagFn>("ReadConfigFlagValue");
    struct Row {
        const char* element;
        const char* attribute;
        long long value;
    } rows[] = {
        {"flags", "settings1", 31},  // the first element of the name
        {"flags", "settings2", -5},
        {"flags", "settings4", 12},
        {"flags", "big", 0x1fffffffffffffff},  // 17 digits: the last is dropped
        {"flags", "missing", 0},
        {"FLAGS", "settings1", 0},  // names are case-sensitive
        {"inner", "a", 0},          // only direct children of "prefs"
        {"other", "a", 0},          // only the first "prefs"
        {"zip", "flags", 1},
        {nullptr, "flags", 0},
        {"zip", nullptr, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(read(row.element, row.attribute), row.value)
            << (row.element ? row.element : "(null)") << "/"
            << (row.attribute ? row.attribute : "(null)");
    }
}

TEST(ConfigFlags, WriteSavesOrLeavesTheFileAlone) {
    const std::wstring path = ConfigFile(L"Prefs.txc");
    auto read = Named<ReadFlagFn>("ReadConfigFlagValue");
    auto write = Named<WriteFlagFn>("WriteConfigFlagValue");

    WriteText(path, kPrefs);
    EXPECT_TRUE(write("zip", "flags", -2));
    EXPECT_EQ(read("zip", "flags"), -2);
    EXPECT_NE(ReadFileText(path).find("flags=\"0xfffffffffffffffe\""), std::string::npos);
    EXPECT_TRUE(write("zip", "new", 255));
    EXPECT_EQ(read("zip", "new"), 255);

    const std::string before = ReadFileText(path);
    EXPECT_FALSE(write("absent", "flags", 1));
    EXPECT_FALSE(write(nullptr, "flags", 1));
    EXPECT_FALSE(write("zip", nullptr, 1));
    EXPECT_EQ(ReadFileText(path), before);

    // Malformed, empty and missing files: reads give 0, writes fail and create nothing.
    for (const char* text : {"<prefs><zip flags=\"1\">", "", static_cast<const char*>(nullptr)}) {
        ::DeleteFileW(path.c_str());
        if (text) WriteText(path, text);
        EXPECT_EQ(read("zip", "flags"), 0);
        EXPECT_FALSE(write("zip", "flags", 3));
        if (text) {
            EXPECT_EQ(ReadFileText(path), text);
        } else {
            EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
        }
    }
    ::DeleteFileW(path.c_str());
}

TEST(ConfigFlags, UserPreferenceSwitches) {
    WriteText(ConfigFile(L"userprefs.txc"),
              "<?xml version=\"1.0\" ?>\n"
              "<userprefs>\n"
              "  <plain>yes</plain><upper>YES</upper><no>no</no><empty/>\n"
              "  <yesno>yesno</yesno><child><x/>yes</child>\n"
              "  <twice>no</twice><twice>yes</twice>\n"
              "  <Case>yes</Case><trailing>yes </trailing><leading> yes</leading>\n"
              "</userprefs>\n");
    auto flag = Named<UserFlagFn>("GetUserPrefsFlag");
    struct Row {
        const char* name;
        BOOL value;
    } rows[] = {
        {"plain", TRUE},
        {"upper", TRUE},
        {"no", FALSE},
        {"empty", FALSE},
        {"yesno", FALSE},
        {"child", FALSE},
        {"twice", FALSE},
        {"case", FALSE},
        {"Case", TRUE},
        {"absent", FALSE},
        {nullptr, FALSE},
        // The parser folds the white space around an element's text away.
        {"trailing", TRUE},
        {"leading", TRUE},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(flag(row.name), row.value) << (row.name ? row.name : "(null)");
    }
    ::DeleteFileW(ConfigFile(L"userprefs.txc").c_str());
    EXPECT_FALSE(flag("plain"));
}

}  // namespace
}  // namespace kwill::test::config
