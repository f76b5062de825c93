// The exported class Hash. Its members are exported as plain C functions that take the object
// first, which is exactly how an x64 member call passes `this`; where the decorated name that a
// host compiled with Microsoft's compiler imports is certain, that name is an alias of the same
// function.
#include "codec/hash.h"
#include "exports/export.h"

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

// Hash::End (four parameters): finishes, copies min(digest size, digestSize) bytes to digest and
// writes the lower-case hex text, truncated to textSize - 1 characters; null buffers are skipped.
KWILL_EXPORT void KwillHashEnd(Hash* self, char* text, size_t textSize, uint8_t* digest,
                               size_t digestSize) {
    if (self) self->End(text, textSize, digest, digestSize);
}

// Hash::End (two parameters) and Hash::EndHash: finishes and copies the digest only.
KWILL_EXPORT void KwillHashEndDigest(Hash* self, size_t digestSize, uint8_t* digest) {
    if (self) self->End(digestSize, digest);
}

// Hash::HashSize: the digest size in bytes of the selected method.
KWILL_EXPORT int KwillHashSize(const Hash* self) {
    return self ? self->HashSize() : 0;
}

// Hash::SumToString (static): the hex text of a digest, high nibble first, cut to fit textSize
// with its terminator (a byte may keep only its high nibble); a textSize of 0 writes nothing.
KWILL_EXPORT void KwillHashSumToString(const uint8_t* digest, char* text, size_t textSize,
                                       size_t digestSize) {
    Hash::SumToString(digest, text, textSize, digest ? digestSize : 0);
}

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
