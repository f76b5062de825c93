// Configuration folders, the main program's path, flag values, user switches and the two data
// records.
#include "exports/export.h"
#include "hostlink/config_paths.h"
#include "hostlink/config_records.h"
#include "hostlink/config_values.h"

using kwill::config::GlobalDataRecord;
using kwill::config::UserDataRecord;

// The folder of a configuration kind (0 to 9), without a trailing backslash. A usable buffer is
// emptied first; FALSE when the kind is outside 0..9, there is no folder, or it does not fit in
// bufferChars (terminator included). A null buffer or a size of 0 or less is never written.
KWILL_EXPORT BOOL GetConfigPathW(int kind, wchar_t* buffer, int bufferChars) {
    if (!buffer || bufferChars <= 0) return FALSE;
    try {
        return kwill::config::GetConfigPath(kind, buffer, static_cast<size_t>(bufferChars));
    } catch (...) {
        buffer[0] = 0;
        return FALSE;
    }
}

// The full path of kwill.exe: this process when the library runs inside it, else the copy
// beside the library, else the current user's App Paths entry when that file exists, else the
// machine's App Paths entry as it stands. Registry values must be terminated strings that fit;
// on FALSE the buffer is empty.
KWILL_EXPORT BOOL GetKwillPathW(wchar_t* buffer, int bufferChars) {
    if (!buffer || bufferChars <= 0) return FALSE;
    try {
        return kwill::config::GetKwillPath(buffer, static_cast<size_t>(bufferChars));
    } catch (...) {
        buffer[0] = 0;
        return FALSE;
    }
}

// A numeric flag of the main preferences file: attribute `attributeName` of the first
// "prefs" / `elementName` element. "0x..." is hexadecimal, anything else decimal; 0 when any
// step is missing. Overlong numbers saturate (see hostlink/config_values.h).
KWILL_EXPORT long long ReadConfigFlagValue(const char* elementName, const char* attributeName) {
    try {
        return kwill::config::ReadConfigFlagValue(elementName, attributeName);
    } catch (...) {
        return 0;
    }
}

// Sets that attribute to "0x..." and saves the file. The element is never created: FALSE when
// it is missing, when the file cannot be read, or when saving fails, the file being left as it
// was.
KWILL_EXPORT BOOL WriteConfigFlagValue(const char* elementName, const char* attributeName,
                                       long long value) {
    try {
        return kwill::config::WriteConfigFlagValue(elementName, attributeName, value);
    } catch (...) {
        return FALSE;
    }
}

// TRUE when the user preference switch `name` holds "yes" (any case).
KWILL_EXPORT BOOL GetUserPrefsFlag(const char* name) {
    try {
        return kwill::config::GetUserPrefsFlag(name);
    } catch (...) {
        return FALSE;
    }
}

// Fills the user data record. FALSE (and a zeroed record, apart from the installation mode's
// fixed configuration type) when the file cannot be read or lacks its top element; FALSE with
// ERROR_INVALID_PARAMETER for a null record.
KWILL_EXPORT BOOL ReadUserData(UserDataRecord* record) {
    if (!record) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    try {
        return kwill::config::ReadUserDataRecord(*record);
    } catch (...) {
        return FALSE;
    }
}

// Writes the user data record, creating the file when it does not exist. 0 on success, 2 when
// the file can neither be read nor created (an unreadable existing file is never replaced), 5
// when saving fails (the old file stays as it was), 87 for a null record.
KWILL_EXPORT DWORD WriteUserData(const UserDataRecord* record) {
    if (!record) return kwill::config::kRecordBadArgument;
    try {
        return static_cast<DWORD>(kwill::config::WriteUserDataRecord(*record));
    } catch (...) {
        return kwill::config::kRecordNoFile;
    }
}

// The machine-wide data record, read and written under its own lock; results as above.
KWILL_EXPORT BOOL ReadGlobalData(GlobalDataRecord* record) {
    if (!record) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    try {
        return kwill::config::ReadGlobalDataRecord(*record);
    } catch (...) {
        return FALSE;
    }
}

KWILL_EXPORT DWORD WriteGlobalData(const GlobalDataRecord* record) {
    if (!record) return kwill::config::kRecordBadArgument;
    try {
        return static_cast<DWORD>(kwill::config::WriteGlobalDataRecord(*record));
    } catch (...) {
        return kwill::config::kRecordNoFile;
    }
}

// 1 for a private (per-user) configuration, 0 for a shared one: the cached value once known,
// else the user data record's (0 when it cannot be read).
KWILL_EXPORT int GetConfigType() {
    try {
        return kwill::config::ConfigType();
    } catch (...) {
        return 0;
    }
}

// Records the user's choice of configuration type (-1: none, ask again) in the user data
// record; returns WriteUserData's code.
KWILL_EXPORT DWORD SetConfigType(int type) {
    try {
        return static_cast<DWORD>(kwill::config::SetConfigType(type));
    } catch (...) {
        return kwill::config::kRecordNoFile;
    }
}

// Whether the user has chosen a configuration type; TRUE when the record cannot be read.
KWILL_EXPORT BOOL IsConfigTypeSet() {
    try {
        return kwill::config::IsConfigTypeSet();
    } catch (...) {
        return TRUE;
    }
}
