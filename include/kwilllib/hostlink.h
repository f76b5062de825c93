/* kwilllib: the host link and configuration (exports/kwilllib.def headings "host link: ...").
 * The host program's window and start-up, configuration folders, favourites, language strings
 * and the class LibStringW, preference flags. */
#ifndef KWILLLIB_HOSTLINK_H
#define KWILLLIB_HOSTLINK_H

#include "base.h"

/* ---- host link: host window and start-up */

/* The host's main window (class "Kwill.ParentWindow"), or null when it is not running. */
KWILL_API(49) HWND KWILLCALL GetHostWindow(void);

/* ---- host link: configuration, favourites, language, preferences */

#endif /* KWILLLIB_HOSTLINK_H */
