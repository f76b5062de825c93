#include "shellext/registration_table.h"

#include "frame/debug_output.h"

#include <olectl.h>

#include <string>

namespace kwill::shellext {
namespace {

const HKEY kLM = HKEY_LOCAL_MACHINE;

constexpr DWORD kTree = kRegDeleteTree;
constexpr DWORD kRemoveOnly = kRegDeleteTree | kRegNeverCreate;

#define KWILL_CLSID_HOOK L"{3CF9ECE0-1A9F-11d2-8C73-00C06C2005DE}"
#define KWILL_CLSID_MENU L"{E9FE4040-3C93-11d4-8006-00201860E88A}"
#define KWILL_CLSID_DESKTOP_MENU L"{B9DD4945-1BED-4cb7-994C-F40B72B7725A}"
#define KWILL_CLSID_INFO_TIP L"{2DF394BA-1955-4a52-900E-303836135F67}"
#define KWILL_CLSID_ICON L"{BBD5F00E-26A6-4fb2-BAE1-31543C0BEA47}"
#define KWILL_CLSID_DROP L"{F85D7E1E-9662-4b38-B1AE-3CF1E9581A3C}"
#define KWILL_CLSID_COLLECTION L"{D2FCA36D-93CD-46f2-8324-6308F6E31B53}"
#define KWILL_CLSID_KEY L"Software\\Classes\\CLSID\\"
#define KWILL_CURRENT_VERSION L"Software\\Microsoft\\Windows\\CurrentVersion\\"
#define KWILL_AUTOPLAY KWILL_CURRENT_VERSION L"Explorer\\AutoplayHandlers\\"
// The shell's info-tip handler interface, IQueryInfo.
#define KWILL_INFO_TIP_KEY L"shellex\\{00021500-0000-0000-C000-000000000046}"

const RegRow kRegistrationRows[] = {
    // The classes: display name, in-process server and threading model.
    SzRow(kLM, KWILL_CLSID_KEY KWILL_CLSID_HOOK, nullptr, L"Tarnwell Shell Execute Hook", kTree),
    SzRow(kRegChild, L"InprocServer32", nullptr, L"%MODULE%"),
    SzRow(kRegChild, nullptr, L"ThreadingModel", L"Both"),
    SzRow(kLM, KWILL_CLSID_KEY KWILL_CLSID_MENU, nullptr, L"Tarnwell Context Menu", kTree),
    SzRow(kRegChild, L"InprocServer32", nullptr, L"%MODULE%"),
    SzRow(kRegChild, nullptr, L"ThreadingModel", L"Apartment"),
    SzRow(kLM, KWILL_CLSID_KEY KWILL_CLSID_DESKTOP_MENU, nullptr, L"Tarnwell Desktop Context Menu",
          kTree),
    SzRow(kRegChild, L"InprocServer32", nullptr, L"%MODULE%"),
    SzRow(kRegChild, nullptr, L"ThreadingModel", L"Apartment"),
    SzRow(kLM, KWILL_CLSID_KEY KWILL_CLSID_INFO_TIP, nullptr, L"Tarnwell Info Tip Handler", kTree),
    SzRow(kRegChild, L"InprocServer32", nullptr, L"%MODULE%"),
    SzRow(kRegChild, nullptr, L"ThreadingModel", L"Apartment"),
    SzRow(kLM, KWILL_CLSID_KEY KWILL_CLSID_ICON, nullptr, L"Tarnwell Icon Handler", kTree),
    SzRow(kRegChild, L"InprocServer32", nullptr, L"%MODULE%"),
    SzRow(kRegChild, nullptr, L"ThreadingModel", L"Apartment"),
    SzRow(kLM, KWILL_CLSID_KEY KWILL_CLSID_DROP, nullptr, L"Tarnwell Drop Target", kTree),
    SzRow(kRegChild, L"InprocServer32", nullptr, L"%MODULE%"),
    SzRow(kRegChild, nullptr, L"ThreadingModel", L"Apartment"),
    KeyRow(kLM, KWILL_CLSID_KEY KWILL_CLSID_COLLECTION, kTree),  // no display name of its own
    SzRow(kRegChild, L"InprocServer32", nullptr, L"%MODULE%"),
    SzRow(kRegChild, nullptr, L"ThreadingModel", L"Apartment"),

    // The shell loads only approved extensions. The key is shared: only our values go again.
    SzRow(kLM, KWILL_CURRENT_VERSION L"Shell Extensions\\Approved", KWILL_CLSID_HOOK,
          L"Tarnwell Shell Execute Hook"),
    SzRow(kRegChild, nullptr, KWILL_CLSID_MENU, L"Tarnwell Context Menu"),
    SzRow(kRegChild, nullptr, KWILL_CLSID_DESKTOP_MENU, L"Tarnwell Desktop Context Menu"),
    SzRow(kRegChild, nullptr, KWILL_CLSID_INFO_TIP, L"Tarnwell Info Tip Handler"),
    SzRow(kRegChild, nullptr, KWILL_CLSID_ICON, L"Tarnwell Icon Handler"),
    SzRow(kRegChild, nullptr, KWILL_CLSID_DROP, L"Tarnwell Drop Target"),
    SzRow(kRegChild, nullptr, KWILL_CLSID_COLLECTION, L"Tarnwell File Collection Shell Extension"),

    // Shell execute hooks run only when switched on, and only those listed.
    DwordRow(kLM, KWILL_CURRENT_VERSION L"Policies\\Explorer", L"EnableShellExecuteHooks", 1),
    SzRow(kLM, KWILL_CURRENT_VERSION L"Explorer\\ShellExecuteHooks", KWILL_CLSID_HOOK, L""),

    // The host's file kinds: extension, then its ProgID with icon, icon handler and command.
    SzRow(kLM, L"Software\\Classes\\.kcf", nullptr, L"TarnCommandFile", kTree),
    SzRow(kRegChild, KWILL_INFO_TIP_KEY, nullptr, KWILL_CLSID_INFO_TIP),
    SzRow(kLM, L"Software\\Classes\\TarnCommandFile", nullptr, L"Tarnwell Command File", kTree),
    SzRow(kRegChild, nullptr, L"NeverShowExt", L""),
    SzRow(kRegChild, L"DefaultIcon", nullptr, L"%1"),
    SzRow(kRegSibling, L"shellex\\IconHandler", nullptr, KWILL_CLSID_ICON),
    SzRow(kRegSibling, L"shell\\open\\command", nullptr, L"%KWILLRT% %1"),

    SzRow(kLM, L"Software\\Classes\\.kop", nullptr, L"TarnButtonFile", kTree),
    SzRow(kLM, L"Software\\Classes\\TarnButtonFile", nullptr, L"Tarnwell Button File", kTree),
    SzRow(kRegChild, L"DefaultIcon", nullptr, L"%1"),
    SzRow(kRegSibling, L"shellex\\IconHandler", nullptr, KWILL_CLSID_ICON),
    SzRow(kRegSibling, L"shell\\open\\command", nullptr, L"%KWILLRT% %1"),

    // Preferences files are no longer registered; an old registration is removed.
    SzRow(kLM, L"Software\\Classes\\.kpf", nullptr, L"TarnPrefsFile", kRemoveOnly),
    SzRow(kLM, L"Software\\Classes\\TarnPrefsFile", nullptr, L"Tarnwell Preferences File",
          kRemoveOnly),
    SzRow(kRegChild, L"DefaultIcon", nullptr, L"%1"),
    SzRow(kRegSibling, L"shellex\\IconHandler", nullptr, KWILL_CLSID_ICON),
    SzRow(kRegSibling, L"shell\\open\\command", nullptr, L"%KWILLRT% %1"),

    SzRow(kLM, L"Software\\Classes\\.kft", nullptr, L"TarnFileTypesFile", kTree),
    SzRow(kLM, L"Software\\Classes\\TarnFileTypesFile", nullptr, L"Tarnwell FileTypes File", kTree),
    SzRow(kRegChild, L"DefaultIcon", nullptr, L"%1"),
    SzRow(kRegSibling, L"shellex\\IconHandler", nullptr, KWILL_CLSID_ICON),

    SzRow(kLM, L"Software\\Classes\\.kps", nullptr, L"TarnSettingsFile", kTree),
    SzRow(kRegChild, KWILL_INFO_TIP_KEY, nullptr, KWILL_CLSID_INFO_TIP),
    SzRow(kLM, L"Software\\Classes\\TarnSettingsFile", nullptr, L"Tarnwell Settings File", kTree),
    SzRow(kRegChild, L"DefaultIcon", nullptr, L"%1"),
    SzRow(kRegSibling, L"shellex\\IconHandler", nullptr, KWILL_CLSID_ICON),

    SzRow(kLM, L"Software\\Classes\\.klt", nullptr, L"TarnListerTheme", kTree),
    SzRow(kRegChild, KWILL_INFO_TIP_KEY, nullptr, KWILL_CLSID_INFO_TIP),
    SzRow(kLM, L"Software\\Classes\\TarnListerTheme", nullptr, L"Tarnwell Lister Theme", kTree),
    SzRow(kRegChild, L"DefaultIcon", nullptr, L"%1"),
    SzRow(kRegSibling, L"shellex\\IconHandler", nullptr, KWILL_CLSID_ICON),
    SzRow(kRegSibling, L"shell\\open\\command", nullptr,
          L"%KWILLRT% /cmd Prefs THEMEIMPORT \"%1\""),

    SzRow(kLM, L"Software\\Classes\\.flt", nullptr, L"TarnFilterFile", kTree),
    SzRow(kLM, L"Software\\Classes\\TarnFilterFile", nullptr, L"Tarnwell Filter File", kTree),
    SzRow(kRegChild, L"DefaultIcon", nullptr, L"%1"),
    SzRow(kRegSibling, L"shellex\\IconHandler", nullptr, KWILL_CLSID_ICON),

    // AutoPlay: "open folder in the file manager" for unknown content, with the system's own
    // action text for opening a folder when there is one.
    SzRow(kLM, KWILL_AUTOPLAY L"EventHandlers\\UnknownContentOnArrival", L"TarnOpenFolder", L""),
    SzRow(kLM, KWILL_AUTOPLAY L"Handlers\\TarnOpenFolder", L"Action",
          KWILL_AUTOPLAY L"Handlers\\MSOpenFolder\\Action", kRegDeleteTree | kRegReference),
    SzRow(kRegChild, nullptr, L"DefaultIcon", L"%KWILLRT%,0"),
    SzRow(kRegChild, nullptr, L"InvokeProgID", L"Folder"),
    SzRow(kRegChild, nullptr, L"InvokeVerb", L"openinkwill"),
    SzRow(kRegChild, nullptr, L"Provider", L"Tarnwell"),

    // Protected-mode browsers may drop onto the host without asking.
    KeyRow(kLM,
           L"Software\\Microsoft\\Internet Explorer\\Low Rights\\DragDrop\\"
           L"{EE0F1650-117B-4075-A78C-EA86C85710B3}",
           kTree),
    SzRow(kRegChild, nullptr, L"AppName", L"kwill.exe"),
    SzRow(kRegChild, nullptr, L"AppPath", L"%APPPATH%"),
    DwordRow(kRegChild, nullptr, L"Policy", 3),

    // The tarnprefs: URL protocol.
    SzRow(kLM, L"Software\\Classes\\tarnprefs", nullptr, L"URL:TarnPrefs Protocol Handler", kTree),
    SzRow(kRegChild, nullptr, L"URL Protocol", L""),
    SzRow(kRegChild, L"DefaultIcon", nullptr, L"%KWILLRT%,0"),
    SzRow(kRegSibling, L"shell\\open\\command", nullptr, L"%KWILLRT% /prefs \"%1\""),

    // Script packages.
    SzRow(kLM, L"Software\\Classes\\.tsp", nullptr, L"TarnScriptPackage", kTree),
    SzRow(kLM, L"Software\\Classes\\TarnScriptPackage", nullptr, L"Tarnwell Script Package", kTree),
    SzRow(kRegChild, L"DefaultIcon", nullptr, L"%1"),
    SzRow(kRegSibling, L"shellex\\IconHandler", nullptr, KWILL_CLSID_ICON),
    SzRow(kRegSibling, L"shell\\open\\command", nullptr,
          L"%KWILLRT% /cmd Prefs INSTALLSCRIPT \"%1\""),

    SzRow(kLM, L"Software\\Classes\\.tarnscriptinstall", nullptr, L"TarnScriptInstallPackage",
          kTree),
    SzRow(kLM, L"Software\\Classes\\TarnScriptInstallPackage", nullptr,
          L"Tarnwell Script Install Package", kTree),
    SzRow(kRegChild, L"DefaultIcon", nullptr, L"%1"),
    SzRow(kRegSibling, L"shellex\\IconHandler", nullptr, KWILL_CLSID_ICON),
    SzRow(kRegSibling, L"shell\\open\\command", nullptr,
          L"%KWILLRT% /cmd Prefs INSTALLSCRIPT \"%1\""),
};

const RegRow kCleanupRows[] = {
    KeyRow(kLM, L"Software\\Classes\\Directory\\Background\\shellex\\ContextMenuHandlers\\Kwill",
           kTree),
    KeyRow(kLM, L"Software\\Classes\\coll", kTree),
    KeyRow(kLM, KWILL_CLSID_KEY L"{42BEF283-A10E-472D-B105-9F2B59AFBFC8}", kTree),
    KeyRow(
        kLM,
        KWILL_CURRENT_VERSION L"Shell Extensions\\Approved\\{42BEF283-A10E-472D-B105-9F2B59AFBFC8}",
        kTree),
    KeyRow(kLM, KWILL_CURRENT_VERSION L"Explorer\\FindExtensions\\Static\\KwillFind", kTree),
    KeyRow(kLM, L"Software\\Classes\\tarnhelp", kTree),
};

// The control-panel applet of older versions, which the file manager no longer installs.
void DeleteOldControlPanelFile() {
    wchar_t folder[MAX_PATH];
    UINT chars = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (chars == 0 || chars >= MAX_PATH) return;
    std::wstring path = std::wstring(folder, chars) + L"\\kwill.cpl";
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) ::DeleteFileW(path.c_str());
}

}  // namespace

std::span<const RegRow> RegistrationRows() {
    return kRegistrationRows;
}

std::span<const RegRow> CleanupRows() {
    return kCleanupRows;
}

HRESULT RegisterServer() {
    std::wstring module = OwnModulePath();
    LSTATUS error =
        module.empty() ? ERROR_MOD_NOT_FOUND : ApplyRowsForward(kRegistrationRows, module);
    if (error != ERROR_SUCCESS) {
        DebugOutput(L"DllRegisterServer: registration failed, error %ld\n",
                    static_cast<long>(error));
        return SELFREG_E_CLASS;
    }
    ApplyRowsBackward(kCleanupRows);  // whatever is left of old versions may stay
    DeleteOldControlPanelFile();
    return S_OK;
}

HRESULT UnregisterServer() {
    LSTATUS error = ApplyRowsBackward(kRegistrationRows);
    if (error != ERROR_SUCCESS) {
        DebugOutput(L"DllUnregisterServer: a key may not be deleted, error %ld\n",
                    static_cast<long>(error));
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

}  // namespace kwill::shellext
