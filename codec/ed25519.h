// Ed25519 signatures (RFC 8032, pure variant) on the library's SHA-512.
//
// Verification is what the library itself needs: the language module and translation files carry
// signatures made with the release key. It rejects a scalar S that is not below the group order
// and a public key whose y coordinate is not below the field prime, and compares the recomputed
// commitment with R byte for byte, so no second encoding of a signature verifies. Signing serves
// the signing tool and the tests; it is not written to resist timing measurements.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kwill::codec {

constexpr size_t kEd25519KeySize = 32;
constexpr size_t kEd25519SignatureSize = 64;

bool Ed25519Verify(const uint8_t publicKey[32], const void* message, size_t length,
                   const uint8_t signature[64]);

void Ed25519PublicKey(const uint8_t seed[32], uint8_t publicKey[32]);
void Ed25519Sign(const uint8_t seed[32], const void* message, size_t length, uint8_t signature[64]);

}  // namespace kwill::codec
