// Which items the folder context menu offers for a selection: a plain function over the
// preference flags and the selected names, so that every combination is testable without a
// shell. The menu object then inserts the planned items one by one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kwill::shellext {

struct ArchiveFormat {
    std::wstring extension;  // ".zip"; a dot is put in front where the list has none
    std::wstring description;
};

// The preference flags the menu reads.
struct MenuFlags {
    uint64_t settings1 = 0;
    uint64_t settings4 = 0;
    uint32_t archiveContext = 0;
    std::vector<ArchiveFormat> general;
    std::vector<ArchiveFormat> named;
    std::vector<ArchiveFormat> email;
};

inline constexpr uint32_t kContextExtract = 0x2;
inline constexpr uint32_t kContextConvert = 0x4;
inline constexpr uint32_t kContextSubmenu = 0x8;
inline constexpr uint32_t kContextEnabled = 0x10;
inline constexpr uint32_t kContextBitmap = 0x20;
inline constexpr uint32_t kContextDisabled = 0x40000000;
inline constexpr uint64_t kSettings1DesktopMenu = 0x10000;
inline constexpr uint64_t kSettings1OpenFolders = 0x80;
inline constexpr uint64_t kSettings4FlatLayouts = 0x80000000ull;

// "zip" and ".zip" both give ".zip"; empty stays empty.
std::wstring DottedExtension(std::wstring_view extension);

// The extension of the format at an index of a kind's list; empty when there is none.
std::wstring FormatExtension(const MenuFlags& flags, uint32_t kind, uint32_t format);

// True when the name's extension is one of the archive formats of the lists.
bool IsArchiveName(const MenuFlags& flags, std::wstring_view name);

struct PlannedItem {
    uint32_t kind;
    uint32_t format;
    std::wstring text;
};

struct MenuPlan {
    bool submenu = false;  // the items go in a submenu titled by text 20022
    std::vector<PlannedItem> items;
};

// The archive items for the dropped or selected names. dragDrop: a drag-and-drop menu (the
// target folder is known); verbsOnly: CMF_VERBSONLY, which keeps the items out of a submenu.
MenuPlan PlanArchiveMenu(const MenuFlags& flags, const std::vector<std::wstring>& names,
                         bool dragDrop, bool verbsOnly);

}  // namespace kwill::shellext
