// KwillContextMenu: the file manager's commands in the shell's context menus. The folder menu
// offers archive commands for the selected files, the desktop menu a new lister, the preferences
// and the saved lister layouts. The host carries out every command.
#pragma once

#include "frame/platform.h"

#include <objidl.h>
#include <shtypes.h>
#include <unknwn.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kwill::shellext {

// The class factory's create functions, one per registered class.
IUnknown* CreateFolderContextMenu();
IUnknown* CreateDesktopContextMenu();

// The parsing name of the file-collection item on the desktop.
inline constexpr wchar_t kCollectionItemName[] = L"::{D2FCA36D-93CD-46F2-8324-6308F6E31B53}";

// The item lists of a "Shell IDList Array" block, checked against the block's size: the
// parent's list and each item's, or nothing at all when any offset or list runs outside.
struct CheckedIdLists {
    const ITEMIDLIST* parent = nullptr;
    std::vector<const ITEMIDLIST*> items;
};
bool ReadIdListArray(std::span<const uint8_t> block, CheckedIdLists* out);

}  // namespace kwill::shellext
