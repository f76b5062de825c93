/* kwilllib public headers: what every family header shares.
 *
 * A program links against kwilllib.dll through an import library: libkwilllib.dll.a for
 * mingw-w64, kwilllib.lib for Microsoft's linker. Include <kwilllib.h> for everything, or one
 * family header from this folder. The headers compile as C (the flat functions) and as C++ (the
 * flat functions and the exported classes).
 *
 * How every declaration is written:
 *   KWILL_API(n)         exported by name, with the fixed ordinal n
 *   KWILL_API_NONAME(n)  exported by ordinal n only; the import libraries bind the name to the
 *                        ordinal, so a caller still calls it by this name
 *   KWILL_MEMBER(n)      a member function of an exported class, imported under its decorated
 *                        name (ordinal n) by compilers of Microsoft's C++ ABI
 * The test "exports_headers" holds every declaration against exports/kwilllib.def: each export
 * is declared once, in the header of its family, with its ordinal, and nothing else is.
 *
 * Calling convention: every function uses the one x64 convention (KWILLCALL says __cdecl, which
 * is what it means on x64); the library exists only as a 64-bit DLL.
 *
 * Ownership: handles that the library creates (patterns, searches, regular expressions) belong
 * to the caller until passed to their free function. Buffers the library allocates for a caller
 * are LocalAlloc blocks, released with LocalFree. ID lists are task-memory blocks, released with
 * PIDLFree. Caller buffers come with their size in characters (in bytes for 8-bit text), and
 * results are cut and terminated to fit.
 */
#ifndef KWILLLIB_BASE_H
#define KWILLLIB_BASE_H

#if !defined(_WIN64)
#error "kwilllib.dll is a 64-bit library: build the program for x64"
#endif

#include <stdarg.h>
#include <stddef.h>
#include <windows.h>
#include <shlobj.h>

#define KWILLCALL __cdecl

#ifdef __cplusplus
#define KWILL_EXTERN_C extern "C"
#else
#define KWILL_EXTERN_C extern
#endif

#define KWILL_API(ordinal) KWILL_EXTERN_C __declspec(dllimport)
#define KWILL_API_NONAME(ordinal) KWILL_EXTERN_C __declspec(dllimport)
#define KWILL_MEMBER(ordinal) __declspec(dllimport)

/* The exported classes' members are imported under Microsoft's decorated names by compilers of
 * that C++ ABI (MSVC, clang-cl). mingw-w64 compilers decorate differently, so for them each
 * member is an inline call of the flat function behind the same entry point. */
#if defined(__cplusplus) && !defined(__MINGW32__)
#define KWILL_MSVC_ABI 1
#endif

#endif /* KWILLLIB_BASE_H */
