// Preference flags from the configuration files (no host window exists while this program runs):
// the main preferences file, archives.txc and its format lists, and the extraction texts of
// "State Data\archives.tsd", read through the export the tool uses.
#include "hostlink/prefs_reply.h"
#include "tests/hostlink/config_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kwill::test::config {
namespace {

using kwill::host::PrefsFlagsData;

using BuildFn = DWORD (*)(BOOL, void*, DWORD, DWORD*);

constexpr char kZipGuid[] = "6566C9D9-DD78-446D-BF74-F93B8B1B571D";
constexpr char kCabGuid[] = "0B2C35D7-1E7F-4A36-9E41-6A1B7C9D0E21";

struct Loaded {
    PrefsFlagsData data;
    DWORD source = 99;
};

Loaded LoadFlags(bool full) {
    auto build = Named<BuildFn>("BuildPrefsFlagsReply");
    Loaded out;
    std::vector<uint8_t> reply(build(full, nullptr, 0, &out.source));
    EXPECT_EQ(build(full, reply.data(), static_cast<DWORD>(reply.size()), &out.source),
              reply.size());
    kwill::host::ParsePrefsReply(reply, out.data);
    return out;
}

void Put(const wchar_t* relative, const std::string& text) {
    ::CreateDirectoryW((ScratchData() + L"ConfigFiles").c_str(), nullptr);
    ::CreateDirectoryW((ScratchData() + L"State Data").c_str(), nullptr);
    const std::wstring path = ScratchData() + relative;
    if (text.empty()) {
        ::DeleteFileW(path.c_str());
    } else {
        ASSERT_TRUE(WriteFileBytes(path, text.data(), text.size()));
    }
}

std::string Prefs(const char* zipFlags) {
    return std::string("<prefs><flags settings1=\"0x10\" settings2=\"2\" settings4=\"-1\"/>") +
           "<zip flags=\"" + zipFlags + "\"/></prefs>";
}

std::string Fmt(const char* ext, const char* desc, const char* guid) {
    std::string out = "<fmt";
    if (ext) out += std::string(" ext=\"") + ext + "\"";
    if (desc) out += std::string(" desc=\"") + desc + "\"";
    if (guid) out += std::string(" guid=\"") + guid + "\"";
    return out + "/>";
}

std::string Archives() {
    return "<prefs><archive_context flags=\"0x15\"><general>" + Fmt(".cab", "Cabinet", kCabGuid) +
           Fmt(".zip", "Zip file", kZipGuid) + Fmt(nullptr, "no ext", kCabGuid) +
           Fmt(".x", nullptr, kCabGuid) + Fmt(".y", "no guid", nullptr) +
           Fmt(".z", "bad guid", "not-a-guid") +
           Fmt(".b", "braces", "{0B2C35D7-1E7F-4A36-9E41-6A1B7C9D0E21}") + "</general><named>" +
           Fmt(".zip", "Zip again", kZipGuid) + "</named></archive_context></prefs>";
}

std::vector<std::string> Extensions(const PrefsFlagsData& d, int list) {
    std::vector<std::string> out;
    for (const auto& e : d.formatLists[list])
        out.push_back(Utf8(std::wstring(e.extension.begin(), e.extension.end())));
    return out;
}

using Names = std::vector<std::string>;

TEST(PrefsFromFiles, FlagsArchivesAndExtractionTexts) {
    struct Row {
        const char* name;
        std::string prefs, archives, state;
        bool full;
        DWORD source;
        uint32_t context;
        Names general, named, email;
        const char* formats;
    } rows[] = {
        {"no preferences file", "", Archives(), "", true, 0, 0, {}, {}, {}, ""},
        {"flags only", Prefs("1"), Archives(), "", false, 2, 0, {}, {}, {}, ""},
        {"no archives.txc, zip on",
         Prefs("0x1"),
         "",
         "",
         true,
         2,
         62,
         {".zip"},
         {".zip"},
         {".zip"},
         ""},
        {"no archives.txc, zip off", Prefs("2"), "", "", true, 2, 62, {}, {}, {}, ""},
        {"archives.txc, zip on",
         Prefs("1"),
         Archives(),
         "",
         true,
         2,
         0x15,
         {".cab", ".zip"},
         {".zip"},
         {},
         ""},
        {"archives.txc, zip off: its entries left out",
         Prefs("0"),
         Archives(),
         "",
         true,
         2,
         0x15,
         {".cab"},
         {},
         {},
         ""},
        {"extraction texts",
         Prefs("0"),
         Archives(),
         "<archives><extraction_formats>zip;7z</extraction_formats></archives>",
         true,
         2,
         0x15,
         {".cab"},
         {},
         {},
         "zip;7z"},
    };
    for (const Row& row : rows) {
        Put(L"ConfigFiles\\Prefs.txc", row.prefs);
        Put(L"ConfigFiles\\archives.txc", row.archives);
        Put(L"State Data\\archives.tsd", row.state);
        Loaded got = LoadFlags(row.full);
        EXPECT_EQ(got.source, row.source) << row.name;
        EXPECT_EQ(got.data.settings1, row.source ? 0x10u : 0u) << row.name;
        EXPECT_EQ(got.data.settings4, row.source ? UINT64_MAX : 0u) << row.name;
        EXPECT_EQ(got.data.extra, 0u) << row.name;
        EXPECT_EQ(got.data.archiveContext, row.context) << row.name;
        EXPECT_EQ(Extensions(got.data, 0), row.general) << row.name;
        EXPECT_EQ(Extensions(got.data, 1), row.named) << row.name;
        EXPECT_EQ(Extensions(got.data, 2), row.email) << row.name;
        EXPECT_EQ(Utf8(std::wstring(got.data.extractionFormats.begin(),
                                    got.data.extractionFormats.end())),
                  row.formats)
            << row.name;
        EXPECT_EQ(got.data.extractionMappings, u"") << row.name;
    }
    // The built-in entry as it is made up when archives.txc is missing.
    Put(L"ConfigFiles\\Prefs.txc", Prefs("1"));
    Put(L"ConfigFiles\\archives.txc", "");
    Loaded zip = LoadFlags(true);
    ASSERT_EQ(zip.data.formatLists[2].size(), 1u);
    GUID guid;
    std::memcpy(&guid, zip.data.formatLists[2][0].guid, sizeof(guid));
    wchar_t text[40];
    ::StringFromGUID2(guid, text, 40);
    std::string want = std::string("{").append(kZipGuid).append("}");
    EXPECT_EQ(Utf8(text), want);
    EXPECT_EQ(zip.data.formatLists[2][0].description, u"ZIP");
    Put(L"ConfigFiles\\Prefs.txc", "");
}

}  // namespace
}  // namespace kwill::test::config
