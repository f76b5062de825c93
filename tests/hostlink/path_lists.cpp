// The favourites, recent and alias lists as a host sees them through the exports: generated
// files in a temporary configuration folder (installation mode 2, the folder named by
// "PA_TARNDATAFILES"), walked into an indented tree; hostile handles and files.
//
// This is a program of its own: the library fills its table of configuration folders once per
// process, so the folder must be set before anything else asks for it.
#include "hostlink/path_list.h"
#include "tests/common/test_support.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace kwill {
namespace {

using test::Named;

using ListFn = void* (*)();
using FreeFn = void (*)(void*);
using WalkFn = void* (*)(void*);
using CopyWFn = BOOL (*)(void*, wchar_t*, int);
using CopyAFn = BOOL (*)(void*, char*, int);

struct Api {
    ListFn favorites = Named<ListFn>("GetFavoritesList");
    ListFn recent = Named<ListFn>("GetRecentList");
    ListFn aliases = Named<ListFn>("GetPathAliasList");
    ListFn smart = Named<ListFn>("GetSmartFavoritesList");
    FreeFn free = Named<FreeFn>("FreeFavoritesList");
    WalkFn firstPath = Named<WalkFn>("GetFirstPathEntry");
    WalkFn nextPath = Named<WalkFn>("GetNextPathEntry");
    WalkFn firstFolder = Named<WalkFn>("GetFirstSubfolder");
    WalkFn nextFolder = Named<WalkFn>("GetNextSubfolder");
    CopyWFn labelW = Named<CopyWFn>("GetEntryLabelW");
    CopyWFn pathW = Named<CopyWFn>("GetEntryPathW");
    CopyAFn labelA = Named<CopyAFn>("GetEntryLabelA");
    CopyAFn pathA = Named<CopyAFn>("GetEntryPathA");
};

const Api& Fn() {
    static Api api;
    return api;
}

std::string Utf8(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

std::string Utf8FromAnsi(const std::string& text) {
    int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
    return Utf8(wide);
}

// One entry's label and path, through the W or the A exports; "-" for a missing string.
std::string Describe(void* entry, bool ansi) {
    std::string out;
    for (bool path : {false, true}) {
        if (path) out += " = ";
        if (ansi) {
            char buffer[1024];
            auto copy = path ? Fn().pathA : Fn().labelA;
            out += copy(entry, buffer, 1024) ? Utf8FromAnsi(buffer) : "-";
        } else {
            wchar_t buffer[1024];
            auto copy = path ? Fn().pathW : Fn().labelW;
            out += copy(entry, buffer, 1024) ? Utf8(buffer) : "-";
        }
    }
    return out;
}

// The tree a host sees: path entries, then sub-folders with their contents indented. Deep
// trees are walked with an explicit stack.
std::string Render(void* list, bool ansi = false) {
    std::string out;
    struct Level {
        void* container;
        int depth;
    };
    std::vector<Level> pending = {{list, 0}};
    while (!pending.empty()) {
        Level level = pending.back();
        pending.pop_back();
        if (level.container != list) {
            out += std::string(2 * (level.depth - 1), ' ') + "[" + Describe(level.container, ansi) +
                   "]\n";
        }
        for (void* e = Fn().firstPath(level.container); e; e = Fn().nextPath(e)) {
            out += std::string(2 * level.depth, ' ') + Describe(e, ansi) + "\n";
        }
        std::vector<Level> folders;
        for (void* f = Fn().firstFolder(level.container); f; f = Fn().nextFolder(f)) {
            folders.push_back({f, level.depth + 1});
        }
        pending.insert(pending.end(), folders.rbegin(), folders.rend());
    }
    return out;
}

// The configuration folder of the whole program, set before the library first resolves one.
class ConfigFolder : public ::testing::Environment {
  public:
    void SetUp() override {
        folder_ = new test::TempFolder();
        std::wstring path = folder_->path().substr(0, folder_->path().size() - 1);
        ASSERT_EQ(_wputenv((L"PA_TARNDATAFILES=" + path).c_str()), 0);
        auto setFlags = test::Ordinal<DWORD (*)(DWORD, DWORD)>(26);
        setFlags(0x100, 0);  // installation mode 2
        ::CreateDirectoryW((*folder_ / L"ConfigFiles").c_str(), nullptr);
        ::CreateDirectoryW((*folder_ / L"State Data").c_str(), nullptr);
    }
    void TearDown() override { delete folder_; }
    static std::wstring File(const wchar_t* relative) { return *folder_ / relative; }

  private:
    static test::TempFolder* folder_;
};
test::TempFolder* ConfigFolder::folder_ = nullptr;
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ConfigFolder);

const wchar_t kFavorites[] = L"ConfigFiles\\favorites.tfv";
const wchar_t kRecent[] = L"State Data\\recent.tsd";
const wchar_t kAliases[] = L"ConfigFiles\\folderaliases.txc";

void WriteList(const wchar_t* relative, const std::string& text) {
    ASSERT_TRUE(test::WriteFileBytes(ConfigFolder::File(relative), text.data(), text.size()));
}
void RemoveList(const wchar_t* relative) {
    ::DeleteFileW(ConfigFolder::File(relative).c_str());
}

std::string PathEntry(const std::string& label, const std::string& dir) {
    return "<path label=\"" + label + "\"><dir>" + dir + "</dir></path>";
}

// The "?" text of a real object's ID list, and the name the shell parses it by.
struct ShellObject {
    std::string text;
    std::string parsingName;
};
ShellObject TextOf(const wchar_t* path) {
    PIDLIST_ABSOLUTE list = nullptr;
    EXPECT_EQ(::SHParseDisplayName(path, nullptr, &list, 0, nullptr), S_OK);
    auto toString = Named<DWORD (*)(LPCITEMIDLIST, wchar_t*, DWORD, WORD)>("PIDLToString");
    DWORD chars = toString(list, nullptr, 0, 0);
    std::wstring text(chars, L'\0');
    toString(list, text.data(), chars, 0);
    text.resize(chars - 1);
    PWSTR name = nullptr;
    ::SHGetNameFromIDList(list, SIGDN_DESKTOPABSOLUTEPARSING, &name);
    ShellObject object = {Utf8(text), name ? Utf8(name) : ""};
    ::CoTaskMemFree(name);
    ::CoTaskMemFree(list);
    return object;
}

std::string Read(ListFn get, bool ansi = false) {
    void* list = get();
    EXPECT_NE(list, nullptr);
    std::string tree = list ? Render(list, ansi) : "(null)";
    Fn().free(list);
    return tree;
}

TEST(PathLists, FilesAsTheHostWalksThem) {
    const ShellObject windows = TextOf(L"C:\\windows");
    ASSERT_FALSE(windows.parsingName.empty());
    const std::string a = PathEntry("a", "<pathstring>C:\\a</pathstring>");
    const std::string b = PathEntry("b", "<pathstring>C:\\b</pathstring>");
    struct Row {
        const char* name;
        bool exists;
        std::string file;
        std::string expected;
    };
    const Row rows[] = {
        {"missing file", false, "", ""},
        {"empty file", true, "", ""},
        {"malformed", true, "<favorites>" + a + "<path label=\"x\"><dir>", ""},
        {"top element of the wrong case", true, "<Favorites>" + a + "</Favorites>", ""},
        {"another top element", true, "<recent>" + a + "</recent>", ""},
        {"the first top element of the name", true,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><other>" + b + "</other><favorites>" + a +
             "</favorites><favorites>" + b + "</favorites>",
         "a = C:\\a\n"},
        {"path without label", true,
         "<favorites><path><dir><pathstring>C:\\x</pathstring></dir></path></favorites>",
         "- = C:\\x\n"},
        {"pathstring before pidl", true,
         "<favorites>" +
             PathEntry("both", "<pidl>" + windows.text + "</pidl><pathstring>D:\\p</pathstring>") +
             "</favorites>",
         "both = D:\\p\n"},
        {"pidl of a real folder", true,
         "<favorites>" + PathEntry("w", "<pidl>" + windows.text + "</pidl>") + "</favorites>",
         "w = " + windows.parsingName + "\n"},
        {"pidl of the desktop", true,
         "<favorites>" + PathEntry("d", "<pidl>?AAAAAAA=</pidl>") + "</favorites>",
         "d = {desktop}\n"},
        {"pidl that does not convert: a sub-folder without children", true,
         "<favorites>" + PathEntry("bad", "<pidl>?AA*</pidl>") + a + "</favorites>",
         "a = C:\\a\n[bad = -]\n"},
        {"path without a path is skipped", true,
         "<favorites><path label=\"n\"/><path label=\"m\"><dir/></path>" +
             PathEntry("e", "<pathstring/>") + "</favorites>",
         "e = \n"},
        {"folder without label is skipped with its children", true,
         "<favorites><folder>" + a + "<folder label=\"in\">" + a + "</folder></folder>" + b +
             "</favorites>",
         "b = C:\\b\n"},
        {"three levels, paths before sub-folders at each", true,
         "<favorites><folder label=\"one\">" + a +
             "<folder label=\"two\"><folder label=\"three\">" + b + "</folder>" + a + "</folder>" +
             b + "</folder>" + a + "<folder label=\"empty\"/></favorites>",
         "a = C:\\a\n[one = -]\n  a = C:\\a\n  b = C:\\b\n  [two = -]\n    a = C:\\a\n"
         "    [three = -]\n      b = C:\\b\n[empty = -]\n"},
        {"element names of any case, other nodes skipped", true,
         "<favorites><!-- note -->text<PATH label=\"P\"><dir><pathstring>C:\\P</pathstring></dir>"
         "</PATH><other label=\"o\"/><FoLdEr label=\"F\"/></favorites>",
         "P = C:\\P\n[F = -]\n"},
        {"non-ASCII labels and paths", true,
         "<favorites>" +
             PathEntry("Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80",
                       "<pathstring>C:\\\xc3\xa9t\xc3\xa9</pathstring>") +
             "</favorites>",
         "Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80 = C:\\\xc3\xa9t\xc3\xa9\n"},
        {"character references", true,
         "<favorites>" + PathEntry("&#x65e5;&amp;", "<pathstring>C:\\&#233;</pathstring>") +
             "</favorites>",
         "\xe6\x97\xa5& = C:\\\xc3\xa9\n"},
        {"bare drive", true,
         "<favorites>" + PathEntry("d", "<pathstring>D:</pathstring>") + "</favorites>",
         "d = D:\\\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RemoveList(kFavorites);
        if (row.exists) WriteList(kFavorites, row.file);
        EXPECT_EQ(Read(Fn().favorites), row.expected);
    }
    RemoveList(kFavorites);
}

// Each list reads its own file with its own top element.
TEST(PathLists, EachListItsFile) {
    struct Row {
        const wchar_t* file;
        const char* top;
        ListFn get;
    };
    const Row rows[] = {{kFavorites, "favorites", Fn().favorites},
                        {kRecent, "recent", Fn().recent},
                        {kAliases, "folderaliases", Fn().aliases}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.top);
        WriteList(row.file, std::string("<") + row.top + ">" +
                                PathEntry(row.top, "<pathstring>C:\\x</pathstring>") + "</" +
                                row.top + ">");
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.top);
        EXPECT_EQ(Read(row.get), std::string(row.top) + " = C:\\x\n");
        RemoveList(row.file);
    }
    EXPECT_EQ(Fn().smart(), nullptr);
}

// The A exports give the same tree in the ANSI code page.
TEST(PathLists, AnsiWalk) {
    const std::wstring label = L"Caf\u00e9 \u65e5";
    WriteList(kFavorites, "<favorites><folder label=\"" + Utf8(label) + "\">" +
                              PathEntry(Utf8(label), "<pathstring>D:</pathstring>") +
                              "</folder></favorites>");
    std::string ansi(16, '\0');
    ansi.resize(
        ::WideCharToMultiByte(CP_ACP, 0, label.c_str(), -1, ansi.data(), 16, nullptr, nullptr) - 1);
    const std::string shown = Utf8FromAnsi(ansi);
    EXPECT_EQ(Read(Fn().favorites, true), "[" + shown + " = -]\n  " + shown + " = D:\\\n");
    RemoveList(kFavorites);
}

// A list with a path entry "D:" labelled "Label", a sub-folder "F" holding one path entry.
class SmallList {
  public:
    SmallList() {
        WriteList(kFavorites, "<favorites>" + PathEntry("Label", "<pathstring>D:</pathstring>") +
                                  "<folder label=\"F\">" +
                                  PathEntry("in", "<pathstring>C:\\in</pathstring>") +
                                  "</folder></favorites>");
        list = Fn().favorites();
        entry = Fn().firstPath(list);
        folder = Fn().firstFolder(list);
        RemoveList(kFavorites);
    }
    ~SmallList() { Fn().free(list); }
    void* list;
    void* entry;
    void* folder;
};

TEST(PathLists, CallerBuffers) {
    SmallList small;
    ASSERT_NE(small.entry, nullptr);
    struct Row {
        const char* name;
        bool path;
        bool ansi;
        bool nullBuffer;
        int size;
        BOOL result;
        const char* expected;  // null: the buffer is left as it was
    };
    const Row rows[] = {
        {"label, size 0", false, false, false, 0, FALSE, nullptr},
        {"label, negative size", false, false, false, -1, FALSE, nullptr},
        {"label, null buffer", false, false, true, 16, FALSE, nullptr},
        {"label, size 1", false, false, false, 1, TRUE, ""},
        {"label, one short", false, false, false, 5, TRUE, "Labe"},
        {"label, exact", false, false, false, 6, TRUE, "Label"},
        {"drive, size 2", true, false, false, 2, TRUE, "D"},
        {"drive, size 3: no room for the backslash", true, false, false, 3, TRUE, "D:"},
        {"drive, size 4", true, false, false, 4, TRUE, "D:\\"},
        {"A label, size 0", false, true, false, 0, FALSE, nullptr},
        {"A label, null buffer", false, true, true, 16, FALSE, nullptr},
        {"A label, size 1", false, true, false, 1, TRUE, ""},
        {"A label, one short: cut, not failed", false, true, false, 5, TRUE, "Labe"},
        {"A label, exact", false, true, false, 6, TRUE, "Label"},
        {"A drive, size 3", true, true, false, 3, TRUE, "D:"},
        {"A drive, size 4", true, true, false, 4, TRUE, "D:\\"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        char narrow[16];
        wchar_t wide[16];
        std::memset(narrow, 'Z', sizeof(narrow));
        std::wmemset(wide, L'Z', 16);
        BOOL result;
        std::string got;
        if (row.ansi) {
            auto copy = row.path ? Fn().pathA : Fn().labelA;
            result = copy(small.entry, row.nullBuffer ? nullptr : narrow, row.size);
            got.assign(narrow, strnlen(narrow, sizeof(narrow)));
        } else {
            auto copy = row.path ? Fn().pathW : Fn().labelW;
            result = copy(small.entry, row.nullBuffer ? nullptr : wide, row.size);
            for (size_t i = 0; i < 16 && wide[i]; ++i) got += static_cast<char>(wide[i]);
        }
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(got, row.expected ? row.expected : std::string(16, 'Z'));
    }
}

TEST(PathLists, WalkRulesAndHostileHandles) {
    SmallList small;
    void* inside = Fn().firstPath(small.folder);
    ASSERT_NE(inside, nullptr);
    wchar_t buffer[16] = L"full";

    // Walking from the wrong kind of handle.
    EXPECT_EQ(Fn().firstFolder(small.entry), nullptr);  // a path entry has no children
    EXPECT_EQ(Fn().firstPath(small.entry), nullptr);
    EXPECT_EQ(Fn().nextPath(small.list), nullptr);  // a list is no entry
    EXPECT_EQ(Fn().nextFolder(small.list), nullptr);
    EXPECT_FALSE(Fn().labelW(small.list, buffer, 16));
    EXPECT_STREQ(buffer, L"");
    EXPECT_FALSE(Fn().pathW(small.folder, buffer, 16));  // a sub-folder has no path
    EXPECT_EQ(Fn().nextPath(small.entry), nullptr);
    EXPECT_EQ(Fn().nextFolder(small.folder), nullptr);
    for (WalkFn walk : {Fn().firstPath, Fn().nextPath, Fn().firstFolder, Fn().nextFolder}) {
        EXPECT_EQ(walk(nullptr), nullptr);
    }
    EXPECT_FALSE(Fn().labelW(nullptr, buffer, 16));
    Fn().free(nullptr);

    // Memory that carries the right tags but was never handed out.
    hostlink::PathListEntry fakeEntry = {hostlink::kPathEntryTag, buffer, buffer, nullptr, nullptr};
    hostlink::PathList fakeList = {hostlink::kPathListTag, nullptr,
                                   static_cast<hostlink::PathListEntry*>(small.entry)};
    EXPECT_EQ(Fn().firstPath(&fakeList), nullptr);
    EXPECT_EQ(Fn().firstPath(&fakeEntry), nullptr);
    EXPECT_EQ(Fn().nextPath(&fakeEntry), nullptr);
    EXPECT_FALSE(Fn().labelW(&fakeEntry, buffer, 16));
    Fn().free(&fakeList);
    Fn().free(small.entry);  // an entry is no list: ignored
    EXPECT_EQ(fakeList.tag, hostlink::kPathListTag);
    EXPECT_TRUE(Fn().labelW(small.entry, buffer, 16));
    EXPECT_STREQ(buffer, L"Label");

    // A freed list and its entries are dead, and a second free is harmless.
    void* list = Fn().favorites();
    ASSERT_NE(list, nullptr);
    Fn().free(small.list);
    Fn().free(small.list);
    EXPECT_EQ(Fn().firstPath(small.list), nullptr);
    EXPECT_EQ(Fn().firstFolder(small.list), nullptr);
    EXPECT_EQ(Fn().nextPath(small.entry), nullptr);
    EXPECT_EQ(Fn().firstPath(small.folder), nullptr);
    EXPECT_FALSE(Fn().labelW(inside, buffer, 16));
    EXPECT_FALSE(Fn().pathW(small.entry, buffer, 16));
    small.list = list;  // freed by the destructor
}

std::string FavoritesOfSize(std::mt19937& random, int entries) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<favorites>\n";
    int open = 0;
    for (int i = 0; i < entries; ++i) {
        int r = static_cast<int>(random() % 10);
        if (r < 2 && open < 5) {
            text += "<folder label=\"f" + std::to_string(i) + "\">\n";
            ++open;
        } else if (r < 3 && open > 0) {
            text += "</folder>\n";
            --open;
        } else {
            text += PathEntry("l\xc3\xa9" + std::to_string(i),
                              "<pathstring>C:\\p" + std::to_string(i) + "</pathstring>") +
                    "\n";
        }
    }
    while (open-- > 0) text += "</folder>\n";
    return text + "</favorites>\n";
}

TEST(PathLists, HostileFiles) {
    // Far deeper than any parser's stack allows: refused, an empty list.
    std::string deep = "<favorites>";
    for (int i = 0; i < 20000; ++i) deep += "<folder label=\"x\">";
    for (int i = 0; i < 20000; ++i) deep += "</folder>";
    WriteList(kFavorites, deep + "</favorites>");
    EXPECT_EQ(Read(Fn().favorites), "");

    // Random damage to a valid file: any list, never a crash.
    std::mt19937 random(2024);
    const std::string valid = FavoritesOfSize(random, 60);
    WriteList(kFavorites, valid);
    EXPECT_NE(Read(Fn().favorites), "");
    for (int round = 0; round < 300; ++round) {
        std::string text = valid;
        for (int edits = 1 + static_cast<int>(random() % 8); edits > 0; --edits) {
            size_t at = random() % text.size();
            switch (random() % 3) {
                case 0:
                    text[at] = static_cast<char>(random());
                    break;
                case 1:
                    text.erase(at, 1 + random() % 16);
                    break;
                default:
                    text.insert(at, 1, "<>/\"=&\0"[random() % 7]);
                    break;
            }
            if (text.empty()) text.push_back('<');
        }
        WriteList(kFavorites, text);
        Read(Fn().favorites);
    }
    RemoveList(kFavorites);
}

// Entries whose memory cannot be had are skipped; the rest of the list is still read. Run on the
// library's code linked into this program, whose allocator a test can replace.
TEST(PathLists, FailedAllocationsSkipEntries) {
    test::TempFolder folder;
    std::string text = "<favorites>";
    for (int i = 0; i < 12; ++i) {
        text += PathEntry("label" + std::to_string(i),
                          "<pathstring>C:\\p" + std::to_string(i) + "</pathstring>");
    }
    text += "</favorites>";
    const std::wstring file = folder / L"list.xml";
    ASSERT_TRUE(test::WriteFileBytes(file, text.data(), text.size()));

    static int calls;
    calls = 0;
    hostlink::PathListAllocFn saved = hostlink::PathListAllocSeam();
    hostlink::PathListAllocSeam() = [](HANDLE heap, size_t bytes) -> void* {
        return ++calls % 4 == 0 ? nullptr : ::HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
    };
    hostlink::PathList* list = hostlink::ReadPathList(file.c_str(), "favorites");
    hostlink::PathListAllocSeam() = saved;
    ASSERT_NE(list, nullptr);
    int kept = 0;
    for (hostlink::PathListEntry* e = hostlink::FirstEntry(list, true); e;
         e = hostlink::NextEntry(e, true), ++kept) {
        wchar_t label[32], path[32];
        ASSERT_TRUE(hostlink::CopyEntryLabel(e, label, 32));
        ASSERT_TRUE(hostlink::CopyEntryPath(e, path, 32));
        EXPECT_STREQ(label + 5, path + 4) << "entry " << kept;  // labelN and C:\pN agree
    }
    EXPECT_GT(kept, 3);
    EXPECT_LT(kept, 12);
    hostlink::FreePathList(list);
}

// ANSI copies are cut between characters, never inside a double-byte one (code page 932).
TEST(PathLists, AnsiCutsOnCharacters) {
    struct Row {
        const wchar_t* text;
        size_t bytes;
        const char* expected;
    };
    const Row rows[] = {
        {L"\u65e5\u672c\u8a9e", 7, "\x93\xfa\x96\x7b\x8c\xea"},
        {L"\u65e5\u672c\u8a9e", 6, "\x93\xfa\x96\x7b"},
        {L"\u65e5\u672c\u8a9e", 5, "\x93\xfa\x96\x7b"},
        {L"\u65e5\u672c\u8a9e", 2, ""},
        {L"a\u65e5b", 3, "a"},
        {L"a\u65e5b", 4, "a\x93\xfa"},
        {L"abc", 1, ""},
        {L"", 4, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(hostlink::AnsiPrefix(row.text, row.bytes, 932), row.expected);
    }
}

}  // namespace
}  // namespace kwill
