#include "tests/shellext/shell_scene.h"

#include "tests/common/test_support.h"
#include "tests/shellext/registry_snapshot.h"
#include "tests/shellext/shellext_support.h"

#include <cstdio>

namespace kwill::test {
namespace {

constexpr wchar_t kLayouts[] = L"Layouts";
constexpr wchar_t kLayoutsAside[] = L"Layouts.kwilltest-aside";

// The extended-length form, so that paths past MAX_PATH can be made and removed.
std::wstring Long(const std::wstring& path) {
    return path.rfind(L"\\\\?\\", 0) == 0 ? path : L"\\\\?\\" + path;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> ReadIfThere(const std::wstring& path) {
    HANDLE file = ::CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got) bytes.append(chunk, got);
    ::CloseHandle(file);
    return bytes;
}

bool WriteAll(const std::wstring& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    ::CloseHandle(file);
    return ok;
}

std::wstring Parent(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

bool CreateFolders(const std::wstring& path, std::vector<std::wstring>* created) {
    if (path.empty() || Exists(path)) return true;
    std::wstring parent = Parent(path);
    if (parent.size() > 2 && !CreateFolders(parent, created)) return false;
    if (!::CreateDirectoryW(Long(path).c_str(), nullptr)) return Exists(path);
    if (created) created->push_back(path);
    return true;
}

void DeleteTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE search = ::FindFirstFileW(Long(path + L"\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(child);
            } else {
                ::SetFileAttributesW(Long(child).c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(Long(child).c_str());
            }
        } while (::FindNextFileW(search, &data));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(Long(path).c_str());
}

struct ScopedRegistration::Saved {
    RegistrySnapshot before;
};

ScopedRegistration::ScopedRegistration() : saved_(new Saved{TakeSnapshot()}) {
    ok_ = RunRegsvr32(false) == 0;
}

ScopedRegistration::~ScopedRegistration() {
    RunRegsvr32(true);
    RestoreAdded(saved_->before);
    delete saved_;
}

namespace {
LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

ForegroundWindow::ForegroundWindow(const wchar_t* className) : className_(className) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = PlainWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className_.c_str();
    ::RegisterClassW(&windowClass);
    window_ = ::CreateWindowExW(0, className_.c_str(), L"", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window_) ::SetForegroundWindow(window_);
}

ForegroundWindow::~ForegroundWindow() {
    if (window_) ::DestroyWindow(window_);
    ::UnregisterClassW(className_.c_str(), ::GetModuleHandleW(nullptr));
}

void ShellSceneTest::SetUpTestSuite() {
    scene_ = new Scene;
}

void ShellSceneTest::TearDownTestSuite() {
    delete scene_;
    scene_ = nullptr;
}

void ShellSceneTest::SetUp() {
    ASSERT_TRUE(scene_->registration.ok()) << "regsvr32 failed";
    ASSERT_TRUE(scene_->config.ok()) << "no configuration folder";
    ASSERT_EQ(::OleInitialize(nullptr), S_OK);
}

void ShellSceneTest::TearDown() {
    ::OleUninitialize();
}

ScopedConfiguration::ScopedConfiguration() {
    using GetConfigPathFn = BOOL (*)(int, wchar_t*, int);
    auto get = Named<GetConfigPathFn>("GetConfigPathW");
    wchar_t folder[MAX_PATH] = {};
    if (!get || !get(0, folder, MAX_PATH) || !*folder) return;
    folder_ = folder;
    ok_ = CreateFolders(folder_, &createdFolders_);
}

ScopedConfiguration::~ScopedConfiguration() {
    for (const auto& [path, before] : saved_) {
        if (before) {
            WriteAll(path, *before);
        } else {
            ::DeleteFileW(Long(path).c_str());
        }
    }
    if (layoutsTouched_) {
        DeleteTree(folder_ + L"\\" + kLayouts);
        if (layoutsMovedAside_)
            ::MoveFileW(Long(folder_ + L"\\" + kLayoutsAside).c_str(),
                        Long(folder_ + L"\\" + kLayouts).c_str());
    }
    // Deepest first: each was made after its parent.
    for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it)
        ::RemoveDirectoryW(Long(*it).c_str());
}

bool ScopedConfiguration::Write(const std::wstring& relative, const std::string& bytes) {
    if (!ok_) return false;
    std::wstring path = folder_ + L"\\" + relative;
    if (!saved_.count(path)) saved_[path] = ReadIfThere(path);
    return CreateFolders(Parent(path), &createdFolders_) && WriteAll(path, bytes);
}

bool ScopedConfiguration::WritePrefs(uint64_t settings1, uint64_t settings4, uint64_t zipFlags) {
    char text[256];
    std::snprintf(text, sizeof(text),
                  "<?xml version=\"1.0\" ?>\n<prefs>\n"
                  "  <flags settings1=\"0x%llx\" settings2=\"0x0\" settings4=\"0x%llx\" />\n"
                  "  <zip flags=\"0x%llx\" />\n</prefs>\n",
                  static_cast<unsigned long long>(settings1),
                  static_cast<unsigned long long>(settings4),
                  static_cast<unsigned long long>(zipFlags));
    return Write(L"ConfigFiles\\Prefs.txc", text);
}

bool ScopedConfiguration::ResetLayouts(bool keepFolder) {
    if (!ok_) return false;
    std::wstring layouts = folder_ + L"\\" + kLayouts;
    if (!layoutsTouched_) {
        layoutsTouched_ = true;
        if (Exists(layouts)) {
            if (!::MoveFileW(Long(layouts).c_str(), Long(folder_ + L"\\" + kLayoutsAside).c_str()))
                return false;
            layoutsMovedAside_ = true;
        }
    } else {
        DeleteTree(layouts);
    }
    return !keepFolder || ::CreateDirectoryW(Long(layouts).c_str(), nullptr) != FALSE;
}

bool ScopedConfiguration::WriteLayout(const std::wstring& relative, const std::string& bytes) {
    if (!ok_ || !layoutsTouched_) return false;
    std::wstring path = folder_ + L"\\" + kLayouts + L"\\" + relative;
    if (!path.empty() && path.back() == L'\\') return CreateFolders(Parent(path + L"x"), nullptr);
    return CreateFolders(Parent(path), nullptr) && WriteAll(path, bytes);
}

}  // namespace kwill::test
