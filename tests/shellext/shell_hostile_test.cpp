// Hostile data objects against both context-menu classes and the drop target, created as the
// shell creates them (CoCreateInstance after regsvr32), with a configuration that lets the
// folder menu take a selection: item-list and file-list blocks broken in every way a random walk
// finds, GetData and EnumFormatEtc that fail. Nothing may crash, the drop target sends the host
// only what it was given, and no object is left behind (DllCanUnloadNow).
#include "shellext/archive_command.h"
#include "shellext/class_table.h"
#include "tests/common/stand_in_host.h"
#include "tests/common/test_support.h"
#include "tests/shellext/shell_scene.h"
#include "tests/shellext/shellext_support.h"
#include "tests/support/test_data_object.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace kwill::shellext {
namespace {

using Microsoft::WRL::ComPtr;
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

template <typename T>
ComPtr<T> Create(REFCLSID clsid, REFIID iid) {
    ComPtr<T> object;
    ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                       reinterpret_cast<void**>(object.GetAddressOf()));
    return object;
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    if (at + 4 <= bytes.size()) std::memcpy(bytes.data() + at, &value, 4);
}

TEST(DropFilesBlocks, AreReadWithinTheirSize) {
    std::vector<uint8_t> two = test::DropFilesBlock({L"C:\\a.zip", L"C:\\b c.txt"});
    std::vector<uint8_t> ansi = test::DropFilesBlock({L"C:\\x.txt", L"C:\\y"}, false);
    std::vector<uint8_t> farOffset = two;
    PutU32(farOffset, 0, 0x7FFFFFF0);
    std::vector<uint8_t> insideHeader = two;
    PutU32(insideHeader, 0, 8);
    std::vector<uint8_t> atEnd = two;
    PutU32(atEnd, 0, static_cast<uint32_t>(two.size()));
    // The closing zeros cut off: the last name runs off the end.
    std::vector<uint8_t> unterminated(two.begin(), two.end() - 6);
    std::vector<uint8_t> oddEnd(two.begin(), two.end() - 1);
    std::vector<uint8_t> noList(two.begin(), two.begin() + sizeof(DROPFILES));
    std::vector<uint8_t> shortHeader(two.begin(), two.begin() + 10);
    struct Row {
        const char* name;
        const std::vector<uint8_t>* block;
        std::vector<std::wstring> expected;
    } rows[] = {
        {"wide", &two, {L"C:\\a.zip", L"C:\\b c.txt"}},
        {"ANSI", &ansi, {L"C:\\x.txt", L"C:\\y"}},
        {"offset past the block", &farOffset, {}},
        {"offset inside the header", &insideHeader, {}},
        {"offset at the end", &atEnd, {}},
        {"last name unterminated", &unterminated, {L"C:\\a.zip"}},
        {"odd end", &oddEnd, {L"C:\\a.zip", L"C:\\b c.txt"}},
        {"header only", &noList, {}},
        {"shorter than the header", &shortHeader, {}},
    };
    for (const Row& r : rows) EXPECT_EQ(ParseDropFiles(*r.block), r.expected) << r.name;
    // Random damage never reads outside the block (the vector's own bounds are what is read).
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bytes = round % 2 ? two : ansi;
        for (int flips = 1 + round % 5; flips > 0; --flips)
            bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        if (round % 3 == 0) bytes.resize(random() % (bytes.size() + 1));
        for (const std::wstring& name : ParseDropFiles(bytes)) EXPECT_FALSE(name.empty());
    }
}

class Hostile : public test::ShellSceneTest {
  protected:
    void SetUp() override {
        ShellSceneTest::SetUp();
        if (HasFatalFailure()) return;
        // Folder menus on (archive context from the defaults, zip in every list), the desktop
        // menu on.
        ASSERT_TRUE(config().WritePrefs(0x10000));
    }
};

// A valid selection of two files in a temporary folder, as item lists and as a file list,
// then the same blocks with random damage.
TEST_F(Hostile, MenusSurviveBrokenSelections) {
    test::TempFolder folder;
    test::WriteFileBytes(folder / L"a.zip", "PK", 2);
    test::WriteFileBytes(folder / L"b.txt", "b", 1);
    ComPtr<IDataObject> shell = test::ShellDataObject(folder.path(), {L"a.zip", L"b.txt"}, true);
    ASSERT_TRUE(shell);
    CLIPFORMAT idListFormat =
        static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(CFSTR_SHELLIDLIST));
    FORMATETC request = {idListFormat, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    ASSERT_EQ(shell->GetData(&request, &medium), S_OK);
    const auto* locked = static_cast<const uint8_t*>(::GlobalLock(medium.hGlobal));
    ASSERT_TRUE(locked);
    std::vector<uint8_t> idList(locked, locked + ::GlobalSize(medium.hGlobal));
    ::GlobalUnlock(medium.hGlobal);
    ::ReleaseStgMedium(&medium);
    std::vector<uint8_t> files = test::DropFilesBlock({folder / L"a.zip", folder / L"b.txt"});

    // The whole selection as given: the folder menu offers something for it.
    ComPtr<IContextMenu> plain = Create<IContextMenu>(kClsidContextMenu, IID_IContextMenu);
    ASSERT_TRUE(plain);
    ASSERT_EQ(test::InitializeExtension(plain.Get(), nullptr, shell.Get()), S_OK);
    HMENU shellMenu = ::CreatePopupMenu();
    EXPECT_GT(HRESULT_CODE(plain->QueryContextMenu(shellMenu, 0, 1, 200, CMF_NORMAL)), 0);
    ::DestroyMenu(shellMenu);
    plain.Reset();

    std::mt19937 random(19);
    int withItems = 0;
    for (int round = 0; round < 150; ++round) {
        std::vector<uint8_t> ids = idList;
        std::vector<uint8_t> drop = files;
        std::vector<uint8_t>& victim = round % 3 == 0 ? ids : drop;
        for (int flips = 1 + round % 4; flips > 0; --flips)
            victim[random() % victim.size()] = static_cast<uint8_t>(random());
        if (round % 5 == 0) victim.resize(random() % victim.size());
        if (round % 11 == 0) PutU32(drop, 0, static_cast<uint32_t>(random()));
        if (round % 13 == 0) PutU32(drop, 16, static_cast<uint32_t>(random() & 1));
        auto data = test::TestDataObject::Make();
        data->Add(idListFormat, ids);
        test::TestFormat hdrop;
        hdrop.format = CF_HDROP;
        hdrop.bytes = drop;
        if (round % 17 == 0) hdrop.getData = E_UNEXPECTED;
        if (round % 19 == 0) hdrop.given = TYMED_ISTREAM;
        if (round % 23 == 0) hdrop.nullMedium = true;
        data->Add(hdrop);
        if (round % 7 == 0) data->enumFormatResult = E_FAIL;
        for (const CLSID* clsid : {&kClsidContextMenu, &kClsidDesktopContextMenu}) {
            ComPtr<IContextMenu> menu = Create<IContextMenu>(*clsid, IID_IContextMenu);
            ASSERT_TRUE(menu);
            test::InitializeExtension(menu.Get(), nullptr, data.Get());
            HMENU popup = ::CreatePopupMenu();
            HRESULT hr = menu->QueryContextMenu(popup, 0, 1, 200, CMF_NORMAL);
            int items = SUCCEEDED(hr) ? HRESULT_CODE(hr) : 0;
            withItems += items > 0;
            EXPECT_LE(items, 200);
            for (int offset = 0; offset <= items; ++offset) {
                wchar_t text[300];
                menu->GetCommandString(static_cast<UINT_PTR>(offset), GCS_HELPTEXTW, nullptr,
                                       reinterpret_cast<char*>(text), 300);
                menu->GetCommandString(static_cast<UINT_PTR>(offset), GCS_VERBA, nullptr,
                                       reinterpret_cast<char*>(text), 3);
            }
            // A second Initialize on the same object starts afresh.
            test::InitializeExtension(menu.Get(), nullptr, round % 2 ? nullptr : shell.Get());
            ::DestroyMenu(popup);
        }
    }
    // Rounds that damaged only the item lists still give the file list's items.
    EXPECT_GT(withItems, 0);

    auto canUnload = test::Named<CanUnloadNowFn>("DllCanUnloadNow");
    ASSERT_TRUE(canUnload);
    EXPECT_EQ(canUnload(), S_OK);
}

// The drop target forwards what it is given and never reads into it; what it cannot get (a
// failing GetData, another medium, a block smaller than its header) is not sent.
TEST_F(Hostile, DropTargetSurvivesBrokenFileLists) {
    test::StandInHost host;
    ASSERT_TRUE(host.Start());
    test::TempFolder folder;
    std::wstring archive = folder / L"target.zip";
    test::WriteFileBytes(archive, "PK", 2);
    std::vector<uint8_t> files = test::DropFilesBlock({L"C:\\one.txt", L"C:\\two.txt"});
    std::mt19937 random(23);
    for (int round = 0; round < 120; ++round) {
        SCOPED_TRACE(round);
        std::vector<uint8_t> bytes = files;
        for (int flips = 1 + round % 4; flips > 0; --flips)
            bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        if (round % 5 == 0) bytes.resize(random() % bytes.size());
        auto data = test::TestDataObject::Make();
        test::TestFormat format;
        format.format =
            round % 2 ? CF_HDROP
                      : static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(kPrivateHdropFormat));
        format.bytes = bytes;
        if (round % 7 == 0) format.getData = E_OUTOFMEMORY;
        if (round % 9 == 0) format.given = TYMED_ISTREAM;
        if (round % 11 == 0) data->enumFormatResult = E_FAIL;
        data->Add(format);
        bool sendable = format.getData == S_OK && format.given == TYMED_HGLOBAL &&
                        bytes.size() >= sizeof(DROPFILES);

        ComPtr<IDropTarget> drop = Create<IDropTarget>(kClsidDropTarget, IID_IDropTarget);
        ASSERT_TRUE(drop);
        ComPtr<IPersistFile> file;
        ASSERT_EQ(drop.As(&file), S_OK);
        ASSERT_EQ(file->Load(archive.c_str(), STGM_READ), S_OK);
        DWORD keys = round % 3 == 0 ? MK_SHIFT : 0;
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        drop->DragEnter(data.Get(), MK_LBUTTON | keys, {0, 0}, &effect);
        effect = DROPEFFECT_COPY;
        drop->DragOver(MK_LBUTTON | keys, {1, 1}, &effect);
        size_t before = host.Lines().size();
        effect = DROPEFFECT_LINK;
        EXPECT_EQ(drop->Drop(data.Get(), keys, {2, 2}, &effect), S_OK);
        size_t sent = host.Lines().size() - before;
        EXPECT_EQ(sent, sendable ? 1u : 0u);
        DWORD expected = !sendable ? DROPEFFECT_NONE : keys ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
        EXPECT_EQ(effect, expected);
        if (sent) {
            std::vector<uint8_t> block = BuildArchiveCommand(archive, L"", bytes);
            std::string line = host.Lines().back();
            EXPECT_EQ(line.rfind("COPYDATA " + std::to_string(keys ? 0xB000F : 0xA000F) + " " +
                                     std::to_string(block.size()) + " ",
                                 0),
                      0u)
                << line;
        }
    }
    EXPECT_TRUE(host.Stop());
    auto canUnload = test::Named<CanUnloadNowFn>("DllCanUnloadNow");
    ASSERT_TRUE(canUnload);
    EXPECT_EQ(canUnload(), S_OK);
}

}  // namespace
}  // namespace kwill::shellext
