#include "hostlink/config_records.h"

#include "frame/context.h"
#include "frame/win_handle.h"
#include "frame/xml_document.h"
#include "hostlink/config_paths.h"
#include "hostlink/config_values.h"

#include <cstring>
#include <string>

namespace kwill::config {
namespace {

bool Present(const char* value) {
    return value && *value;
}

void SetOrRemove(TiXmlElement& element, const char* name, bool set, const char* value) {
    if (set)
        element.SetAttribute(name, value);
    else
        element.RemoveAttribute(name);
}

void SetDecimal(TiXmlElement& element, const char* name, uint32_t value) {
    element.SetAttribute(name, std::to_string(value).c_str());
}

// The record's text field, terminated within its size whatever the caller left in it.
std::string FieldText(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

// Loads the record file and finds its top element, creating both when missing; the outcome
// tells the writers' codes apart.
TiXmlElement* OpenForWriting(XmlDocumentFile& doc, const wchar_t* file, int kind) {
    if (LoadConfigDocument(doc, file, kind, true) == LoadOutcome::kFailed) return nullptr;
    TiXmlElement* top = doc.FirstChildElement(kRecordElement);
    if (!top) top = doc.LinkEndChild(new TiXmlElement(kRecordElement))->ToElement();
    return top;
}

RecordVersion VersionFromPair(uint32_t high, uint32_t low) {
    return {static_cast<uint16_t>(high >> 16), static_cast<uint16_t>(high & 0xFFFF),
            static_cast<uint16_t>(low >> 16)};
}

void WriteVersion(TiXmlElement& top, const char* high, const char* low, RecordVersion v) {
    SetDecimal(top, high, uint32_t{v.major} << 16 | v.minor);
    SetDecimal(top, low, uint32_t{v.build} << 16);
}

constexpr struct {
    const char* name;
    uint64_t GlobalDataRecord::*field;
} kGlobalTimes[] = {
    {"last_major_upgrade_notify", &GlobalDataRecord::lastMajorUpgradeNotify},
    {"last_log_check", &GlobalDataRecord::lastLogCheck},
    {"last_update_check", &GlobalDataRecord::lastUpdateCheck},
    {"last_submit_warning", &GlobalDataRecord::lastSubmitWarning},
};

constexpr struct {
    const char* name;
    uint32_t GlobalDataRecord::*field;
} kGlobalNumbers[] = {
    {"last_version_low", &GlobalDataRecord::lastVersionLow},
    {"last_version_high", &GlobalDataRecord::lastVersionHigh},
    {"update_size", &GlobalDataRecord::updateSize},
    {"update_flags", &GlobalDataRecord::updateFlags},
    {"cfg_restore_opts", &GlobalDataRecord::cfgRestoreOpts},
};

const char* UpdateLangName(int32_t lang) {
    switch (lang) {
        case kUpdateLangGerman:
            return "deutsch";
        case kUpdateLangChinese:
            return "chinese";
        default:
            return nullptr;
    }
}

}  // namespace

bool ReadUserDataRecord(UserDataRecord& record) {
    record = UserDataRecord{};
    XmlDocumentFile doc;
    const TiXmlElement* top = nullptr;
    if (LoadConfigDocument(doc, kUserDataFile, kUserData) == LoadOutcome::kLoaded) {
        top = doc.FirstChildElement(kRecordElement);
    }
    if (top) {
        const char* type = top->Attribute("config_type");
        if (Present(type)) {
            record.configTypeSet = true;
            record.configType =
                _stricmp(type, "private") == 0 ? kConfigTypePrivate : kConfigTypeShared;
        } else {
            record.configTypeAsk = Present(top->Attribute("config_type_ask"));
        }
        CopyTextField(record.language, sizeof(record.language), top->Attribute("language"));
        const char* newLanguage = top->Attribute("new_language");
        CopyTextField(record.newLanguage, sizeof(record.newLanguage), newLanguage);
        if (newLanguage) record.newUserLangChange = top->Attribute("newuser_langchange") != nullptr;
        record.jumpList = ParseDecimalU32(top->Attribute("jump_list"));
        record.lastFeedTopic = ParseDecimalU32(top->Attribute("lastfeed_topic"));
        record.lastVersionLow = ParseDecimalU32(top->Attribute("last_version_low"));
        record.lastVersionHigh = ParseDecimalU32(top->Attribute("last_version_high"));
        const char* beta = top->Attribute("beta_warrior");
        record.betaWarrior = beta && std::strcmp(beta, "yes") == 0;
        const char* convert = top->Attribute("convert_toolbars");
        record.convertToolbars = convert && std::strcmp(convert, "no") == 0;
    }
    // Installations of modes 1 and 2 have one configuration, shared by everyone.
    if (InstallMode() != 0) {
        record.configTypeSet = true;
        record.configType = kConfigTypeShared;
    }
    return top != nullptr;
}

int WriteUserDataRecord(const UserDataRecord& record) {
    XmlDocumentFile doc;
    TiXmlElement* top = OpenForWriting(doc, kUserDataFile, kUserData);
    if (!top) return kRecordNoFile;

    if (record.configTypeSet) {
        top->SetAttribute("config_type",
                          record.configType == kConfigTypePrivate ? "private" : "shared");
        top->RemoveAttribute("config_type_ask");
    } else {
        top->RemoveAttribute("config_type");
        SetOrRemove(*top, "config_type_ask", record.configTypeAsk, "1");
    }
    top->SetAttribute("language", FieldText(record.language, kRecordTextBytes).c_str());
    top->SetAttribute("new_language", FieldText(record.newLanguage, kRecordTextBytes).c_str());
    SetOrRemove(*top, "newuser_langchange", record.newUserLangChange, "yes");
    if (record.jumpList)
        SetDecimal(*top, "jump_list", record.jumpList);
    else
        top->RemoveAttribute("jump_list");
    SetDecimal(*top, "lastfeed_topic", record.lastFeedTopic);
    SetDecimal(*top, "last_version_low", record.lastVersionLow);
    SetDecimal(*top, "last_version_high", record.lastVersionHigh);
    SetOrRemove(*top, "beta_warrior", record.betaWarrior, "yes");
    SetOrRemove(*top, "convert_toolbars", record.convertToolbars, "no");

    if (!doc.SaveFile()) return kRecordSaveFailed;
    // The cache holds what the file now says, so it agrees with the next process's read.
    if (record.configTypeSet) {
        StoreConfigType(record.configType == kConfigTypePrivate ? kConfigTypePrivate
                                                                : kConfigTypeShared);
    }
    return kRecordWritten;
}

int ConfigType() {
    int cached = CachedConfigType();
    if (cached != kConfigTypeUnknown) return cached;
    UserDataRecord record;
    return ReadUserDataRecord(record) ? record.configType : kConfigTypeShared;
}

int SetConfigType(int type) {
    UserDataRecord record;
    ReadUserDataRecord(record);  // zeroed when unreadable
    if (type == kConfigTypeUnknown) {
        record.configTypeSet = false;
        record.configType = 0;
        record.configTypeAsk = true;
    } else {
        record.configTypeSet = true;
        record.configType = type;
        record.configTypeAsk = false;
    }
    return WriteUserDataRecord(record);
}

bool IsConfigTypeSet() {
    UserDataRecord record;
    return ReadUserDataRecord(record) ? record.configTypeSet : true;
}

bool ReadGlobalDataRecord(GlobalDataRecord& record) {
    record = GlobalDataRecord{};
    if (!ContextReady()) return false;
    CriticalSectionLock lock(Context().lock5);
    XmlDocumentFile doc;
    if (LoadConfigDocument(doc, kGlobalDataFile, kMachineData) != LoadOutcome::kLoaded) {
        return false;
    }
    const TiXmlElement* top = doc.FirstChildElement(kRecordElement);
    if (!top) return false;
    CopyTextField(record.defLanguage, sizeof(record.defLanguage), top->Attribute("def_language"));
    for (const auto& time : kGlobalTimes)
        record.*time.field = ParsePlusTime(top->Attribute(time.name));
    for (const auto& number : kGlobalNumbers) {
        record.*number.field = ParseDecimalU32(top->Attribute(number.name));
    }
    record.updateDownload = VersionFromPair(ParseDecimalU32(top->Attribute("update_download_high")),
                                            ParseDecimalU32(top->Attribute("update_download_low")));
    record.updateNew = VersionFromPair(ParseDecimalU32(top->Attribute("update_new_high")),
                                       ParseDecimalU32(top->Attribute("update_new_low")));
    const char* lang = top->Attribute("update_lang");
    record.updateLang = !lang                               ? kUpdateLangOther
                        : std::strcmp(lang, "deutsch") == 0 ? kUpdateLangGerman
                        : std::strcmp(lang, "chinese") == 0 ? kUpdateLangChinese
                                                            : kUpdateLangOther;
    CopyTextField(record.updateSaved, sizeof(record.updateSaved), top->Attribute("update_saved"));
    ParseHexBytes(top->Attribute("lang_hash"), record.langHash, kLangHashBytes);
    return true;
}

int WriteGlobalDataRecord(const GlobalDataRecord& record) {
    if (!ContextReady()) return kRecordNoFile;
    CriticalSectionLock lock(Context().lock5);
    XmlDocumentFile doc;
    TiXmlElement* top = OpenForWriting(doc, kGlobalDataFile, kMachineData);
    if (!top) return kRecordNoFile;
    top->SetAttribute("def_language", FieldText(record.defLanguage, kRecordTextBytes).c_str());
    for (const auto& time : kGlobalTimes) {
        top->SetAttribute(time.name, FormatPlusTime(record.*time.field).c_str());
    }
    for (const auto& number : kGlobalNumbers) SetDecimal(*top, number.name, record.*number.field);
    WriteVersion(*top, "update_download_high", "update_download_low", record.updateDownload);
    WriteVersion(*top, "update_new_high", "update_new_low", record.updateNew);
    SetOrRemove(*top, "update_lang", UpdateLangName(record.updateLang) != nullptr,
                UpdateLangName(record.updateLang));
    top->SetAttribute("update_saved", FieldText(record.updateSaved, kUpdateSavedBytes).c_str());
    top->SetAttribute("lang_hash", FormatHexBytes(record.langHash, kLangHashBytes).c_str());
    return doc.SaveFile() ? kRecordWritten : kRecordSaveFailed;
}

}  // namespace kwill::config
