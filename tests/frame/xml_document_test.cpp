// XML document files: wide names, the retried load, the depth guard and the safe save, with the
// file operations faked where a test must make them fail or must not wait.
#include "frame/xml_document.h"
#include "tests/common/test_support.h"
#include "tools/common/text_io.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace kwill {
namespace {

using test::ReadFileBytes;
using test::ReadFileText;
using test::TempFolder;
using test::WriteFileBytes;

// Installs counting and failing file operations for one test and restores the real ones after.
struct FakeFileOps {
    static FakeFileOps* current;
    int sleeps = 0;
    int opens = 0;
    int moves = 0;
    int replaces = 0;
    bool failOpenForWrite = false;
    bool failWrites = false;
    bool failCommit = false;
    bool failClose = false;
    int moveFailures = 0;     // this many moves fail first
    int replaceFailures = 0;  // this many replaces fail first
    std::function<void()> onSleep;

    FakeFileOps() {
        current = this;
        XmlFileSeam() = {Sleep, Open, Commit, Close, Move, Replace};
    }
    ~FakeFileOps() {
        XmlFileSeam() = DefaultXmlFileOps();
        current = nullptr;
    }

    static void Sleep(DWORD) {
        ++current->sleeps;
        if (current->onSleep) current->onSleep();
    }
    static FILE* Open(const wchar_t* name, const wchar_t* mode) {
        ++current->opens;
        bool writing = mode[0] == L'w';
        if (writing && current->failOpenForWrite) return nullptr;
        FILE* file = DefaultXmlFileOps().open(name, mode);
        if (file && writing && current->failWrites) {
            // A stream open only for reading fails every write, as a full disk would.
            std::fclose(file);
            file = DefaultXmlFileOps().open(name, L"r");
        }
        return file;
    }
    static bool Commit(FILE* file) {
        // With failing writes the flush and the close report nothing more, so only the check
        // of the writes themselves can notice them.
        if (current->failWrites) return true;
        return !current->failCommit && DefaultXmlFileOps().commit(file);
    }
    static int Close(FILE* file) {
        int result = DefaultXmlFileOps().close(file);
        if (current->failWrites) return 0;
        return current->failClose ? EOF : result;
    }
    static BOOL Move(const wchar_t* from, const wchar_t* to) {
        if (current->moves++ < current->moveFailures) return FALSE;
        return DefaultXmlFileOps().move(from, to);
    }
    static BOOL Replace(const wchar_t* target, const wchar_t* replacement) {
        if (current->replaces++ < current->replaceFailures) return FALSE;
        return DefaultXmlFileOps().replace(target, replacement);
    }
};
FakeFileOps* FakeFileOps::current = nullptr;

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Printed(const TiXmlDocument& doc) {
    TiXmlPrinter printer;
    doc.Accept(&printer);
    return printer.Str();
}

std::string Nested(size_t depth, const std::string& open, const std::string& close) {
    std::string text;
    text.reserve(depth * (open.size() + close.size()));
    for (size_t i = 0; i < depth; ++i) text += open;
    for (size_t i = 0; i < depth; ++i) text += close;
    return text;
}

// The deepest element level of a node tree, walked without recursion.
size_t TreeDepth(const TiXmlNode* root) {
    size_t deepest = 0;
    std::vector<std::pair<const TiXmlNode*, size_t>> stack{{root, 0}};
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        if (depth > deepest) deepest = depth;
        for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling())
            stack.push_back({child, child->ToElement() ? depth + 1 : depth});
    }
    return deepest;
}

const char kSample[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
    "<prefs>\n"
    "    <folder name=\"C:\\Users\\J\xC3\xBCrgen\\\xE6\x96\x87\xE4\xBB\xB6\" flags=\"0x1f\" />\n"
    "    <n\xC3\xA4me>gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80 &amp; more</n\xC3\xA4me>\n"
    "</prefs>\n";

TEST(XmlDocumentFile, RoundTripsNonAsciiNamesAndContentWithAndWithoutBom) {
    struct Row {
        const wchar_t* fileName;
        bool bom;
    } rows[] = {
        {L"plain.xml", false},
        {L"J\u00fcrgen \u6587\u4ef6.xml", false},
        {L"J\u00fcrgen \u6587\u4ef6 bom.xml", true},
        {L"\U0001F600 emoji.xml", true},
    };
    TempFolder folder;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "bom " << row.bom);
        std::wstring path = folder / row.fileName;
        std::string bytes = std::string(row.bom ? "\xEF\xBB\xBF" : "") + kSample;
        ASSERT_TRUE(WriteFileBytes(path, bytes.data(), bytes.size()));

        XmlDocumentFile doc;
        ASSERT_TRUE(doc.LoadFile(path.c_str())) << doc.ErrorDesc();
        EXPECT_EQ(doc.WriteBom(), row.bom);
        const TiXmlElement* folderElement = doc.RootElement()->FirstChildElement("folder");
        ASSERT_NE(folderElement, nullptr);
        EXPECT_STREQ(folderElement->Attribute("name"),
                     "C:\\Users\\J\xC3\xBCrgen\\\xE6\x96\x87\xE4\xBB\xB6");

        std::wstring copyPath = path + L".copy.xml";
        ASSERT_TRUE(doc.SaveFile(copyPath.c_str()));
        std::string saved = ReadFileText(copyPath);
        EXPECT_EQ(saved.rfind("\xEF\xBB\xBF", 0) == 0, row.bom);
        EXPECT_NE(saved.find("\r\n"), std::string::npos) << "saved as a text file";

        XmlDocumentFile again;
        ASSERT_TRUE(again.LoadFile(copyPath.c_str())) << again.ErrorDesc();
        EXPECT_EQ(Printed(again), Printed(doc));
        EXPECT_FALSE(Exists(copyPath + L".tmp"));
    }
}

TEST(XmlDocumentFile, NewDocumentWritesBomOnlyWhenAsked) {
    TempFolder folder;
    for (bool bom : {false, true}) {
        XmlDocumentFile doc((folder / L"new.xml").c_str());
        doc.LinkEndChild(new TiXmlElement("root"));
        doc.SetWriteBom(bom);
        ASSERT_TRUE(doc.SaveFile());
        EXPECT_EQ(ReadFileText(folder / L"new.xml"),
                  std::string(bom ? "\xEF\xBB\xBF" : "") + "<root />\r\n");
    }
}

TEST(XmlDocumentFile, RefusesDeepNestingWithAParseError) {
    // Each pattern nests 100,000 levels in a way the parser would follow to the end.
    struct Row {
        const char* open;
        const char* close;
    } rows[] = {
        {"<a>", "</a>"},
        {"<a x='1'>", "</a>"},
        {"<a x=\"/>\">", "</a>"},
        {"<a x='>'\n>", "</a>"},
        {"<_b><!-- c -->", "</_b>"},
        {"<\xC3\xA9>", "</\xC3\xA9>"},
        {"<a>", ""},
    };
    TempFolder folder;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.open);
        std::string text = Nested(100000, row.open, row.close);
        XmlDocumentFile fromMemory;
        EXPECT_EQ(fromMemory.Parse(text.c_str()), nullptr);
        EXPECT_TRUE(fromMemory.Error());
        EXPECT_EQ(fromMemory.ErrorId(), TiXmlBase::TIXML_ERROR_PARSING_ELEMENT);
        EXPECT_EQ(fromMemory.FirstChild(), nullptr);

        std::wstring path = folder / L"deep.xml";
        ASSERT_TRUE(WriteFileBytes(path, text.data(), text.size()));
        XmlDocumentFile fromFile;
        EXPECT_FALSE(fromFile.LoadFile(path.c_str()));
        EXPECT_EQ(fromFile.ErrorId(), TiXmlBase::TIXML_ERROR_PARSING_ELEMENT);
        EXPECT_TRUE(fromFile.NestingRefused());

        XmlDocumentFile fromStream;
        std::istringstream in(text);
        in >> fromStream;
        EXPECT_TRUE(fromStream.Error());
    }
}

TEST(XmlDocumentFile, NestingUpToTheLimitLoadsAndTheErrorPointsAtTheFirstTagTooDeep) {
    XmlDocumentFile atLimit;
    std::string ok = Nested(kXmlMaxNesting, "<a>", "</a>");
    atLimit.Parse(ok.c_str());
    EXPECT_FALSE(atLimit.Error()) << atLimit.ErrorDesc();
    EXPECT_EQ(TreeDepth(&atLimit), kXmlMaxNesting);

    XmlDocumentFile beyond;
    std::string text = "<r>\n" + Nested(kXmlMaxNesting, "\t<a>", "</a>");
    EXPECT_EQ(beyond.Parse(text.c_str()), nullptr);
    EXPECT_EQ(beyond.ErrorRow(), 2);
    // 256 "\t<a>" (four columns each with tab stops of 4) before the offending one's tag.
    EXPECT_EQ(beyond.ErrorCol(), 1 + 256 * 4);
}

// Random tag soup: whatever the parser makes of it, the scan must never report less nesting
// than the tree the parser built.
TEST(XmlDocumentFile, DepthScanNeverUnderestimatesTheParser) {
    const char* pieces[] = {"<a>", "</a>",  "<b x='1'>", "<c/>",        "<d y=\"/>\">", "'",
                            "\"",  "<!-- ", " -->",      "<![CDATA[",   "]]>",          "<?xml v='",
                            "?>",  "<!x ",  ">",         "/",           "<1 ",          "text",
                            " ",   "<",     "=",         "<e\n z='>'>", "</b>"};
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        int count = 1 + static_cast<int>(random() % 60);
        for (int i = 0; i < count; ++i) text += pieces[random() % std::size(pieces)];
        TiXmlDocument parsed;
        parsed.Parse(text.c_str());
        ASSERT_GE(XmlNestingDepth(text.c_str()), TreeDepth(&parsed)) << text;
    }
}

TEST(XmlDocumentFile, LoadFailuresReportTheParserOrOpenError) {
    struct Row {
        const char* what;
        const char* content;  // null: no file
        const wchar_t* name;
        int errorId;
        int opens;
    } rows[] = {
        {"missing file", nullptr, L"missing.xml", TiXmlBase::TIXML_ERROR_OPENING_FILE, 1},
        {"missing folder", nullptr, L"nofolder\\x.xml", TiXmlBase::TIXML_ERROR_OPENING_FILE, 1},
        {"empty file", "", L"empty.xml", TiXmlBase::TIXML_ERROR_DOCUMENT_EMPTY, 1},
        {"malformed", "<a>\n  <b></a>", L"bad.xml", TiXmlBase::TIXML_ERROR_READING_END_TAG, 1},
        {"unterminated", "<a x='1", L"cut.xml", TiXmlBase::TIXML_ERROR_PARSING_ELEMENT, 1},
    };
    TempFolder folder;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::wstring path = folder / row.name;
        if (row.content) {
            ASSERT_TRUE(WriteFileBytes(path, row.content, std::strlen(row.content)));
        }
        FakeFileOps ops;
        XmlDocumentFile doc;
        EXPECT_FALSE(doc.LoadFile(path.c_str()));
        EXPECT_EQ(doc.ErrorId(), row.errorId) << doc.ErrorDesc();
        EXPECT_EQ(ops.opens, row.opens);
        EXPECT_EQ(ops.sleeps, 0);
    }
    XmlDocumentFile doc;
    ASSERT_TRUE(WriteFileBytes(folder / L"bad2.xml", "<a>\n  <b></a>", 13));
    EXPECT_FALSE(doc.LoadFile((folder / L"bad2.xml").c_str()));
    EXPECT_STREQ(doc.ErrorDesc(), "Error reading end tag.");
    EXPECT_EQ(doc.ErrorRow(), 2);
}

TEST(XmlDocumentFile, LoadWaitsForAFileHeldWithoutSharing) {
    TempFolder folder;
    std::wstring path = folder / L"locked.xml";
    ASSERT_TRUE(WriteFileBytes(path, "<a>1</a>", 8));
    for (int releaseAfter : {3, 0}) {  // 0: never released
        SCOPED_TRACE(releaseAfter);
        HANDLE held =
            ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        FakeFileOps ops;
        ops.onSleep = [&] {
            if (ops.sleeps == releaseAfter) ::CloseHandle(std::exchange(held, nullptr));
        };
        XmlDocumentFile doc;
        bool loaded = doc.LoadFile(path.c_str());
        if (releaseAfter) {
            EXPECT_TRUE(loaded) << doc.ErrorDesc();
            EXPECT_EQ(ops.sleeps, releaseAfter);
            EXPECT_STREQ(doc.RootElement()->GetText(), "1");
        } else {
            EXPECT_FALSE(loaded);
            EXPECT_EQ(ops.opens, kXmlFileAttempts);
            EXPECT_EQ(ops.sleeps, kXmlFileAttempts - 1);
            EXPECT_STREQ(doc.ErrorDesc(), "Failed to open file");
        }
        if (held) ::CloseHandle(held);
    }
}

TEST(XmlDocumentFile, FailedSaveKeepsTheOldFileByteForByteAndLeavesNoTemporary) {
    struct Row {
        const char* what;
        void (*arrange)(FakeFileOps&);
        bool saved;
        int sleeps;
    } rows[] = {
        {"temporary cannot be created", [](FakeFileOps& o) { o.failOpenForWrite = true; }, false,
         kXmlFileAttempts - 1},
        {"write fails", [](FakeFileOps& o) { o.failWrites = true; }, false, 0},
        {"flush to disk fails", [](FakeFileOps& o) { o.failCommit = true; }, false, 0},
        {"close fails", [](FakeFileOps& o) { o.failClose = true; }, false, 0},
        {"move and replace keep failing",
         [](FakeFileOps& o) {
             o.moveFailures = 100;
             o.replaceFailures = 100;
         },
         false, kXmlFileAttempts - 1},
        {"replace works on the third round",
         [](FakeFileOps& o) {
             o.moveFailures = 100;
             o.replaceFailures = 2;
         },
         true, 2},
    };
    TempFolder folder;
    const std::string old = "<old>keep me</old>";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::wstring path = folder / L"target.xml";
        ASSERT_TRUE(WriteFileBytes(path, old.data(), old.size()));
        XmlDocumentFile doc(path.c_str());
        doc.Parse("<new>content</new>");
        ASSERT_FALSE(doc.Error());
        FakeFileOps ops;
        row.arrange(ops);
        EXPECT_EQ(doc.SaveFile(), row.saved);
        EXPECT_EQ(ops.sleeps, row.sleeps);
        EXPECT_FALSE(Exists(path + L".tmp"));
        std::string now = ReadFileText(path);
        if (row.saved) {
            EXPECT_EQ(now, "<new>content</new>\r\n");
        } else {
            EXPECT_EQ(now, old);
        }
    }
}

TEST(XmlDocumentFile, SaveOverALockedTargetFailsAndKeepsIt) {
    TempFolder folder;
    std::wstring path = folder / L"held.xml";
    ASSERT_TRUE(WriteFileBytes(path, "<old/>", 6));
    HANDLE held = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    FakeFileOps ops;
    XmlDocumentFile doc(path.c_str());
    doc.Parse("<new/>");
    EXPECT_FALSE(doc.SaveFile());
    EXPECT_EQ(ops.replaces, kXmlFileAttempts);
    EXPECT_FALSE(Exists(path + L".tmp"));
    ::CloseHandle(held);
    EXPECT_EQ(ReadFileText(path), "<old/>");
}

TEST(XmlDocumentFile, SaveClearsProtectiveAttributesOfTargetAndStaleTemporary) {
    TempFolder folder;
    std::wstring path = folder / L"prefs.xml";
    ASSERT_TRUE(WriteFileBytes(path, "<old/>", 6));
    ASSERT_TRUE(WriteFileBytes(path + L".tmp", "stale", 5));
    ::SetFileAttributesW(path.c_str(),
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    ::SetFileAttributesW((path + L".tmp").c_str(), FILE_ATTRIBUTE_READONLY);
    XmlDocumentFile doc(path.c_str());
    doc.Parse("<new/>");
    FakeFileOps ops;
    EXPECT_TRUE(doc.SaveFile());
    EXPECT_EQ(ReadFileText(path), "<new />\r\n");
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    EXPECT_EQ(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
    EXPECT_FALSE(Exists(path + L".tmp"));
}

TEST(XmlDocumentFile, ClearProtectiveAttributesKeepsTheOthers) {
    TempFolder folder;
    std::wstring path = folder / L"a.xml";
    ASSERT_TRUE(WriteFileBytes(path, "x", 1));
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_TRUE(XmlDocumentFile::ClearProtectiveAttributes(path.c_str()));
    EXPECT_EQ(::GetFileAttributesW(path.c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE});
    EXPECT_TRUE(XmlDocumentFile::ClearProtectiveAttributes((folder / L"none").c_str()));
}

TEST(XmlDocumentFile, NarrowValueFollowsTheWideNameAndAStaleOneIsRefused) {
    TempFolder folder;
    std::wstring path = folder / L"\u00e9t\u00e9.xml";
    XmlDocumentFile doc(path.c_str());
    EXPECT_EQ(doc.ValueStr(), tools::Utf8FromWide(path));
    EXPECT_TRUE(doc.HasConsistentFileName());
    doc.Parse("<a/>");
    ASSERT_TRUE(doc.SaveFile());

    XmlDocumentFile copy(doc);
    EXPECT_STREQ(copy.WideFileName(), path.c_str());
    EXPECT_TRUE(copy.LoadFile());

    doc.SetValue("elsewhere.xml");
    EXPECT_FALSE(doc.HasConsistentFileName());
    EXPECT_FALSE(doc.LoadFile());
    EXPECT_FALSE(doc.SaveFile());

    doc.SetWideFileName(nullptr);
    EXPECT_EQ(doc.ValueStr(), "");
    EXPECT_TRUE(doc.HasConsistentFileName());
    EXPECT_FALSE(doc.LoadFile());

    // 100 ideographs take 300 bytes in UTF-8, more than the narrow value holds; the wide name
    // still works.
    std::wstring longPath = folder / (std::wstring(100, L'\u6587') + L".xml");
    XmlDocumentFile longName(longPath.c_str());
    EXPECT_EQ(longName.ValueStr(), "");
    EXPECT_TRUE(longName.HasConsistentFileName());
    longName.Parse("<long/>");
    EXPECT_TRUE(longName.SaveFile());
    EXPECT_TRUE(longName.LoadFile());
    EXPECT_STREQ(longName.RootElement()->Value(), "long");
}

TEST(XmlDocumentFile, LoadsFromAnOpenStreamWithLineEndsNormalised) {
    TempFolder folder;
    std::wstring path = folder / L"crlf.xml";
    const char text[] = "<a>\r\n<b><![CDATA[x\ry\r\nz]]></b>\r\n</a>";
    ASSERT_TRUE(WriteFileBytes(path, text, sizeof(text) - 1));
    FILE* stream = _wfopen(path.c_str(), L"rb");
    ASSERT_NE(stream, nullptr);
    std::fseek(stream, 3, SEEK_SET);  // the whole file is read whatever the position
    XmlDocumentFile doc;
    EXPECT_TRUE(doc.LoadFile(stream));
    std::fclose(stream);
    EXPECT_STREQ(doc.RootElement()->FirstChildElement("b")->GetText(), "x\ny\nz");
}

}  // namespace
}  // namespace kwill

namespace kwill {
namespace {

// Shell extension threads may have small stacks: a document at the nesting limit must parse,
// print, copy and be freed (all recursive) well within one.
DWORD WINAPI UseDeepDocument(void* parameter) {
    auto* text = static_cast<const std::string*>(parameter);
    XmlDocumentFile doc;
    doc.Parse(text->c_str());
    if (doc.Error()) return 1;
    XmlDocumentFile copy(doc);
    TiXmlPrinter printer;
    copy.Accept(&printer);
    return printer.Str().empty() ? 2 : 0;
}

TEST(XmlDocumentFile, DocumentAtTheLimitFitsASmallThreadStack) {
    std::string text = Nested(kXmlMaxNesting, "<level attribute='value'>", "</level>");
    HANDLE thread = ::CreateThread(nullptr, 256 * 1024, UseDeepDocument, &text,
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(::WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    ::GetExitCodeThread(thread, &exitCode);
    ::CloseHandle(thread);
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
}  // namespace kwill
