// kwill config paths | get ELEMENT ATTR | set ELEMENT ATTR VALUE | userdata | globaldata:
// the configuration folders as the library resolves them, the numeric flags of the main
// preferences file, and the two data records.
#include "hostlink/config_records.h"
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace kwill::tools {
namespace {

using config::GlobalDataRecord;
using config::UserDataRecord;

int Run(const std::vector<std::string>& args);

const Subcommand kConfig = {
    "config", "configuration folders, preference flag values and the data records",
    "paths | get ELEMENT ATTR | set ELEMENT ATTR VALUE | userdata | globaldata", Run};
const SubcommandRegistrar kRegister(kConfig);

const char* const kKindNames[] = {
    "user configuration", "machine data",        "local state", "program",     "program (copy)",
    "program root",       "program root (copy)", "data files",  "other files", "user data record"};

std::string Hex64(unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof(text), "0x%llx", value);
    return text;
}

int Paths() {
    KwillDll& dll = KwillDll::Get();
    auto getPath = dll.Require<BOOL (*)(int, wchar_t*, int)>("GetConfigPathW");
    auto kwillPath = dll.Require<BOOL (*)(wchar_t*, int)>("GetKwillPathW");
    DWORD mode = dll.Require<DWORD (*)()>(WORD{72})();  // GetInstallMode
    std::string text;
    for (int kind = 0; kind <= 9; ++kind) {
        wchar_t folder[MAX_PATH];
        BOOL ok = getPath(kind, folder, MAX_PATH);
        char label[48];
        std::snprintf(label, sizeof(label), "%d %-20s ", kind, kKindNames[kind]);
        text += label + (ok ? Utf8FromWide(folder) : std::string("(none)")) + "\n";
    }
    wchar_t program[MAX_PATH];
    text += "kwill.exe:              " +
            (kwillPath(program, MAX_PATH) ? Utf8FromWide(program) : std::string("(not found)")) +
            "\n";
    text += "install mode:           " + std::to_string(mode) + "\n";
    int type = dll.Require<int (*)()>("GetConfigType")();
    BOOL chosen = dll.Require<BOOL (*)()>("IsConfigTypeSet")();
    text += "configuration type:     " + std::string(type == 1 ? "private" : "shared") +
            (chosen ? "" : " (not chosen)") + "\n";
    WriteOut(text);
    return 0;
}

std::string Text(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

int UserData() {
    UserDataRecord r;
    BOOL ok = KwillDll::Get().Require<BOOL (*)(UserDataRecord*)>("ReadUserData")(&r);
    std::string text = ok ? "" : "(no readable user data record; defaults)\n";
    text += "config_type:        " +
            (r.configTypeSet ? std::string(r.configType == 1 ? "private" : "shared")
                             : std::string("not chosen")) +
            (r.configTypeAsk ? " (ask)" : "") + "\n";
    text += "language:           " + Text(r.language, sizeof(r.language)) + "\n";
    text += "new_language:       " + Text(r.newLanguage, sizeof(r.newLanguage)) +
            (r.newUserLangChange ? " (new user change)" : "") + "\n";
    text += "jump_list:          " + std::to_string(r.jumpList) + "\n";
    text += "lastfeed_topic:     " + std::to_string(r.lastFeedTopic) + "\n";
    text +=
        "last_version:       " + Hex64(r.lastVersionHigh) + " " + Hex64(r.lastVersionLow) + "\n";
    text += "beta_warrior:       " + std::string(r.betaWarrior ? "yes" : "no") + "\n";
    text += "convert_toolbars:   " + std::string(r.convertToolbars ? "no (convert)" : "-") + "\n";
    WriteOut(text);
    return ok ? 0 : 1;
}

std::string Version(const config::RecordVersion& v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build);
}

int GlobalData() {
    GlobalDataRecord r;
    BOOL ok = KwillDll::Get().Require<BOOL (*)(GlobalDataRecord*)>("ReadGlobalData")(&r);
    std::string text = ok ? "" : "(no readable global data record; defaults)\n";
    text += "def_language:              " + Text(r.defLanguage, sizeof(r.defLanguage)) + "\n";
    text += "last_major_upgrade_notify: " + Hex64(r.lastMajorUpgradeNotify) + "\n";
    text += "last_log_check:            " + Hex64(r.lastLogCheck) + "\n";
    text += "last_update_check:         " + Hex64(r.lastUpdateCheck) + "\n";
    text += "last_submit_warning:       " + Hex64(r.lastSubmitWarning) + "\n";
    text += "last_version:              " + Hex64(r.lastVersionHigh) + " " +
            Hex64(r.lastVersionLow) + "\n";
    text += "update_size, flags:        " + std::to_string(r.updateSize) + ", " +
            Hex64(r.updateFlags) + "\n";
    text += "cfg_restore_opts:          " + Hex64(r.cfgRestoreOpts) + "\n";
    text += "update_download, new:      " + Version(r.updateDownload) + ", " +
            Version(r.updateNew) + "\n";
    text += "update_lang:               " + std::to_string(r.updateLang) + "\n";
    text += "update_saved:              " + Text(r.updateSaved, sizeof(r.updateSaved)) + "\n";
    std::string hash;
    for (uint8_t b : r.langHash) {
        char two[3];
        std::snprintf(two, sizeof(two), "%02x", b);
        hash += two;
    }
    text += "lang_hash:                 " + hash + "\n";
    WriteOut(text);
    return ok ? 0 : 1;
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) return UsageError(kConfig);
    KwillDll& dll = KwillDll::Get();
    const std::string& what = args[0];
    if (what == "paths" && args.size() == 1) return Paths();
    if (what == "userdata" && args.size() == 1) return UserData();
    if (what == "globaldata" && args.size() == 1) return GlobalData();
    if (what == "get" && args.size() == 3) {
        long long value = dll.Require<long long (*)(const char*, const char*)>(
            "ReadConfigFlagValue")(args[1].c_str(), args[2].c_str());
        WriteOut(std::to_string(value) + " (" + Hex64(static_cast<unsigned long long>(value)) +
                 ")\n");
        return 0;
    }
    if (what == "set" && args.size() == 4) {
        char* end = nullptr;
        const char* digits = args[3].c_str();
        long long value = std::strtoll(digits, &end, 0);
        if (end == digits || *end) return UsageError(kConfig, "VALUE must be a number");
        BOOL ok = dll.Require<BOOL (*)(const char*, const char*, long long)>(
            "WriteConfigFlagValue")(args[1].c_str(), args[2].c_str(), value);
        if (!ok) {
            WriteErr("kwill config set: no element \"prefs/" + args[1] +
                     "\" in the preferences file, or it could not be saved\n");
            return 1;
        }
        return 0;
    }
    return UsageError(kConfig);
}

}  // namespace
}  // namespace kwill::tools
