// Binding ID lists of real objects of the prefix to shell folders, parents, display names
// (ConvertSTRRET for each STRRET kind) and the control-panel and collection classification.
#include "tests/common/test_support.h"
#include "tests/shellns/shellns_support.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kwill {
namespace {

using test::GuardedBytes;
using test::MakeList;
using test::Named;
using test::ShellList;

using Pidl = LPITEMIDLIST;
using CPidl = LPCITEMIDLIST;

using BindFn = HRESULT (*)(CPidl, IShellFolder**, SFGAOF*);
using GetFn = IShellFolder* (*)(CPidl, SFGAOF*);
using BindParentFn = IShellFolder* (*)(CPidl, CPidl*);
using GetParentFn = Pidl (*)(Pidl, BOOL);
using ConvertFn = void (*)(STRRET*, CPidl, wchar_t*, DWORD);
using ItemFn = BOOL (*)(CPidl);
using ClsidFn = BOOL (*)(const GUID*);

struct Api {
    BindFn bind = Named<BindFn>("BindToShellFolder");
    GetFn get = Named<GetFn>("GetShellFolder");
    BindParentFn bindParent = Named<BindParentFn>("ILBindToParent");
    GetParentFn getParent = Named<GetParentFn>("ILGetParent");
    ConvertFn convert = Named<ConvertFn>("ConvertSTRRET");
    ItemFn isControlPanel = test::Ordinal<ItemFn>(120);
    ItemFn isCollection = test::Ordinal<ItemFn>(165);
    ClsidFn isControlPanelClsid = test::Ordinal<ClsidFn>(170);
    void (*free)(Pidl) = Named<void (*)(Pidl)>("PIDLFree");
};

const Api& Fn() {
    static Api api;
    return api;
}

// Does the folder object stand for this absolute list?
bool IsFolderOf(IShellFolder* folder, CPidl list) {
    IPersistFolder2* persist = nullptr;
    if (FAILED(folder->QueryInterface(IID_PPV_ARGS(&persist)))) return false;
    PIDLIST_ABSOLUTE current = nullptr;
    persist->GetCurFolder(&current);
    persist->Release();
    bool same = current && ::ILIsEqual(current, list);
    ::CoTaskMemFree(current);
    return same;
}

// The library binds as the shell itself does: same result, same attributes, same folder.
TEST(ShellFolder, BindToRealFolders) {
    test::ComScope com;
    IShellFolder* desktop = nullptr;
    ASSERT_EQ(::SHGetDesktopFolder(&desktop), S_OK);
    int folders = 0;
    for (const std::wstring& name : test::PrefixNames()) {
        SCOPED_TRACE(test::Narrow(name));
        ShellList list(name);
        ASSERT_NE(list.get(), nullptr);
        IShellFolder* shellBound = nullptr;
        HRESULT shellHr = desktop->BindToObject(list.get(), nullptr, IID_PPV_ARGS(&shellBound));
        IShellFolder* parent = nullptr;
        PCUITEMID_CHILD child = nullptr;
        ASSERT_EQ(::SHBindToParent(list.get(), IID_PPV_ARGS(&parent), &child), S_OK);
        SFGAOF shellAttributes = SFGAO_FOLDER | SFGAO_FILESYSTEM;
        parent->GetAttributesOf(1, &child, &shellAttributes);
        parent->Release();

        // Bound in read-only memory: the list must not be written, not even for a moment.
        GuardedBytes readOnly(list.bytes(), PAGE_READONLY);
        IShellFolder* plain = reinterpret_cast<IShellFolder*>(1);
        IShellFolder* masked = reinterpret_cast<IShellFolder*>(1);
        SFGAOF attributes = SFGAO_FOLDER | SFGAO_FILESYSTEM;
        EXPECT_EQ(Fn().bind(readOnly.pidl(), &plain, nullptr), shellHr);
        EXPECT_EQ(Fn().bind(readOnly.pidl(), &masked, &attributes), shellHr);
        EXPECT_EQ(attributes, shellAttributes);
        IShellFolder* got = Fn().get(readOnly.pidl(), nullptr);
        if (SUCCEEDED(shellHr)) {
            bool same = IsFolderOf(shellBound, list.get());
            folders += same;
            for (IShellFolder* f : {plain, masked, got}) {
                ASSERT_NE(f, nullptr);
                EXPECT_EQ(IsFolderOf(f, list.get()), same);
                f->Release();
            }
            shellBound->Release();
        } else {
            // On failure (a file is no folder) the out pointer is kept.
            EXPECT_EQ(plain, reinterpret_cast<IShellFolder*>(1));
            EXPECT_EQ(masked, reinterpret_cast<IShellFolder*>(1));
            EXPECT_EQ(got, nullptr);
        }
    }
    desktop->Release();
    EXPECT_GE(folders, 5);  // the file-system folders at least

    std::vector<uint8_t> empty = MakeList({});
    IShellFolder* folder = nullptr;
    SFGAOF attributes = 0x1234;
    ASSERT_EQ(Fn().bind(reinterpret_cast<CPidl>(empty.data()), &folder, &attributes), S_OK);
    EXPECT_TRUE(IsFolderOf(folder, reinterpret_cast<CPidl>(empty.data())));  // the desktop
    EXPECT_EQ(attributes, 0x1234u);  // left alone for the desktop
    folder->Release();
    EXPECT_EQ(Fn().bind(nullptr, &folder, nullptr), E_INVALIDARG);
    EXPECT_EQ(Fn().bind(reinterpret_cast<CPidl>(empty.data()), nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(Fn().get(nullptr, nullptr), nullptr);
}

TEST(ShellFolder, ParentsOfRealLists) {
    test::ComScope com;
    for (const std::wstring& name : test::PrefixNames()) {
        SCOPED_TRACE(test::Narrow(name));
        ShellList list(name);
        ASSERT_NE(list.get(), nullptr);
        CPidl last = reinterpret_cast<CPidl>(1);
        IShellFolder* parent = Fn().bindParent(list.get(), &last);
        ASSERT_NE(parent, nullptr);
        EXPECT_EQ(last, ::ILFindLastID(list.get()));
        // The parent names the last item as the whole list names the object.
        STRRET strret;
        ASSERT_EQ(parent->GetDisplayNameOf(last, SHGDN_FORPARSING, &strret), S_OK);
        wchar_t buffer[MAX_PATH];
        Fn().convert(&strret, last, buffer, MAX_PATH);
        EXPECT_EQ(_wcsicmp(buffer, name.c_str()), 0) << test::Narrow(buffer);
        parent->Release();

        // ILGetParent copies or cuts in place, as shell32's ILRemoveLastID cuts.
        PIDLIST_ABSOLUTE shellParent = ::ILClone(list.get());
        ::ILRemoveLastID(shellParent);
        Pidl copy = Fn().getParent(list.get(), TRUE);
        ASSERT_NE(copy, nullptr);
        EXPECT_TRUE(::ILIsEqual(copy, shellParent));
        EXPECT_EQ(::ILGetSize(copy), ::ILGetSize(shellParent));
        Fn().free(copy);
        PIDLIST_ABSOLUTE cut = ::ILClone(list.get());
        EXPECT_EQ(Fn().getParent(cut, FALSE), cut);
        EXPECT_TRUE(::ILIsEqual(cut, shellParent));
        ::ILFree(cut);
        ::ILFree(shellParent);
    }
    std::vector<uint8_t> empty = MakeList({});
    CPidl last = reinterpret_cast<CPidl>(1);
    IShellFolder* desktop = Fn().bindParent(reinterpret_cast<CPidl>(empty.data()), &last);
    ASSERT_NE(desktop, nullptr);
    EXPECT_EQ(last, nullptr);
    desktop->Release();
    EXPECT_EQ(Fn().bindParent(nullptr, &last), nullptr);
    EXPECT_EQ(Fn().getParent(reinterpret_cast<Pidl>(empty.data()), TRUE), nullptr);
    EXPECT_EQ(Fn().getParent(nullptr, FALSE), nullptr);
}

STRRET WideStrRet(const wchar_t* text) {
    STRRET r;
    r.uType = STRRET_WSTR;
    r.pOleStr = nullptr;
    if (text) {
        size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
        r.pOleStr = static_cast<wchar_t*>(::CoTaskMemAlloc(bytes));
        std::memcpy(r.pOleStr, text, bytes);
    }
    return r;
}

STRRET Offset(UINT offset, UINT type = STRRET_OFFSET) {
    STRRET r;
    r.uType = type;
    r.uOffset = offset;
    return r;
}

TEST(ShellFolder, ConvertStrRetKinds) {
    // An item that carries its ANSI name inside: type byte, pad, then "name.txt".
    std::vector<uint8_t> data = {0x32, 0};
    for (const char* c = "name.txt"; *c; ++c) data.push_back(static_cast<uint8_t>(*c));
    data.push_back(0);
    GuardedBytes item(MakeList({data}));

    STRRET cstr;
    cstr.uType = STRRET_CSTR;
    std::strcpy(cstr.cStr, "Cafe folder");
    STRRET full;
    full.uType = STRRET_CSTR;
    std::memset(full.cStr, 'x', sizeof(full.cStr));  // no terminator in the array

    struct Row {
        const char* name;
        STRRET value;
        CPidl list;
        DWORD chars;
        const wchar_t* expected;
    } rows[] = {
        {"wide", WideStrRet(L"C:\\windows"), nullptr, MAX_PATH, L"C:\\windows"},
        {"wide truncated", WideStrRet(L"C:\\windows"), nullptr, 4, L"C:\\"},
        {"wide exact", WideStrRet(L"abc"), nullptr, 4, L"abc"},
        {"wide size 1", WideStrRet(L"abc"), nullptr, 1, L""},
        {"wide surrogate not split", WideStrRet(L"a\xD83D\xDE00"), nullptr, 3, L"a"},
        {"wide null text", WideStrRet(nullptr), nullptr, MAX_PATH, L""},
        {"ansi", cstr, nullptr, MAX_PATH, L"Cafe folder"},
        {"ansi truncated", cstr, nullptr, 5, L"Cafe"},
        {"ansi array without terminator", full, nullptr, 1000, nullptr},
        {"offset", Offset(4), item.pidl(), MAX_PATH, L"name.txt"},
        {"offset truncated", Offset(4), item.pidl(), 3, L"na"},
        // Past the list's end the bytes are not the list's: nothing is read there.
        {"offset past the list", Offset(400), item.pidl(), MAX_PATH, L""},
        {"offset without list", Offset(4), nullptr, MAX_PATH, L""},
        {"unknown kind", Offset(4, 7), nullptr, MAX_PATH, L""},
    };
    for (Row& r : rows) {
        std::vector<wchar_t> buffer(r.chars + 1, L'#');
        Fn().convert(&r.value, r.list, buffer.data(), r.chars);
        if (r.expected) {
            EXPECT_STREQ(buffer.data(), r.expected) << r.name;
        } else {
            EXPECT_EQ(std::wcslen(buffer.data()), sizeof(full.cStr)) << r.name;
        }
        EXPECT_EQ(buffer[r.chars], L'#') << r.name;  // nothing beyond the given size
    }
    // Without a buffer the wide text is still freed (a leak would not show; a double free
    // would), and nothing is written.
    STRRET wide = WideStrRet(L"free me");
    Fn().convert(&wide, nullptr, nullptr, 0);
    wchar_t one = L'#';
    STRRET wide2 = WideStrRet(L"free me");
    Fn().convert(&wide2, nullptr, &one, 0);
    EXPECT_EQ(one, L'#');
    Fn().convert(nullptr, nullptr, &one, 1);
    EXPECT_EQ(one, L'\0');
}

TEST(ShellFolder, ConvertRealDisplayNames) {
    test::ComScope com;
    IShellFolder* desktop = nullptr;
    ASSERT_EQ(::SHGetDesktopFolder(&desktop), S_OK);
    for (const std::wstring& name : test::PrefixNames()) {
        ShellList list(name);
        for (SHGDNF flags : {SHGDN_NORMAL, SHGDN_FORPARSING, SHGDN_INFOLDER}) {
            STRRET a, b;
            ASSERT_EQ(desktop->GetDisplayNameOf(list.get(), flags, &a), S_OK);
            ASSERT_EQ(desktop->GetDisplayNameOf(list.get(), flags, &b), S_OK);
            wchar_t ours[MAX_PATH], shells[MAX_PATH];
            Fn().convert(&a, list.get(), ours, MAX_PATH);
            ASSERT_EQ(::StrRetToBufW(&b, list.get(), shells, MAX_PATH), S_OK);
            EXPECT_STREQ(ours, shells) << test::Narrow(name);
        }
    }
    desktop->Release();
}

// {A1B2C3D4-0000-4000-8000-00AA00BB00CC}: a class that the test registers for itself.
const GUID kTestClass = {0xA1B2C3D4, 0, 0x4000, {0x80, 0, 0, 0xAA, 0, 0xBB, 0, 0xCC}};
const wchar_t kTestClassKey[] = L"Software\\Classes\\CLSID\\{A1B2C3D4-0000-4000-8000-00AA00BB00CC}";

TEST(ShellFolder, ControlPanelAndCollection) {
    test::ComScope com;
    const GUID panels[] = {
        {0x26EE0668, 0xA00A, 0x44D7, {0x93, 0x71, 0xBE, 0xB0, 0x64, 0xC9, 0x86, 0x83}},
        {0x21EC2020, 0x3AEA, 0x1069, {0xA2, 0xDD, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D}},
        {0x5399E694, 0x6CE5, 0x4D6C, {0x8F, 0xCE, 0x1D, 0x88, 0x70, 0xFD, 0xCB, 0xA0}},
    };
    for (const GUID& g : panels) EXPECT_TRUE(Fn().isControlPanelClsid(&g));
    const GUID computer = {
        0x20D04FE0, 0x3AEA, 0x1069, {0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D}};
    EXPECT_FALSE(Fn().isControlPanelClsid(&computer));
    EXPECT_FALSE(Fn().isControlPanelClsid(nullptr));

    // A class counts when its key has a nonempty category of string or number type.
    struct Row {
        const char* name;
        DWORD type;
        std::vector<uint8_t> data;
        BOOL expected;
    } rows[] = {
        {"string", REG_SZ, {'5', 0, 0, 0}, TRUE},  {"number", REG_DWORD, {3, 0, 0, 0}, TRUE},
        {"empty string value", REG_SZ, {}, FALSE}, {"binary", REG_BINARY, {1}, FALSE},
        {"no value", REG_NONE, {}, FALSE},
    };
    for (const Row& r : rows) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTestClassKey, 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        if (r.type != REG_NONE) {
            ::RegSetValueExW(key, L"System.ControlPanel.Category", 0, r.type, r.data.data(),
                             static_cast<DWORD>(r.data.size()));
        }
        ::RegCloseKey(key);
        EXPECT_EQ(Fn().isControlPanelClsid(&kTestClass), r.expected) << r.name;
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestClassKey);
    }

    // Items: the shell's own control-panel item, and hand-made class items.
    ShellList panel(
        L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{21EC2020-3AEA-1069-A2DD-08002B30309D}");
    ASSERT_NE(panel.get(), nullptr);
    EXPECT_TRUE(Fn().isControlPanel(::ILFindLastID(panel.get())));
    EXPECT_FALSE(Fn().isControlPanel(panel.get()));  // the first item is My Computer
    EXPECT_FALSE(Fn().isCollection(panel.get()));

    const GUID collection = {
        0xD2FCA36D, 0x93CD, 0x46F2, {0x83, 0x24, 0x63, 0x08, 0xF6, 0xE3, 0x1B, 0x53}};
    auto item = [](const GUID& g) {
        std::vector<uint8_t> data = {0x1F, 0x50};
        auto* p = reinterpret_cast<const uint8_t*>(&g);
        data.insert(data.end(), p, p + 16);
        return MakeList({data});
    };
    GuardedBytes collectionItem(item(collection));
    GuardedBytes panelItem(item(panels[0]));
    EXPECT_TRUE(Fn().isCollection(collectionItem.pidl()));
    EXPECT_FALSE(Fn().isControlPanel(collectionItem.pidl()));
    EXPECT_TRUE(Fn().isControlPanel(panelItem.pidl()));
    EXPECT_FALSE(Fn().isCollection(panelItem.pidl()));
    GuardedBytes tiny(MakeList({{0x1F}}));
    EXPECT_FALSE(Fn().isCollection(tiny.pidl()));
    EXPECT_FALSE(Fn().isControlPanel(tiny.pidl()));
    EXPECT_FALSE(Fn().isCollection(nullptr));
    EXPECT_FALSE(Fn().isControlPanel(nullptr));
}

}  // namespace
}  // namespace kwill
