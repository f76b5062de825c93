/* kwilllib: the shell extensions (exports/kwilllib.def headings "shell extensions: ...").
 * The COM server and the identifiers of its classes. */
#ifndef KWILLLIB_SHELLEXT_H
#define KWILLLIB_SHELLEXT_H

#include "base.h"

/* ---- shell extensions: COM server */

/* The four COM entry points, DllGetClassObject, DllCanUnloadNow, DllRegisterServer and
 * DllUnregisterServer, are exported by name (ordinals 1900 to 1903) with the signatures that
 * <objbase.h> and <olectl.h> declare. Registering writes under HKEY_LOCAL_MACHINE, so it needs
 * an elevated caller; DllRegisterServer and DllUnregisterServer answer SELFREG_E_CLASS when a
 * key cannot be written or deleted. */

/* ---- shell extensions: execute hook diagnosis */

/* What the shell execute hook of this process would do with the request, as text lines
 * ("action: ...", "rule: ...", then "request code:", "path:", "item list:", "select:" for a folder
 * the host would get), without sending anything or changing any flag. Writes it into buffer (chars
 * characters, cut and terminated) and returns its full length; 0 for a null request or a cbSize
 * below sizeof(SHELLEXECUTEINFOW). A null buffer or 0 characters only asks for the length. */
KWILL_API(1950) int KWILLCALL DescribeExecuteHook(const SHELLEXECUTEINFOW* request, wchar_t* buffer,
                                                  int chars);

#endif /* KWILLLIB_SHELLEXT_H */
