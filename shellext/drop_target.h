// KwillDropTarget: files dropped in the shell onto a zip archive, or onto an Internet shortcut to
// an FTP site, go to the host, which copies or moves them there.
#pragma once

#include <unknwn.h>

namespace kwill::shellext {

// The class factory's create function.
IUnknown* CreateDropTarget();

// The drop menu's commands (menu resource 105, its first submenu "Zip").
inline constexpr unsigned kDropMenuResource = 105;
inline constexpr unsigned kDropCopyHere = 40001;
inline constexpr unsigned kDropMoveHere = 40002;
inline constexpr unsigned kDropCancel = 40003;

}  // namespace kwill::shellext
