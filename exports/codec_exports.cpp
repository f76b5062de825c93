// Codec exports: the Hash class, Base64, armoured text blocks and the Blowfish cipher.
#include "codec/armour.h"
#include "codec/base64.h"
#include "codec/blowfish.h"
#include "codec/hash.h"
#include "exports/export.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

// The exported class Hash. Its members are exported as plain C functions that take the object
// first, which is exactly how an x64 member call passes `this`; the decorated name under which a
// program built with Microsoft's compiler imports each member (from the class as
// include/kwilllib/codec.h declares it) is an alias of the same function.
using kwill::Hash;
using kwill::HashMethod;

// Defines `alias` as a second global name of `target` in the object file, so that the .def can
// export both names at one address.
#define KWILL_EXPORT_ALIAS(alias, target) \
    __asm__(".globl \"" alias "\"\n\t.set \"" alias "\", " #target)

// Hash::Init: selects the method (a value outside 0-7 behaves as MD5) and starts over.
KWILL_EXPORT void KwillHashInit(Hash* self, uint32_t method) {
    if (self) self->Init(static_cast<HashMethod>(method));
}
KWILL_EXPORT_ALIAS("?Init@Hash@@QEAAXW4HashMethod@@@Z", KwillHashInit);

// Hash::HashData: feeds length bytes; any count, 0 included, any number of times.
KWILL_EXPORT void KwillHashData(Hash* self, const void* data, size_t length) {
    if (self && (data || length == 0)) self->HashData(data, length);
}
KWILL_EXPORT_ALIAS("?HashData@Hash@@QEAAXPEBX_K@Z", KwillHashData);

// Hash::End (four parameters): finishes, copies min(digest size, digestSize) bytes to digest and
// writes the lower-case hex text, truncated to textSize - 1 characters; null buffers are skipped.
KWILL_EXPORT void KwillHashEnd(Hash* self, char* text, size_t textSize, uint8_t* digest,
                               size_t digestSize) {
    if (self) self->End(text, textSize, digest, digestSize);
}
KWILL_EXPORT_ALIAS("?End@Hash@@QEAAXPEAD_KPEAE1@Z", KwillHashEnd);

// Hash::End (two parameters) and Hash::EndHash: finishes and copies the digest only.
KWILL_EXPORT void KwillHashEndDigest(Hash* self, size_t digestSize, uint8_t* digest) {
    if (self) self->End(digestSize, digest);
}
KWILL_EXPORT_ALIAS("?End@Hash@@QEAAX_KPEAE@Z", KwillHashEndDigest);
KWILL_EXPORT_ALIAS("?EndHash@Hash@@QEAAX_KPEAE@Z", KwillHashEndDigest);

// Hash::HashSize: the digest size in bytes of the selected method.
// The member takes no parameters and returns int, so its decorated name differs only by whether
// it was declared const; both forms lead here, and a host imports whichever it was built with.
KWILL_EXPORT int KwillHashSize(const Hash* self) {
    return self ? self->HashSize() : 0;
}
KWILL_EXPORT_ALIAS("?HashSize@Hash@@QEAAHXZ", KwillHashSize);
KWILL_EXPORT_ALIAS("?HashSize@Hash@@QEBAHXZ", KwillHashSize);

// Hash::SumToString (static): the hex text of a digest, high nibble first, cut to fit textSize
// with its terminator (a byte may keep only its high nibble); a textSize of 0 writes nothing.
KWILL_EXPORT void KwillHashSumToString(const uint8_t* digest, char* text, size_t textSize,
                                       size_t digestSize) {
    Hash::SumToString(digest, text, textSize, digest ? digestSize : 0);
}
KWILL_EXPORT_ALIAS("?SumToString@Hash@@SAXPEBEPEAD_K2@Z", KwillHashSumToString);

// Hash::operator= (copy and move alike): copies the whole object, method and state; the source
// is left as it was, so both go on independently.
KWILL_EXPORT Hash* KwillHashCopy(Hash* self, const Hash* other) {
    if (self && other) *self = *other;
    return self;
}
KWILL_EXPORT_ALIAS("??4Hash@@QEAAAEAV0@AEBV0@@Z", KwillHashCopy);
KWILL_EXPORT_ALIAS("??4Hash@@QEAAAEAV0@$$QEAV0@@Z", KwillHashCopy);

// The object's size in bytes, for callers that allocate it without the class declaration.
KWILL_EXPORT size_t KwillHashObjectSize() {
    return sizeof(Hash);
}

namespace {

// Decodes into a new LocalAlloc block of length * 3 / 4 + 8 bytes whose unused tail is zeroed.
template <typename C>
int DecodeToNewBuffer(const C* text, BYTE** out, int length, int skip) {
    if (!out) return 0;
    *out = nullptr;
    if (!text) return 0;
    size_t n;
    if (length > 0) {
        if (skip > 0) {
            if (skip >= length) return 0;
            text += skip;
            length -= skip;
        }
        n = static_cast<size_t>(length);
    } else {
        // A skip never runs past the terminator of the text.
        if (skip > 0) {
            for (int i = 0; i < skip; ++i)
                if (text[i] == 0) return 0;
            text += skip;
        }
        if constexpr (sizeof(C) == 1) {
            n = std::strlen(text);
        } else {
            n = std::wcslen(text);
        }
    }
    if (n == 0 || text[0] == 0) return 0;
    size_t capacity = n / 4 * 3 + (n % 4) * 3 / 4 + 8;
    auto* buffer = static_cast<BYTE*>(::LocalAlloc(LMEM_FIXED, capacity));
    if (!buffer) return 0;
    size_t decoded;
    try {
        if constexpr (sizeof(C) == 1) {
            decoded = kwill::Base64Decode(std::string_view(text, n), buffer);
        } else {
            decoded = kwill::Base64Decode(std::wstring_view(text, n), buffer);
        }
    } catch (const std::bad_alloc&) {
        ::LocalFree(buffer);
        return 0;
    }
    std::memset(buffer + decoded, 0, capacity - decoded);
    *out = buffer;
    return static_cast<int>(decoded);
}

}  // namespace

// Encodes |length| bytes as Base64 wide text after an optional prefix. A negative length asks
// for output without '=' padding; a lineLength above 1 breaks the text with CR LF after every
// lineLength characters, rounded up to a whole group of four. When *out is null a LocalAlloc
// buffer is allocated and stored there (the caller frees it with LocalFree); otherwise *out is
// the caller's buffer and must be large enough. Returns 1, or 0 for null data or out, a length
// of 0, or an allocation failure.
KWILL_EXPORT int Base64EncodeString(const BYTE* data, int length, const wchar_t* prefix,
                                    wchar_t** out, int lineLength) {
    if (!out || !data || length == 0) return 0;
    size_t count = length < 0 ? static_cast<size_t>(-static_cast<int64_t>(length))
                              : static_cast<size_t>(length);
    bool pad = length > 0;
    size_t prefixLength = prefix ? std::wcslen(prefix) : 0;
    wchar_t* text = *out;
    if (!text) {
        // The size the host has always allocated; it covers the padded text and every break.
        size_t units = 4 * (count / 3 + 1);
        if (lineLength > 1) {
            size_t line = static_cast<size_t>(lineLength);
            units += 2 * ((line - 1 + units) / line) + 2;
        }
        units += prefixLength + 4;
        text = static_cast<wchar_t*>(::LocalAlloc(LMEM_FIXED, units * sizeof(wchar_t)));
        if (!text) return 0;
        *out = text;
    }
    std::wmemcpy(text, prefix ? prefix : L"", prefixLength);
    size_t n = kwill::Base64Encode({data, count}, text + prefixLength, pad, lineLength);
    text[prefixLength + n] = 0;
    return 1;
}

// Encodes length bytes as padded Base64 into out, without line breaks, and terminates it; out
// needs 4 * ceil(length / 3) + 1 bytes. Returns the number of characters. Null arguments or a
// length of 0 write nothing and return 0; a negative length writes an empty string.
KWILL_EXPORT int Base64Encode(const BYTE* data, int length, char* out) {
    if (!data || !out || length == 0) return 0;
    if (length < 0) {
        out[0] = 0;
        return 0;
    }
    size_t n = kwill::Base64Encode({data, static_cast<size_t>(length)}, out);
    out[n] = 0;
    return static_cast<int>(n);
}

// Decodes Base64 wide text into a new LocalAlloc buffer stored in *out (null when nothing could
// be decoded from an empty text or on failure). length counts characters, 0 or less meaning up
// to the terminator; skip > 0 passes over that many characters first (a marker before the data).
// The decoder skips line breaks, tabs and spaces between groups and stops at the first group cut
// short. Returns the number of bytes decoded; the buffer's unused tail is zeroed.
KWILL_EXPORT int Base64DecodeStringW(const wchar_t* text, BYTE** out, int length, int skip) {
    return DecodeToNewBuffer(text, out, length, skip);
}

// As Base64DecodeStringW, for 8-bit text.
KWILL_EXPORT int Base64DecodeStringA(const char* text, BYTE** out, int length, int skip) {
    return DecodeToNewBuffer(text, out, length, skip);
}

// Writes data as an armoured text block labelled `label` into a new LocalAlloc buffer stored in
// *out: the BEGIN line, 'D' lines of 60 Base64 characters (45 bytes), a 'c' line with the MD5
// digest and the END line, each ending in CR LF. Returns 1, or 0 for bad arguments or when
// memory runs out.
KWILL_EXPORT int ArmourEncodeA(const BYTE* data, int length, char** out, const char* label) {
    if (!out || length < 0 || (!data && length > 0)) return 0;
    *out = nullptr;
    try {
        std::string text =
            kwill::ArmourEncode({data, static_cast<size_t>(length)},
                                label ? std::string_view(label) : std::string_view());
        auto* buffer = static_cast<char*>(::LocalAlloc(LMEM_FIXED, text.size() + 1));
        if (!buffer) return 0;
        std::memcpy(buffer, text.c_str(), text.size() + 1);
        *out = buffer;
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

// ArmourEncodeA with a wide label (converted to the ANSI code page) and the block returned as
// wide text in a new LocalAlloc buffer.
KWILL_EXPORT int ArmourEncodeW(const BYTE* data, int length, wchar_t** out, const wchar_t* label) {
    if (!out) return 0;
    *out = nullptr;
    try {
        std::string narrowLabel;
        if (label && *label) {
            int n = ::WideCharToMultiByte(CP_ACP, 0, label, -1, nullptr, 0, nullptr, nullptr);
            if (n <= 0) return 0;
            narrowLabel.resize(static_cast<size_t>(n));
            ::WideCharToMultiByte(CP_ACP, 0, label, -1, narrowLabel.data(), n, nullptr, nullptr);
            narrowLabel.resize(static_cast<size_t>(n - 1));
        }
        char* text = nullptr;
        if (!ArmourEncodeA(data, length, &text, narrowLabel.c_str())) return 0;
        int chars = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        auto* wide = chars > 0
                         ? static_cast<wchar_t*>(::LocalAlloc(LMEM_FIXED, sizeof(wchar_t) * chars))
                         : nullptr;
        if (wide) ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, chars);
        ::LocalFree(text);
        *out = wide;
        return wide ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

// Finds the first armoured block in length bytes of text whose BEGIN line starts with label
// (any block when label is null or empty), and when it is complete and its MD5 check line
// matches, stores its data in a new LocalAlloc buffer (*out) and its size (*outLength) and
// returns 1. Otherwise returns 0 with *out null: no header, no check line, data that never
// ends, or a mismatching digest. A block whose data fills its last line, or is empty, ends at
// its check line.
KWILL_EXPORT int ArmourDecodeA(const char* text, int length, BYTE** out, int* outLength,
                               const char* label) {
    if (out) *out = nullptr;
    if (!text || length <= 0 || !out || !outLength) return 0;
    try {
        std::vector<uint8_t> data;
        if (!kwill::ArmourDecode({text, static_cast<size_t>(length)},
                                 label ? std::string_view(label) : std::string_view(), data))
            return 0;
        // Room for the data, at least one byte, so that empty data still gives a buffer.
        auto* buffer = static_cast<BYTE*>(::LocalAlloc(LMEM_FIXED, data.size() + 8));
        if (!buffer) return 0;
        std::memcpy(buffer, data.data(), data.size());
        *out = buffer;
        *outLength = static_cast<int>(data.size());
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

// Encrypts length bytes with Blowfish in ECB mode under a key of keyLength bytes, writing the
// length rounded up to a multiple of 8 to out: the last block is filled with zeros (written into
// the buffer when in and out are the same). Each block's halves are little-endian words. An
// empty key, null buffers or a length of 0 or less do nothing.
KWILL_EXPORT void BlowfishEncrypt(const BYTE* key, int keyLength, const BYTE* in, BYTE* out,
                                  int length) {
    if (keyLength <= 0 || length <= 0) return;
    kwill::BlowfishEncrypt(key, static_cast<size_t>(keyLength), in, out,
                           static_cast<size_t>(length));
}

// Decrypts ceil(length / 8) blocks from in to out (which may be the same buffer); the caller
// passes the whole ciphertext length, and the filling zeros stay at the end of the plaintext.
KWILL_EXPORT void BlowfishDecrypt(const BYTE* key, int keyLength, const BYTE* in, BYTE* out,
                                  int length) {
    if (keyLength <= 0 || length <= 0) return;
    kwill::BlowfishDecrypt(key, static_cast<size_t>(keyLength), in, out,
                           static_cast<size_t>(length));
}
