// Ed25519: the published RFC 8032 vectors, round trips of our own signatures, and the forgeries
// a verifier must refuse (altered bytes, a scalar not reduced below the order, a public key
// whose y is not reduced below the prime).
#include "codec/ed25519.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kwill::codec {
namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

struct Vector {
    const char* seed;
    const char* publicKey;
    const char* message;
    const char* signature;
};

const Vector kVectors[] = {
    {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9"
     "b46bd25bf5f0595bbe24655141438e7a100b"},
    {"4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f1"
     "1d8c387b2eaeb4302aeeb00d291612bb0c00"},
    {"c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
     "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984d"
     "c6594a7c15e9716ed28dc027beceea1ec40a"},
};

TEST(Ed25519, PublishedVectors) {
    for (const Vector& v : kVectors) {
        const auto seed = FromHex(v.seed), pub = FromHex(v.publicKey);
        const auto msg = FromHex(v.message), sig = FromHex(v.signature);
        uint8_t derived[32], made[64];
        Ed25519PublicKey(seed.data(), derived);
        EXPECT_EQ(std::vector<uint8_t>(derived, derived + 32), pub) << v.seed;
        Ed25519Sign(seed.data(), msg.data(), msg.size(), made);
        EXPECT_EQ(std::vector<uint8_t>(made, made + 64), sig) << v.seed;
        EXPECT_TRUE(Ed25519Verify(pub.data(), msg.data(), msg.size(), sig.data())) << v.seed;
    }
}

TEST(Ed25519, AlteredSignaturesFail) {
    const Vector& v = kVectors[2];
    const auto pub = FromHex(v.publicKey), msg = FromHex(v.message), sig = FromHex(v.signature);
    // Every single bit flipped anywhere in signature, key or message.
    for (size_t bit = 0; bit < 64 * 8; ++bit) {
        auto s = sig;
        s[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
        ASSERT_FALSE(Ed25519Verify(pub.data(), msg.data(), msg.size(), s.data())) << bit;
    }
    for (size_t bit = 0; bit < 32 * 8; ++bit) {
        auto k = pub;
        k[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
        ASSERT_FALSE(Ed25519Verify(k.data(), msg.data(), msg.size(), sig.data())) << bit;
    }
    for (size_t bit = 0; bit < msg.size() * 8; ++bit) {
        auto m = msg;
        m[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
        ASSERT_FALSE(Ed25519Verify(pub.data(), m.data(), m.size(), sig.data())) << bit;
    }
    EXPECT_FALSE(Ed25519Verify(pub.data(), msg.data(), msg.size() - 1, sig.data()));
    EXPECT_FALSE(Ed25519Verify(nullptr, msg.data(), msg.size(), sig.data()));
    EXPECT_FALSE(Ed25519Verify(pub.data(), nullptr, 4, sig.data()));
}

// S + L is the same scalar modulo the order; accepting it would let anyone make a second valid
// signature from a first one.
TEST(Ed25519, UnreducedScalarFails) {
    const uint8_t order[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                               0xa2, 0xde, 0xf9, 0xde, 0x14, 0,    0,    0,    0,    0,    0,
                               0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};
    for (const Vector& v : kVectors) {
        const auto pub = FromHex(v.publicKey), msg = FromHex(v.message);
        auto sig = FromHex(v.signature);
        unsigned carry = 0;
        for (int i = 0; i < 32; ++i) {
            carry += sig[32 + i] + order[i];
            sig[32 + i] = static_cast<uint8_t>(carry);
            carry >>= 8;
        }
        ASSERT_EQ(carry, 0u);  // S + L still fits 256 bits
        EXPECT_FALSE(Ed25519Verify(pub.data(), msg.data(), msg.size(), sig.data())) << v.seed;
    }
    uint8_t maxS[64] = {};
    std::fill(maxS + 32, maxS + 64, 0xFF);
    EXPECT_FALSE(Ed25519Verify(FromHex(kVectors[0].publicKey).data(), "", 0, maxS));
}

// A key whose y is p + 1 names the same point as y = 1 but is not its encoding.
TEST(Ed25519, NonCanonicalKeyFails) {
    std::vector<uint8_t> key(32, 0xFF);
    key[0] = 0xEE;
    key[31] = 0x7F;
    const uint8_t seed[32] = {1};
    uint8_t sig[64];
    Ed25519Sign(seed, "x", 1, sig);
    EXPECT_FALSE(Ed25519Verify(key.data(), "x", 1, sig));
    // x = 0 with the sign bit set is no encoding at all.
    std::vector<uint8_t> negZero(32, 0);
    negZero[0] = 1;
    negZero[31] = 0x80;
    EXPECT_FALSE(Ed25519Verify(negZero.data(), "x", 1, sig));
}

TEST(Ed25519, RoundTripsOnRandomKeysAndMessages) {
    std::mt19937 rng(25519);
    for (int i = 0; i < 24; ++i) {
        uint8_t seed[32], pub[32], sig[64];
        for (uint8_t& b : seed) b = static_cast<uint8_t>(rng());
        std::vector<uint8_t> msg(rng() % 300);
        for (uint8_t& b : msg) b = static_cast<uint8_t>(rng());
        Ed25519PublicKey(seed, pub);
        Ed25519Sign(seed, msg.data(), msg.size(), sig);
        EXPECT_TRUE(Ed25519Verify(pub, msg.data(), msg.size(), sig)) << i;
        sig[rng() % 64] ^= static_cast<uint8_t>(1 << (rng() % 8));
        EXPECT_FALSE(Ed25519Verify(pub, msg.data(), msg.size(), sig)) << i;
    }
}

}  // namespace
}  // namespace kwill::codec
