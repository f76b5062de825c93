/* kwilllib: data transfer and window utilities (exports/kwilllib.def headings "utilities: ...").
 * Data objects, scroll bars, file stream snapshots and program launch. */
#ifndef KWILLLIB_UTIL_H
#define KWILLLIB_UTIL_H

#include "base.h"

/* ---- utilities: data objects, scroll bars, streams */

#endif /* KWILLLIB_UTIL_H */
