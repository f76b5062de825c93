/* kwilllib: the zip archive engine (exports/kwilllib.def headings "zip engine: ...").
 * The info requests of the tip handler, and archive handles for reading and writing. */
#ifndef KWILLLIB_ZIP_H
#define KWILLLIB_ZIP_H

#include "base.h"

/* The engine's result codes; ZipErrorString gives a short English text for each. */
enum {
    KWILL_ZIP_OK = 0,
    KWILL_ZIP_CANNOT_OPEN = 1,
    KWILL_ZIP_READ_FAILED = 2,
    KWILL_ZIP_NOT_ZIP = 3,
    KWILL_ZIP_SPLIT_ARCHIVE = 4,
    KWILL_ZIP_DAMAGED_DIRECTORY = 5,
    KWILL_ZIP_DAMAGED_MEMBER = 6,
    KWILL_ZIP_NOT_FOUND = 7,
    KWILL_ZIP_UNSUPPORTED_METHOD = 8,
    KWILL_ZIP_UNSUPPORTED_ENCRYPTION = 9,
    KWILL_ZIP_PASSWORD_REQUIRED = 10,
    KWILL_ZIP_WRONG_PASSWORD = 11,
    KWILL_ZIP_TOO_LARGE = 12,
    KWILL_ZIP_BAD_DATA = 13,
    KWILL_ZIP_BAD_CRC = 14,
    KWILL_ZIP_OUT_OF_MEMORY = 15,
    KWILL_ZIP_WRITE_FAILED = 16,
    KWILL_ZIP_INVALID_NAME = 17,
    KWILL_ZIP_INVALID_STATE = 18
};

/* The tip handler's request. size must be sizeof(ZipInfoRequestBlock). code 1 counts the
 * entries that are not folders (into count), code 5 returns the archive comment as a LocalAlloc
 * text (freed by the caller with LocalFree). */
typedef struct ZipInfoRequestBlock {
    UINT32 size;
    INT32 code;
    const wchar_t* file;
    UINT32 count;
    wchar_t* text;
    INT32 result;
} ZipInfoRequestBlock;

/* One directory entry of an open archive. */
typedef struct ZipEntryInfo {
    ULONGLONG compressedSize;
    ULONGLONG uncompressedSize;
    UINT32 crc;
    WORD method;
    WORD flags;
    WORD modTime;
    WORD modDate;
    UINT32 externalAttributes;
} ZipEntryInfo;

/* ---- zip engine: info requests, reading and writing archives */

/* Answers the request; the result is also stored in request->result: 0 done, 1 not a zip, 2 a
 * volume of a split set, 3 damaged directory, 4 cannot open, 5 no comment, 6 unknown code, 7
 * out of memory; -1 for a null or too small block. */
KWILL_API(1543) int KWILLCALL ZipInfoRequest(ZipInfoRequestBlock* request);

/* Opens an archive and reads its directory. Returns a handle (close it with ZipCloseArchive), or
 * null with *error (may be null) set. */
KWILL_API(1544) void* KWILLCALL ZipOpenArchive(const wchar_t* path, int* error);
KWILL_API(1545) void KWILLCALL ZipCloseArchive(void* archive);
/* The number of directory entries, or -1 for an invalid handle. */
KWILL_API(1546) int KWILLCALL ZipGetEntryCount(void* archive);
KWILL_API(1547) BOOL KWILLCALL ZipGetEntryInfo(void* archive, UINT32 index, ZipEntryInfo* info);
/* The entry's name into the buffer (cut and terminated); returns the name's full length in
 * characters, or -1. */
KWILL_API(1548)
int KWILLCALL ZipGetEntryName(void* archive, UINT32 index, wchar_t* buffer, int chars);
/* Extracts the entry into the file target (replaced only once the member has been read and
 * checked in full); a null target only reads and checks it. password may be null. */
KWILL_API(1549)
int KWILLCALL ZipExtractEntry(void* archive, UINT32 index, const char* password,
                              const wchar_t* target);

/* Starts a new archive, written under a temporary name until ZipCommitArchive (or dropped by
 * ZipAbandonArchive). Returns the handle, or null with *error (may be null) set. */
KWILL_API(1550) void* KWILLCALL ZipCreateArchive(const wchar_t* path, int* error);
/* Adds a file, a buffer or a folder under name ('/' or a backslash between folders). level 0
 * stores, 1 to 9 deflate; a non-empty password encrypts with the traditional cipher. */
KWILL_API(1551)
int KWILLCALL ZipAddFile(void* archive, const wchar_t* name, const wchar_t* source, int level,
                         const char* password);
KWILL_API(1552)
int KWILLCALL ZipAddBuffer(void* archive, const wchar_t* name, const void* data, size_t length,
                           int level, const char* password);
KWILL_API(1553) int KWILLCALL ZipAddFolder(void* archive, const wchar_t* name);
/* Sets the archive comment (bytes, cut at 65,535). */
KWILL_API(1554) int KWILLCALL ZipSetComment(void* archive, const char* comment);
/* Writes the directory and puts the archive in place; frees the handle in every case. */
KWILL_API(1555) int KWILLCALL ZipCommitArchive(void* archive);
KWILL_API(1556) void KWILLCALL ZipAbandonArchive(void* archive);
/* A short English text for a result code (static; not to be freed). */
KWILL_API(1557) const char* KWILLCALL ZipErrorString(int code);

#endif /* KWILLLIB_ZIP_H */
