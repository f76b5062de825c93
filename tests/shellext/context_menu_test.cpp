// The context menu as the shell drives it: objects from the DLL's class objects for the folder
// and the desktop class, Initialize with real shell data objects and hostile test ones, then
// QueryContextMenu, GetCommandString and InvokeCommand.
#include "shellext/class_table.h"
#include "shellext/context_menu.h"
#include "tests/common/test_support.h"
#include "tests/shellext/shell_scene.h"
#include "tests/shellext/shellext_support.h"
#include "tests/support/test_data_object.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <random>
#include <string>

namespace kwill::shellext {
namespace {

using Microsoft::WRL::ComPtr;
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

const CLSID& kFolderClsid = kClsidContextMenu;

ComPtr<IContextMenu> NewMenu(REFCLSID clsid) {
    ComPtr<IContextMenu> menu;
    test::CreateFromClassObject(clsid, IID_IContextMenu, menu.GetAddressOf());
    return menu;
}

HRESULT Initialize(IContextMenu* menu, PCIDLIST_ABSOLUTE folder, IDataObject* data) {
    return test::InitializeExtension(menu, folder, data);
}

class ContextMenu : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(::OleInitialize(nullptr), S_OK); }
    void TearDown() override { ::OleUninitialize(); }
};

std::vector<const CLSID*> Classes() {
    return {&kClsidContextMenu, &kClsidDesktopContextMenu};
}

TEST_F(ContextMenu, UninitialisedObjectsRefuseEveryCall) {
    for (const CLSID* clsid : Classes()) {
        ComPtr<IContextMenu> menu = NewMenu(*clsid);
        ASSERT_TRUE(menu);
        HMENU popup = ::CreatePopupMenu();
        EXPECT_EQ(menu->QueryContextMenu(popup, 0, 1, 100, CMF_DEFAULTONLY),
                  MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
        EXPECT_EQ(menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL), E_FAIL);
        EXPECT_EQ(::GetMenuItemCount(popup), 0);
        ::DestroyMenu(popup);
        char buffer[16];
        EXPECT_EQ(menu->GetCommandString(0, GCS_VERBA, nullptr, buffer, sizeof(buffer)),
                  E_INVALIDARG);
        EXPECT_EQ(menu->InvokeCommand(nullptr), E_INVALIDARG);
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof(info);
        info.lpVerb = "newlister";
        EXPECT_EQ(menu->InvokeCommand(&info), E_FAIL);
    }
}

// With no preference flags set, neither class takes a selection or the desktop background.
TEST_F(ContextMenu, WithoutFlagsInitializeFails) {
    PIDLIST_ABSOLUTE temp = nullptr;
    ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_WINDOWS, &temp), S_OK);
    ComPtr<IDataObject> data;
    PCUIDLIST_RELATIVE child = ::ILFindLastID(temp);
    PIDLIST_ABSOLUTE parent = ::ILClone(temp);
    ::ILRemoveLastID(parent);
    ASSERT_EQ(::CIDLData_CreateFromIDArray(parent, 1, &child, data.GetAddressOf()), S_OK);
    for (const CLSID* clsid : Classes()) {
        ComPtr<IContextMenu> menu = NewMenu(*clsid);
        EXPECT_EQ(Initialize(menu.Get(), nullptr, data.Get()), E_FAIL);
        EXPECT_EQ(Initialize(menu.Get(), nullptr, nullptr), E_FAIL);
    }
    ::CoTaskMemFree(parent);
    ::CoTaskMemFree(temp);
}

// The collection item as the shell hands it over: the registered menu object from
// CoCreateInstance.
class RegisteredContextMenu : public test::ShellSceneTest {};

TEST_F(RegisteredContextMenu, CollectionItemAddsNothingAndStillTakesItsVerb) {
    ComPtr<IShellFolder> desktop;
    ASSERT_EQ(::SHGetDesktopFolder(desktop.GetAddressOf()), S_OK);
    PIDLIST_RELATIVE item = nullptr;
    std::wstring name = kCollectionItemName;
    HRESULT parsed =
        desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &item, nullptr);
    if (FAILED(parsed)) GTEST_SKIP() << "the collection item does not parse here";
    PIDLIST_ABSOLUTE root = nullptr;
    ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &root), S_OK);
    PCUIDLIST_RELATIVE child = item;
    ComPtr<IDataObject> data;
    ASSERT_EQ(::CIDLData_CreateFromIDArray(root, 1, &child, data.GetAddressOf()), S_OK);

    ComPtr<IContextMenu> menu;
    ASSERT_EQ(::CoCreateInstance(kFolderClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                                 reinterpret_cast<void**>(menu.GetAddressOf())),
              S_OK);
    ASSERT_EQ(Initialize(menu.Get(), nullptr, data.Get()), S_OK);
    HMENU popup = ::CreatePopupMenu();
    EXPECT_EQ(menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL),
              MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
    EXPECT_EQ(::GetMenuItemCount(popup), 0);
    ::DestroyMenu(popup);

    // Commands the menu never offered: help for an offset taken as a kind; validation always.
    wchar_t wide[64];
    EXPECT_EQ(menu->GetCommandString(13, GCS_VERBW, nullptr, reinterpret_cast<char*>(wide), 64),
              S_OK);
    EXPECT_STREQ(wide, L"remcollicon");
    EXPECT_EQ(menu->GetCommandString(40, GCS_VALIDATEW, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(menu->GetCommandString(12, GCS_VERBW, nullptr, reinterpret_cast<char*>(wide), 64),
              E_INVALIDARG);
    EXPECT_EQ(menu->GetCommandString(9, GCS_VERBA, nullptr, reinterpret_cast<char*>(wide), 64),
              E_INVALIDARG);
    EXPECT_EQ(menu->GetCommandString(1, 0x99, nullptr, reinterpret_cast<char*>(wide), 64),
              E_INVALIDARG);

    // Unknown verbs fail; an extended structure without the Unicode mask has its wide verb
    // ignored, however it is filled.
    CMINVOKECOMMANDINFOEX info{};
    info.cbSize = sizeof(info);
    info.lpVerb = "nosuchverb";
    EXPECT_EQ(menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)), E_FAIL);
    info.lpVerb = MAKEINTRESOURCEA(5);
    info.lpVerbW = reinterpret_cast<LPCWSTR>(static_cast<UINT_PTR>(0xDEAD0000));
    EXPECT_EQ(menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)), E_FAIL);
    ::CoTaskMemFree(root);
    ::CoTaskMemFree(item);
}

// Blocks of the item-list format broken in every way a random walk finds: Initialize and
// QueryContextMenu neither crash nor leave objects behind.
TEST_F(ContextMenu, HostileSelectionsAreSurvived) {
    CLIPFORMAT idList = static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(CFSTR_SHELLIDLIST));
    std::vector<uint8_t> good = {1, 0, 0, 0, 12, 0, 0, 0, 14, 0, 0, 0, 0, 0, 4, 0, 'a', 'b', 0, 0};
    std::mt19937 random(19);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> bytes = good;
        for (int flips = 1 + round % 4; flips > 0; --flips)
            bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        if (round % 5 == 0) bytes.resize(random() % bytes.size());
        auto data = test::TestDataObject::Make();
        data->Add(idList, bytes);
        data->Add(CF_HDROP, bytes);
        if (round % 7 == 0) data->enumFormatResult = E_FAIL;
        for (const CLSID* clsid : Classes()) {
            ComPtr<IContextMenu> menu = NewMenu(*clsid);
            Initialize(menu.Get(), nullptr, data.Get());
            HMENU popup = ::CreatePopupMenu();
            menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL);
            ::DestroyMenu(popup);
        }
    }
    test::TestFormat failing;
    failing.format = idList;
    failing.getData = E_OUTOFMEMORY;
    auto data = test::TestDataObject::Make();
    data->Add(failing);
    EXPECT_EQ(Initialize(NewMenu(kFolderClsid).Get(), nullptr, data.Get()), E_FAIL);
    auto canUnload = test::Named<CanUnloadNowFn>("DllCanUnloadNow");
    ASSERT_TRUE(canUnload);
    EXPECT_EQ(canUnload(), S_OK);
}

}  // namespace
}  // namespace kwill::shellext
