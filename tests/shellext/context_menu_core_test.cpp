// The context menu's tables and plain functions: verbs, command strings into callers' buffers,
// which items a selection gets, the layout tree's order and the checked item-list block.
#include "shellext/context_menu.h"
#include "shellext/context_menu_commands.h"
#include "shellext/context_menu_plan.h"
#include "shellext/menu_layouts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kwill::shellext {
namespace {

TEST(ContextMenuCommands, TextVerbsFindTheirKindIgnoringCase) {
    struct Case {
        const char* verb;
        int kind;  // -1: unknown
    } cases[] = {{"newlister", 0},    {"TARNPREFS", 1},   {"extracthere", 2},
                 {"extractsub", 4},   {"AddTo", 6},       {"addtofoldername", 18},
                 {"remcollicon", 13}, {"convertsfx", 14}, {"open", 17},
                 {"addto.zip", -1},   {"", -1},           {"open ", -1},
                 {"\xE9xtractto", -1}};
    for (const Case& c : cases) {
        auto found = FindTextVerbA(c.verb);
        EXPECT_EQ(found ? static_cast<int>(*found) : -1, c.kind) << c.verb;
    }
    EXPECT_EQ(FindTextVerb(L"ZipAndMail").value_or(99), 8u);
}

TEST(ContextMenuCommands, VerbsAndHelpCarryTheExtensionOnlyWhereTheKindTakesOne) {
    EXPECT_EQ(CommandVerb(*FindMenuCommand(6), L".zip"), L"addto.zip");
    EXPECT_EQ(CommandVerb(*FindMenuCommand(18), L".7z"), L"addtofoldername.7z");
    EXPECT_EQ(CommandVerb(*FindMenuCommand(2), L".zip"), L"extracthere");
    EXPECT_EQ(CommandVerb(*FindMenuCommand(12), L""), L"");
    EXPECT_NE(CommandHelp(*FindMenuCommand(6), L".zip").find(L".zip"), std::wstring::npos);
    EXPECT_EQ(CommandHelp(*FindMenuCommand(17), L""), L"");
    for (uint32_t kind : {9u, 10u, 11u, 19u, 0xFFFFFFFFu})
        EXPECT_EQ(FindMenuCommand(kind), nullptr);
}

TEST(ContextMenuCommands, FormatNeverReadsPastItsArguments) {
    EXPECT_EQ(FormatMenuText(L"Add to \"%s%s\"", {L"a", L".zip"}), L"Add to \"a.zip\"");
    EXPECT_EQ(FormatMenuText(L"%s %s %s %d %n", {L"x"}), L"x   %d %n");
    EXPECT_EQ(FormatMenuText(L"100%% %", {}), L"100% %");
    // The language module's numbered inserts, also repeated, out of range or typed.
    EXPECT_EQ(FormatMenuText(L"Add to \"%1\"", {L"a.zip"}), L"Add to \"a.zip\"");
    EXPECT_EQ(FormatMenuText(L"%2 %1 %1!s! %1!ls!", {L"a", L"b"}), L"b a a a");
    EXPECT_EQ(FormatMenuText(L"%3 %9 %1!u! %0", {L"a"}), L"  %1!u! %0");
    EXPECT_EQ(CountMenuTextInserts(L"Add to \"%1\""), 1u);
    EXPECT_EQ(CountMenuTextInserts(L"%s%s 100%%"), 2u);
    EXPECT_EQ(CountMenuTextInserts(L"%d %"), 0u);
}

TEST(ContextMenuCommands, CommandStringsAreCutAndTerminatedWithinTheBuffer) {
    struct Case {
        bool wide;
        UINT size;
        HRESULT hr;
        const char* expect;  // ASCII view of the result
    } cases[] = {{true, 0, E_INVALIDARG, nullptr},
                 {true, 1, S_OK, ""},
                 {true, 4, S_OK, "add"},
                 {true, 64, S_OK, "addto.zip"},
                 {false, 0, E_INVALIDARG, nullptr},
                 {false, 1, S_OK, ""},
                 {false, 4, S_OK, "add"},
                 {false, 64, S_OK, "addto.zip"}};
    for (const Case& c : cases) {
        wchar_t wide[80];
        char narrow[80];
        std::memset(wide, 0x7F, sizeof(wide));
        std::memset(narrow, 0x7F, sizeof(narrow));
        void* buffer = c.wide ? static_cast<void*>(wide) : static_cast<void*>(narrow);
        EXPECT_EQ(CopyCommandString(L"addto.zip", c.wide, buffer, c.size), c.hr);
        if (!c.expect) {
            EXPECT_EQ(c.wide ? static_cast<int>(wide[0]) : narrow[0], c.wide ? 0x7F7F : 0x7F);
            continue;
        }
        std::string got;
        if (c.wide)
            for (size_t i = 0; wide[i]; ++i) got += static_cast<char>(wide[i]);
        else
            got = narrow;
        EXPECT_EQ(got, c.expect) << c.wide << " " << c.size;
        // Nothing written past the buffer's end.
        if (c.wide)
            EXPECT_EQ(wide[c.size], 0x7F7F);
        else
            EXPECT_EQ(narrow[c.size], 0x7F);
    }
    EXPECT_EQ(CopyCommandString(L"x", true, nullptr, 10), E_INVALIDARG);
}

MenuFlags Flags(uint32_t context) {
    MenuFlags flags;
    flags.archiveContext = context;
    flags.general = {{L".zip", L"Zip"}, {L"7z", L"7-Zip"}};
    flags.named = {{L"zip", L"Zip"}};
    flags.email = {{L".zip", L"Zip"}};
    return flags;
}

std::vector<uint32_t> Kinds(const MenuPlan& plan) {
    std::vector<uint32_t> kinds;
    for (const PlannedItem& item : plan.items) kinds.push_back(item.kind);
    return kinds;
}

TEST(ContextMenuPlan, ItemsFollowTheSelectionAndTheFlags) {
    const std::wstring zip = L"C:\\data\\one.ZIP", seven = L"C:\\data\\two.7z",
                       text = L"C:\\data\\notes.txt";
    struct Case {
        const char* name;
        uint32_t context;
        std::vector<std::wstring> names;
        bool dragDrop;
        std::vector<uint32_t> kinds;
    } cases[] = {
        {"one zip", 0x16, {zip}, false, {2, 3, 4, 14}},
        {"one zip, no convert", 0x12, {zip}, false, {2, 3, 4}},
        {"one 7z: no convert", 0x16, {seven}, false, {2, 3, 4}},
        {"no extract bit", 0x14, {zip}, false, {14}},
        {"two archives", 0x16, {zip, seven}, false, {2, 3, 4, 6, 6, 7, 18, 8}},
        {"a file", 0x16, {text}, false, {6, 6, 7, 8}},
        {"archive and file", 0x16, {zip, text}, false, {6, 6, 7, 18, 8}},
        {"dropped zip", 0x16, {zip}, true, {16, 5, 15}},
        {"dropped mix", 0x16, {zip, text}, true, {}},
        {"nothing", 0x16, {}, false, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Kinds(PlanArchiveMenu(Flags(c.context), c.names, c.dragDrop, false)), c.kinds)
            << c.name;
}

TEST(ContextMenuPlan, TextsNameTheProposedArchivesAndTheFormats) {
    MenuPlan plan =
        PlanArchiveMenu(Flags(0x1A), {L"C:\\data\\a.txt", L"C:\\data\\b.txt"}, false, false);
    EXPECT_TRUE(plan.submenu);
    ASSERT_EQ(plan.items.size(), 5u);
    EXPECT_NE(plan.items[0].text.find(L"Zip"), std::wstring::npos);
    EXPECT_NE(plan.items[1].text.find(L"7-Zip"), std::wstring::npos);
    EXPECT_NE(plan.items[2].text.find(L"a.zip"), std::wstring::npos);
    EXPECT_NE(plan.items[3].text.find(L"data.zip"), std::wstring::npos);
    EXPECT_EQ(plan.items[1].format, 1u);
    EXPECT_FALSE(PlanArchiveMenu(Flags(0x1A), {L"x.txt"}, false, true).submenu);

    MenuFlags single = Flags(0x12);
    single.general.resize(1);
    EXPECT_EQ(PlanArchiveMenu(single, {L"x.txt"}, false, false).items[0].text, MenuText(20011));
    EXPECT_EQ(FormatExtension(single, 7, 0), L".zip");
    EXPECT_EQ(FormatExtension(single, 6, 3), L"");
    // Two names at a drive's root: no folder name to propose.
    EXPECT_EQ(Kinds(PlanArchiveMenu(single, {L"C:\\a.txt", L"C:\\b.txt"}, false, false)),
              (std::vector<uint32_t>{6, 7, 8}));
}

LayoutEntry Layout(const wchar_t* name, int index) {
    LayoutEntry entry;
    entry.name = name;
    entry.index = index;
    return entry;
}
LayoutEntry Folder(const wchar_t* name, std::vector<LayoutEntry> children) {
    LayoutEntry entry;
    entry.name = name;
    entry.folder = true;
    entry.children = std::move(children);
    return entry;
}

std::wstring Describe(const std::vector<LayoutEntry>& list) {
    std::wstring out;
    for (const LayoutEntry& entry : list) {
        if (!out.empty()) out += L",";
        if (entry.separator)
            out += L"-";
        else if (entry.folder)
            out += entry.name + L"[" + Describe(entry.children) + L"]";
        else
            out += entry.name;
    }
    return out;
}

TEST(MenuLayouts, OrderFileOrdersTheTree) {
    struct Case {
        const char* name;
        const char* xml;
        const wchar_t* expect;
    } cases[] = {
        {"no order", "", L"Docs[a,b],Work[],Alpha,beta,Gamma"},
        {"malformed", "<layout_order><layout name=", L"Docs[a,b],Work[],Alpha,beta,Gamma"},
        {"named first, case ignored",
         "<layout_order><layout name='GAMMA'/><layout name='alpha'/></layout_order>",
         L"Gamma,Alpha,Docs[a,b],Work[],beta"},
        {"separators never doubled, first or last",
         "<layout_order><layout separator='1'/><layout name='beta'/><layout separator='1'/>"
         "<layout separator='1'/><layout name='missing'/><layout name='Alpha'/>"
         "<layout separator='1'/></layout_order>",
         L"beta,-,Alpha,-,Docs[a,b],Work[],Gamma"},
        {"nested folder order",
         "<layout_order><folder name='docs'><layout name='b'/></folder></layout_order>",
         L"Docs[b,a],Work[],Alpha,beta,Gamma"},
        {"utf-8 names", "<layout_order><layout name='\xC3\xA9t\xC3\xA9'/></layout_order>",
         L"\u00E9t\u00E9,Docs[a,b],Work[],Alpha,beta,Gamma"},
    };
    for (const Case& c : cases) {
        std::vector<LayoutEntry> tree = {Layout(L"Gamma", 0), Layout(L"beta", 1),
                                         Folder(L"Work", {}), Layout(L"Alpha", 2),
                                         Folder(L"Docs", {Layout(L"b", 3), Layout(L"a", 4)})};
        if (std::strstr(c.name, "utf-8")) tree.push_back(Layout(L"\u00E9t\u00E9", 5));
        OrderLayouts(tree, ParseLayoutOrder(c.xml));
        EXPECT_EQ(Describe(tree), c.expect) << c.name;
    }
}

TEST(MenuLayouts, RelativeNamesJoinFoldersAndRefuseWhatDoesNotFit) {
    std::vector<LayoutEntry> tree = {Layout(L"top", 0),
                                     Folder(L"Sub", {Folder(L"Deep", {Layout(L"leaf", 1)})}),
                                     Folder(std::wstring(258, L'f').c_str(), {Layout(L"long", 2)})};
    EXPECT_EQ(LayoutRelativeName(tree, 0).value_or(L"?"), L"top");
    EXPECT_EQ(LayoutRelativeName(tree, 1).value_or(L"?"), L"Sub\\Deep\\leaf");
    EXPECT_FALSE(LayoutRelativeName(tree, 2));
    EXPECT_FALSE(LayoutRelativeName(tree, 7));
    EXPECT_FALSE(LayoutRelativeName(tree, -1));
    EXPECT_EQ(CountLayouts(tree), 3);
}

std::vector<uint8_t> Block(std::vector<UINT> header, std::vector<uint8_t> lists) {
    std::vector<uint8_t> block(header.size() * sizeof(UINT));
    std::memcpy(block.data(), header.data(), block.size());
    block.insert(block.end(), lists.begin(), lists.end());
    return block;
}

TEST(ContextMenuIdLists, BlocksAreCheckedAgainstTheirSize) {
    // One item: header count 1, offsets 12 (parent: empty list) and 14 (item of 4 bytes).
    std::vector<uint8_t> lists = {0, 0, 4, 0, 'a', 'b', 0, 0};
    struct Case {
        const char* name;
        std::vector<uint8_t> block;
        bool ok;
    } cases[] = {
        {"good", Block({1, 12, 14}, lists), true},
        {"empty", {}, false},
        {"count too large", Block({1000, 12, 14}, lists), false},
        {"offset outside", Block({1, 12, 400}, lists), false},
        {"item runs past the end", Block({1, 12, 14}, {0, 0, 40, 0, 'a', 'b', 0, 0}), false},
        {"no terminator", Block({1, 12, 14}, {0, 0, 4, 0, 'a', 'b'}), false},
        {"item size 1", Block({1, 12, 14}, {0, 0, 1, 0, 0, 0}), false},
        {"count wraps", Block({0xFFFFFFFF, 12, 14}, lists), false},
    };
    for (const Case& c : cases) {
        CheckedIdLists out;
        EXPECT_EQ(ReadIdListArray(c.block, &out), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(out.items.size(), 1u);
        }
    }
}

}  // namespace
}  // namespace kwill::shellext
