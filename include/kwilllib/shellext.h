/* kwilllib: the shell extensions (exports/kwilllib.def headings "shell extensions: ...").
 * The COM server and the identifiers of its classes. */
#ifndef KWILLLIB_SHELLEXT_H
#define KWILLLIB_SHELLEXT_H

#include "base.h"

/* ---- shell extensions: COM server */

#endif /* KWILLLIB_SHELLEXT_H */
