/* kwilllib: data transfer and window utilities (exports/kwilllib.def headings "utilities: ...").
 * Data objects, scroll bars, file stream snapshots and program launch. */
#ifndef KWILLLIB_UTIL_H
#define KWILLLIB_UTIL_H

#include "base.h"

/* A snapshot of a file's alternate data streams; its layout is the library's own. */
typedef struct FileStreamSet FileStreamSet;

/* ---- utilities: data objects, scroll bars, streams */

/* Fetches a format of a data object as a global block (TYMED_HGLOBAL, DVASPECT_CONTENT, index
 * -1) that the caller frees with GlobalFree. CF_HDROP comes back copied with two zero bytes
 * more, so that its file list always ends; a medium with a release object is copied and the
 * object released once; other blocks are handed over as they came. GetData's failure is
 * returned with *out untouched; DV_E_TYMED (another medium), DV_E_STGMEDIUM (no block),
 * E_OUTOFMEMORY, E_INVALIDARG (null object) and E_POINTER (null out) leave *out null or alone. */
KWILL_API(2020)
HRESULT KWILLCALL GetDataObjectOnHGlobalHRes(HGLOBAL* out, IDataObject* object, CLIPFORMAT format,
                                             DVTARGETDEVICE* device);
/* The block of GetDataObjectOnHGlobalHRes, or null. */
KWILL_API(2021)
HGLOBAL KWILLCALL GetDataObjectOnHGlobal(IDataObject* object, CLIPFORMAT format,
                                         DVTARGETDEVICE* device);
/* A number at the start of a format's block; *found (may be null) says whether the block held
 * it (4 bytes, 8 bytes, and for DWORD_PTR 8 bytes or else 4 zero-extended). 0 when not. */
KWILL_API(2022)
DWORD KWILLCALL GetDWORDFromDataObjectOnHGlobal(IDataObject* object, CLIPFORMAT format,
                                                DWORD* found);
KWILL_API(2023)
DWORD_PTR KWILLCALL GetDWORD_PTRFromDataObjectOnHGlobal(IDataObject* object, CLIPFORMAT format,
                                                        DWORD* found);
KWILL_API(2024)
DWORDLONG KWILLCALL GetDWORDLONGFromDataObjectOnHGlobal(IDataObject* object, CLIPFORMAT format,
                                                        DWORD* found);
/* One byte per character, the terminator included: the character's low byte XOR
 * ((k + 3) AND 0xFF). out must hold the length + 1 bytes. Returns the bytes written, 0 for a
 * null pointer. */
KWILL_API(40) int KWILLCALL ScrambleString(const wchar_t* text, BYTE* out);
/* The text back as a LocalAlloc string (LocalFree), at most maxChars characters (-1: up to the
 * stored terminator). Null for a null block or when there is no memory. */
KWILL_API(41) wchar_t* KWILLCALL UnscrambleString(const BYTE* bytes, int maxChars);
/* Writes what a data object offers, and the shell formats decoded, to the debug output. */
KWILL_API(123) void KWILLCALL DumpDataObject(IDataObject* object);
/* Writes a block's size, first numbers and bytes (hexadecimal and characters, up to maxShow
 * bytes; 0: all) to the debug output. */
KWILL_API(124) void KWILLCALL DumpDataBlock(const void* data, size_t size, size_t maxShow);

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
