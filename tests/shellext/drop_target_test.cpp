// The drop target as the shell drives it: the object from the DLL's class object, Load with the
// dropped-on file, then DragEnter, DragOver and Drop with real shell data objects and test ones.
// The stand-in host records the archive command that arrives.
#include "shellext/archive_command.h"
#include "tests/common/stand_in_host.h"
#include "tests/common/test_support.h"
#include "tests/shellext/shellext_support.h"
#include "tests/support/test_data_object.h"
#include "tools/common/text_io.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <string>
#include <thread>

namespace kwill::shellext {
namespace {

using Microsoft::WRL::ComPtr;
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

const CLSID kDropClsid = {
    0xF85D7E1E, 0x9662, 0x4b38, {0xB1, 0xAE, 0x3C, 0xF1, 0xE9, 0x58, 0x1A, 0x3C}};

ComPtr<IDropTarget> NewDropTarget() {
    ComPtr<IDropTarget> target;
    test::CreateFromClassObject(kDropClsid, IID_IDropTarget, target.GetAddressOf());
    return target;
}

HRESULT Load(IDropTarget* target, const wchar_t* name) {
    ComPtr<IPersistFile> file;
    if (FAILED(target->QueryInterface(IID_IPersistFile,
                                      reinterpret_cast<void**>(file.GetAddressOf()))))
        return E_NOINTERFACE;
    return file->Load(name, STGM_READ);
}

class DropTarget : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(::OleInitialize(nullptr), S_OK); }
    void TearDown() override { ::OleUninitialize(); }

    std::wstring MakeFile(const wchar_t* name, const std::string& content) {
        std::wstring path = folder_ / name;
        test::WriteFileBytes(path, content.data(), content.size());
        return path;
    }
    std::wstring Url(const wchar_t* name, const char* url) {
        return MakeFile(name, std::string("[InternetShortcut]\r\nURL=") + url + "\r\n");
    }

    test::TempFolder folder_;
};

TEST_F(DropTarget, LoadTakesArchivesAndFtpShortcutsOnly) {
    std::wstring longName = folder_ / (std::wstring(300, L'a') + L".zip");
    static const struct {
        const wchar_t* name;
        const char* url;  // a shortcut's address, or null for a plain file
        HRESULT expected;
    } rows[] = {
        {L"archive.ZIP", nullptr, S_OK},
        {L"site.url", "ftp://example.com/pub/", S_OK},
        {L"web.url", "http://example.com/", E_FAIL},
        {L"broken.url", nullptr, E_FAIL},
        {L"noextension", nullptr, E_FAIL},
        {L"other.txt", nullptr, E_FAIL},
    };
    for (const auto& r : rows) {
        ComPtr<IDropTarget> target = NewDropTarget();
        ASSERT_NE(target, nullptr);
        std::wstring path = r.url ? Url(r.name, r.url) : MakeFile(r.name, "x");
        EXPECT_EQ(Load(target.Get(), path.c_str()), r.expected) << tools::Utf8FromWide(r.name);
    }
    ComPtr<IDropTarget> target = NewDropTarget();
    EXPECT_EQ(Load(target.Get(), nullptr), E_FAIL);
    EXPECT_EQ(Load(target.Get(), longName.c_str()), E_FAIL);
}

TEST_F(DropTarget, DragEnterAcceptsFileListsOnly) {
    MakeFile(L"a.txt", "a");
    MakeFile(L"b.txt", "b");
    ComPtr<IDataObject> shell = test::ShellDataObject(folder_.path(), {L"a.txt", L"b.txt"});
    ASSERT_NE(shell, nullptr);
    auto privateOnly = test::TestDataObject::Make();
    privateOnly->Add(kPrivateHdropFormat, test::DropFilesBlock({L"C:\\x.txt"}));
    auto textOnly = test::TestDataObject::Make();
    textOnly->Add(CF_UNICODETEXT, test::WideBytes(L"just text"));
    auto streamOnly = test::TestDataObject::Make();
    test::TestFormat stream;
    stream.format = CF_HDROP;
    stream.bytes = test::DropFilesBlock({L"C:\\x.txt"});
    stream.offered = TYMED_ISTREAM;
    stream.given = TYMED_ISTREAM;
    streamOnly->Add(stream);
    auto failing = test::TestDataObject::Make();
    failing->Add(CF_HDROP, test::DropFilesBlock({L"C:\\x.txt"}));
    failing->enumFormatResult = E_FAIL;

    struct Row {
        const char* name;
        IDataObject* data;
        DWORD keys;
        DWORD effect;
    } rows[] = {
        {"shell files", shell.Get(), 0, DROPEFFECT_COPY},
        {"shell files, shift", shell.Get(), MK_SHIFT, DROPEFFECT_MOVE},
        {"private format", privateOnly.Get(), 0, DROPEFFECT_COPY},
        {"text", textOnly.Get(), 0, DROPEFFECT_NONE},
        {"stream medium", streamOnly.Get(), 0, DROPEFFECT_NONE},
        {"failing enumeration", failing.Get(), 0, DROPEFFECT_NONE},
        {"no data object", nullptr, 0, DROPEFFECT_NONE},
    };
    for (const Row& r : rows) {
        ComPtr<IDropTarget> target = NewDropTarget();
        ASSERT_NE(target, nullptr);
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
        EXPECT_EQ(target->DragEnter(r.data, r.keys, {0, 0}, &effect), S_OK);
        EXPECT_EQ(effect, r.effect) << r.name;
        // DragOver keeps the answer DragEnter gave; only Shift changes copy into move.
        effect = DROPEFFECT_COPY;
        EXPECT_EQ(target->DragOver(MK_SHIFT, {1, 1}, &effect), S_OK);
        EXPECT_EQ(effect, r.effect == DROPEFFECT_NONE ? DROPEFFECT_NONE : DROPEFFECT_MOVE)
            << r.name;
        EXPECT_EQ(target->DragLeave(), S_OK);
        EXPECT_EQ(target->DragEnter(r.data, 0, {0, 0}, nullptr), E_INVALIDARG);
    }
}

// Left-button drops go straight to the host: copy, or move with Shift; the block holds the
// archive's path, an empty extension and the DROPFILES block as the data object gave it.
TEST_F(DropTarget, LeftDropsSendTheArchiveCommand) {
    test::StandInHost host;
    ASSERT_TRUE(host.Start());
    std::wstring archive = MakeFile(L"target.zip", "PK");
    std::vector<uint8_t> files = test::DropFilesBlock({L"C:\\one.txt", L"C:\\two.txt"});
    struct Row {
        DWORD keys;
        ULONG_PTR data;
        DWORD effect;
    } rows[] = {{0, 0xA000F, DROPEFFECT_COPY}, {MK_SHIFT, 0xB000F, DROPEFFECT_MOVE}};
    size_t seen = host.Lines().size();
    for (const Row& r : rows) {
        ComPtr<IDropTarget> target = NewDropTarget();
        ASSERT_EQ(Load(target.Get(), archive.c_str()), S_OK);
        auto data = test::TestDataObject::Make();
        data->Add(CF_HDROP, files);
        DWORD effect = 0;
        ASSERT_EQ(target->DragEnter(data.Get(), r.keys, {0, 0}, &effect), S_OK);
        effect = DROPEFFECT_LINK;
        EXPECT_EQ(target->Drop(data.Get(), r.keys, {0, 0}, &effect), S_OK);
        EXPECT_EQ(effect, r.effect);
        std::vector<std::string> lines = host.Lines();
        ASSERT_EQ(lines.size(), seen + 1);
        std::vector<uint8_t> block = BuildArchiveCommand(archive, L"", files);
        std::string expected =
            "COPYDATA " + std::to_string(r.data) + " " + std::to_string(block.size()) + " ";
        EXPECT_EQ(lines.back().rfind(expected, 0), 0u) << lines.back();
        seen = lines.size();
    }
    // Before a successful Load there is nowhere to drop: nothing is sent.
    ComPtr<IDropTarget> unloaded = NewDropTarget();
    auto data = test::TestDataObject::Make();
    data->Add(CF_HDROP, files);
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(unloaded->Drop(data.Get(), 0, {0, 0}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(host.Lines().size(), seen);
    EXPECT_TRUE(host.Stop());
}

// Walks the open menu's highlight to the item with the identifier, with the arrow keys as a user
// would (separators are skipped by the menu itself), and presses Return.
void ChooseMenuItem(HWND menuWindow, unsigned id) {
    auto menu = reinterpret_cast<HMENU>(::SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    int count = ::GetMenuItemCount(menu);
    int current = -1, target = -1;
    for (int i = 0; i < count; ++i) {
        if (::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_HILITE) current = i;
        if (::GetMenuItemID(menu, i) == id) target = i;
    }
    auto selectable = [&](int i) {
        return !(::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR);
    };
    if (current < 0) {
        ::PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);  // highlights the first item
        current = 0;
    }
    int step = target > current ? 1 : -1;
    for (int i = current; i != target; i += step)
        if (selectable(i + step))
            ::PostMessageW(menuWindow, WM_KEYDOWN, step > 0 ? VK_DOWN : VK_UP, 0);
    ::PostMessageW(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
}

// A right-button drop shows the "Zip" menu; a helper thread plays the user. "Copy Here" copies
// even with Shift held, "Cancel" and no choice send nothing.
TEST_F(DropTarget, RightDropsAskWithTheMenu) {
    test::StandInHost host;
    ASSERT_TRUE(host.Start());
    std::wstring archive = MakeFile(L"menu.zip", "PK");
    HWND owner = ::CreateWindowExW(0, L"Static", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                   nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    ::SetForegroundWindow(owner);

    struct Row {
        const char* name;
        unsigned choose;  // the item to choose; 0: Escape, nothing chosen
        DWORD keys;
        const char* data;  // dwData recorded, or null for nothing sent
        DWORD effect;
    } rows[] = {
        {"copy here with shift", 40001, MK_SHIFT, "655375", DROPEFFECT_COPY},
        {"move here", 40002, 0, "720911", DROPEFFECT_MOVE},
        {"cancel", 40003, 0, nullptr, DROPEFFECT_NONE},
        {"no choice", 0, 0, nullptr, DROPEFFECT_NONE},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ComPtr<IDropTarget> target = NewDropTarget();
        ASSERT_EQ(Load(target.Get(), archive.c_str()), S_OK);
        auto data = test::TestDataObject::Make();
        data->Add(CF_HDROP, test::DropFilesBlock({L"C:\\one.txt"}));

        // The right button is down when the drag enters (as the shell's drag loop sees it).
        INPUT down{};
        down.type = INPUT_MOUSE;
        down.mi.dwFlags =
            ::GetSystemMetrics(SM_SWAPBUTTON) ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN;
        ::SendInput(1, &down, sizeof(down));
        DWORD effect = 0;
        ASSERT_EQ(target->DragEnter(data.Get(), r.keys | MK_RBUTTON, {0, 0}, &effect), S_OK);
        INPUT up = down;
        up.mi.dwFlags =
            ::GetSystemMetrics(SM_SWAPBUTTON) ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP;
        ::SendInput(1, &up, sizeof(up));

        std::atomic<bool> stop{false};
        std::atomic<bool> sawMenu{false};
        std::thread user([&] {
            for (int i = 0; i < 500 && !stop; ++i) {
                if (HWND menu = ::FindWindowW(L"#32768", nullptr);
                    menu && ::IsWindowVisible(menu)) {
                    sawMenu = true;
                    ::Sleep(300);
                    if (!r.choose) {
                        ::PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
                    } else {
                        ChooseMenuItem(menu, r.choose);
                    }
                    return;
                }
                ::Sleep(10);
            }
        });
        size_t seen = host.Lines().size();
        effect = DROPEFFECT_LINK;
        EXPECT_EQ(target->Drop(data.Get(), r.keys, {0, 0}, &effect), S_OK);
        stop = true;
        user.join();
        EXPECT_TRUE(sawMenu);
        EXPECT_EQ(effect, r.effect);
        std::vector<std::string> lines = host.Lines();
        if (r.data) {
            ASSERT_EQ(lines.size(), seen + 1);
            EXPECT_EQ(lines.back().rfind(std::string("COPYDATA ") + r.data + " ", 0), 0u)
                << lines.back();
        } else {
            EXPECT_EQ(lines.size(), seen);
        }
    }
    ::DestroyWindow(owner);
    EXPECT_TRUE(host.Stop());
}

TEST(DropTargetObject, InterfacesAndUnload) {
    ComPtr<IDropTarget> target = NewDropTarget();
    ASSERT_NE(target, nullptr);
    ComPtr<IPersistFile> file;
    ComPtr<IPersist> plain;
    ASSERT_EQ(
        target->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.GetAddressOf())),
        S_OK);
    ASSERT_EQ(target->QueryInterface(IID_IPersist, reinterpret_cast<void**>(plain.GetAddressOf())),
              S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(plain.Get()), static_cast<IUnknown*>(file.Get()));
    EXPECT_EQ(file->IsDirty(), S_FALSE);
    EXPECT_EQ(file->Save(L"x", TRUE), E_FAIL);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(target->QueryInterface(IID_IContextMenu, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    DWORD effect = 0;
    EXPECT_EQ(target->DragOver(0, {0, 0}, nullptr), E_INVALIDARG);
    EXPECT_EQ(target->Drop(nullptr, 0, {0, 0}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    plain.Reset();
    file.Reset();
    target.Reset();
    auto canUnload = test::Named<CanUnloadNowFn>("DllCanUnloadNow");
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_OK);
}

}  // namespace
}  // namespace kwill::shellext
