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

#endif /* KWILLLIB_SHELLEXT_H */
