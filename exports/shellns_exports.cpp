// ID-list and shell-folder exports. Lists are CoTaskMemAlloc blocks; every list returned as new
// belongs to the caller, who frees it with PIDLFree. Lists come without a size, so they are
// trusted up to their terminator; an item whose cb is below 2 is taken as the end of the list.
#include "exports/export.h"
#include "shellns/id_list.h"
#include "shellns/id_list_memory.h"
#include "shellns/id_list_text.h"
#include "shellns/shell_folder.h"

#include <shlobj.h>

#include <cstring>
#include <new>

namespace ns = kwill::shellns;

namespace {

const uint8_t* Bytes(LPCITEMIDLIST list) {
    return reinterpret_cast<const uint8_t*>(list);
}
uint8_t* Bytes(LPITEMIDLIST list) {
    return reinterpret_cast<uint8_t*>(list);
}
LPITEMIDLIST Pidl(const uint8_t* list) {
    return reinterpret_cast<LPITEMIDLIST>(const_cast<uint8_t*>(list));
}

}  // namespace

// ---- walking and measuring

// The item after this one (possibly the terminator); null for null or the terminator itself.
KWILL_EXPORT LPITEMIDLIST PIDLNext(LPCITEMIDLIST item) {
    return Pidl(ns::NextItem(Bytes(item)));
}

// Size in bytes including the terminator; 2 for a null list.
KWILL_EXPORT DWORD ILSize(LPCITEMIDLIST list) {
    return static_cast<DWORD>(ns::ListSize(Bytes(list)));
}

// Number of items; 0 for a null or empty list.
KWILL_EXPORT DWORD ILGetCount(LPCITEMIDLIST list) {
    return static_cast<DWORD>(ns::ItemCount(Bytes(list)));
}

// The last item inside the list; null for a null or empty list.
KWILL_EXPORT LPITEMIDLIST ILFindLast(LPCITEMIDLIST list) {
    return Pidl(ns::LastItem(Bytes(list)));
}

// ---- memory

// A task-memory block of `size` bytes, contents undefined; freed with PIDLFree.
KWILL_EXPORT void* PIDLAlloc(DWORD size) {
    return ns::AllocList(size);
}

// Frees a list that this library (or the shell) allocated; null is allowed.
KWILL_EXPORT void PIDLFree(LPITEMIDLIST list) {
    ns::FreeList(list);
}

// A new list of the first `count` items and a terminator. 0xFFFFFFFF copies every item (at most
// 999,999); 0 gives an empty list. Null for a null list or when memory runs out.
KWILL_EXPORT LPITEMIDLIST PIDLCopy(LPCITEMIDLIST list, DWORD count) {
    return Pidl(ns::CopyItems(Bytes(list), count));
}

// The same as PIDLCopy.
KWILL_EXPORT LPITEMIDLIST ILCopy(LPCITEMIDLIST list, DWORD count) {
    return Pidl(ns::CopyItems(Bytes(list), count));
}

// ---- cutting in place

// Cuts off the last item by zeroing its cb. Returns that cb (0, nothing changed, for a null or
// empty list) and, when `item` is given, the cut item. Undo with ILRestoreChild before the list
// is freed or passed on whole.
KWILL_EXPORT WORD ILStripChild(LPITEMIDLIST list, LPITEMIDLIST* item) {
    uint8_t* last = nullptr;
    WORD cb = ns::StripLast(Bytes(list), &last);
    if (item) *item = Pidl(last);
    return cb;
}

// Writes `cb` over the list's first zero cb, undoing ILStripChild.
KWILL_EXPORT void ILRestoreChild(LPITEMIDLIST list, WORD cb) {
    ns::RestoreAtEnd(Bytes(list), cb);
}

// Cuts the list after its first item. Returns the cb that stood at the second position, 0 (and
// nothing changed) when the list has one item, is empty or null.
KWILL_EXPORT WORD ILGetFirst(LPITEMIDLIST list) {
    return ns::CutAfterFirst(Bytes(list));
}

// Writes `cb` back at the second position, undoing ILGetFirst; nothing happens for 0.
KWILL_EXPORT void ILRestoreFirst(LPITEMIDLIST list, WORD cb) {
    ns::RestoreAfterFirst(Bytes(list), cb);
}

// ---- last item, joining, comparing

// The last item: a pointer into the list when `copy` is 0, else a new one-item list. Null for a
// null or empty list (or when memory runs out).
KWILL_EXPORT LPITEMIDLIST ILGetLast(LPCITEMIDLIST list, BOOL copy) {
    const uint8_t* last = ns::LastItem(Bytes(list));
    if (!last || !copy) return Pidl(last);
    return Pidl(ns::CopyItems(last, ns::kAllItems));
}

// A new list: `first` then `second`, or `second` then `first` when `prepend` is nonzero. A copy
// of the other list when one is null; null when both are null or memory runs out.
KWILL_EXPORT LPITEMIDLIST ILAppend(LPCITEMIDLIST first, LPCITEMIDLIST second, BOOL prepend) {
    if (!first && !second) return nullptr;
    if (prepend) std::swap(first, second);
    return Pidl(ns::JoinLists(Bytes(first), Bytes(second)));
}

// Are the lists byte for byte equal over their first `count` items (0: all items)? Two null lists
// are equal. The shell is not asked, so two forms of the same object compare unequal.
KWILL_EXPORT BOOL ILCompare(LPCITEMIDLIST a, LPCITEMIDLIST b, DWORD count) {
    return ns::ListsEqual(Bytes(a), Bytes(b), count) ? TRUE : FALSE;
}

// ---- class GUIDs

// Stores the item's class GUID when it is a class item (root folders, control panel, delegate
// folders); FALSE otherwise or when `guid` is null.
KWILL_EXPORT BOOL PIDLGetGUID(LPCITEMIDLIST item, GUID* guid) {
    std::optional<ns::Guid> found = ns::ItemClassGuid(Bytes(item));
    if (!found || !guid) return FALSE;
    std::memcpy(guid, found->data(), sizeof(GUID));
    return TRUE;
}

// Is the item a class item of this class?
KWILL_EXPORT BOOL PIDLCheckCLSID(LPCITEMIDLIST item, const GUID* clsid) {
    std::optional<ns::Guid> found = ns::ItemClassGuid(Bytes(item));
    return found && clsid && std::memcmp(found->data(), clsid, sizeof(GUID)) == 0;
}

// Both GUIDs present and equal.
KWILL_EXPORT BOOL GUIDSame(const GUID* a, const GUID* b) {
    return a && b && std::memcmp(a, b, sizeof(GUID)) == 0;
}

// ---- text forms

// Writes the list's text ("?" and Base64 of the tag header and the list) into the buffer and
// returns 0. When the buffer is null or has fewer than the required characters (terminating zero
// included), writes nothing and returns the required count. A null list is written as empty.
KWILL_EXPORT DWORD PIDLToString(LPCITEMIDLIST list, wchar_t* buffer, DWORD chars, WORD tag) {
    size_t required = ns::TextChars(ns::ListSize(Bytes(list)));
    if (!buffer || chars < required) return static_cast<DWORD>(required);
    ns::WriteListText(Bytes(list), tag, buffer);
    return 0;
}

// A new list from either text form ("?" Base64, or "[" hexadecimal, read only) and its tag;
// null for any text that is not a well-formed list. The tag is stored only on success.
KWILL_EXPORT LPITEMIDLIST PIDLFromString(const wchar_t* text, WORD* tag) {
    try {
        std::optional<ns::ParsedList> parsed = ns::ParseText(text);
        if (!parsed) return nullptr;
        uint8_t* list = ns::CopyBlock(parsed->bytes);
        if (list && tag) *tag = parsed->tag;
        return Pidl(list);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// ---- shell folders

// The IShellFolder of the folder that the absolute list names; the desktop for an empty list.
// With `attributes`, that mask is replaced by the shell's attributes of the last item (0 when
// the shell cannot tell; left alone for an empty list). E_INVALIDARG for a null list or out
// pointer; `folder` is written only on success.
KWILL_EXPORT HRESULT BindToShellFolder(LPCITEMIDLIST list, IShellFolder** folder,
                                       SFGAOF* attributes) {
    return ns::BindToFolder(Bytes(list), folder, attributes);
}

// BindToShellFolder without the HRESULT: the folder (caller releases) or null.
KWILL_EXPORT IShellFolder* GetShellFolder(LPCITEMIDLIST list, SFGAOF* attributes) {
    IShellFolder* folder = nullptr;
    if (FAILED(ns::BindToFolder(Bytes(list), &folder, attributes))) return nullptr;
    return folder;
}

// The folder that holds the list's last item (caller releases), and in `last` a pointer to that
// item inside the list. The desktop with a null item for an empty list; null on failure.
KWILL_EXPORT IShellFolder* ILBindToParent(LPCITEMIDLIST list, LPCITEMIDLIST* last) {
    const uint8_t* item = nullptr;
    IShellFolder* folder = ns::BindToParentFolder(Bytes(list), &item);
    if (last) *last = Pidl(item);
    return folder;
}

// The list without its last item: the same list cut in place when `copy` is 0, else a new
// list. Null for a null or empty list or when memory runs out.
KWILL_EXPORT LPITEMIDLIST ILGetParent(LPITEMIDLIST list, BOOL copy) {
    uint8_t* bytes = Bytes(list);
    const uint8_t* last = ns::LastItem(bytes);
    if (!last) return nullptr;
    if (copy) return Pidl(ns::CopyLeading(bytes, ns::ParentBytes(bytes)));
    ns::WriteCb(bytes + (last - bytes), 0);
    return list;
}

// Converts a display name from IShellFolder::GetDisplayNameOf into the buffer (`chars` with the
// terminating zero), truncated to fit. `list` is the item the name belongs to, where a
// STRRET_OFFSET text lives. A STRRET_WSTR text is freed in every case, also without a buffer.
KWILL_EXPORT void ConvertSTRRET(STRRET* value, LPCITEMIDLIST list, wchar_t* buffer, DWORD chars) {
    try {
        ns::ConvertStrRet(value, Bytes(list), buffer, chars);
    } catch (const std::bad_alloc&) {
        if (buffer && chars) buffer[0] = L'\0';
    }
}

// ---- classification

// Is the item one of the control-panel folders (or a class registered with a control-panel
// category)?
KWILL_EXPORT BOOL PIDLIsControlPanel(LPCITEMIDLIST item) {
    try {
        return ns::IsControlPanelItem(Bytes(item)) ? TRUE : FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

// Is the item the root of the library's file-collection namespace?
KWILL_EXPORT BOOL PIDLIsCollection(LPCITEMIDLIST item) {
    return ns::IsCollectionItem(Bytes(item)) ? TRUE : FALSE;
}

// TRUE for the three control-panel folder classes, and for any class whose HKCR\CLSID key has a
// nonempty "System.ControlPanel.Category" value (string or number).
KWILL_EXPORT BOOL IsControlPanelCLSID(const GUID* clsid) {
    try {
        return ns::IsControlPanelClsid(clsid) ? TRUE : FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}
