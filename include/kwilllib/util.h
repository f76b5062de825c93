/* kwilllib: data transfer and window utilities (exports/kwilllib.def headings "utilities: ...").
 * Data objects, scroll bars, file stream snapshots and program launch. */
#ifndef KWILLLIB_UTIL_H
#define KWILLLIB_UTIL_H

#include "base.h"

/* A snapshot of a file's alternate data streams; its layout is the library's own. */
typedef struct FileStreamSet FileStreamSet;

/* ---- utilities: data objects, scroll bars, streams */

/* Sets both of a window's standard bars for content of the given size (pixels) and returns the
 * bars the content needs (0, WS_HSCROLL, WS_VSCROLL or both; the caller applies the styles).
 * WM_SIZE messages are held back while the bars change. 0 for a bad window. */
KWILL_API(2000)
DWORD KWILLCALL AutoUpdateWindowScrollbars(HWND window, int contentWidth, int contentHeight);
/* Sets both bars from ranges and pages, allowing for the room each shown bar takes from the
 * other direction. rangeX and rangeY are in/out; pageX -1 takes both pages from the client
 * area; a non-zero limit caps a range that grew. */
KWILL_API(2001)
void KWILLCALL UpdateWindowScrollbars(HWND window, int* rangeX, int* rangeY, int pageX, int pageY,
                                      int limitX, int limitY);
/* Paints the square where the two bars meet in the button face colour. */
KWILL_API(2002) void KWILLCALL RepaintSliderSquare(HWND window);

/* Reads every alternate data stream of the file into a new set (free it with FreeFileStreams);
 * null when there is none that could be read. RestoreFileStreams writes them onto a file. */
KWILL_API_NONAME(146) FileStreamSet* KWILLCALL SnapshotFileStreams(const wchar_t* path);
KWILL_API_NONAME(147)
void KWILLCALL RestoreFileStreams(const FileStreamSet* set, const wchar_t* path);
KWILL_API_NONAME(148) void KWILLCALL FreeFileStreams(FileStreamSet* set);
/* Starts the program detached from the caller's console with the arguments; *outProcess (may
 * be null) receives the process handle, which the caller closes. */
KWILL_API_NONAME(181)
BOOL KWILLCALL LaunchProgram(const wchar_t* program, const wchar_t* arguments, HANDLE* outProcess);

#endif /* KWILLLIB_UTIL_H */
