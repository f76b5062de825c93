// The user and global data records: round trips through the exports, what lands in the file,
// the writers' codes, and the configuration type in a standard installation (child runs against
// the prefix's AppData).
#include "frame/xml_document.h"
#include "hostlink/config_records.h"
#include "tests/hostlink/config_support.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>

namespace kwill::test::config {
namespace {

using kwill::config::GlobalDataRecord;
using kwill::config::UserDataRecord;

using ReadUserFn = BOOL (*)(UserDataRecord*);
using WriteUserFn = DWORD (*)(const UserDataRecord*);
using ReadGlobalFn = BOOL (*)(GlobalDataRecord*);
using WriteGlobalFn = DWORD (*)(const GlobalDataRecord*);
using GetTypeFn = int (*)();
using SetTypeFn = DWORD (*)(int);
using IsTypeSetFn = BOOL (*)();

std::wstring UserDataPath() {
    return ScratchData() + L"userdata.tmd";
}
std::wstring GlobalDataPath() {
    return ScratchData() + L"Global Data\\globaldata.tmd";
}

// The top element's attributes as the file holds them, read with the parser directly.
std::map<std::string, std::string> Attributes(const std::wstring& path) {
    std::map<std::string, std::string> out;
    XmlDocumentFile doc;
    if (!doc.LoadFile(path.c_str())) return out;
    const TiXmlElement* top = doc.FirstChildElement("tarn_meta_data");
    for (const TiXmlAttribute* a = top ? top->FirstAttribute() : nullptr; a; a = a->Next())
        out[a->Name()] = a->Value();
    return out;
}

UserDataRecord FullUserRecord() {
    UserDataRecord r{};
    r.configType = 1;
    r.configTypeSet = true;
    std::strcpy(r.language, "deutsch");
    std::strcpy(r.newLanguage,
                "fran\xC3\xA7"
                "ais");
    r.newUserLangChange = true;
    r.jumpList = 4294967295u;
    r.lastFeedTopic = 17;
    r.lastVersionLow = 0x00050006;
    r.lastVersionHigh = 0x000D0001;
    r.betaWarrior = true;
    r.convertToolbars = true;
    return r;
}

TEST(UserData, RoundTripsEveryFieldSetAndCleared) {
    auto read = Ordinal<ReadUserFn>(65);
    auto write = Ordinal<WriteUserFn>(66);
    ::DeleteFileW(UserDataPath().c_str());

    UserDataRecord full = FullUserRecord();
    ASSERT_EQ(write(&full), 0u);
    std::map<std::string, std::string> want = {
        {"config_type", "private"},
        {"language", "deutsch"},
        {"new_language",
         "fran\xC3\xA7"
         "ais"},
        {"newuser_langchange", "yes"},
        {"jump_list", "4294967295"},
        {"lastfeed_topic", "17"},
        {"last_version_low", "327686"},
        {"last_version_high", "851969"},
        {"beta_warrior", "yes"},
        {"convert_toolbars", "no"},
    };
    EXPECT_EQ(Attributes(UserDataPath()), want);
    UserDataRecord back;
    std::memset(&back, 0xCC, sizeof(back));
    ASSERT_TRUE(read(&back));
    // This process runs installation mode 2, where the type always reads as set and shared.
    UserDataRecord expected = full;
    expected.configType = 0;
    EXPECT_EQ(std::memcmp(&back, &expected, sizeof(back)), 0);

    // Every field cleared: the optional attributes go, the counters stay as "0".
    UserDataRecord cleared{};
    cleared.configTypeAsk = true;
    ASSERT_EQ(write(&cleared), 0u);
    want = {{"config_type_ask", "1"}, {"language", ""},          {"new_language", ""},
            {"lastfeed_topic", "0"},  {"last_version_low", "0"}, {"last_version_high", "0"}};
    EXPECT_EQ(Attributes(UserDataPath()), want);
    ASSERT_TRUE(read(&back));
    EXPECT_EQ(back.jumpList, 0u);
    EXPECT_FALSE(back.betaWarrior || back.convertToolbars || back.newUserLangChange);
    EXPECT_STREQ(back.language, "");

    // A shared choice written, then the choice withdrawn.
    UserDataRecord shared{};
    shared.configTypeSet = true;
    shared.configType = 7;  // anything but 1 is shared
    ASSERT_EQ(write(&shared), 0u);
    EXPECT_EQ(Attributes(UserDataPath())["config_type"], "shared");
    EXPECT_EQ(Attributes(UserDataPath()).count("config_type_ask"), 0u);
}

TEST(UserData, ReadingTheFileAsTheHostLeftIt) {
    auto read = Ordinal<ReadUserFn>(65);
    struct Row {
        const char* name;
        const char* file;  // null: no file
        BOOL result;
        void (*check)(const UserDataRecord&);
    } rows[] = {
        {"no file", nullptr, FALSE, [](const UserDataRecord& r) { EXPECT_EQ(r.jumpList, 0u); }},
        {"malformed", "<tarn_meta_data jump_list=\"5\"", FALSE,
         [](const UserDataRecord& r) { EXPECT_EQ(r.jumpList, 0u); }},
        {"other top element", "<other jump_list=\"5\"/>", FALSE,
         [](const UserDataRecord& r) { EXPECT_EQ(r.jumpList, 0u); }},
        {"long texts cut", nullptr, TRUE,
         [](const UserDataRecord& r) {
             EXPECT_EQ(std::strlen(r.language), 78u);  // 78 'a' + a two-byte character cut
             EXPECT_EQ(std::strlen(r.newLanguage), 79u);
         }},
        {"values as the host writes them", nullptr, TRUE,
         [](const UserDataRecord& r) {
             EXPECT_EQ(r.jumpList, 0xFFFFFFFFu);  // overflow saturates
             EXPECT_EQ(r.lastFeedTopic, 12u);
             EXPECT_FALSE(r.betaWarrior);        // only "yes"
             EXPECT_FALSE(r.convertToolbars);    // only "no"
             EXPECT_FALSE(r.newUserLangChange);  // without new_language it is not read
         }},
    };
    std::string longTexts = "<tarn_meta_data language=\"" + std::string(78, 'a') +
                            "\xC3\xA9\" new_language=\"" + std::string(100, 'b') + "\"/>";
    rows[3].file = longTexts.c_str();
    rows[4].file =
        "<tarn_meta_data jump_list=\"99999999999\" lastfeed_topic=\" 12x\" beta_warrior=\"YES\" "
        "convert_toolbars=\"yes\" newuser_langchange=\"yes\"/>";
    for (const Row& row : rows) {
        ::DeleteFileW(UserDataPath().c_str());
        if (row.file) {
            ASSERT_TRUE(WriteFileBytes(UserDataPath(), row.file, std::strlen(row.file)));
        }
        UserDataRecord r;
        std::memset(&r, 0xCC, sizeof(r));
        EXPECT_EQ(read(&r), row.result) << row.name;
        EXPECT_TRUE(r.configTypeSet) << row.name;  // mode 2
        row.check(r);
    }
    EXPECT_FALSE(read(nullptr));
    ::DeleteFileW(UserDataPath().c_str());
}

TEST(UserData, WriterCodesLeaveTheOldFileAlone) {
    auto write = Ordinal<WriteUserFn>(66);
    UserDataRecord full = FullUserRecord();
    const std::wstring path = UserDataPath();

    // Unreadable files are never replaced: 2, byte for byte the same.
    for (const char* text : {"<tarn_meta_data", "", "\xEF\xBB\xBF<a><b></a>"}) {
        ASSERT_TRUE(WriteFileBytes(path, text, std::strlen(text)));
        EXPECT_EQ(write(&full), 2u) << text;
        EXPECT_EQ(ReadFileText(path), text);
    }
    {
        HANDLE locked =
            ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(locked, INVALID_HANDLE_VALUE);
        EXPECT_EQ(write(&full), 2u) << "locked";
        ::CloseHandle(locked);
    }

    // A save that cannot happen: 5, the old file as it was.
    const char* good = "<tarn_meta_data language=\"old\"/>";
    ASSERT_TRUE(WriteFileBytes(path, good, std::strlen(good)));
    const std::wstring blocker = path + L".tmp";
    ASSERT_TRUE(::CreateDirectoryW(blocker.c_str(), nullptr));
    EXPECT_EQ(write(&full), 5u);
    EXPECT_EQ(ReadFileText(path), good);
    ::RemoveDirectoryW(blocker.c_str());

    EXPECT_EQ(write(&full), 0u);
    EXPECT_EQ(write(nullptr), 87u);
    ::DeleteFileW(path.c_str());
}

GlobalDataRecord FullGlobalRecord() {
    GlobalDataRecord r{};
    std::strcpy(r.defLanguage, "chinese");
    r.lastMajorUpgradeNotify = 0x01DA0B0C0D0E0F10;
    r.lastLogCheck = 1;
    r.lastUpdateCheck = 0xFFFFFFFF00000000;
    r.lastSubmitWarning = UINT64_MAX;
    r.lastVersionLow = 1;
    r.lastVersionHigh = 2;
    r.updateSize = 3;
    r.updateFlags = 0x80000000;
    r.cfgRestoreOpts = 5;
    r.updateDownload = {13, 2, 7};
    r.updateNew = {65535, 0, 65535};
    r.updateLang = kwill::config::kUpdateLangChinese;
    std::memset(r.updateSaved, 'u', 519);
    for (int i = 0; i < 16; ++i) r.langHash[i] = static_cast<uint8_t>(i * 17);
    return r;
}

TEST(GlobalData, RoundTripsAndTheFileForm) {
    auto read = Ordinal<ReadGlobalFn>(67);
    auto write = Ordinal<WriteGlobalFn>(68);
    ::CreateDirectoryW((ScratchData() + L"Global Data").c_str(), nullptr);
    ::DeleteFileW(GlobalDataPath().c_str());

    GlobalDataRecord back;
    EXPECT_FALSE(read(&back));

    for (GlobalDataRecord record : {FullGlobalRecord(), GlobalDataRecord{}}) {
        ASSERT_EQ(write(&record), 0u);
        std::memset(&back, 0xCC, sizeof(back));
        ASSERT_TRUE(read(&back));
        EXPECT_EQ(std::memcmp(&back, &record, sizeof(back)), 0);
    }
    GlobalDataRecord full = FullGlobalRecord();
    ASSERT_EQ(write(&full), 0u);
    auto attributes = Attributes(GlobalDataPath());
    EXPECT_EQ(attributes["last_major_upgrade_notify"], "+1da0b0c+d0e0f10");
    EXPECT_EQ(attributes["update_download_high"], std::to_string(13u << 16 | 2));
    EXPECT_EQ(attributes["update_download_low"], std::to_string(7u << 16));
    EXPECT_EQ(attributes["update_lang"], "chinese");
    EXPECT_EQ(attributes["lang_hash"], "00112233445566778899aabbccddeeff");
    EXPECT_EQ(attributes["update_saved"].size(), 519u);

    // The language names and the time form, as other writers may leave them.
    const char* text =
        "<tarn_meta_data update_lang=\"deutsch\" last_log_check=\"12\" "
        "update_new_high=\"65538\" update_new_low=\"4294967295\" lang_hash=\"zz\"/>";
    ASSERT_TRUE(WriteFileBytes(GlobalDataPath(), text, std::strlen(text)));
    ASSERT_TRUE(read(&back));
    EXPECT_EQ(back.updateLang, kwill::config::kUpdateLangGerman);
    EXPECT_EQ(back.lastLogCheck, 0u);  // no "+": 0
    EXPECT_EQ(back.updateNew.major, 1);
    EXPECT_EQ(back.updateNew.minor, 2);
    EXPECT_EQ(back.updateNew.build, 65535);
    EXPECT_EQ(back.langHash[0], 0);
    EXPECT_FALSE(read(nullptr));
    EXPECT_EQ(write(nullptr), 87u);
    ::DeleteFileW(GlobalDataPath().c_str());
}

// ---- the configuration type in a standard installation

// Mode 0: reports kind 0's folder, the type calls, then chooses `args[0]` (unless "-") and
// reports again.
int ConfigTypeChild(const std::vector<std::wstring>& args, ChildPut put) {
    auto folder = [] {
        wchar_t buffer[MAX_PATH];
        return Ordinal<BOOL (*)(int, wchar_t*, int)>(71)(0, buffer, MAX_PATH) ? Utf8(buffer)
                                                                              : std::string("!");
    };
    put("before", folder());
    put("type", std::to_string(Ordinal<GetTypeFn>(69)()));
    put("set", std::to_string(Ordinal<IsTypeSetFn>(114)()));
    if (args.at(0) != L"-") {
        put("code", std::to_string(Ordinal<SetTypeFn>(70)(std::stoi(args[0]))));
        put("after", folder());
        put("typeAfter", std::to_string(Ordinal<GetTypeFn>(69)()));
        put("setAfter", std::to_string(Ordinal<IsTypeSetFn>(114)()));
    }
    return 0;
}
const ChildRegistrar kConfigType(L"configtype", ConfigTypeChild);

TEST(ConfigType, StandardInstallationFollowsTheUsersChoice) {
    const std::wstring user = VendorFolder(CSIDL_APPDATA);
    const std::wstring file = user + L"\\userdata.tmd";
    ASSERT_EQ(::GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES)
        << "the prefix already has a user data record";
    const std::string common = Utf8(VendorFolder(CSIDL_COMMON_APPDATA));
    const std::string own = Utf8(user);

    // No folder yet: the save fails (5), and everything reads as unchosen shared.
    bool madeFolder = ::GetFileAttributesW(user.c_str()) == INVALID_FILE_ATTRIBUTES;
    auto got = RunChild(L"configtype", {L"1"}, {});
    if (madeFolder) {
        EXPECT_EQ(got["code"], "5");  // the folder is missing, so the save fails
        EXPECT_EQ(got["after"], common);
        ASSERT_EQ(::SHCreateDirectoryExW(nullptr, user.c_str(), nullptr), ERROR_SUCCESS);
    }
    EXPECT_EQ(got["before"], common);
    EXPECT_EQ(got["type"], "0");
    EXPECT_EQ(got["set"], "1");  // unreadable record: taken as chosen

    got = RunChild(L"configtype", {L"1"}, {});
    EXPECT_EQ(got["before"], common);
    EXPECT_EQ(got["code"], "0");
    EXPECT_EQ(got["after"], own);
    EXPECT_EQ(got["typeAfter"], "1");
    EXPECT_EQ(got["setAfter"], "1");

    // A fresh process takes the choice from the file.
    got = RunChild(L"configtype", {L"-1"}, {});
    EXPECT_EQ(got["before"], own);
    EXPECT_EQ(got["type"], "1");
    EXPECT_EQ(got["code"], "0");
    EXPECT_EQ(got["setAfter"], "0");  // withdrawn: ask again
    EXPECT_EQ(Attributes(file)["config_type_ask"], "1");

    got = RunChild(L"configtype", {L"-"}, {});
    EXPECT_EQ(got["before"], common);
    EXPECT_EQ(got["type"], "0");
    EXPECT_EQ(got["set"], "0");

    ::DeleteFileW(file.c_str());
    if (madeFolder) {
        ::RemoveDirectoryW(user.c_str());
        ::RemoveDirectoryW(user.substr(0, user.rfind(L'\\')).c_str());
    }
}

}  // namespace
}  // namespace kwill::test::config
