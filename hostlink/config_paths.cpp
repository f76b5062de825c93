#include "hostlink/config_paths.h"

#include "frame/context.h"
#include "frame/win_handle.h"
#include "frame/xml_document.h"
#include "hostlink/config_records.h"
#include "strings/path_strings.h"

#include <shlobj.h>

#include <cwchar>

namespace kwill::config {
namespace {

using Slots = wchar_t[kSlotCount][MAX_PATH];

bool CopyIfFits(const wchar_t* text, wchar_t* buffer, size_t bufferChars) {
    size_t length = std::wcslen(text);
    if (length == 0 || length >= bufferChars) return false;
    std::wmemcpy(buffer, text, length + 1);
    return true;
}

// A known folder with the vendor sub-folder joined; empty when the folder is unknown or the
// whole path does not fit (a bare AppData folder must never stand in for the product's).
void FillShellFolder(wchar_t* slot, int csidl) {
    slot[0] = 0;
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, slot)) || !slot[0] ||
        !SafePathAppend(slot, MAX_PATH, kVendorSubfolder)) {
        slot[0] = 0;
    }
}

// The folder of this library's module file, without the trailing backslash.
void FillModuleFolder(wchar_t* slot) {
    slot[0] = 0;
    DWORD n = ::GetModuleFileNameW(Context().module, slot, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        slot[0] = 0;
        return;
    }
    wchar_t* cut = std::wcsrchr(slot, L'\\');
    if (cut)
        *cut = 0;
    else
        slot[0] = 0;
}

// The variable's value when it fits in the slot with its terminator; else empty. The process
// environment is read (not the C runtime's copy), so a variable set by the process itself counts.
void FillVariable(wchar_t* slot, const wchar_t* name) {
    DWORD n = ::GetEnvironmentVariableW(name, slot, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) slot[0] = 0;
}

void FillPathTable(Slots& slots) {
    FillShellFolder(slots[0], CSIDL_APPDATA);
    FillShellFolder(slots[1], CSIDL_COMMON_APPDATA);
    FillShellFolder(slots[2], CSIDL_LOCAL_APPDATA);
    FillModuleFolder(slots[3]);
    for (int copy : {4, 5, 6}) std::wmemcpy(slots[copy], slots[3], MAX_PATH);
    FillVariable(slots[7], kDataFilesVariable);
    FillVariable(slots[8], kOtherFilesVariable);
}

uint32_t FilledSlots(const Slots& slots) {
    uint32_t mask = 0;
    for (int i = 0; i < kSlotCount; ++i) {
        if (slots[i][0]) mask |= 1u << i;
    }
    return mask;
}

int CacheValue() {
    return static_cast<int>(Context().configValue);
}

// Under Lock 3. The cache is set before the user data record is read: reading it resolves
// kind 9, which comes back here and must find the table filled.
void EnsureFilled() {
    LibraryContext& context = Context();
    if (CacheValue() != kConfigTypeUnknown) return;
    context.configValue = kConfigTypeShared;
    FillPathTable(context.paths);
    UserDataRecord record;
    if (ReadUserDataRecord(record) && record.configTypeSet) {
        context.configValue = static_cast<uint32_t>(record.configType);
    }
}

bool FileExists(const wchar_t* path) {
    DWORD attributes = ::GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The default value of the App Paths key: a terminated string (REG_SZ, or REG_EXPAND_SZ
// expanded) that fits the buffer; anything else fails with the buffer empty.
bool ReadAppPath(HKEY root, wchar_t* buffer, size_t bufferChars) {
    size_t chars = bufferChars < 32768 ? bufferChars : 32768;
    DWORD bytes = static_cast<DWORD>(chars * sizeof(wchar_t));
    LSTATUS status =
        ::RegGetValueW(root, kAppPathsKey, nullptr, RRF_RT_REG_SZ, nullptr, buffer, &bytes);
    if (status != ERROR_SUCCESS || bytes < sizeof(wchar_t)) {
        buffer[0] = 0;
        return false;
    }
    buffer[chars - 1] = 0;
    return buffer[0] != 0;
}

}  // namespace

int ResolveSlot(uint32_t filledSlots, unsigned mode, int configType, int kind) {
    if (kind < 0 || kind >= kPathKindCount) return -1;
    auto filled = [filledSlots](int slot) { return (filledSlots >> slot & 1u) != 0; };
    int slot;
    if (mode == 1) {
        slot = (kind == 3 || kind == 4) ? 3 : 5;
    } else if (mode == 2) {
        switch (kind) {
            case 3:
            case 4:
                slot = 3;
                break;
            case 5:
            case 6:
            case 7:
                slot = 5;
                break;
            case 8:
                slot = 8;
                break;
            default:  // 0, 1, 2, 9
                slot = 7;
                break;
        }
    } else if (kind == kUserData) {
        slot = 0;  // the user data record is always the user's own
    } else {
        if (kind == kLocalState && !filled(kLocalState)) kind = kUserConfig;
        slot = (kind == kUserConfig && configType == kConfigTypeShared) ? 1 : kind;
    }
    return filled(slot) ? slot : 3;
}

bool GetConfigPath(int kind, wchar_t* buffer, size_t bufferChars) {
    if (!buffer || bufferChars == 0) return false;
    buffer[0] = 0;
    if (kind < 0 || kind >= kPathKindCount || !ContextReady()) return false;
    LibraryContext& context = Context();
    CriticalSectionLock lock(context.lock3);
    EnsureFilled();
    int slot = ResolveSlot(FilledSlots(context.paths), InstallMode(), CacheValue(), kind);
    return CopyIfFits(context.paths[slot], buffer, bufferChars);
}

std::wstring ConfigFolder(int kind) {
    wchar_t folder[MAX_PATH];
    return GetConfigPath(kind, folder, MAX_PATH) ? std::wstring(folder) : std::wstring();
}

std::wstring ConfigFilePath(int kind, const wchar_t* relativeName) {
    wchar_t path[MAX_PATH];
    if (!relativeName || !GetConfigPath(kind, path, MAX_PATH) ||
        !SafePathAppend(path, MAX_PATH, relativeName)) {
        return {};
    }
    return path;
}

int KindForFileFlags(unsigned flags) {
    if (flags & kFileMachineData) return kMachineData;
    if (flags & kFileUserData) return kUserData;
    if (flags & kFileLocalState) return kLocalState;
    return kUserConfig;
}

LoadOutcome LoadConfigDocument(XmlDocumentFile& doc, const wchar_t* relativeName, int kind,
                               bool create) {
    std::wstring path = ConfigFilePath(kind, relativeName);
    if (path.empty()) return LoadOutcome::kFailed;
    if (doc.LoadFile(path.c_str())) return LoadOutcome::kLoaded;
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (!create || attributes != INVALID_FILE_ATTRIBUTES) return LoadOutcome::kFailed;
    DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        return LoadOutcome::kFailed;
    }
    doc.Clear();
    doc.ClearError();
    doc.SetWideFileName(path.c_str());
    doc.LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
    return LoadOutcome::kCreated;
}

bool GetKwillPath(wchar_t* buffer, size_t bufferChars) {
    if (!buffer || bufferChars == 0) return false;
    buffer[0] = 0;
    if (LibFlags() & kLibInsideHost) {
        DWORD chars = bufferChars < 32768 ? static_cast<DWORD>(bufferChars) : 32768;
        DWORD n = ::GetModuleFileNameW(nullptr, buffer, chars);
        if (n > 0 && n < chars) return true;
        buffer[0] = 0;
        return false;
    }
    std::wstring beside = ConfigFilePath(kProgram, L"kwill.exe");
    if (!beside.empty() && FileExists(beside.c_str()) &&
        CopyIfFits(beside.c_str(), buffer, bufferChars)) {
        return true;
    }
    if (ReadAppPath(HKEY_CURRENT_USER, buffer, bufferChars) && FileExists(buffer)) return true;
    // The machine's entry is taken on trust, as the installer wrote it.
    if (ReadAppPath(HKEY_LOCAL_MACHINE, buffer, bufferChars)) return true;
    buffer[0] = 0;
    return false;
}

int CachedConfigType() {
    if (!ContextReady()) return kConfigTypeUnknown;
    CriticalSectionLock lock(Context().lock3);
    return CacheValue();
}

void StoreConfigType(int configType) {
    if (!ContextReady()) return;
    CriticalSectionLock lock(Context().lock3);
    EnsureFilled();  // an unknown cache would otherwise never fill the table
    Context().configValue = static_cast<uint32_t>(configType);
}

}  // namespace kwill::config
