/* kwilllib: the shell namespace (exports/kwilllib.def headings "shell namespace: ...").
 * Item ID lists, their text forms, shell folders and display names.
 *
 * Lists are task-memory blocks: every list returned as new belongs to the caller, who frees it
 * with PIDLFree. Lists come without a size, so they are trusted up to their terminator; an
 * item whose cb is below 2 ends the list. */
#ifndef KWILLLIB_SHELLNS_H
#define KWILLLIB_SHELLNS_H

#include "base.h"

/* ---- shell namespace: ID lists and shell folders */

/* Whether the item is one of the control-panel folders (or of a class registered with a
 * control-panel category). */
KWILL_API(120) BOOL KWILLCALL PIDLIsControlPanel(LPCITEMIDLIST item);
/* Whether the item is the root of the library's file-collection namespace. */
KWILL_API(165) BOOL KWILLCALL PIDLIsCollection(LPCITEMIDLIST item);
/* TRUE for the control-panel folder classes and any class with a control-panel category. */
KWILL_API(170) BOOL KWILLCALL IsControlPanelCLSID(const GUID* clsid);

/* The item after this one (possibly the terminator); null for null or the terminator. */
KWILL_API(1600) LPITEMIDLIST KWILLCALL PIDLNext(LPCITEMIDLIST item);
/* Size in bytes including the terminator; 2 for a null list. */
KWILL_API(1601) DWORD KWILLCALL ILSize(LPCITEMIDLIST list);
/* Number of items; 0 for a null or empty list. */
KWILL_API(1602) DWORD KWILLCALL ILGetCount(LPCITEMIDLIST list);
/* The last item inside the list; null for a null or empty list. */
KWILL_API(1603) LPITEMIDLIST KWILLCALL ILFindLast(LPCITEMIDLIST list);
/* A task-memory block of size bytes, freed with PIDLFree. */
KWILL_API(1604) void* KWILLCALL PIDLAlloc(DWORD size);
/* Frees a list that this library or the shell allocated; null is allowed. */
KWILL_API(1605) void KWILLCALL PIDLFree(LPITEMIDLIST list);
/* A new list of the first count items (0xFFFFFFFF: all); null on failure. ILCopy is the same. */
KWILL_API(1606) LPITEMIDLIST KWILLCALL PIDLCopy(LPCITEMIDLIST list, DWORD count);
KWILL_API(1607) LPITEMIDLIST KWILLCALL ILCopy(LPCITEMIDLIST list, DWORD count);
/* Cuts off the last item in place; returns its cb (undo with ILRestoreChild before the list is
 * freed or passed on) and, when item is given, the cut item. */
KWILL_API(1608) WORD KWILLCALL ILStripChild(LPITEMIDLIST list, LPITEMIDLIST* item);
KWILL_API(1609) void KWILLCALL ILRestoreChild(LPITEMIDLIST list, WORD cb);
/* Cuts the list after its first item; returns the cb to give ILRestoreFirst (0: unchanged). */
KWILL_API(1610) WORD KWILLCALL ILGetFirst(LPITEMIDLIST list);
KWILL_API(1611) void KWILLCALL ILRestoreFirst(LPITEMIDLIST list, WORD cb);
/* The last item: inside the list when copy is 0, else a new one-item list. */
KWILL_API(1612) LPITEMIDLIST KWILLCALL ILGetLast(LPCITEMIDLIST list, BOOL copy);
/* A new list: first then second (second then first when prepend is non-zero). */
KWILL_API(1613)
LPITEMIDLIST KWILLCALL ILAppend(LPCITEMIDLIST first, LPCITEMIDLIST second, BOOL prepend);
/* Byte-for-byte equality over the first count items (0: all). */
KWILL_API(1614) BOOL KWILLCALL ILCompare(LPCITEMIDLIST a, LPCITEMIDLIST b, DWORD count);
/* The class GUID of a class item (root folders, control panel, delegate folders). */
KWILL_API(1615) BOOL KWILLCALL PIDLGetGUID(LPCITEMIDLIST item, GUID* guid);
KWILL_API(1616) BOOL KWILLCALL PIDLCheckCLSID(LPCITEMIDLIST item, const GUID* clsid);
KWILL_API(1617) BOOL KWILLCALL GUIDSame(const GUID* a, const GUID* b);
/* Writes the list's "?" text form with its tag and returns 0; when buffer is null or shorter
 * than needed (terminator included) writes nothing and returns the characters needed. */
KWILL_API(1618)
DWORD KWILLCALL PIDLToString(LPCITEMIDLIST list, wchar_t* buffer, DWORD chars, WORD tag);
/* A new list from a text form ("?" Base64 or "[" hexadecimal) and its tag; null when the text
 * is not a well-formed list. */
KWILL_API(1619) LPITEMIDLIST KWILLCALL PIDLFromString(const wchar_t* text, WORD* tag);
/* The IShellFolder of the folder the absolute list names (the desktop for an empty list); with
 * attributes, the shell's attributes of the last item. The caller releases the folder. */
KWILL_API(1620)
HRESULT KWILLCALL BindToShellFolder(LPCITEMIDLIST list, IShellFolder** folder, SFGAOF* attributes);
KWILL_API(1621) IShellFolder* KWILLCALL GetShellFolder(LPCITEMIDLIST list, SFGAOF* attributes);
/* The folder that holds the last item (caller releases), and in *last that item. */
KWILL_API(1622) IShellFolder* KWILLCALL ILBindToParent(LPCITEMIDLIST list, LPCITEMIDLIST* last);
/* The list without its last item: cut in place when copy is 0, else a new list. */
KWILL_API(1623) LPITEMIDLIST KWILLCALL ILGetParent(LPITEMIDLIST list, BOOL copy);
/* A display name from IShellFolder::GetDisplayNameOf into the buffer (chars with the
 * terminator); list is the item a STRRET_OFFSET text lives in. A STRRET_WSTR text is freed. */
KWILL_API(1624)
void KWILLCALL ConvertSTRRET(STRRET* value, LPCITEMIDLIST list, wchar_t* buffer, DWORD chars);

#endif /* KWILLLIB_SHELLNS_H */
