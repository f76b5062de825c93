// The icon and info-tip handlers as the shell uses them: the object from the DLL's class object,
// IPersistFile::Load with one file, then the icon or the tip. Files are made in a temporary folder;
// archives with the library's own zip writer.
#include "shellext/class_table.h"
#include "shellext/file_kinds.h"
#include "tests/common/test_support.h"
#include "tests/shellext/shellext_support.h"
#include "tools/common/text_io.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <string>

namespace kwill::shellext {
namespace {

using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

const CLSID& kIconClsid = kClsidIconHandler;
const CLSID& kTipClsid = kClsidQueryInfo;

template <typename T>
T* Create(REFCLSID clsid, REFIID iid) {
    T* object = nullptr;
    test::CreateFromClassObject(clsid, iid, &object);
    return object;
}

HRESULT LoadFile(IUnknown* object, const std::wstring& path) {
    IPersistFile* persist = nullptr;
    if (FAILED(object->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))))
        return E_NOINTERFACE;
    HRESULT hr = persist->Load(path.c_str(), STGM_READ);
    persist->Release();
    return hr;
}

void Write(const std::wstring& path, const std::string& text) {
    ASSERT_TRUE(test::WriteFileBytes(path, text.data(), text.size()));
}

TEST(FileKinds, ExtensionsInAnyCase) {
    static const struct {
        const wchar_t* extension;
        uint32_t kind;
    } rows[] = {
        {L".kcf", 0x1},  {L".KOP", 0x4},  {L".Flt", 0x10},  {L".kps", 0x20},
        {L".kft", 0x40}, {L".KLT", 0x80}, {L".tsp", 0x100}, {L".TarnScriptInstall", 0x200},
        {L".txt", 0},    {L"kcf", 0},     {L".kcff", 0},    {L"", 0},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FileKindOfExtension(r.extension), r.kind) << tools::Utf8FromWide(r.extension);
}

// A translated text is data: only its one expected insert takes the value, and nothing makes the
// formatter reach for an argument that is not there.
TEST(FileKinds, FormatsOneInsertOnly) {
    static const struct {
        const wchar_t* pattern;
        const wchar_t* text;
        const wchar_t* number;  // with the value 42
    } rows[] = {
        {L"Command: %s", L"Command: go", L"Command: %s"},
        {L"%s%s%d", L"go%s%d", L"%s%s42"},
        {L"%d files, %s", L"%d files, go", L"42 files, %s"},
        {L"100%% %s", L"100% go", L"100% %s"},
        {L"%lu entries", L"%lu entries", L"42 entries"},
        {L"%1", L"go", L"42"},
        {L"%1!u! entries", L"%1!u! entries", L"42 entries"},
        {L"Tip: %1!s! %1!s!", L"Tip: go %1!s!", L"Tip: %1!s! %1!s!"},
        {L"%1!x! %2", L"%1!x! %2", L"%1!x! %2"},
        {L"%", L"%", L"%"},
        {L"no insert", L"no insert", L"no insert"},
        {L"", L"", L""},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(FormatOneText(r.pattern, L"go", kTipChars), r.text)
            << tools::Utf8FromWide(r.pattern);
        EXPECT_EQ(FormatOneNumber(r.pattern, 42, kTipChars), r.number)
            << tools::Utf8FromWide(r.pattern);
    }
    // Cut at the limit, never inside a surrogate pair.
    std::wstring pair = std::wstring(159, L'a') + L"\U0001F600b";
    EXPECT_EQ(CutText(pair, 160), std::wstring(159, L'a'));
    EXPECT_EQ(CutText(pair, 161).size(), 161u);
    EXPECT_EQ(FormatOneText(L"%s", std::wstring(500, L'x'), 160).size(), 160u);
}

struct CommandFile {
    const char* name;
    const char* content;
    uint32_t mask;        // the icon handler's kind mask
    const char* tipPart;  // a piece of the tip (null: no tip, E_FAIL)
};

const CommandFile kCommandFiles[] = {
    {"layout.kcf", "[Kwill.ButtonInfo]\r\nToolTip=Open my layout\r\nFunc1=Prefs LAYOUT=Work\r\n",
     0x3, "Open my layout"},
    {"lower.kcf", "[Kwill.ButtonInfo]\r\nFunc1=prefs layout=Work\r\n", 0x3, "prefs layout=Work"},
    {"nolayout.kcf", "[Kwill.ButtonInfo]\r\nFunc1=Prefs LAYOUT\r\n", 0x1, "Prefs LAYOUT"},
    {"other.kcf", "[Kwill.ButtonInfo]\r\nFunc1=Go C:\\\r\n", 0x1, "Go C:\\"},
    {"xml.kcf",
     "<?xml version=\"1.0\"?><button><tip>A tip</tip><function><instruction>prefs layout "
     "x</instruction></function></button>",
     0x3, "A tip"},
    {"xmlplain.kcf",
     "<button><function><instruction>Go \xC3\xA9t\xC3\xA9</instruction></function></button>", 0x1,
     "Go \xC3\xA9t\xC3\xA9"},
    {"xmlansi.kcf", "<button><tip>caf\xE9</tip></button>", 0x1, "caf\xC3\xA9"},
    {"empty.kcf", "", 0x1, nullptr},
    {"garbage.kcf", "\x01\x02<<<", 0x1, nullptr},
    {"notip.kcf", "<button><other/></button>", 0x1, nullptr},
};

TEST(FileHandlers, IconKindsAndCommandTips) {
    ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    test::TempFolder folder;
    for (const CommandFile& f : kCommandFiles) {
        SCOPED_TRACE(f.name);
        std::wstring path = folder / tools::WideFromUtf8(f.name);
        Write(path, f.content);

        IExtractIconW* icon = Create<IExtractIconW>(kIconClsid, IID_IExtractIconW);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(LoadFile(icon, path), S_OK);
        wchar_t file[8] = L"x";
        int index = -1;
        UINT flags = 0;
        EXPECT_EQ(icon->GetIconLocation(0, file, 8, &index, &flags), S_OK);
        EXPECT_EQ(file[0], L'\0');
        EXPECT_EQ(static_cast<uint32_t>(index), f.mask);
        EXPECT_EQ(flags, static_cast<UINT>(GIL_NOTFILENAME));
        icon->Release();

        IQueryInfo* info = Create<IQueryInfo>(kTipClsid, IID_IQueryInfo);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(LoadFile(info, path), S_OK);
        wchar_t* tip = reinterpret_cast<wchar_t*>(1);
        HRESULT hr = info->GetInfoTip(0, &tip);
        if (f.tipPart) {
            ASSERT_EQ(hr, S_OK);
            ASSERT_NE(tip, nullptr);
            std::string text = tools::Utf8FromWide(tip);
            EXPECT_NE(text.find(f.tipPart), std::string::npos) << text;
            EXPECT_LE(std::wcslen(tip), kTipChars);
            ::CoTaskMemFree(tip);
        } else {
            EXPECT_EQ(hr, E_FAIL);
            EXPECT_EQ(tip, nullptr);
        }
        info->Release();
    }
    ::CoUninitialize();
}

TEST(FileHandlers, IconLoadRefusesOtherFilesAndWritesNothingWithoutBuffers) {
    IExtractIconW* icon = Create<IExtractIconW>(kIconClsid, IID_IExtractIconW);
    ASSERT_NE(icon, nullptr);
    for (const wchar_t* name : {L"C:\\a.txt", L"C:\\noextension", L""})
        EXPECT_EQ(LoadFile(icon, name), E_FAIL) << tools::Utf8FromWide(name);
    // Files that need not exist: the kind comes from the extension alone.
    static const struct {
        const wchar_t* name;
        int mask;
    } rows[] = {{L"C:\\gone\\x.KPS", 0x20},
                {L"C:\\gone\\x.tarnscriptinstall", 0x200},
                {L"C:\\gone\\missing.kcf", 0x1}};
    for (const auto& r : rows) {
        EXPECT_EQ(LoadFile(icon, r.name), S_OK);
        int index = -1;
        EXPECT_EQ(icon->GetIconLocation(0, nullptr, 0, &index, nullptr), S_OK);
        EXPECT_EQ(index, r.mask) << tools::Utf8FromWide(r.name);
    }
    wchar_t untouched[4] = L"abc";
    EXPECT_EQ(icon->GetIconLocation(0, untouched, 0, nullptr, nullptr), S_OK);
    EXPECT_STREQ(untouched, L"abc");
    // A path longer than MAX_PATH is cut, not overrun.
    std::wstring longName = L"C:\\" + std::wstring(400, L'a') + L".kcf";
    EXPECT_EQ(LoadFile(icon, longName), E_FAIL);
    icon->Release();
}

TEST(FileHandlers, ExtractGivesTheLibraryIconAtTheRequestedSizes) {
    IExtractIconW* icon = Create<IExtractIconW>(kIconClsid, IID_IExtractIconW);
    ASSERT_NE(icon, nullptr);
    auto width = [](HICON h) {
        ICONINFO info{};
        if (!h || !::GetIconInfo(h, &info)) return -1;
        BITMAP bitmap{};
        ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
        if (info.hbmColor) ::DeleteObject(info.hbmColor);
        if (info.hbmMask) ::DeleteObject(info.hbmMask);
        return static_cast<int>(bitmap.bmWidth);
    };
    static const struct {
        UINT sizes;
        int large, small;
    } rows[] = {
        {MAKELONG(48, 16), 48, 16},
        {MAKELONG(32, 20), 32, 20},
        {MAKELONG(256, 24), 256, 24},
        {0, ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CXSMICON)},
    };
    for (const auto& r : rows) {
        HICON large = nullptr, small = nullptr;
        EXPECT_EQ(icon->Extract(L"", 3, &large, &small, r.sizes), S_OK);
        EXPECT_EQ(width(large), r.large) << r.sizes;
        EXPECT_EQ(width(small), r.small) << r.sizes;
        if (large) ::DestroyIcon(large);
        if (small) ::DestroyIcon(small);
    }
    HICON only = nullptr;
    EXPECT_EQ(icon->Extract(L"", 0, &only, nullptr, MAKELONG(32, 16)), S_OK);
    EXPECT_EQ(width(only), 32);
    if (only) ::DestroyIcon(only);
    icon->Release();
}

TEST(FileHandlers, ArchiveAndSettingsTips) {
    ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    test::TempFolder folder;
    std::wstring zip = folder / L"three.zip";
    ASSERT_TRUE(test::MakeArchive(zip, 3, nullptr));
    std::wstring settings = folder / L"saved.kps";
    ASSERT_TRUE(test::MakeArchive(settings, 1, "My settings"));
    std::wstring bareSettings = folder / L"bare.kps";
    ASSERT_TRUE(test::MakeArchive(bareSettings, 1, nullptr));
    std::wstring notZip = folder / L"plain.zip";
    Write(notZip, "not an archive at all, but long enough to have no end record......");

    auto tipOf = [&](const std::wstring& path, HRESULT* load) -> std::string {
        IQueryInfo* info = Create<IQueryInfo>(kTipClsid, IID_IQueryInfo);
        if (!info) return "(no object)";
        *load = LoadFile(info, path);
        wchar_t* tip = nullptr;
        std::string text = "(none)";
        if (info->GetInfoTip(0, &tip) == S_OK && tip) {
            text = tools::Utf8FromWide(tip);
            ::CoTaskMemFree(tip);
        }
        info->Release();
        return text;
    };
    HRESULT load = E_UNEXPECTED;
    std::string tip = tipOf(zip, &load);
    EXPECT_EQ(load, S_OK);
    EXPECT_NE(tip.find('3'), std::string::npos) << tip;  // the three files, not the folder
    EXPECT_EQ(tip.find('4'), std::string::npos) << tip;

    EXPECT_EQ(tipOf(settings, &load), "My settings");
    EXPECT_EQ(load, S_OK);
    tipOf(bareSettings, &load);
    EXPECT_EQ(load, E_FAIL);  // a settings file without a text has no tip

    EXPECT_EQ(tipOf(notZip, &load), "(none)");
    EXPECT_EQ(load, S_OK);
    tipOf(folder / L"other.txt", &load);
    EXPECT_EQ(load, E_FAIL);
    ::CoUninitialize();
}

// A translation is data, not a format: the German command text "Befehl %s%s%d" takes the
// command into its first insert and shows the rest as written, and the archive count comes from
// the translated "%1!u! Einträge". Runs under a German locale (ctest's shellext_tips_de); in any
// other it has nothing to check.
TEST(FileHandlers, TranslatedTipsAreData) {
    using HandleFn = void* (*)();
    using CodeFn = const wchar_t* (*)(const void*);
    using ReleaseFn = void (*)(void*);
    void* language = test::Named<HandleFn>("GetLanguageHandle")();
    const std::wstring code = language ? test::Named<CodeFn>("GetLanguageCode")(language) : L"";
    if (language) test::Named<ReleaseFn>("ReleaseLanguageHandle")(language);
    if (code != L"de") GTEST_SKIP() << "the German translation is not the current language";

    ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    test::TempFolder folder;
    const std::wstring command = folder / L"go.kcf";
    Write(command, "[Kwill.ButtonInfo]\r\nToolTip=Go %s now\r\n");
    const std::wstring zip = folder / L"three.zip";
    ASSERT_TRUE(test::MakeArchive(zip, 3, nullptr));
    struct Row {
        const std::wstring* path;
        const char* tip;
    } rows[] = {{&command, "Befehl Go %s now%s%d"}, {&zip, "3 Eintr\xC3\xA4ge"}};
    for (const Row& r : rows) {
        IQueryInfo* info = Create<IQueryInfo>(kTipClsid, IID_IQueryInfo);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(LoadFile(info, *r.path), S_OK);
        wchar_t* tip = nullptr;
        EXPECT_EQ(info->GetInfoTip(0, &tip), S_OK);
        EXPECT_EQ(tip ? tools::Utf8FromWide(tip) : std::string("(none)"), r.tip);
        if (tip) ::CoTaskMemFree(tip);
        info->Release();
    }
    ::CoUninitialize();
}

TEST(FileHandlers, InterfacesAndUnload) {
    IQueryInfo* info = Create<IQueryInfo>(kTipClsid, IID_IQueryInfo);
    ASSERT_NE(info, nullptr);
    IPersistFile* persist = nullptr;
    IPersist* plain = nullptr;
    ASSERT_EQ(info->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)), S_OK);
    ASSERT_EQ(info->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&plain)), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(plain), static_cast<IUnknown*>(persist));
    CLSID clsid = kTipClsid;
    EXPECT_EQ(persist->GetClassID(&clsid), E_FAIL);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    EXPECT_EQ(persist->Save(L"x", TRUE), E_FAIL);
    EXPECT_EQ(persist->SaveCompleted(L"x"), S_OK);
    LPOLESTR current = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(persist->GetCurFile(&current), E_FAIL);
    EXPECT_EQ(current, nullptr);
    DWORD flags = 7;
    EXPECT_EQ(info->GetInfoFlags(&flags), E_NOTIMPL);
    EXPECT_EQ(info->GetInfoTip(0, nullptr), E_POINTER);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(info->QueryInterface(IID_IExtractIconW, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    plain->Release();
    persist->Release();
    EXPECT_EQ(info->Release(), 0u);
    auto canUnload = test::Named<CanUnloadNowFn>("DllCanUnloadNow");
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_OK);
}

}  // namespace
}  // namespace kwill::shellext
