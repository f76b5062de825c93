// What the icon and info-tip handlers know of the host's own file kinds: the kind bits by
// extension, the layout test and tip text of command files (".kcf"), and the bounded formatting of
// a translated text around one value.
#pragma once

#include "frame/platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kwill::shellext {

enum FileKind : uint32_t {
    kKindCommand = 0x1,          // ".kcf"
    kKindLayoutCommand = 0x2,    // the command file's function loads a lister layout
    kKindButtons = 0x4,          // ".kop"
    kKindFilter = 0x10,          // ".flt"
    kKindSettings = 0x20,        // ".kps"
    kKindFileTypes = 0x40,       // ".kft"
    kKindTheme = 0x80,           // ".klt"
    kKindScriptPackage = 0x100,  // ".tsp"
    kKindScriptInstall = 0x200,  // ".tarnscriptinstall"
};

// The kind bit of an extension (with its dot, any case); 0 for one that is not the host's.
uint32_t FileKindOfExtension(std::wstring_view extension);

inline constexpr size_t kTipChars = 160;          // the longest tip
inline constexpr size_t kCommandTipSource = 120;  // the longest command text put into a tip
inline constexpr size_t kFunctionChars = 80;      // the "Func1" value read for the layout test

// A command file's two texts: "ToolTip" and "Func1" of its "Kwill.ButtonInfo" section, or for the
// XML form the texts of button/tip and button/function/instruction. XML text is UTF-8 when it is
// valid UTF-8, else the ANSI code page.
struct CommandFileText {
    std::wstring tip;
    std::wstring function;
    bool iniForm = false;  // the section had a value
    bool loaded = false;   // the file could be read in one of its forms
};
CommandFileText ReadCommandFile(const wchar_t* path);

// True when a command's function loads a lister layout: "Prefs LAYOUT=" at the start of the INI
// form's function, "Prefs LAYOUT" anywhere in the XML form's instruction, in any case.
bool LoadsLayout(const CommandFileText& text);

// The tip of a command file before formatting: the tooltip, else the function, cut to 120.
std::wstring CommandTipSource(const CommandFileText& text);

// Puts one value into a translated text: the first insert of the value's kind takes it ("%s",
// "%1", "%1!s!" for text; "%d", "%u", "%i", "%lu", "%1", "%1!u!", "%1!d!" for a number), "%%" is
// a percent sign, and every other "%" stays as it is, so a translation can never make the
// formatter read an argument that is not there. The result is cut
// to `limit` characters without splitting a surrogate pair.
std::wstring FormatOneText(std::wstring_view pattern, std::wstring_view value, size_t limit);
std::wstring FormatOneNumber(std::wstring_view pattern, uint32_t value, size_t limit);

// Cuts text to at most `limit` characters, never between the halves of a surrogate pair.
std::wstring CutText(std::wstring text, size_t limit);

}  // namespace kwill::shellext
