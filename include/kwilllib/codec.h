/* kwilllib: encoding and integrity (exports/kwilllib.def headings "codec: ...").
 * The class Hash, Base64 and armoured text blocks, Blowfish, compressed files. */
#ifndef KWILLLIB_CODEC_H
#define KWILLLIB_CODEC_H

#include "base.h"

/* The digest methods of Hash; a value outside the table behaves as MD5 everywhere. */
typedef enum HashMethod {
    MD5 = 0,            /* 16-byte digest */
    SHA1 = 1,           /* 20 */
    SHA256 = 2,         /* 32 */
    SHA512 = 3,         /* 64 */
    CRC32 = 4,          /* 4, zip/Ethernet CRC, most significant byte first */
    CRC32_BZIP2_LE = 5, /* 4, CRC-32/BZIP2, least significant byte first */
    CRC32_BZIP2 = 6,    /* 4, CRC-32/BZIP2, most significant byte first */
    BLAKE3 = 7          /* 32, unkeyed hash mode */
} HashMethod;

/* The room a Hash object takes in the caller's memory. The library's state never grows past
 * it (KwillHashObjectSize gives the size it uses). */
#define KWILL_HASH_OBJECT_SIZE 1920

#ifdef __cplusplus
class Hash;
#else
typedef struct Hash Hash;
#endif

/* ---- codec: hash, Base64 and armour */

/* Armoured text blocks: a BEGIN line with the label, 'D' lines of Base64, a 'c' line with the
 * MD5 of the data and the END line, each ending in CR LF. The encoders store a new LocalAlloc
 * block in *out (the caller frees it with LocalFree) and return 1, or 0 on bad arguments or
 * when memory runs out. */
KWILL_API(18)
int KWILLCALL ArmourEncodeW(const BYTE* data, int length, wchar_t** out, const wchar_t* label);
KWILL_API(21)
int KWILLCALL ArmourEncodeA(const BYTE* data, int length, char** out, const char* label);
/* Finds the first complete block whose BEGIN line starts with label (any block for null or
 * empty) in length bytes of text; when its check line matches, stores its data in a new
 * LocalAlloc block (*out, freed with LocalFree) and its size in *outLength and returns 1.
 * Otherwise 0 with *out null. */
KWILL_API(22)
int KWILLCALL ArmourDecodeA(const char* text, int length, BYTE** out, int* outLength,
                            const char* label);

/* Base64 of length bytes after an optional prefix. A negative length asks for no '=' padding;
 * lineLength above 1 breaks lines with CR LF. When *out is null a LocalAlloc buffer is stored
 * there (freed with LocalFree); otherwise *out must be large enough. Returns 1, or 0. */
KWILL_API(1500)
int KWILLCALL Base64EncodeString(const BYTE* data, int length, const wchar_t* prefix, wchar_t** out,
                                 int lineLength);
/* Padded Base64 without line breaks into out (4 * ceil(length / 3) + 1 bytes), terminated.
 * Returns the number of characters. */
KWILL_API(1501) int KWILLCALL Base64Encode(const BYTE* data, int length, char* out);
/* Decodes into a new LocalAlloc block stored in *out (freed with LocalFree; null when nothing
 * was decoded). length counts characters (0 or less: up to the terminator); skip > 0 passes over
 * that many characters first. Returns the number of bytes. */
KWILL_API(1502)
int KWILLCALL Base64DecodeStringW(const wchar_t* text, BYTE** out, int length, int skip);
KWILL_API(1503)
int KWILLCALL Base64DecodeStringA(const char* text, BYTE** out, int length, int skip);

/* The members of Hash as flat functions taking the object first (for C, and for C++ compilers
 * outside Microsoft's ABI). They are the same entry points as the members. */
KWILL_API(1510) void KWILLCALL KwillHashInit(Hash* self, HashMethod method);
KWILL_API(1511) void KWILLCALL KwillHashData(Hash* self, const void* data, size_t length);
KWILL_API(1512)
void KWILLCALL KwillHashEnd(Hash* self, char* text, size_t textSize, unsigned char* digest,
                            size_t digestSize);
KWILL_API(1513)
void KWILLCALL KwillHashEndDigest(Hash* self, size_t digestSize, unsigned char* digest);
KWILL_API(1514) int KWILLCALL KwillHashSize(const Hash* self);
KWILL_API(1515)
void KWILLCALL KwillHashSumToString(const unsigned char* digest, char* text, size_t textSize,
                                    size_t digestSize);
KWILL_API(1516) Hash* KWILLCALL KwillHashCopy(Hash* self, const Hash* other);
KWILL_API(1517) size_t KWILLCALL KwillHashObjectSize(void);

/* One incremental digest or checksum. The object holds all its state inline (nothing is
 * allocated) and may be copied at any point: both copies then go on independently. It has no
 * constructor; its state is undefined until Init. After End, call Init again for another
 * digest. */
#ifdef __cplusplus
class Hash {
  public:
#if __cplusplus >= 201703L || (defined(_MSVC_LANG) && _MSVC_LANG >= 201703L)
    static constexpr int MAX_HASH_SIZE = 64;
#else
    static const int MAX_HASH_SIZE = 64;
#endif

    /* The constructors are the compiler's own (nothing is imported); declared here because the
     * assignments are. */
    Hash() = default;
    Hash(const Hash&) = default;

#ifdef KWILL_MSVC_ABI
    /* Selects the method and starts over. */
    KWILL_MEMBER(1520) void Init(HashMethod method);
    /* Feeds length bytes; any count, 0 included, any number of times. */
    KWILL_MEMBER(1525) void HashData(const void* data, size_t length);
    /* Finishes: copies min(digest size, digestSize) bytes to digest and writes the lower-case
     * hex text into text (textSize bytes with the terminator). Null buffers are skipped. */
    KWILL_MEMBER(1526)
    void End(char* text, size_t textSize, unsigned char* digest, size_t digestSize);
    /* Finishes and copies the digest only; EndHash is the same. */
    KWILL_MEMBER(1527) void End(size_t digestSize, unsigned char* digest);
    KWILL_MEMBER(1528) void EndHash(size_t digestSize, unsigned char* digest);
    /* The digest size in bytes of the selected method. Both forms are exported, for callers
     * built with either. */
    KWILL_MEMBER(1523) int HashSize();
    KWILL_MEMBER(1524) int HashSize() const;
    /* The hex text of a digest, high nibble first, cut to textSize with its terminator (a byte
     * may keep only its high nibble); a textSize of 0 writes nothing. */
    KWILL_MEMBER(1529)
    static void SumToString(const unsigned char* digest, char* text, size_t textSize,
                            size_t digestSize);
    /* Copy and move alike copy the whole object; the source is left as it was. */
    KWILL_MEMBER(1521) Hash& operator=(const Hash& other);
    KWILL_MEMBER(1522) Hash& operator=(Hash&& other);
#else
    void Init(HashMethod method) {
        KwillHashInit(this, method);
    }
    void HashData(const void* data, size_t length) {
        KwillHashData(this, data, length);
    }
    void End(char* text, size_t textSize, unsigned char* digest, size_t digestSize) {
        KwillHashEnd(this, text, textSize, digest, digestSize);
    }
    void End(size_t digestSize, unsigned char* digest) {
        KwillHashEndDigest(this, digestSize, digest);
    }
    void EndHash(size_t digestSize, unsigned char* digest) {
        KwillHashEndDigest(this, digestSize, digest);
    }
    int HashSize() const {
        return KwillHashSize(this);
    }
    static void SumToString(const unsigned char* digest, char* text, size_t textSize,
                            size_t digestSize) {
        KwillHashSumToString(digest, text, textSize, digestSize);
    }
    Hash& operator=(const Hash& other) {
        KwillHashCopy(this, &other);
        return *this;
    }
#endif

  private:
    ULONGLONG storage_[KWILL_HASH_OBJECT_SIZE / 8];
};
#else
struct Hash {
    ULONGLONG storage_[KWILL_HASH_OBJECT_SIZE / 8];
};
#endif

/* ---- codec: Blowfish and compressed files */

/* Blowfish in ECB mode under a key of keyLength bytes, each block's halves little-endian.
 * Encrypting writes length rounded up to a multiple of 8 (the last block filled with zeros);
 * decrypting takes the whole ciphertext length. in and out may be the same buffer. */
KWILL_API(36)
void KWILLCALL BlowfishEncrypt(const BYTE* key, int keyLength, const BYTE* in, BYTE* out,
                               int length);
KWILL_API(37)
void KWILLCALL BlowfishDecrypt(const BYTE* key, int keyLength, const BYTE* in, BYTE* out,
                               int length);

/* Reads a file written by SaveZipCompressedFile into a new LocalAlloc block (*data, freed with
 * LocalFree) followed by two zero bytes not counted in *length (may be null); scramble must
 * match the save. Returns 1, or 0 with *data null and the last error set; never 1 with part of
 * the data. */
KWILL_API(1540)
int KWILLCALL LoadZipCompressedFile(const wchar_t* filename, void** data, UINT32* length,
                                    UINT32 scramble);
/* Compresses length bytes into the file (scrambled when scramble is non-zero), written under a
 * temporary name and then put in place with the old file's alternate data streams. Returns 1,
 * or 0 with the old file unchanged. */
KWILL_API(1541)
int KWILLCALL SaveZipCompressedFile(const wchar_t* filename, const void* data, UINT32 length,
                                    UINT32 scramble);
/* 1 when the file carries a readable zip archive, at its start or behind a stub. */
KWILL_API(1542) int KWILLCALL DoesExeFileContainZip(const wchar_t* filename);

#endif /* KWILLLIB_CODEC_H */
