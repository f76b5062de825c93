/* kwilllib: the host link and configuration (exports/kwilllib.def headings "host link: ...").
 * The host program's window and start-up, configuration folders, favourites, language strings
 * and the class LibStringW, preference flags. */
#ifndef KWILLLIB_HOSTLINK_H
#define KWILLLIB_HOSTLINK_H

#include "base.h"

/* A DDE execute request; its layout is the library's own. */
typedef struct DdeRequest DdeRequest;
/* A favourites, recent or alias list and one of its entries; their layouts are the library's. */
typedef struct PathList PathList;
typedef struct PathListEntry PathListEntry;

/* ---- host link: host window and start-up */

/* The host's main window (class "Kwill.ParentWindow"), or null when it is not running. */
KWILL_API(49) HWND KWILLCALL GetHostWindow(void);

/* Stamps the value with the tick count, for every process that loaded the library;
 * CheckExplorerPassThrough gives TRUE and the value (*value may be null) within a second of it,
 * otherwise clears the stamp and returns FALSE. */
KWILL_API(55) void KWILLCALL SetExplorerPassThrough(ULONGLONG value);
KWILL_API(56) BOOL KWILLCALL CheckExplorerPassThrough(ULONGLONG* value);

/* A DDE execute request for the command to the application's server on the topic ("System"
 * when null or empty); null for a null or empty command or application. Free it with
 * FreeDdeRequest (null is ignored). */
KWILL_API(57)
DdeRequest* KWILLCALL CreateDdeRequest(const wchar_t* command, const wchar_t* application,
                                       const wchar_t* topic);
/* Offers the request to the target window (null: every top-level window) and posts the command
 * to the first server that answers, waiting for the acknowledgement while dispatching the
 * thread's messages: 10 seconds, or limitMs (0: until the server ends the conversation). TRUE
 * when a server took the command. */
KWILL_API(58) BOOL KWILLCALL ExecuteDdeRequest(DdeRequest* request, HWND target);
KWILL_API(59) void KWILLCALL FreeDdeRequest(DdeRequest* request);
/* Runs the command on the thread "kwill.sendddethread"; with passThrough the Explorer
 * pass-through is stamped first. 0 when the thread started, 1 when it did not. */
KWILL_API(60)
int KWILLCALL SendDdeCommandAsync(const wchar_t* application, const wchar_t* topic,
                                  const wchar_t* command, BOOL passThrough);
KWILL_API(104)
BOOL KWILLCALL ExecuteDdeRequestTimeout(DdeRequest* request, DWORD limitMs, HWND target);

/* A WH_SHELL hook procedure: an application command goes to the running host. */
KWILL_API(111) LRESULT CALLBACK ShellAppCommandHook(int code, WPARAM wParam, LPARAM lParam);

/* S_OK when the process token is elevated, S_FALSE when not, E_FAIL when it cannot be read;
 * *elevated (may be null) receives the elevation. */
KWILL_API(118) HRESULT KWILLCALL IsProcessElevated(BOOL* elevated);
/* Starts "program arguments" as the interactive user, unelevated. */
KWILL_API(119) BOOL KWILLCALL RunAsStandardUser(const wchar_t* commandLine);
/* The host's main window, starting kwill.exe first when it is not running (flags: 1 "crash",
 * 4 "autolister", 16 "runcmd nodef", else "nodef"; 2 adds "dblclk"; extraArguments may be null)
 * and waiting for it while dispatching the thread's messages; null when it cannot be had. */
KWILL_API(1740) HWND KWILLCALL FindOrStartKwillW(DWORD flags, const wchar_t* extraArguments);

/* ---- host link: Explorer replacement */

/* TRUE when the host should open the folder (path, list or both; either may be null) instead
 * of the shell: "coll://" paths and the file-collection namespace always; otherwise the user's
 * replacement settings and exclusion list decide. */
KWILL_API(42) BOOL KWILLCALL ShouldHostOpenFolder(const wchar_t* path, LPCITEMIDLIST list);
/* ShouldHostOpenFolder with the rule that decided (*rule, may be null): 0 "coll://" path,
 * 1 collection item, 2 replacement off, 3 control-panel item, 4 replacement on, 5 exclusion
 * list unavailable, 6 excluded (*entry, may be null: the matching entry's index), 7 no
 * exclusion matched, 8 nothing to test, 9 file-system folder, 10 home folder, 11 not a
 * file-system folder. */
KWILL_API(1762)
BOOL KWILLCALL ExplainHostOpenFolder(const wchar_t* path, LPCITEMIDLIST list, DWORD* rule,
                                     DWORD* entry);

/* Begins and ends a bypass of the shell execute hooks in every process; each returns the new
 * count. A caller that starts the shell itself wraps the call in the pair. */
KWILL_API(43) LONG KWILLCALL BeginHookBypass(void);
KWILL_API(44) LONG KWILLCALL EndHookBypass(void);
/* Opens a folder (the list when given, else the path) with the shell on a new thread that the
 * library's own hook lets pass: verb "explore" when verb contains "explor", else "open". With
 * threadOut the thread's handle is stored there (the caller closes it). Non-zero when the
 * thread was started. */
KWILL_API(45)
INT_PTR KWILLCALL InvokeExplorer(const wchar_t* verb, const wchar_t* path, LPCITEMIDLIST list,
                                 HANDLE* threadOut, HWND window);
/* Loads the named DLL from the system folder only; null for a name that leaves the folder. */
KWILL_API(139) HMODULE KWILLCALL LoadSystemLibrary(const wchar_t* name);
/* Reads an Explorer command line ("/e,/root,C:\Temp", "/select,..."): *flagsOut (may be null)
 * gets the switches (1 "/n", 2 "/e", 4 "/root", 8 "/select"), the root item goes to rootBuffer
 * and the first other item to pathBuffer, each cut and terminated. TRUE when an item was
 * stored. */
KWILL_API(1760)
BOOL KWILLCALL ParseExplorerCmdLine(const wchar_t* commandLine, DWORD* flagsOut,
                                    wchar_t* rootBuffer, int rootChars, wchar_t* pathBuffer,
                                    int pathChars);
/* The folder of a shell DDE request ("[ViewFolder(...)]") or, with afterCommand, of the text
 * after Explorer's "/idlist," switch: the ID list the sender shared (a new list, freed with
 * PIDLFree), else the path in pathBuffer and a null result (or the shell's parse of the path
 * when there is no buffer). */
KWILL_API(1761)
LPITEMIDLIST KWILLCALL GetPidlFromDDEString(const wchar_t* ddeString, BOOL afterCommand,
                                            wchar_t* pathBuffer, int pathChars);

/* ---- host link: configuration, favourites, language, preferences */

/* The per-user data record ("userdata.tmd" of the user's configuration folder). Texts are the
 * file's bytes (UTF-8), cut on a character boundary and terminated. */
typedef struct UserDataRecord {
    INT32 configType;         /* 1 private, 0 shared */
    BOOLEAN configTypeSet;    /* the user has chosen */
    BOOLEAN configTypeAsk;    /* ask the user (only while not chosen) */
    char language[80];
    char newLanguage[80];
    BOOLEAN newUserLangChange;
    UINT32 jumpList;
    UINT32 lastFeedTopic;
    UINT32 lastVersionLow;
    UINT32 lastVersionHigh;
    BOOLEAN betaWarrior;
    BOOLEAN convertToolbars;
} UserDataRecord;

/* A version of three 16-bit parts. */
typedef struct RecordVersion {
    WORD major;
    WORD minor;
    WORD build;
} RecordVersion;

/* The machine-wide data record ("Global Data\globaldata.tmd"). updateLang: 1 "deutsch",
 * 2 "chinese", else 0. */
typedef struct GlobalDataRecord {
    char defLanguage[80];
    ULONGLONG lastMajorUpgradeNotify;
    ULONGLONG lastLogCheck;
    ULONGLONG lastUpdateCheck;
    ULONGLONG lastSubmitWarning;
    UINT32 lastVersionLow;
    UINT32 lastVersionHigh;
    UINT32 updateSize;
    UINT32 updateFlags;
    UINT32 cfgRestoreOpts;
    RecordVersion updateDownload;
    RecordVersion updateNew;
    INT32 updateLang;
    char updateSaved[520];
    BYTE langHash[16];
} GlobalDataRecord;

/* Fill the record from its file; FALSE (and a zeroed record) when the file cannot be read or
 * lacks its top element. In installation modes 1 and 2 the configuration type always reads as
 * chosen and shared. */
KWILL_API(65) BOOL KWILLCALL ReadUserData(UserDataRecord* record);
/* Write the record, creating the file when it does not exist: 0 done, 2 the file cannot be read
 * (an existing unreadable file is never replaced), 5 saving failed (the old file stays), 87 no
 * record. */
KWILL_API(66) DWORD KWILLCALL WriteUserData(const UserDataRecord* record);
KWILL_API(67) BOOL KWILLCALL ReadGlobalData(GlobalDataRecord* record);
KWILL_API(68) DWORD KWILLCALL WriteGlobalData(const GlobalDataRecord* record);
/* 1 private, 0 shared configuration. SetConfigType(-1) withdraws the choice; it returns
 * WriteUserData's code. IsConfigTypeSet is TRUE when the record cannot be read. */
KWILL_API(69) int KWILLCALL GetConfigType(void);
KWILL_API(70) DWORD KWILLCALL SetConfigType(int type);
KWILL_API(114) BOOL KWILLCALL IsConfigTypeSet(void);
/* The folder of a kind (0 user configuration, 1 machine-wide data, 2 local state, 3 program
 * folder, 5 program root, 9 user data record; 4, 6, 7, 8 as the installation has them), without
 * a trailing backslash. FALSE and an empty buffer when the kind is outside 0..9, there is no
 * folder or it does not fit; a null buffer or a size below 1 is never written. */
KWILL_API(71) BOOL KWILLCALL GetConfigPathW(int kind, wchar_t* buffer, int bufferChars);
/* The full path of kwill.exe; FALSE and an empty buffer when it is not found or does not fit. */
KWILL_API(1700) BOOL KWILLCALL GetKwillPathW(wchar_t* buffer, int bufferChars);
/* A numeric flag of "ConfigFiles\Prefs.txc": attribute of the first "prefs"/element element;
 * "0x..." hexadecimal, else decimal; 0 when missing. The writer never creates the element and
 * returns FALSE (the file unchanged) when it cannot save. */
KWILL_API(1701) LONGLONG KWILLCALL ReadConfigFlagValue(const char* elementName,
                                                       const char* attributeName);
KWILL_API(1702)
BOOL KWILLCALL WriteConfigFlagValue(const char* elementName, const char* attributeName,
                                    LONGLONG value);
/* TRUE when the switch of "ConfigFiles\userprefs.txc" holds "yes" (any case). */
KWILL_API(1703) BOOL KWILLCALL GetUserPrefsFlag(const char* name);
/* A new list of the favourite folders, the recent folders or the folder aliases, read from its
 * file in the configuration folders; empty when the file is missing or unreadable, null only when
 * the list cannot be made. Free it with FreeFavoritesList (anything else is ignored there).
 * GetSmartFavoritesList always returns null. */
KWILL_API(1780) PathList* KWILLCALL GetFavoritesList(void);
KWILL_API(1781) PathList* KWILLCALL GetRecentList(void);
KWILL_API(1782) PathList* KWILLCALL GetPathAliasList(void);
KWILL_API(1783) PathList* KWILLCALL GetSmartFavoritesList(void);
KWILL_API(1784) void KWILLCALL FreeFavoritesList(PathList* list);
/* Walking: the first entry with a path (or the first sub-folder) of a list or of a sub-folder
 * entry, and the next sibling of the same kind; null at the end and for anything that is not a
 * live list or entry. */
KWILL_API(1785) PathListEntry* KWILLCALL GetFirstPathEntry(void* listOrFolder);
KWILL_API(1786) PathListEntry* KWILLCALL GetNextPathEntry(PathListEntry* entry);
KWILL_API(1787) PathListEntry* KWILLCALL GetFirstSubfolder(void* listOrFolder);
KWILL_API(1788) PathListEntry* KWILLCALL GetNextSubfolder(PathListEntry* entry);
/* Copy an entry's label or path, truncated and terminated; FALSE when the entry is not live or
 * has no such string, or for a null buffer or a size below 1. A bare drive's path comes back
 * with its backslash when the buffer holds at least 4 characters. The A forms use the ANSI code
 * page and cut between characters. */
KWILL_API(1789)
BOOL KWILLCALL GetEntryLabelW(PathListEntry* entry, wchar_t* buffer, int bufferChars);
KWILL_API(1790) BOOL KWILLCALL GetEntryLabelA(PathListEntry* entry, char* buffer, int bufferBytes);
KWILL_API(1791)
BOOL KWILLCALL GetEntryPathW(PathListEntry* entry, wchar_t* buffer, int bufferChars);
KWILL_API(1792) BOOL KWILLCALL GetEntryPathA(PathListEntry* entry, char* buffer, int bufferBytes);

/* The receiver's view of a request block (OpenHostRequestData): the block, its size in bytes,
 * and whether it is a view of the sender's section. */
typedef struct HostRequestView {
    void* data;
    UINT32 size;
    BOOL mapped;
} HostRequestView;

/* Sends message to window carrying buffer (size bytes, of which the first inputBytes are the
 * request) and waits up to timeoutMs. TRUE when the window answered with a non-zero result: the
 * buffer then holds the answer and *result (may be null) the result. Between processes the block
 * travels in the section "Kwill.InterprocData.<pid>.<descriptor>"; a name already in use is
 * refused. */
KWILL_API(115)
BOOL KWILLCALL SendHostRequest(void* buffer, DWORD size, DWORD inputBytes, HWND window,
                               UINT message, LRESULT* result, DWORD timeoutMs);
/* The receiving window's side: wParam and lParam of the message. The view never reaches past
 * what the sender's section holds. Close it with CloseHostRequestData. */
KWILL_API(116)
BOOL KWILLCALL OpenHostRequestData(DWORD senderProcessId, const void* descriptorAddress,
                                   HostRequestView* view);
KWILL_API(117) void KWILLCALL CloseHostRequestData(HostRequestView* view);
/* The preference flags the shell extensions read (from the running host, else the configuration
 * files), in the layout of the host's "kwillmsg.GetPrefsFlags" reply; the five flag words alone
 * unless full. Returns the reply's size, copied when it fits (buffer may be null); *source (may
 * be null): 0 nobody, 1 the host, 2 the files. */
KWILL_API(1704)
DWORD KWILLCALL BuildPrefsFlagsReply(BOOL full, void* buffer, DWORD bufferBytes, DWORD* source);

/* A loaded language: english.dll and an optional translation. Reference-counted; never changes
 * once made. */
typedef struct LanguageHandle LanguageHandle;

/* The languages table: mode 1 name to code and 2 code to name (the key itself when unknown,
 * cast to const wchar_t*), 3 name and 4 code to LANGID, 5 name and 6 code to the letters the
 * language adds to A-Z (a const wchar_t*, or 0). Without case. */
KWILL_API(1800) ULONG_PTR KWILLCALL LookupLanguage(const wchar_t* key, int mode);
/* "english" or "en"; "chs", "cht", or "zh" alone or before "-". */
KWILL_API(1801) BOOL KWILLCALL IsEnglishLanguage(const wchar_t* name);
KWILL_API(1802) BOOL KWILLCALL IsChineseLanguage(const wchar_t* name);
/* english.dll exists and, for another language, its "<name or code>.tarnml" beside it. */
KWILL_API(1803) BOOL KWILLCALL LanguageFileExists(const wchar_t* name);
/* The first of the user's UI languages that is installed, as a language name; "" for English,
 * "english" when none is. Clears *flag (may be null). Returns the length written. */
KWILL_API(1804) int KWILLCALL GetPreferredLanguage(wchar_t* buffer, int bufferChars, BOOL* flag);
/* The current language with a reference added; null when english.dll is missing or unsigned. */
KWILL_API(1805) LanguageHandle* KWILLCALL GetLanguageHandle(void);
/* A new handle for a language name or code; null when its translation cannot be loaded. */
KWILL_API(1806) LanguageHandle* KWILLCALL CreateLanguageHandle(const wchar_t* name);
KWILL_API(1807) void KWILLCALL AddRefLanguageHandle(LanguageHandle* h);
KWILL_API(1808) void KWILLCALL ReleaseLanguageHandle(LanguageHandle* h);
/* Drops the current language in every process that loaded the library. */
KWILL_API(1809) void KWILLCALL ReloadLanguage(void);
/* MD5 of the module's string tables and then dialogs (16 bytes). */
KWILL_API(1810) BOOL KWILLCALL HashLanguageResources(HMODULE module, BYTE* digest);
/* String `number`: mode 0 translation then english.dll, 1 translation only, 2 english.dll
 * only; value1/value2 (may be null) receive the translation's numbers. Returns the length
 * written; mode 1 without a text: 1 when a value was found, else 0. */
KWILL_API(1811)
int KWILLCALL LookupLanguageString(const LanguageHandle* h, UINT number, wchar_t* buffer,
                                   int bufferChars, int mode, UINT32* value1, UINT64* value2);
/* The translation's node of a dialog's controls (opaque), for LookupTranslatedText. */
KWILL_API(1812)
BOOL KWILLCALL LookupLanguageDialog(const LanguageHandle* h, UINT dialog, const void** node);
/* kind 0: string `number` from the translation only; kind 1: control `number` of `dialog`. */
KWILL_API(1813)
int KWILLCALL LookupTranslatedText(const LanguageHandle* h, int kind, UINT dialog, UINT number,
                                   wchar_t* buffer, int bufferChars, UINT64* value2);
/* TRUE when there is no translation or it holds the string. */
KWILL_API(1814) BOOL KWILLCALL HasStringTranslation(const LanguageHandle* h, UINT number);
/* The code starts with "zh"; no translation is loaded; Chinese, Korean or Japanese. */
KWILL_API(1815) BOOL KWILLCALL LanguageIsChinese(const LanguageHandle* h);
KWILL_API(1816) BOOL KWILLCALL LanguageIsEnglish(const LanguageHandle* h);
KWILL_API(1817) BOOL KWILLCALL LanguageIsEastAsian(const LanguageHandle* h);
/* english.dll's file version. */
KWILL_API(1818) BOOL KWILLCALL GetLanguageModuleVersion(const LanguageHandle* h, DWORD* ms,
                                                        DWORD* ls);
/* Texts owned by the handle: the language file, name, requested name (the name when the handle
 * did not fall back), code. */
KWILL_API(1819) const wchar_t* KWILLCALL GetLanguageFilePath(const LanguageHandle* h);
KWILL_API(1820) const wchar_t* KWILLCALL GetLanguageName(const LanguageHandle* h);
KWILL_API(1821) const wchar_t* KWILLCALL GetLanguageRequestedName(const LanguageHandle* h);
KWILL_API(1822) const wchar_t* KWILLCALL GetLanguageCode(const LanguageHandle* h);
/* english.dll as a data file, owned by the handle. */
KWILL_API(1823) HMODULE KWILLCALL GetLanguageModule(const LanguageHandle* h);
KWILL_API(1824) UINT KWILLCALL GetLanguageId(const LanguageHandle* h);
/* Up to 16 bytes of the resource digest; returns the count copied. */
KWILL_API(1825) int KWILLCALL GetLanguageResourceDigest(const LanguageHandle* h, BYTE* digest,
                                                        int size);
/* The translation's "submit" number; FALSE without one. */
KWILL_API(1826) BOOL KWILLCALL GetLanguageSubmit(const LanguageHandle* h, UINT64* submit);
KWILL_API(1827) const wchar_t* KWILLCALL GetLanguageExtraLetters(const LanguageHandle* h);

#ifdef __cplusplus
class LibStringW;
#else
typedef struct LibStringW LibStringW;
#endif

/* The members of LibStringW as flat functions taking the object first (for C, and for C++
 * compilers outside Microsoft's ABI). They are the same entry points as the members. */
KWILL_API(1830) LibStringW* KWILLCALL KwillLibStringConstruct(LibStringW* self);
KWILL_API(1831) LibStringW* KWILLCALL KwillLibStringConstructNumber(LibStringW* self, int number);
KWILL_API(1832) void KWILLCALL KwillLibStringFree(LibStringW* self);
KWILL_API(1833) const wchar_t* KWILLCALL KwillLibStringGet(const LibStringW* self);
KWILL_API(1834)
BOOLEAN KWILLCALL KwillLibStringSet(LibStringW* self, const wchar_t* text, int length);
KWILL_API(1835) const wchar_t* KWILLCALL KwillLibStringInit(LibStringW* self, int number);
KWILL_API(1836)
int KWILLCALL KwillLibStringFormatMsg(const LibStringW* self, wchar_t* buffer, int bufferChars,
                                      ...);

/* One language string, held as a LocalAlloc copy (or none). */
#ifdef __cplusplus
class LibStringW {
  public:
#ifdef KWILL_MSVC_ABI
    /* No string. */
    KWILL_MEMBER(1840) LibStringW();
    /* Init(number). */
    KWILL_MEMBER(1841) explicit LibStringW(int number);
    /* Releases the string. */
    KWILL_MEMBER(1843) void FreeString();
    /* The string, or "" when none is held. */
    KWILL_MEMBER(1844) const wchar_t* GetString() const;
    /* A copy of length characters of text (0: up to the terminator); null text leaves none.
     * Returns whether a string is held. */
    KWILL_MEMBER(1845) bool SetString(const wchar_t* text, int length);
    /* Language string `number`: the host's own translation first, then the current language;
     * "" when there is none. */
    KWILL_MEMBER(1846) const wchar_t* Init(int number);
    /* FormatMessageW(FORMAT_MESSAGE_FROM_STRING) of the string with the arguments; the
     * characters written, 0 (buffer untouched) without a string. */
    KWILL_MEMBER(1847) int FormatMsg(wchar_t* buffer, int bufferChars, ...);
#else
    LibStringW() { KwillLibStringConstruct(this); }
    explicit LibStringW(int number) { KwillLibStringConstructNumber(this, number); }
    void FreeString() { KwillLibStringFree(this); }
    const wchar_t* GetString() const { return KwillLibStringGet(this); }
    bool SetString(const wchar_t* text, int length) {
        return KwillLibStringSet(this, text, length) != 0;
    }
    const wchar_t* Init(int number) { return KwillLibStringInit(this, number); }
    int FormatMsg(wchar_t* buffer, int bufferChars, ...) {
        va_list args;
        va_start(args, bufferChars);
        DWORD n = 0;
        if (text_ && buffer && bufferChars > 0) {
            n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING, text_, 0, 0, buffer,
                               (DWORD)bufferChars, &args);
        }
        va_end(args);
        return (int)n;
    }
#endif
    /* The destructor releases the string through the flat function, for every compiler. An
     * object owns its string: copy the text, not the object. */
    ~LibStringW() { KwillLibStringFree(this); }

  private:
    wchar_t* text_;
};
#else
struct LibStringW {
    wchar_t* text_;
};
#endif

#endif /* KWILLLIB_HOSTLINK_H */
