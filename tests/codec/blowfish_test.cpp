// Blowfish through the exported functions: published vectors (with each 4-byte half reversed,
// since blocks are read as little-endian words), zero filling, in-place use and bad arguments.
#include "codec/blowfish.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace kwill {
namespace {

using CipherFn = void (*)(const BYTE*, int, const BYTE*, BYTE*, int);

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> v;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        v.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return v;
}

// The library's block order: each 4-byte half of a published block reversed.
std::vector<uint8_t> SwapHalves(std::vector<uint8_t> block) {
    for (size_t i = 0; i + 4 <= block.size(); i += 4) {
        std::swap(block[i], block[i + 3]);
        std::swap(block[i + 1], block[i + 2]);
    }
    return block;
}

struct Cipher {
    CipherFn encrypt = test::Ordinal<CipherFn>(36);
    CipherFn decrypt = test::Ordinal<CipherFn>(37);
};

TEST(Blowfish, PublishedVectors) {
    Cipher c;
    ASSERT_TRUE(c.encrypt && c.decrypt);
    EXPECT_EQ(reinterpret_cast<void*>(c.encrypt), test::Named<void*>("BlowfishEncrypt"));
    struct Row {
        const char* key;
        const char* plain;
        const char* cipher;
    };
    const Row rows[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
        {"F0", "FEDCBA9876543210", "F9AD597C49DB005E"},
        {"F0E1D2C3B4A59687", "FEDCBA9876543210", "E87A244E2CC85E82"},
        {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210",
         "05044B62FA52D080"},
    };
    for (const Row& r : rows) {
        std::vector<uint8_t> key = FromHex(r.key);
        std::vector<uint8_t> plain = SwapHalves(FromHex(r.plain));
        std::vector<uint8_t> want = SwapHalves(FromHex(r.cipher));
        std::vector<uint8_t> out(8);
        c.encrypt(key.data(), static_cast<int>(key.size()), plain.data(), out.data(), 8);
        EXPECT_EQ(out, want) << r.key;
        c.decrypt(key.data(), static_cast<int>(key.size()), out.data(), out.data(), 8);
        EXPECT_EQ(out, plain) << r.key;
    }
}

TEST(Blowfish, FillingInPlaceAndEcb) {
    Cipher c;
    const uint8_t key[] = {'s', 'e', 'c', 'r', 'e', 't'};
    const uint8_t keyTwice[] = {'s', 'e', 'c', 'r', 'e', 't', 's', 'e', 'c', 'r', 'e', 't'};
    std::mt19937 rng(1);
    for (int length : {1, 5, 7, 8, 9, 16, 23, 100}) {
        std::vector<uint8_t> plain(static_cast<size_t>(length));
        for (auto& b : plain) b = static_cast<uint8_t>(rng());
        size_t rounded = (static_cast<size_t>(length) + 7) / 8 * 8;
        std::vector<uint8_t> separate(rounded + 8, 0xCC);
        c.encrypt(key, 6, plain.data(), separate.data(), length);
        EXPECT_EQ(separate[rounded], 0xCC) << "wrote past the rounded length " << length;
        // In place: the buffer holds the rounded length; the filling zeros are written into it.
        std::vector<uint8_t> inPlace(rounded, 0xAB);
        std::copy(plain.begin(), plain.end(), inPlace.begin());
        c.encrypt(key, 6, inPlace.data(), inPlace.data(), length);
        EXPECT_TRUE(std::equal(inPlace.begin(), inPlace.end(), separate.begin())) << length;
        // The key is used cyclically: writing it out twice changes nothing.
        std::vector<uint8_t> twice(rounded);
        c.encrypt(keyTwice, 12, plain.data(), twice.data(), length);
        EXPECT_TRUE(std::equal(twice.begin(), twice.end(), separate.begin())) << length;
        // Decrypting gives the plaintext followed by the filling zeros.
        std::vector<uint8_t> back(rounded, 0xAB);
        c.decrypt(key, 6, separate.data(), back.data(), static_cast<int>(rounded));
        std::vector<uint8_t> expected = plain;
        expected.resize(rounded, 0);
        EXPECT_EQ(back, expected) << length;
    }
    // Equal plaintext blocks give equal ciphertext blocks.
    uint8_t two[16] = {1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t out[16];
    c.encrypt(key, 6, two, out, 16);
    EXPECT_EQ(0, std::memcmp(out, out + 8, 8));
}

TEST(Blowfish, BadArgumentsDoNothing) {
    Cipher c;
    const uint8_t key[] = {1, 2, 3};
    uint8_t in[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t out[8] = {};
    struct Row {
        const uint8_t* key;
        int keyLength;
        const uint8_t* in;
        uint8_t* out;
        int length;
    };
    const Row rows[] = {
        {key, 0, in, out, 8},     {nullptr, 3, in, out, 8}, {key, 3, nullptr, out, 8},
        {key, 3, in, nullptr, 8}, {key, 3, in, out, 0},     {key, 3, in, out, -8},
        {key, -1, in, out, 8},
    };
    for (const Row& r : rows) {
        c.encrypt(r.key, r.keyLength, r.in, r.out, r.length);
        c.decrypt(r.key, r.keyLength, r.in, r.out, r.length);
        for (uint8_t b : out) EXPECT_EQ(b, 0);
    }
}

}  // namespace
}  // namespace kwill
