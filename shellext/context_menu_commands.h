// The context menu's commands: one row per command kind (its verb, menu and help texts, and what
// invoking it does), the text verbs the menu accepts, and the map from command identifiers to
// kinds that each menu build fills. Plain tables and functions, so the menu object stays a thin
// walk over them.
#pragma once

#include "frame/platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kwill::shellext {

enum class MenuAction {
    NewLister,              // post "kwillmsg.NewLister" (2, 0)
    Prefs,                  // post "kwillmsg.Prefs" (0, invoking window)
    Archive,                // the archive command block
    Layout,                 // send a layout's relative name, dwData 12
    RemoveCollectionsIcon,  // post "kwillmsg.RemoveCollectionsIcon", or clear it without a host
    OpenFolder,             // hand a folder to the host
};

// Which archive format list a kind takes its format from.
enum class FormatList { None, General, Named, Email };

struct MenuCommand {
    uint32_t kind;
    const wchar_t* verb;  // null: the kind has no verb
    bool verbTakesExtension;
    int text;  // language string number; 0: none
    int help;  // likewise
    bool helpTakesExtension;
    MenuAction action;
    FormatList list;
};

inline constexpr uint32_t kKindNewLister = 0;
inline constexpr uint32_t kKindPrefs = 1;
inline constexpr uint32_t kKindExtractHere = 2;
inline constexpr uint32_t kKindExtractTo = 3;
inline constexpr uint32_t kKindExtractSub = 4;
inline constexpr uint32_t kKindDropExtractSub = 5;
inline constexpr uint32_t kKindAddTo = 6;
inline constexpr uint32_t kKindAddToName = 7;
inline constexpr uint32_t kKindZipAndMail = 8;
inline constexpr uint32_t kKindLayout = 12;
inline constexpr uint32_t kKindRemoveCollectionsIcon = 13;
inline constexpr uint32_t kKindConvert = 14;
inline constexpr uint32_t kKindDropConvert = 15;
inline constexpr uint32_t kKindDropExtractHere = 16;
inline constexpr uint32_t kKindOpen = 17;
inline constexpr uint32_t kKindAddToFolderName = 18;

// The row of a kind; null for kinds that do not exist (9 to 11, above 18).
const MenuCommand* FindMenuCommand(uint32_t kind);

// The kind of a text verb as InvokeCommand accepts it (ignoring case); nothing when unknown.
std::optional<uint32_t> FindTextVerb(std::wstring_view verb);
std::optional<uint32_t> FindTextVerbA(std::string_view verb);

// The verb GetCommandString reports: the table's verb, followed by the extension for the kinds
// that carry one. Empty for kinds without a verb.
std::wstring CommandVerb(const MenuCommand& command, std::wstring_view extension);

// The help text: the language string of the row, formatted with the extension where the row
// takes one; empty for kinds without help. At most 256 characters.
std::wstring CommandHelp(const MenuCommand& command, std::wstring_view extension);

// Equality of two names ignoring case (ordinal, as file names compare).
bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b);

// A language string by number (LibStringW: the host's overlay, then the current language); the
// built-in English text when there is no language to ask or it has no such string.
std::wstring MenuText(int number);

// Puts arguments into a menu text: "%1" to "%9" (also with the type "!s!", "!ls!" or "!ws!") take
// the argument of that number, each "%s" the next argument in turn, "%%" is a percent sign, and
// any other "%" stays as it is. A missing argument is empty: whatever a translation holds, the
// formatter never reads past the arguments given.
std::wstring FormatMenuText(std::wstring_view pattern,
                            std::initializer_list<std::wstring_view> args);

// How many inserts a menu text has (as FormatMenuText counts them).
size_t CountMenuTextInserts(std::wstring_view pattern);

// Copies a GetCommandString result into the caller's buffer of cchMax characters (wide) or bytes
// (ANSI, converted from the system code page): cut to fit and always terminated. A buffer of no
// size, or a null one, takes nothing and gives E_INVALIDARG.
HRESULT CopyCommandString(std::wstring_view text, bool wide, void* buffer, UINT cchMax);

// One command identifier of a built menu.
struct MenuCommandEntry {
    UINT offset;
    uint32_t kind;
    uint32_t format;  // index into the kind's format list
};

// The identifiers of one QueryContextMenu: cleared at the start of each build.
class MenuCommandMap {
  public:
    void Clear() {
        entries_.clear();
        counter_ = 0;
    }
    UINT Counter() const { return counter_; }
    void Advance() { ++counter_; }
    void Add(uint32_t kind, uint32_t format) { entries_.push_back({counter_, kind, format}); }
    const MenuCommandEntry* Find(UINT offset) const {
        for (const MenuCommandEntry& entry : entries_)
            if (entry.offset == offset) return &entry;
        return nullptr;
    }
    const std::vector<MenuCommandEntry>& Entries() const { return entries_; }

  private:
    std::vector<MenuCommandEntry> entries_;
    UINT counter_ = 0;
};

}  // namespace kwill::shellext
