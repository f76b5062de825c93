/* kwilllib: the shell extensions (exports/kwilllib.def headings "shell extensions: ...").
 * The COM server and the identifiers of its classes. */
#ifndef KWILLLIB_SHELLEXT_H
#define KWILLLIB_SHELLEXT_H

#include "base.h"

/* The classes of the library's COM server, as DllRegisterServer registers them. As with the
 * Windows SDK's own identifiers, DEFINE_GUID declares them; one source file of the program
 * defines them by including <initguid.h> before this header. */
/* {3CF9ECE0-1A9F-11d2-8C73-00C06C2005DE} the shell execute hook */
DEFINE_GUID(CLSID_KwillShellExecuteHook, 0x3CF9ECE0, 0x1A9F, 0x11d2, 0x8C, 0x73, 0x00, 0xC0, 0x6C,
            0x20, 0x05, 0xDE);
/* {E9FE4040-3C93-11d4-8006-00201860E88A} the context menu of files and folders */
DEFINE_GUID(CLSID_KwillContextMenu, 0xE9FE4040, 0x3C93, 0x11d4, 0x80, 0x06, 0x00, 0x20, 0x18, 0x60,
            0xE8, 0x8A);
/* {B9DD4945-1BED-4cb7-994C-F40B72B7725A} the context menu of the desktop */
DEFINE_GUID(CLSID_KwillDesktopContextMenu, 0xB9DD4945, 0x1BED, 0x4cb7, 0x99, 0x4C, 0xF4, 0x0B, 0x72,
            0xB7, 0x72, 0x5A);
/* {2DF394BA-1955-4a52-900E-303836135F67} the info-tip handler */
DEFINE_GUID(CLSID_KwillQueryInfo, 0x2DF394BA, 0x1955, 0x4a52, 0x90, 0x0E, 0x30, 0x38, 0x36, 0x13,
            0x5F, 0x67);
/* {BBD5F00E-26A6-4fb2-BAE1-31543C0BEA47} the icon handler */
DEFINE_GUID(CLSID_KwillIconHandler, 0xBBD5F00E, 0x26A6, 0x4fb2, 0xBA, 0xE1, 0x31, 0x54, 0x3C, 0x0B,
            0xEA, 0x47);
/* {F85D7E1E-9662-4b38-B1AE-3CF1E9581A3C} the drop target */
DEFINE_GUID(CLSID_KwillDropTarget, 0xF85D7E1E, 0x9662, 0x4b38, 0xB1, 0xAE, 0x3C, 0xF1, 0xE9, 0x58,
            0x1A, 0x3C);
/* {D2FCA36D-93CD-46f2-8324-6308F6E31B53} the file collection namespace extension */
DEFINE_GUID(CLSID_KwillFileCollectionShellExtension, 0xD2FCA36D, 0x93CD, 0x46f2, 0x83, 0x24, 0x63,
            0x08, 0xF6, 0xE3, 0x1B, 0x53);

/* ---- shell extensions: COM server
 * DllGetClassObject, DllCanUnloadNow, DllRegisterServer and DllUnregisterServer keep the
 * signatures that Windows' own headers declare for them; they are not declared again here.
 * They are exported by name (ordinals 1900 to 1903). Registering writes under
 * HKEY_LOCAL_MACHINE, so it needs an elevated caller; DllRegisterServer and DllUnregisterServer
 * answer SELFREG_E_CLASS when a key cannot be written or deleted. */

/* ---- shell extensions: execute hook diagnosis */

/* What the shell execute hook of this process would do with the request, as text lines
 * ("action: ...", "rule: ...", then "request code:", "path:", "item list:", "select:" for a folder
 * the host would get), without sending anything or changing any flag. Writes it into buffer (chars
 * characters, cut and terminated) and returns its full length; 0 for a null request or a cbSize
 * below sizeof(SHELLEXECUTEINFOW). A null buffer or 0 characters only asks for the length. */
KWILL_API(1950) int KWILLCALL DescribeExecuteHook(const SHELLEXECUTEINFOW* request, wchar_t* buffer,
                                                  int chars);

#endif /* KWILLLIB_SHELLEXT_H */
