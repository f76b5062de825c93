// The scene a shell-extension test plays in: the DLL registered as the shell finds it, the user
// configuration the extensions read, and a foreground window of a chosen class. Each part puts
// back what it changed when it ends.
#pragma once

#include "frame/platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kwill::test {

// regsvr32 on the DLL for the life of the object; the destructor unregisters it and removes
// every registry key and value that appeared meanwhile.
class ScopedRegistration {
  public:
    ScopedRegistration();
    ~ScopedRegistration();
    ScopedRegistration(const ScopedRegistration&) = delete;
    ScopedRegistration& operator=(const ScopedRegistration&) = delete;
    bool ok() const { return ok_; }

  private:
    struct Saved;
    Saved* saved_ = nullptr;
    bool ok_ = false;
};

// A visible top-level window of a class registered under the given name, brought to the front
// (SetForegroundWindow works without a display). Destroyed, with its class, at the end.
class ForegroundWindow {
  public:
    explicit ForegroundWindow(const wchar_t* className);
    ~ForegroundWindow();
    ForegroundWindow(const ForegroundWindow&) = delete;
    ForegroundWindow& operator=(const ForegroundWindow&) = delete;
    HWND window() const { return window_; }
    // True when the window is the foreground window now.
    bool InFront() const { return window_ && ::GetForegroundWindow() == window_; }

  private:
    std::wstring className_;
    HWND window_ = nullptr;
};

// The user configuration that the library in the test process reads, changed for one test and
// put back afterwards. The folder is the one the DLL itself names for kind 0 (GetConfigPathW),
// so the tests write exactly where the shell extensions look, whatever the prefix's arrangement.
class ScopedConfiguration {
  public:
    ScopedConfiguration();
    // Puts every written file back as it was (or removes it), removes the test's "Layouts" and
    // moves the one that was there back, and removes the folders it created.
    ~ScopedConfiguration();
    ScopedConfiguration(const ScopedConfiguration&) = delete;
    ScopedConfiguration& operator=(const ScopedConfiguration&) = delete;

    // False when the DLL names no folder or it could not be made.
    bool ok() const { return ok_; }
    // Without a trailing backslash.
    const std::wstring& folder() const { return folder_; }

    // Writes a file below the folder (relative path with backslashes), making its folders.
    bool Write(const std::wstring& relative, const std::string& bytes);
    // The main preferences file with these flag words; zip flags bit 0 turns the built-in zip
    // format on, which fills the archive format lists when "archives.txc" is missing.
    bool WritePrefs(uint64_t settings1, uint64_t settings4 = 0, uint64_t zipFlags = 1);
    // An empty "Layouts" folder of the test's own, or none without `keepFolder` (the user's is
    // moved aside until the end).
    bool ResetLayouts(bool keepFolder = true);
    // Writes below "Layouts"; a relative name ending in a backslash makes a folder.
    bool WriteLayout(const std::wstring& relative, const std::string& bytes);

  private:
    bool ok_ = false;
    std::wstring folder_;
    std::vector<std::wstring> createdFolders_;  // made by the test, removed at the end
    std::map<std::wstring, std::optional<std::string>> saved_;  // path -> bytes before, or none
    bool layoutsMovedAside_ = false;
    bool layoutsTouched_ = false;
};

// The fixture of a suite that plays the shell: the DLL registered and the configuration put back
// once for the whole suite, OLE started for each test.
class ShellSceneTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;
    static ScopedConfiguration& config() { return scene_->config; }

  private:
    struct Scene {
        ScopedRegistration registration;
        ScopedConfiguration config;
    };
    static inline Scene* scene_ = nullptr;
};

// Deletes a folder with everything in it (paths of any length).
void DeleteTree(const std::wstring& path);

// Creates every missing folder of a path; the ones created are appended to `created`.
bool CreateFolders(const std::wstring& path, std::vector<std::wstring>* created);

}  // namespace kwill::test
