// The library's icon as a small menu bitmap, shared by the shell extensions' menus.
#pragma once

#include "frame/platform.h"

namespace kwill::shellext {

// A 32-bit bitmap with alpha of the small-icon size; null when it cannot be made. The caller
// deletes it.
HBITMAP MakeMenuBitmap();

// True when menus draw bitmaps in hbmpItem (the application is themed); else they go in the
// check-mark slots.
bool MenuBitmapsThemed();

}  // namespace kwill::shellext
