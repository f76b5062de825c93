// The COM server for real: the DLL is registered with regsvr32 and its classes are created the
// way the shell creates them, with CoCreateInstance. A class that is not built yet answers
// CLASS_E_CLASSNOTAVAILABLE and its test is skipped by name.
#include "tests/common/test_support.h"
#include "tests/shellext/registry_snapshot.h"
#include "tests/shellext/shellext_support.h"

#include <gtest/gtest.h>

#include <exdisp.h>
#include <objbase.h>
#include <ocidl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <vector>

namespace kwill::test {
namespace {

using Microsoft::WRL::ComPtr;

constexpr HRESULT kNoAggregation = static_cast<HRESULT>(0x80040110);
constexpr HRESULT kNoInterface = static_cast<HRESULT>(0x80004002);

const CLSID kHook = {0x3CF9ECE0, 0x1A9F, 0x11d2, {0x8C, 0x73, 0x00, 0xC0, 0x6C, 0x20, 0x05, 0xDE}};
const CLSID kMenu = {0xE9FE4040, 0x3C93, 0x11d4, {0x80, 0x06, 0x00, 0x20, 0x18, 0x60, 0xE8, 0x8A}};
const CLSID kDesktopMenu = {
    0xB9DD4945, 0x1BED, 0x4cb7, {0x99, 0x4C, 0xF4, 0x0B, 0x72, 0xB7, 0x72, 0x5A}};
const CLSID kInfoTip = {
    0x2DF394BA, 0x1955, 0x4a52, {0x90, 0x0E, 0x30, 0x38, 0x36, 0x13, 0x5F, 0x67}};
const CLSID kIcon = {0xBBD5F00E, 0x26A6, 0x4fb2, {0xBA, 0xE1, 0x31, 0x54, 0x3C, 0x0B, 0xEA, 0x47}};
const CLSID kDrop = {0xF85D7E1E, 0x9662, 0x4b38, {0xB1, 0xAE, 0x3C, 0xF1, 0xE9, 0x58, 0x1A, 0x3C}};
const CLSID kCollection = {
    0xD2FCA36D, 0x93CD, 0x46f2, {0x83, 0x24, 0x63, 0x08, 0xF6, 0xE3, 0x1B, 0x53}};
const CLSID kNotOurs = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

struct ClassRow {
    const char* name;
    const CLSID* clsid;
    std::vector<const IID*> answers;  // besides IID_IUnknown
    std::vector<const IID*> refuses;
};

const ClassRow kClasses[] = {
    {"KwillShellExecuteHook",
     &kHook,
     {&IID_IShellExecuteHookW},
     {&IID_IContextMenu, &IID_IPersist}},
    {"KwillContextMenu_folder",
     &kMenu,
     {&IID_IContextMenu, &IID_IShellExtInit},
     {&IID_IDropTarget, &IID_IPersistFile}},
    {"KwillContextMenu_desktop",
     &kDesktopMenu,
     {&IID_IContextMenu, &IID_IShellExtInit},
     {&IID_IDropTarget, &IID_IPersistFile}},
    {"KwillQueryInfo",
     &kInfoTip,
     {&IID_IQueryInfo, &IID_IPersistFile, &IID_IPersist},
     {&IID_IExtractIconW, &IID_IContextMenu}},
    {"KwillIconHandler",
     &kIcon,
     {&IID_IExtractIconW, &IID_IPersistFile, &IID_IPersist},
     {&IID_IQueryInfo, &IID_IContextMenu}},
    {"KwillDropTarget",
     &kDrop,
     {&IID_IDropTarget, &IID_IPersistFile, &IID_IPersist},
     {&IID_IContextMenu, &IID_IShellFolder}},
    {"KwillFileCollectionShellExtension",
     &kCollection,
     {&IID_IPersist, &IID_IPersistFolder, &IID_IShellFolder},
     {&IID_IContextMenu, &IID_IDropTarget}},
};

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

class ComServer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        original_ = new RegistrySnapshot(TakeSnapshot());
        registered_ = RunRegsvr32(false) == 0;
    }
    static void TearDownTestSuite() {
        RunRegsvr32(true);
        RestoreAdded(*original_);
        delete original_;
    }
    void SetUp() override {
        ASSERT_TRUE(registered_) << "regsvr32 failed";
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override { ::CoUninitialize(); }

    static inline RegistrySnapshot* original_ = nullptr;
    static inline bool registered_ = false;
};

class ComClass : public ComServer, public ::testing::WithParamInterface<ClassRow> {};

TEST_P(ComClass, CreatesAndAnswersItsInterfaces) {
    const ClassRow& row = GetParam();
    ComPtr<IUnknown> object;
    HRESULT hr = ::CoCreateInstance(*row.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                    reinterpret_cast<void**>(object.GetAddressOf()));
    if (hr == CLASS_E_CLASSNOTAVAILABLE) GTEST_SKIP() << row.name << " is not built yet";
    ASSERT_EQ(hr, S_OK) << row.name;
    for (const IID* iid : row.answers) {
        ComPtr<IUnknown> part, identity;
        ASSERT_EQ(object->QueryInterface(*iid, reinterpret_cast<void**>(part.GetAddressOf())),
                  S_OK);
        ASSERT_EQ(
            part->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf())),
            S_OK);
        EXPECT_EQ(identity.Get(), object.Get()) << row.name << ": one identity for every interface";
    }
    for (const IID* iid : row.refuses) {
        void* part = reinterpret_cast<void*>(1);
        EXPECT_EQ(object->QueryInterface(*iid, &part), kNoInterface);
        EXPECT_EQ(part, nullptr);
    }
    // Created through the interface directly as well.
    ComPtr<IUnknown> direct;
    EXPECT_EQ(::CoCreateInstance(*row.clsid, nullptr, CLSCTX_INPROC_SERVER, *row.answers[0],
                                 reinterpret_cast<void**>(direct.GetAddressOf())),
              S_OK);
}

// Aggregation is refused whatever the class, built or not.
TEST_P(ComClass, RefusesAggregation) {
    ComPtr<IUnknown> outer;
    ASSERT_EQ(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                 reinterpret_cast<void**>(outer.GetAddressOf())),
              S_OK);
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(::CoCreateInstance(*GetParam().clsid, outer.Get(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                                 reinterpret_cast<void**>(&object)),
              kNoAggregation);
    EXPECT_EQ(object, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Classes, ComClass, ::testing::ValuesIn(kClasses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComServer, FactoryForAnyClsid) {
    auto get = Named<GetClassObjectFn>("DllGetClassObject");
    ASSERT_NE(get, nullptr);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(get(kNotOurs, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())),
              S_OK);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &object), kNoInterface);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);

    // The factory answers IUnknown and IClassFactory only.
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(
        factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown.GetAddressOf())),
        S_OK);
    EXPECT_EQ(unknown.Get(), static_cast<IUnknown*>(factory.Get()));
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->QueryInterface(IID_IDataObject, &other), kNoInterface);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    other = reinterpret_cast<void*>(1);
    EXPECT_EQ(get(kHook, IID_IDataObject, &other), kNoInterface);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(get(kHook, IID_IClassFactory, nullptr), E_POINTER);
}

// The counts are shared by every process, so this runs only while no other test holds objects
// of the library (the shell-extension tests take a resource lock).
TEST_F(ComServer, CanUnloadNowFollowsObjectsAndLocks) {
    auto get = Named<GetClassObjectFn>("DllGetClassObject");
    auto canUnload = Named<CanUnloadNowFn>("DllCanUnloadNow");
    ASSERT_NE(canUnload, nullptr);
    ASSERT_EQ(canUnload(), S_OK);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(get(kMenu, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
    factory->LockServer(TRUE);
    factory->LockServer(TRUE);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(canUnload(), S_FALSE);
    ASSERT_EQ(get(kMenu, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    factory->LockServer(FALSE);
    factory->Release();
    EXPECT_EQ(canUnload(), S_FALSE);
    ASSERT_EQ(get(kMenu, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    factory->LockServer(FALSE);
    factory->Release();
    EXPECT_EQ(canUnload(), S_OK);
}

std::wstring Probe() {
    return ExeFolder() + L"comprobe.exe";
}

TEST_F(ComServer, UnusedLibraryIsUnloadedOnlyWhenNothingHoldsIt) {
    ProcessResult alone = RunProcess(Probe(), L"unload");
    ASSERT_TRUE(alone.finished);
    EXPECT_EQ(alone.exitCode, 103u) << "expected: loaded with a factory, loaded with a lock, "
                                       "unloaded with neither";
}

TEST_F(ComServer, AnotherProcesssObjectKeepsTheLibraryLoaded) {
    std::wstring tag = std::to_wstring(::GetCurrentProcessId());
    std::wstring readyName = L"kwilltest.comprobe.ready." + tag;
    std::wstring releaseName = L"kwilltest.comprobe.release." + tag;
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str());
    ASSERT_TRUE(ready && release);
    std::wstring commandLine = L"\"" + Probe() + L"\" hold " + readyName + L" " + releaseName;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION holder{};
    ASSERT_TRUE(::CreateProcessW(Probe().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                 nullptr, nullptr, &si, &holder));
    EXPECT_EQ(::WaitForSingleObject(ready, 60000), WAIT_OBJECT_0);
    ProcessResult probe = RunProcess(Probe(), L"unload-held " + releaseName);
    ::SetEvent(release);  // in case the probe failed before it did
    EXPECT_EQ(::WaitForSingleObject(holder.hProcess, 60000), WAIT_OBJECT_0);
    DWORD holderCode = 99;
    ::GetExitCodeProcess(holder.hProcess, &holderCode);
    ::CloseHandle(holder.hThread);
    ::CloseHandle(holder.hProcess);
    ::CloseHandle(ready);
    ::CloseHandle(release);
    EXPECT_EQ(holderCode, 0u);
    ASSERT_TRUE(probe.finished);
    EXPECT_EQ(probe.exitCode, 101u) << "expected: loaded while held elsewhere, then unloaded";
}

}  // namespace
}  // namespace kwill::test
