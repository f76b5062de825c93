// Explorer command lines. The generated table composes each line from parts whose roles are
// chosen first (which switches, which item follows "/root", how big each buffer is), so the
// expected flags and items come from the choices, not from reading the line again.
#include "hostlink/explorer_command_line.h"

#include "tools/common/text_io.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kwill::hostlink {
namespace {

struct Parsed {
    uint32_t flags;
    std::wstring root;
    std::wstring path;
    bool found;
};

Parsed Parse(std::wstring_view line, size_t rootChars = 260, size_t pathChars = 260) {
    std::vector<wchar_t> root(rootChars + 1, L'#'), path(pathChars + 1, L'#');
    ExplorerCommandLine r =
        ParseExplorerCommandLine(line, {root.data(), rootChars}, {path.data(), pathChars});
    return {r.flags, rootChars ? root.data() : L"", pathChars ? path.data() : L"", r.found};
}

std::string Show(std::wstring_view text) {
    return tools::Utf8FromWide(std::wstring(text));
}

// Lines a shell or a user really passes, worked out by hand.
TEST(ExplorerCommandLine, RealWorldLines) {
    struct Row {
        const wchar_t* line;
        uint32_t flags;
        const wchar_t* root;
        const wchar_t* path;
    };
    const Row rows[] = {
        {L"/e,/root,C:\\Temp", 6, L"C:\\Temp", L""},
        {L"/select,\"C:\\Program Files\\a b.txt\"", 8, L"", L"\"C:\\Program Files\\a b.txt\""},
        {L"/n,/e,/select,C:\\Windows\\notepad.exe", 11, L"", L"C:\\Windows\\notepad.exe"},
        {L"/root,::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", 4,
         L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", L""},
        // "/idlist" is no switch of ours: its handle pair is the first item, the path is skipped.
        {L"/idlist,:12345:6789,C:\\Temp", 0, L"", L":12345:6789"},
        {L"shell:Downloads", 0, L"", L"shell:Downloads"},
        {L"\\\\server\\share", 0, L"", L"\\\\server\\share"},
        {L",,/e,", 2, L"", L""},
        {L"", 0, L"", L""},
        {L"/E,C:\\", 2, L"", L"C:\\"},
        {L"/e,/root,\"C:\\a,b\",C:\\a,b\\c", 6, L"\"C:\\a,b\"", L"C:\\a"},
        {L"/select,C:\\x,/root,D:\\y", 12, L"D:\\y", L"C:\\x"},
        {L"  /e , /select , C:\\x ", 10, L"", L"C:\\x "},
        {L"/root", 4, L"", L""},
        {L"/rootC:\\x", 4, L"", L""},
        {L"/ro,C:\\x", 0, L"", L"C:\\x"},
        {L"/SELECT,/E,\"C:\\x\" trailing", 10, L"", L"\"C:\\x\" trailing"},
        {L"\"unclosed, /e, more", 0, L"", L"\"unclosed, /e, more"},
        {L"C:\\a/e,b", 0, L"", L"C:\\a/e"},
        {L"/e,C:\\first,C:\\second/n", 2, L"", L"C:\\first"},
        {L"/select,\"\"", 8, L"", L"\"\""},
        {L"/e,\tC:\\tab", 2, L"", L"C:\\tab"},
        {L"/n/e,x", 1, L"", L"x"},
        {L"/explore,/new,x", 3, L"", L"x"},
        {L"/RoOt,/SeLeCt,a,b", 12, L"a", L"b"},
        {L"/root,,C:\\x", 4, L"C:\\x", L""},
        {L"/e,,,,C:\\x,,,", 2, L"", L"C:\\x"},
        {L"/,C:\\x", 0, L"", L"C:\\x"},
        {L"/select,C:\\Users\\\u00fcn\u00ef\\\u30d5\u30a1\u30a4\u30eb.txt", 8, L"",
         L"C:\\Users\\\u00fcn\u00ef\\\u30d5\u30a1\u30a4\u30eb.txt"},
        {L"C:\\x,/root", 4, L"", L"C:\\x"},
        {L"/e,/root,C:\\r,/root,C:\\s,C:\\p", 6, L"C:\\r", L"C:\\s"},
    };
    for (const Row& row : rows) {
        Parsed p = Parse(row.line);
        SCOPED_TRACE(Show(row.line));
        EXPECT_EQ(p.flags, row.flags);
        EXPECT_EQ(Show(p.root), Show(row.root));
        EXPECT_EQ(Show(p.path), Show(row.path));
        EXPECT_EQ(p.found, *row.root || *row.path);
    }
}

// ---- the generated table

struct SwitchPart {
    const wchar_t* text;  // after the slash
    uint32_t flag;
};
const SwitchPart kSwitchSpellings[] = {
    {L"n", kSwitchNewWindow},
    {L"N", kSwitchNewWindow},
    {L"new", kSwitchNewWindow},
    {L"nOpe", kSwitchNewWindow},
    {L"e", kSwitchExplore},
    {L"E", kSwitchExplore},
    {L"explore", kSwitchExplore},
    {L"EXPLORER", kSwitchExplore},
    {L"select", kSwitchSelect},
    {L"SELECT", kSwitchSelect},
    {L"Selected", kSwitchSelect},
    {L"select junk", kSwitchSelect},
    // unknown: prefixes too short, other names, an empty name
    {L"ro", 0},
    {L"sel", 0},
    {L"separate", 0},
    {L"idlist", 0},
    {L"x", 0},
    {L"", 0},
    {L"Z z", 0},
};
const wchar_t* const kRootSpellings[] = {L"root", L"ROOT", L"Root", L"rooted", L"root x"};

// Item texts as they stand in the line; none starts with a blank or "/" (a leading blank is
// added separately and skipped), and an unquoted one holds no comma or quote.
const wchar_t* const kItems[] = {
    L"C:\\Temp",
    L"D:\\a b\\c.txt",
    L"C:/Temp/new",  // slashes inside an item are text
    L"\\\\server\\share",
    L"shell:Downloads",
    L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}",
    L"\u00e4\u00f6\u00fc\u4e2d\u6587",
    L"x",
    L"trailing  ",
    L"\"C:\\Program Files\\a b.txt\"",
    L"\"a,b, /e c\"",
    L"\"q\"after",
    L"\"\"",
    L"\"/n,/root,\"",
};

struct BufferChoice {
    const char* name;
    bool null;
    int size;  // -1 exact, -2 one short, otherwise the size
};
const BufferChoice kBuffers[] = {
    {"null", true, 0},    {"zero", false, 0},   {"one", false, 1},     {"two", false, 2},
    {"exact", false, -1}, {"short", false, -2}, {"large", false, 300},
};

size_t ChosenChars(const BufferChoice& b, size_t length) {
    if (b.size == -1) return length + 1;
    if (b.size == -2) return length;  // one character too few for the item
    return static_cast<size_t>(b.size);
}

std::wstring Stored(const BufferChoice& b, size_t chars, const std::wstring& item) {
    if (b.null || chars == 0) return L"";
    return item.substr(0, std::min(item.size(), chars - 1));
}

TEST(ExplorerCommandLine, GeneratedTable) {
    std::mt19937 random(18);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    const int kLines = 1500;
    for (int n = 0; n < kLines; ++n) {
        // Choose the roles first.
        std::vector<std::wstring> parts;
        uint32_t flags = 0;
        size_t switches = pick(4);
        for (size_t i = 0; i < switches; ++i) {
            const SwitchPart& s = kSwitchSpellings[pick(std::size(kSwitchSpellings))];
            parts.push_back(std::wstring(L"/") + s.text);
            flags |= s.flag;
        }
        // The root switch goes before every item, after the first item, or nowhere.
        int rootAt = static_cast<int>(pick(3)) - 1;  // -1 none, 0 before the items, 1 after one
        std::vector<std::wstring> items;
        size_t itemCount = pick(4);
        for (size_t i = 0; i < itemCount; ++i) items.push_back(kItems[pick(std::size(kItems))]);
        if (rootAt > static_cast<int>(items.size())) rootAt = static_cast<int>(items.size());
        const BufferChoice& rootBuffer = kBuffers[pick(std::size(kBuffers))];
        const BufferChoice& pathBuffer = kBuffers[pick(std::size(kBuffers))];
        const bool rootWanted = !rootBuffer.null && rootBuffer.size != 0;
        const bool pathWanted = !pathBuffer.null && pathBuffer.size != 0;

        // Compose the line: switches, then the items with the root switch where chosen.
        std::wstring line = pick(4) == 0 ? L",," : L"";
        auto append = [&](const std::wstring& part) {
            if (!line.empty() && line.back() != L',') line += L',';
            line += std::wstring(pick(3) == 0 ? L"  " : L"") + part;
        };
        for (const std::wstring& part : parts) append(part);
        const std::wstring rootSwitch = std::wstring(L"/") + kRootSpellings[pick(5)];
        for (size_t i = 0; i <= items.size(); ++i) {
            if (rootAt >= 0 && static_cast<size_t>(rootAt) == i) append(rootSwitch);
            if (i < items.size()) append(items[i]);
        }
        if (rootAt >= 0) flags |= kSwitchRoot;

        // Who gets which item, from the roles: the root is the first item after the root switch
        // (when its buffer is wanted); the path is the first item the root did not take.
        std::wstring rootItem, pathItem;
        bool rootTaken = false, pathTaken = false;
        for (size_t i = 0; i < items.size(); ++i) {
            bool afterRoot = rootAt >= 0 && i >= static_cast<size_t>(rootAt);
            if (afterRoot && rootWanted && !rootTaken) {
                rootItem = items[i];
                rootTaken = true;
            } else if (pathWanted && !pathTaken) {
                pathItem = items[i];
                pathTaken = true;
            }
        }

        size_t rootChars = ChosenChars(rootBuffer, rootItem.size());
        size_t pathChars = ChosenChars(pathBuffer, pathItem.size());
        std::vector<wchar_t> rootData(rootChars + 1, L'#'), pathData(pathChars + 1, L'#');
        ItemBuffer root{rootBuffer.null ? nullptr : rootData.data(), rootChars};
        ItemBuffer path{pathBuffer.null ? nullptr : pathData.data(), pathChars};
        ExplorerCommandLine r = ParseExplorerCommandLine(line, root, path);

        std::wstring wantRoot = Stored(rootBuffer, rootChars, rootItem);
        std::wstring wantPath = Stored(pathBuffer, pathChars, pathItem);
        SCOPED_TRACE("line " + std::to_string(n) + ": " + Show(line) + " root buffer " +
                     rootBuffer.name + " path buffer " + pathBuffer.name);
        EXPECT_EQ(r.flags, flags);
        EXPECT_EQ(r.found, !wantRoot.empty() || !wantPath.empty());
        EXPECT_EQ(r.rootLength, wantRoot.size());
        EXPECT_EQ(r.pathLength, wantPath.size());
        if (!rootBuffer.null && rootChars > 0) {
            EXPECT_EQ(Show(rootData.data()), Show(wantRoot));
        }
        if (!pathBuffer.null && pathChars > 0) {
            EXPECT_EQ(Show(pathData.data()), Show(wantPath));
        }
        // Nothing is written past a buffer's size, and a 0-character buffer is not touched.
        EXPECT_EQ(rootData[rootChars], L'#');
        EXPECT_EQ(pathData[pathChars], L'#');
        if (::testing::Test::HasFailure()) break;  // one line's report is enough
    }
}

// The flags never depend on which buffers were given: a skipped item is never read as switches.
TEST(ExplorerCommandLine, FlagsDoNotDependOnBuffers) {
    for (const wchar_t* line : {L"a,b/e,c/select", L"/root,r,p,x/n", L"\"q,/e\",/n"}) {
        wchar_t root[8], path[8];
        uint32_t withBoth = ParseExplorerCommandLine(line, {root, 8}, {path, 8}).flags;
        EXPECT_EQ(ParseExplorerCommandLine(line, {}, {}).flags, withBoth) << Show(line);
        EXPECT_EQ(ParseExplorerCommandLine(line, {root, 8}, {}).flags, withBoth) << Show(line);
        EXPECT_EQ(ParseExplorerCommandLine(line, {}, {path, 1}).flags, withBoth) << Show(line);
    }
}

// A megabyte line with an unclosed quote is read once and cut to the buffer.
TEST(ExplorerCommandLine, HugeLinesAreCut) {
    std::wstring line = L"/e,\"" + std::wstring(1 << 20, L'a') + L",/select";
    Parsed p = Parse(line, 16, 16);
    EXPECT_EQ(p.flags, kSwitchExplore);
    EXPECT_EQ(Show(p.path), Show(L"\"aaaaaaaaaaaaaa"));
    std::wstring switches;
    for (int i = 0; i < 100000; ++i) switches += L"/e,";
    EXPECT_EQ(Parse(switches).flags, kSwitchExplore);
}

}  // namespace
}  // namespace kwill::hostlink
