// The shell's side of the host-or-shell decision: the probe that asks the shell about a path or
// an ID list, and the whole decision for a request.
#pragma once

#include "frame/platform.h"
#include "hostlink/folder_decision.h"

#include <shlobj.h>
#include <wrl/client.h>

#include <optional>
#include <string>

namespace kwill::hostlink {

// {679F85CB-0220-4080-B29B-5540CC05AAB6}: the shell's home folder ("Quick access").
inline constexpr GUID kHomeFolderClsid = {
    0x679F85CB, 0x0220, 0x4080, {0xB2, 0x9B, 0x55, 0x40, 0xCC, 0x05, 0xAA, 0xB6}};
// Library context version flags of the systems that show the home folder.
inline constexpr uint32_t kHomeFolderVersions = 0xE0;

// Asks the shell about one request. Each answer is fetched at most once.
class ShellFolderProbe : public FolderProbe {
  public:
    // `path` may be null or empty, `list` null; `exclusionFile` names the exclusion list (null:
    // none). `osFlags` are the library context's version flags.
    ShellFolderProbe(const wchar_t* path, const uint8_t* list, const wchar_t* exclusionFile,
                     uint32_t osFlags);

    bool IsControlPanel() override;
    const std::vector<ExclusionEntry>* Exclusions() override;
    bool Matches(const ExclusionEntry& entry) override;
    bool IsFileSystem() override;
    bool IsHomeFolder() override;

  private:
    bool ListsEqual(const uint8_t* a, const uint8_t* b);
    const std::wstring& ParsingName();

    const wchar_t* path_;
    const uint8_t* list_;
    const wchar_t* exclusionFile_;
    uint32_t osFlags_;
    Microsoft::WRL::ComPtr<IShellFolder> desktop_;
    std::optional<std::optional<std::vector<ExclusionEntry>>> exclusions_;
    std::optional<std::wstring> parsingName_;
};

// What is known of the request without the shell.
FolderTarget DescribeTarget(const wchar_t* path, const uint8_t* list);

// The whole decision for a request, with the settings already loaded.
FolderDecision DecideFolderRequest(const ReplacementSettings& settings, const wchar_t* path,
                                   const uint8_t* list, const wchar_t* exclusionFile,
                                   uint32_t osFlags);

}  // namespace kwill::hostlink
