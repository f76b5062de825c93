// Shell folders for ID lists, display-name conversion and classification of items by their
// class GUID. These call the real shell (shell32); lists are absolute, from the desktop.
#pragma once

#include "frame/platform.h"

#include <shlobj.h>

#include <cstdint>

namespace kwill::shellns {

// The folder that the list names, bound from the desktop. With `attributes`, the shell's
// attributes of the list's last item for that mask are stored there first (0 when the shell
// cannot tell). `out` is written only on success. The caller's list is never modified.
HRESULT BindToFolder(const uint8_t* list, IShellFolder** out, SFGAOF* attributes);

// The folder that holds the list's last item, and in `last` a pointer to that item inside the
// list; the desktop (and a null item) for an empty list. Null on failure.
IShellFolder* BindToParentFolder(const uint8_t* list, const uint8_t** last);

// Converts a display name the shell returned into the buffer, truncated and terminated to fit.
// A STRRET_WSTR text is freed, whatever else happens.
void ConvertStrRet(STRRET* value, const uint8_t* list, wchar_t* buffer, uint32_t chars);

// {D2FCA36D-93CD-46F2-8324-6308F6E31B53}: the file-collection namespace.
inline constexpr GUID kCollectionClsid = {
    0xD2FCA36D, 0x93CD, 0x46F2, {0x83, 0x24, 0x63, 0x08, 0xF6, 0xE3, 0x1B, 0x53}};

// One of the control-panel folders, or a class that registers a control-panel category.
bool IsControlPanelClsid(const GUID* clsid);
bool IsControlPanelItem(const uint8_t* item);
bool IsCollectionItem(const uint8_t* item);

}  // namespace kwill::shellns
