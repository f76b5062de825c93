#include "hostlink/folder_probe.h"

#include "hostlink/explorer_override.h"
#include "shellns/id_list.h"
#include "shellns/shell_folder.h"
#include "strings/path_strings.h"

#include <cstring>

using Microsoft::WRL::ComPtr;

namespace kwill::hostlink {
namespace {

PCUIDLIST_RELATIVE AsIdList(const uint8_t* list) {
    return reinterpret_cast<PCUIDLIST_RELATIVE>(list);
}

bool HasPath(const wchar_t* path) {
    return path && *path;
}

bool FirstItemIs(const uint8_t* list, const GUID& clsid) {
    std::optional<shellns::Guid> guid = shellns::ItemClassGuid(list);
    return guid && std::memcmp(guid->data(), &clsid, sizeof(GUID)) == 0;
}

}  // namespace

ShellFolderProbe::ShellFolderProbe(const wchar_t* path, const uint8_t* list,
                                   const wchar_t* exclusionFile, uint32_t osFlags)
    : path_(HasPath(path) ? path : nullptr),
      list_(list),
      exclusionFile_(exclusionFile),
      osFlags_(osFlags) {}

// The control panel itself or anything inside it: the first item is one of its folders, or the
// last item is (the folder nested under My Computer, or an applet class registered with a
// control-panel category).
bool ShellFolderProbe::IsControlPanel() {
    if (!list_ || shellns::IsEnd(list_)) return false;
    return shellns::IsControlPanelItem(list_) ||
           shellns::IsControlPanelItem(shellns::LastItem(list_));
}

const std::vector<ExclusionEntry>* ShellFolderProbe::Exclusions() {
    if (!exclusions_) {
        exclusions_.emplace();
        if (SUCCEEDED(::SHGetDesktopFolder(&desktop_)) && desktop_) {
            *exclusions_ = LoadExclusionFile(exclusionFile_);
        }
    }
    return *exclusions_ ? &**exclusions_ : nullptr;
}

bool ShellFolderProbe::ListsEqual(const uint8_t* a, const uint8_t* b) {
    HRESULT hr = desktop_->CompareIDs(SHCIDS_CANONICALONLY, AsIdList(a), AsIdList(b));
    return SUCCEEDED(hr) && HRESULT_CODE(hr) == 0;
}

const std::wstring& ShellFolderProbe::ParsingName() {
    if (!parsingName_) {
        parsingName_.emplace();
        const uint8_t* last = nullptr;
        ComPtr<IShellFolder> parent;
        parent.Attach(shellns::BindToParentFolder(list_, &last));
        static const uint8_t kEmpty[2] = {0, 0};
        const uint8_t* item = last ? last : kEmpty;
        STRRET name{};
        if (parent && SUCCEEDED(parent->GetDisplayNameOf(reinterpret_cast<PCUITEMID_CHILD>(item),
                                                         SHGDN_FORPARSING, &name))) {
            std::wstring buffer(32768, L'\0');
            shellns::ConvertStrRet(&name, item, buffer.data(),
                                   static_cast<uint32_t>(buffer.size()));
            buffer.resize(std::wcslen(buffer.c_str()));
            *parsingName_ = std::move(buffer);
        }
    }
    return *parsingName_;
}

bool ShellFolderProbe::Matches(const ExclusionEntry& entry) {
    if (!desktop_) return false;
    if (entry.list && list_) return ListsEqual(entry.list->data(), list_);
    if (entry.path.empty()) return false;
    if (path_) return ComparePathStringW(entry.path.c_str(), path_, 0);
    if (!list_) return false;
    const std::wstring& name = ParsingName();
    if (!name.empty() && ComparePathStringW(entry.path.c_str(), name.c_str(), 0)) return true;
    std::wstring text = entry.path;  // ParseDisplayName takes a writable string
    PIDLIST_RELATIVE parsed = nullptr;
    if (FAILED(
            desktop_->ParseDisplayName(nullptr, nullptr, text.data(), nullptr, &parsed, nullptr)) ||
        !parsed) {
        return false;
    }
    bool equal = ListsEqual(reinterpret_cast<const uint8_t*>(parsed), list_);
    ::CoTaskMemFree(parsed);
    return equal;
}

bool ShellFolderProbe::IsFileSystem() {
    SHFILEINFOW info{};
    info.dwAttributes = SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR;
    UINT flags = SHGFI_ATTRIBUTES | SHGFI_ATTR_SPECIFIED;
    const wchar_t* what = path_;
    if (list_) {
        flags |= SHGFI_PIDL;
        what = reinterpret_cast<const wchar_t*>(list_);
    }
    if (!::SHGetFileInfoW(what, 0, &info, sizeof(info), flags)) return true;
    return (info.dwAttributes & (SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR)) != 0;
}

bool ShellFolderProbe::IsHomeFolder() {
    return (osFlags_ & kHomeFolderVersions) && list_ && FirstItemIs(list_, kHomeFolderClsid);
}

FolderTarget DescribeTarget(const wchar_t* path, const uint8_t* list) {
    FolderTarget target;
    target.hasPath = HasPath(path);
    target.hasList = list != nullptr;
    target.collectionPath = IsCollectionPath(path);
    target.collectionItem = list && shellns::IsCollectionItem(list);
    return target;
}

FolderDecision DecideFolderRequest(const ReplacementSettings& settings, const wchar_t* path,
                                   const uint8_t* list, const wchar_t* exclusionFile,
                                   uint32_t osFlags) {
    ShellFolderProbe probe(path, list, exclusionFile, osFlags);
    return DecideFolder(settings, DescribeTarget(path, list), probe);
}

}  // namespace kwill::hostlink
