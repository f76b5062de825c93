// The diagnostic dumps: DumpDataBlock's layout against golden text, DumpDataObject on a test
// object whose every format is known and on real shell data objects, and hostile blocks that
// claim more than they hold.
#include "frame/debug_output.h"
#include "tests/common/test_support.h"
#include "tests/support/test_data_object.h"
#include "util/data_object.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace kwill::test {
namespace {

using Microsoft::WRL::ComPtr;

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());  // the dumps are ASCII but for file names
}

// The lines written through the library's debug output, without the "[tid] kwill: " prefix.
std::vector<std::wstring>* capturedLines = nullptr;

void Capture(const wchar_t* line) {
    if (!capturedLines) return;
    std::wstring text(line);
    size_t prefix = text.find(L"] kwill: ");
    capturedLines->push_back(prefix == std::wstring::npos ? text : text.substr(prefix + 9));
}

// Collects what the statically linked library code writes while it lives.
class DebugCapture {
  public:
    DebugCapture() {
        capturedLines = &lines_;
        old_ = DebugSink();
        DebugSink() = Capture;
    }
    ~DebugCapture() {
        DebugSink() = old_;
        capturedLines = nullptr;
    }
    // Everything written, as one text ("\n" where the library wrote it).
    std::string Text() const {
        std::string text;
        for (const std::wstring& line : lines_) text += Narrow(line);
        return text;
    }

  private:
    std::vector<std::wstring> lines_;
    DebugSinkFn old_;
};

std::vector<uint8_t> GoldenBytes(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    return bytes;
}

TEST(DumpDataBlock, MatchesTheGoldenText) {
    std::istringstream golden(ReadFileText(ExeFolder() + L"dump_block_golden.txt"));
    std::string line;
    int sections = 0;
    std::string expected;
    size_t size = 0, maxShow = 0;
    auto check = [&] {
        if (!sections) return;
        std::vector<uint8_t> bytes = GoldenBytes(size);
        DebugCapture capture;
        util::DumpBlock(bytes.data(), size, maxShow);
        EXPECT_EQ(capture.Text(), expected) << "size " << size << " max " << maxShow;
    };
    while (std::getline(golden, line)) {
        if (line.rfind("## ", 0) == 0) {
            check();
            ++sections;
            expected.clear();
            std::sscanf(line.c_str(), "## size %zu max %zu", &size, &maxShow);
        } else if (!line.empty() && line[0] != '#') {
            expected += line + "\n";
        }
    }
    check();
    EXPECT_GE(sections, 10);
}

// Without a debugger, OutputDebugString raises an exception carrying the text; a vectored
// handler sees it, so the export itself can be watched.
std::vector<std::string> exportLines;
LONG CALLBACK WatchDebugStrings(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C && record->NumberParameters >= 2) {
        exportLines.push_back(
            Narrow(reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1])));
    } else if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
        exportLines.emplace_back(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

TEST(DumpDataBlock, ExportWritesToTheDebugger) {
    auto dump = Ordinal<void (*)(const void*, size_t, size_t)>(124);
    ASSERT_NE(dump, nullptr);
    std::vector<uint8_t> bytes = GoldenBytes(40);
    exportLines.clear();
    void* handler = ::AddVectoredExceptionHandler(1, WatchDebugStrings);
    dump(bytes.data(), bytes.size(), 0);
    dump(nullptr, 0, 0);
    ::RemoveVectoredExceptionHandler(handler);
    if (exportLines.empty()) GTEST_SKIP() << "this system raises no debug-string exceptions";
    // A wide line may arrive once wide and once as its ANSI copy; count the distinct ones.
    std::vector<std::string> lines;
    for (const std::string& l : exportLines)
        if (lines.empty() || lines.back() != l) lines.push_back(l);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("kwill: Data size: 40 (0x00000028) bytes; First 4 bytes as DWORD: "),
              std::string::npos);
    EXPECT_NE(lines[2].find("kwill: Data: abd0f51a 3f6489ae "), std::string::npos);
    EXPECT_NE(lines[3].find("kwill: Data size: 0 (0x00000000) bytes\n"), std::string::npos);
}

std::string Number(CLIPFORMAT format) {
    return std::to_string(format);
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

CLIPFORMAT Format(const wchar_t* name) {
    return static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(name));
}

// Every kind of format at once, in an order that shows each rule of the dump.
TEST(DumpDataObject, GoldenTextOfAKnownObject) {
    ComPtr<TestDataObject> object = TestDataObject::Make();
    object->Add(CF_TEXT, NarrowBytes("hello"));
    object->Add(L"Preferred DropEffect", {5, 0, 0, 0});
    object->Add(L"DragWindow", {0x34, 0x12, 0, 0});  // no such window
    object->Add(L"UniformResourceLocatorW", WideBytes(L"http://x/"));
    TestFormat stream;
    stream.format = Format(L"kwill stream");
    stream.bytes = std::vector<uint8_t>(20, 'S');
    stream.offered = stream.given = TYMED_ISTREAM;
    stream.statNotImplemented = true;
    object->Add(stream);
    object->Add(CF_HDROP, DropFilesBlock({L"C:\\a.txt", L"D:\\b"}));
    object->Add(L"DragImageBits", {1, 2, 3, 4});
    object->Add(CF_DIB, {1, 2, 3, 4});
    TestFormat failing;
    failing.format = Format(L"kwill fails");
    failing.getData = E_FAIL;
    object->Add(failing);
    object->setFormats.push_back({CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});

    DebugCapture capture;
    util::DumpObject(object.Get());
    std::string expected = R"(-----------------------------------
EnumDataFormats - GET
Format 1 -  (ptd 0000000000000000 aspect 1 lindex -1 tymed 1)
Data size: 6 (0x00000006) bytes; First 4 bytes as DWORD: 1819043176 (0x6c6c6568)
Data: 68656c6c 6f00                                                            hello.                          
- - - - - - - - - - - - - - - - - -
Format {DropEffect} - Preferred DropEffect (ptd 0000000000000000 aspect 1 lindex -1 tymed 1)
	5
- - - - - - - - - - - - - - - - - -
Format {DragWindow} - DragWindow (ptd 0000000000000000 aspect 1 lindex -1 tymed 1)
Data size: 4 (0x00000004) bytes; First 4 bytes as DWORD: 4660 (0x00001234)
Data: 34120000                                                                 4...                            
- - - - - - - - - - - - - - - - - -
Format {Url} - UniformResourceLocatorW (ptd 0000000000000000 aspect 1 lindex -1 tymed 1)
Data size: 20 (0x00000014) bytes; First 4 bytes as DWORD: 7602280 (0x00740068); First 8 bytes as DWORDLONG: 31525695615402088 (0x0070007400740068)
Data: 68007400 74007000 3a002f00 2f007800 2f000000                             h.t.t.p.:././.x./...            
- - - - - - - - - - - - - - - - - -
Format {Stream} - kwill stream (ptd 0000000000000000 aspect 1 lindex -1 tymed 4)
GetData IStream Read size mismatch: 0x14 != 0x400
Data size: 20 (0x00000014) bytes; First 4 bytes as DWORD: 1397969747 (0x53535353); First 8 bytes as DWORDLONG: 6004234345560363859 (0x5353535353535353)
Data: 53535353 53535353 53535353 53535353 53535353                             SSSSSSSSSSSSSSSSSSSS            
- - - - - - - - - - - - - - - - - -
Format 15 -  (ptd 0000000000000000 aspect 1 lindex -1 tymed 1)
{HdropDump}- - - - - - - - - - - - - - - - - -
Format {DragImageBits} - DragImageBits (ptd 0000000000000000 aspect 1 lindex -1 tymed 1)
- - - - - - - - - - - - - - - - - -
Format 8 -  (ptd 0000000000000000 aspect 1 lindex -1 tymed 1)
- - - - - - - - - - - - - - - - - -
Format {Fails} - kwill fails (ptd 0000000000000000 aspect 1 lindex -1 tymed 1)
GetData failed. HR: 0x80004005
Enum ended with HR 1
-----------------------------------
EnumDataFormats - SET
Format 1 -  (ptd 0000000000000000 aspect 1 lindex -1 tymed 1)
Enum ended with HR 1
-----------------------------------
DragSourceHelperFlags: not found
DropDescription: not found
DragWindow: 0000000000001234 (invalid window handle)
Preferred Drop Effect: 5
CF_HDROP: pFiles 20 pt 0,0 fNC 0 fWide 1
    43 C:\a.txt
    44 D:\b
HTML Format: not found
UniformResourceLocator: http://x/
CF_TEXT: hello
Shell IDList Array: not found
Shell Object Offsets: not found
FileGroupDescriptor : FileGroupDescriptor: not found
)";
    // The CF_HDROP block as offered (the copy with two zero bytes more is only for reading).
    std::vector<uint8_t> hdrop = DropFilesBlock({L"C:\\a.txt", L"D:\\b"});
    std::string hdropDump;
    {
        DebugCapture inner;
        util::DumpBlock(hdrop.data(), hdrop.size(), 1024);
        hdropDump = inner.Text();
    }
    ReplaceAll(expected, "{HdropDump}", hdropDump);
    ReplaceAll(expected, "{DropEffect}", Number(Format(L"Preferred DropEffect")));
    ReplaceAll(expected, "{DragWindow}", Number(Format(L"DragWindow")));
    ReplaceAll(expected, "{Url}", Number(Format(L"UniformResourceLocatorW")));
    ReplaceAll(expected, "{Stream}", Number(Format(L"kwill stream")));
    ReplaceAll(expected, "{DragImageBits}", Number(Format(L"DragImageBits")));
    ReplaceAll(expected, "{Fails}", Number(Format(L"kwill fails")));
    EXPECT_EQ(capture.Text(), expected);
    EXPECT_EQ(object->log().releaseObjectsReleased, object->log().releaseObjectsMade);
}

// Blocks whose counts, offsets or sizes point outside them are reported, never followed.
TEST(DumpDataObject, HostileBlocksAreReportedAsBadData) {
    auto u32 = [](std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
        if (bytes.size() < at + 4) bytes.resize(at + 4);
        std::memcpy(bytes.data() + at, &value, 4);
    };
    // A valid ID-list array: count 1, offsets 12 and 16, parent list empty, one item "ab".
    std::vector<uint8_t> cida = {1, 0, 0, 0, 12, 0, 0, 0, 14, 0, 0, 0, 0, 0, 4, 0, 'a', 'b', 0, 0};
    std::vector<uint8_t> fgd(4 + sizeof(FILEDESCRIPTORW), 0);
    u32(fgd, 0, 1);
    struct Row {
        const char* name;
        const wchar_t* format;  // null: CF_HDROP
        std::vector<uint8_t> bytes;
        const char* expected;  // a line the dump must hold
    };
    std::vector<Row> rows = {
        {"DROPFILES shorter than its header",
         nullptr,
         {20, 0, 0, 0, 0},
         "GetData returned bad data\n"},
        {"pFiles past the block", nullptr, DropFilesBlock({L"C:\\a"}),
         "GetData returned bad data\n"},
        {"pFiles inside the header", nullptr, DropFilesBlock({L"C:\\a"}),
         "GetData returned bad data\n"},
        {"valid ID-list array", L"Shell IDList Array", cida, "    1: <4 ab>\n"},
        {"ID-list count beyond the block", L"Shell IDList Array", cida,
         "GetData returned bad data\n"},
        {"ID-list count of 2^32-1", L"Shell IDList Array", cida, "GetData returned bad data\n"},
        {"ID-list offset past the block", L"Shell IDList Array", cida,
         "GetData returned bad data\n"},
        {"item running past the block", L"Shell IDList Array", cida, "GetData returned bad data\n"},
        {"item too short to hold its size", L"Shell IDList Array", cida,
         "GetData returned bad data\n"},
        {"list without its terminator", L"Shell IDList Array", cida, "GetData returned bad data\n"},
        {"valid file group", L"FileGroupDescriptorW", fgd, "FileGroupDescriptor: 1 items\n"},
        {"file group count beyond the block", L"FileGroupDescriptorW", fgd,
         "GetData returned bad data\n"},
        {"file group count of 2^32-1", L"FileGroupDescriptorW", fgd, "GetData returned bad data\n"},
        {"file group of 3 bytes",
         L"FileGroupDescriptorW",
         {1, 0, 0},
         "GetData returned bad data\n"},
        {"URL without a terminator",
         L"UniformResourceLocatorW",
         {'h', 0, 't', 0},
         "UniformResourceLocator: ht\n"},
    };
    u32(rows[1].bytes, 0, 1000);
    u32(rows[2].bytes, 0, 4);
    u32(rows[4].bytes, 0, 3);
    u32(rows[5].bytes, 0, 0xFFFFFFFF);
    u32(rows[6].bytes, 8, 400);
    rows[7].bytes[14] = 40;
    rows[8].bytes[14] = 1;
    rows[9].bytes.resize(18);
    u32(rows[11].bytes, 0, 2);
    u32(rows[12].bytes, 0, 0xFFFFFFFF);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ComPtr<TestDataObject> object = TestDataObject::Make();
        if (row.format)
            object->Add(row.format, row.bytes);
        else
            object->Add(CF_HDROP, row.bytes);
        DebugCapture capture;
        util::DumpObject(object.Get());
        EXPECT_NE(capture.Text().find(row.expected), std::string::npos) << capture.Text();
    }
}

// Random damage to valid blocks: whatever the bytes say, the dump finishes.
TEST(DumpDataObject, MutatedBlocksNeverCrash) {
    std::vector<uint8_t> cida = {2, 0, 0, 0, 16,  0,   0, 0, 18, 0, 0,   0,   24,  0, 0, 0,
                                 0, 0, 4, 0, 'a', 'b', 0, 0, 5,  0, 'c', 'd', 'e', 0, 0};
    std::vector<uint8_t> fgd(4 + 2 * sizeof(FILEDESCRIPTORW), 'n');
    fgd[0] = 2;
    fgd[1] = fgd[2] = fgd[3] = 0;
    const std::vector<uint8_t> seeds[] = {DropFilesBlock({L"C:\\one", L"C:\\two"}),
                                          DropFilesBlock({L"C:\\one"}, false), cida, fgd};
    const wchar_t* formats[] = {nullptr, nullptr, L"Shell IDList Array", L"FileGroupDescriptorW"};
    std::mt19937 random(17);
    DebugCapture capture;  // keeps the output away from the debugger
    for (int round = 0; round < 400; ++round) {
        size_t which = round % 4;
        std::vector<uint8_t> bytes = seeds[which];
        int changes = 1 + random() % 4;
        for (int c = 0; c < changes; ++c) {
            switch (random() % 3) {
                case 0:
                    bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
                    break;
                case 1:
                    bytes.resize(random() % (bytes.size() + 1));
                    break;
                default:
                    bytes[random() % 4 % bytes.size()] = 0xFF;
                    break;
            }
            if (bytes.empty()) bytes.push_back(0);
        }
        ComPtr<TestDataObject> object = TestDataObject::Make();
        if (formats[which])
            object->Add(formats[which], bytes);
        else
            object->Add(CF_HDROP, bytes);
        util::DumpObject(object.Get());
    }
    SUCCEED();
}

TEST(DumpDataObject, FailingEnumerationAndNullObject) {
    ComPtr<TestDataObject> object = TestDataObject::Make();
    object->enumFormatResult = E_OUTOFMEMORY;
    DebugCapture capture;
    util::DumpObject(object.Get());
    util::DumpObject(nullptr);
    std::string text = capture.Text();
    EXPECT_EQ(text.rfind("-----------------------------------\nEnumDataFormats - GET\n"
                         "Enum ended with HR 8007000e\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("FileGroupDescriptor: not found\n"), std::string::npos);
}

class ShellDataObjects : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
        for (const wchar_t* name : {L"first.txt", L"second file.dat"})
            ASSERT_TRUE(WriteFileBytes(folder_ / name, "x", 1));
    }
    void TearDown() override { ::OleUninitialize(); }
    std::wstring Folder() const { return folder_.path().substr(0, folder_.path().size() - 1); }
    TempFolder folder_;
};

TEST_F(ShellDataObjects, DumpShowsTheFilesAndTheIdLists) {
    for (bool fromIdArray : {false, true}) {
        SCOPED_TRACE(fromIdArray ? "CIDLData_CreateFromIDArray" : "GetUIObjectOf");
        ComPtr<IDataObject> object =
            ShellDataObject(Folder(), {L"first.txt", L"second file.dat"}, fromIdArray);
        ASSERT_TRUE(object);
        DebugCapture capture;
        util::DumpObject(object.Get());
        std::string text = capture.Text();
        std::string first = Narrow(folder_ / L"first.txt");
        EXPECT_NE(text.find("Shell IDList Array: 2 items\n"), std::string::npos) << text;
        EXPECT_NE(text.find("    2: <"), std::string::npos) << text;
        EXPECT_NE(text.find("first.txt"), std::string::npos) << text;
        EXPECT_EQ(text.find("GetData returned bad data"), std::string::npos) << text;
        if (text.find("CF_HDROP: not found") == std::string::npos) {
            EXPECT_NE(text.find("CF_HDROP: pFiles 20 pt 0,0 fNC 0 fWide 1\n"), std::string::npos)
                << text;
            char line[16];
            std::snprintf(line, sizeof(line), "    %02x ", static_cast<unsigned char>(first[0]));
            EXPECT_NE(text.find(line + first + "\n"), std::string::npos) << text;
        }
    }
}

}  // namespace
}  // namespace kwill::test
