// The two small records the host, the shell extensions and the library share: the per-user data
// record ("userdata.tmd", kind 9) and the machine-wide data record ("Global Data\globaldata.tmd",
// kind 1). Both files have the top element "tarn_meta_data" and keep every value in an attribute
// of it. The records cross the export boundary as these plain structs, so their layout is fixed
// below; the tool and the tests include this header for the layout alone.
//
// Text fields hold the attribute's bytes as the document gives them (UTF-8), cut on a character
// boundary to fit and always terminated.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kwill::config {

inline constexpr size_t kRecordTextBytes = 80;
inline constexpr size_t kUpdateSavedBytes = 520;
inline constexpr size_t kLangHashBytes = 16;

inline constexpr wchar_t kUserDataFile[] = L"userdata.tmd";
inline constexpr wchar_t kGlobalDataFile[] = L"Global Data\\globaldata.tmd";
inline constexpr char kRecordElement[] = "tarn_meta_data";

struct UserDataRecord {
    int32_t configType;  // 1 private, 0 shared
    bool configTypeSet;  // the user has chosen
    bool configTypeAsk;  // ask the user (only when not chosen)
    char language[kRecordTextBytes];
    char newLanguage[kRecordTextBytes];
    bool newUserLangChange;  // only together with newLanguage
    uint32_t jumpList;
    uint32_t lastFeedTopic;
    uint32_t lastVersionLow;
    uint32_t lastVersionHigh;
    bool betaWarrior;
    bool convertToolbars;
};
static_assert(offsetof(UserDataRecord, configType) == 0);
static_assert(offsetof(UserDataRecord, configTypeSet) == 4);
static_assert(offsetof(UserDataRecord, configTypeAsk) == 5);
static_assert(offsetof(UserDataRecord, language) == 6);
static_assert(offsetof(UserDataRecord, newLanguage) == 86);
static_assert(offsetof(UserDataRecord, newUserLangChange) == 166);
static_assert(offsetof(UserDataRecord, jumpList) == 168);
static_assert(offsetof(UserDataRecord, lastFeedTopic) == 172);
static_assert(offsetof(UserDataRecord, lastVersionLow) == 176);
static_assert(offsetof(UserDataRecord, lastVersionHigh) == 180);
static_assert(offsetof(UserDataRecord, betaWarrior) == 184);
static_assert(offsetof(UserDataRecord, convertToolbars) == 185);
static_assert(sizeof(UserDataRecord) == 188);

// A version of three 16-bit parts, stored in the file as two decimal u32 values: the first two
// parts make the high value, the third the high half of the low value.
struct RecordVersion {
    uint16_t major;
    uint16_t minor;
    uint16_t build;
};
static_assert(sizeof(RecordVersion) == 6);

// update_lang values.
inline constexpr int32_t kUpdateLangOther = 0;
inline constexpr int32_t kUpdateLangGerman = 1;   // "deutsch"
inline constexpr int32_t kUpdateLangChinese = 2;  // "chinese"

struct GlobalDataRecord {
    char defLanguage[kRecordTextBytes];
    uint64_t lastMajorUpgradeNotify;  // times, as the host keeps them
    uint64_t lastLogCheck;
    uint64_t lastUpdateCheck;
    uint64_t lastSubmitWarning;
    uint32_t lastVersionLow;
    uint32_t lastVersionHigh;
    uint32_t updateSize;
    uint32_t updateFlags;
    uint32_t cfgRestoreOpts;
    RecordVersion updateDownload;
    RecordVersion updateNew;
    int32_t updateLang;
    char updateSaved[kUpdateSavedBytes];
    uint8_t langHash[kLangHashBytes];
};
static_assert(offsetof(GlobalDataRecord, defLanguage) == 0);
static_assert(offsetof(GlobalDataRecord, lastMajorUpgradeNotify) == 80);
static_assert(offsetof(GlobalDataRecord, lastLogCheck) == 88);
static_assert(offsetof(GlobalDataRecord, lastUpdateCheck) == 96);
static_assert(offsetof(GlobalDataRecord, lastSubmitWarning) == 104);
static_assert(offsetof(GlobalDataRecord, lastVersionLow) == 112);
static_assert(offsetof(GlobalDataRecord, cfgRestoreOpts) == 128);
static_assert(offsetof(GlobalDataRecord, updateDownload) == 132);
static_assert(offsetof(GlobalDataRecord, updateNew) == 138);
static_assert(offsetof(GlobalDataRecord, updateLang) == 144);
static_assert(offsetof(GlobalDataRecord, updateSaved) == 148);
static_assert(offsetof(GlobalDataRecord, langHash) == 668);
static_assert(sizeof(GlobalDataRecord) == 688);

// Results of the writers (Windows error codes).
inline constexpr int kRecordWritten = 0;
inline constexpr int kRecordNoFile = 2;        // neither loaded nor created
inline constexpr int kRecordSaveFailed = 5;    // the old file is left as it was
inline constexpr int kRecordBadArgument = 87;  // no record given

// Fills the record from the file. The record is zeroed first, so it holds defaults when the
// file cannot be loaded or lacks the top element; those cases return false. In installation
// modes 1 and 2 the configuration type always reads as set and shared.
bool ReadUserDataRecord(UserDataRecord& record);
// Loads the file (creating it when it does not exist), writes the record's attributes and saves.
// A chosen configuration type is also stored in the cache.
int WriteUserDataRecord(const UserDataRecord& record);

// The configuration type: the cache when known, else a fresh read (0 when that fails).
int ConfigType();
// Reads the record (defaults when unreadable), sets or clears the choice (-1 clears it and asks
// the user), and writes it back; returns the writer's code.
int SetConfigType(int type);
// Whether the user has chosen; true when the record cannot be read.
bool IsConfigTypeSet();

// The same pattern for the machine-wide record, under the context's Lock 5.
bool ReadGlobalDataRecord(GlobalDataRecord& record);
int WriteGlobalDataRecord(const GlobalDataRecord& record);

}  // namespace kwill::config
