#include "codec/ed25519.h"

#include "codec/hash.h"

#include <cstring>

namespace kwill::codec {
namespace {

using u128 = unsigned __int128;
constexpr uint64_t kMask51 = (uint64_t{1} << 51) - 1;

// ---- GF(2^255 - 19) in five 51-bit limbs. After Carry every limb is below 2^51 + 2^13.

struct Fe {
    uint64_t v[5];
};

void Carry(Fe& h) {
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 4; ++i) {
            h.v[i + 1] += h.v[i] >> 51;
            h.v[i] &= kMask51;
        }
        h.v[0] += 19 * (h.v[4] >> 51);
        h.v[4] &= kMask51;
    }
}

Fe FeConst(uint64_t small) {
    return Fe{{small, 0, 0, 0, 0}};
}

Fe Add(const Fe& f, const Fe& g) {
    Fe h;
    for (int i = 0; i < 5; ++i) h.v[i] = f.v[i] + g.v[i];
    Carry(h);
    return h;
}

// f - g as f + 4p - g, so that no limb goes below zero.
Fe Sub(const Fe& f, const Fe& g) {
    Fe h;
    h.v[0] = f.v[0] + 4 * (kMask51 - 18) - g.v[0];
    for (int i = 1; i < 5; ++i) h.v[i] = f.v[i] + 4 * kMask51 - g.v[i];
    Carry(h);
    return h;
}

Fe Neg(const Fe& f) {
    return Sub(FeConst(0), f);
}

Fe Mul(const Fe& f, const Fe& g) {
    const uint64_t* a = f.v;
    const uint64_t* b = g.v;
    const uint64_t b1 = 19 * b[1], b2 = 19 * b[2], b3 = 19 * b[3], b4 = 19 * b[4];
    u128 t0 =
        (u128)a[0] * b[0] + (u128)a[1] * b4 + (u128)a[2] * b3 + (u128)a[3] * b2 + (u128)a[4] * b1;
    u128 t1 =
        (u128)a[0] * b[1] + (u128)a[1] * b[0] + (u128)a[2] * b4 + (u128)a[3] * b3 + (u128)a[4] * b2;
    u128 t2 = (u128)a[0] * b[2] + (u128)a[1] * b[1] + (u128)a[2] * b[0] + (u128)a[3] * b4 +
              (u128)a[4] * b3;
    u128 t3 = (u128)a[0] * b[3] + (u128)a[1] * b[2] + (u128)a[2] * b[1] + (u128)a[3] * b[0] +
              (u128)a[4] * b4;
    u128 t4 = (u128)a[0] * b[4] + (u128)a[1] * b[3] + (u128)a[2] * b[2] + (u128)a[3] * b[1] +
              (u128)a[4] * b[0];
    t1 += t0 >> 51;
    t2 += t1 >> 51;
    t3 += t2 >> 51;
    t4 += t3 >> 51;
    Fe h;
    h.v[0] = (uint64_t)t0 & kMask51;
    h.v[1] = (uint64_t)t1 & kMask51;
    h.v[2] = (uint64_t)t2 & kMask51;
    h.v[3] = (uint64_t)t3 & kMask51;
    h.v[4] = (uint64_t)t4 & kMask51;
    h.v[0] += 19 * (uint64_t)(t4 >> 51);
    Carry(h);
    return h;
}

Fe Square(const Fe& f) {
    return Mul(f, f);
}

// z to the power (2^bits - 1) with the bits of `cleared` taken out of the exponent: every
// exponent the curve needs (p - 2, (p - 5) / 8, (p - 1) / 4) has that shape.
Fe PowOnes(const Fe& z, int bits, uint32_t cleared) {
    Fe r = FeConst(1);
    for (int i = bits - 1; i >= 0; --i) {
        r = Square(r);
        if (i >= 32 || !(cleared >> i & 1)) r = Mul(r, z);
    }
    return r;
}

Fe Invert(const Fe& z) {
    return PowOnes(z, 255, 0x14);  // p - 2 = 2^255 - 21
}

uint64_t Load64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

void Store64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}

// The low 255 bits; the top bit of the last byte is ignored.
Fe FromBytes(const uint8_t s[32]) {
    Fe h;
    h.v[0] = Load64(s) & kMask51;
    h.v[1] = (Load64(s + 6) >> 3) & kMask51;
    h.v[2] = (Load64(s + 12) >> 6) & kMask51;
    h.v[3] = (Load64(s + 19) >> 1) & kMask51;
    h.v[4] = (Load64(s + 24) >> 12) & kMask51;
    return h;
}

// The canonical encoding (fully reduced below p).
void ToBytes(uint8_t s[32], Fe h) {
    Carry(h);
    uint64_t q = (h.v[0] + 19) >> 51;
    for (int i = 1; i < 5; ++i) q = (h.v[i] + q) >> 51;
    h.v[0] += 19 * q;
    for (int i = 0; i < 4; ++i) {
        h.v[i + 1] += h.v[i] >> 51;
        h.v[i] &= kMask51;
    }
    h.v[4] &= kMask51;
    Store64(s, h.v[0] | h.v[1] << 51);
    Store64(s + 8, h.v[1] >> 13 | h.v[2] << 38);
    Store64(s + 16, h.v[2] >> 26 | h.v[3] << 25);
    Store64(s + 24, h.v[3] >> 39 | h.v[4] << 12);
}

bool Equal(const Fe& a, const Fe& b) {
    uint8_t x[32], y[32];
    ToBytes(x, a);
    ToBytes(y, b);
    return std::memcmp(x, y, 32) == 0;
}

bool IsOdd(const Fe& f) {
    uint8_t s[32];
    ToBytes(s, f);
    return s[0] & 1;
}

// ---- The curve -x^2 + y^2 = 1 + d x^2 y^2 in extended coordinates (X:Y:Z:T), x = X/Z,
// y = Y/Z, xy = T/Z.

struct Point {
    Fe x, y, z, t;
};

struct Constants {
    Fe d, d2, sqrtM1;
    Point base;
};

bool Decode(Point& p, const uint8_t s[32], const Constants& c);

const Constants& Curve() {
    static const Constants constants = [] {
        Constants c;
        c.d = Neg(Mul(FeConst(121665), Invert(FeConst(121666))));
        c.d2 = Add(c.d, c.d);
        c.sqrtM1 = PowOnes(FeConst(2), 253, 0x4);  // 2^((p - 1) / 4), (p - 1) / 4 = 2^253 - 5
        // The base point: y = 4/5 with x even, encoded as 0x58 followed by 31 bytes of 0x66.
        uint8_t encoded[32];
        std::memset(encoded, 0x66, 32);
        encoded[0] = 0x58;
        Decode(c.base, encoded, c);
        return c;
    }();
    return constants;
}

Point Identity() {
    return Point{FeConst(0), FeConst(1), FeConst(1), FeConst(0)};
}

// The unified addition of Hisil, Wong, Carter and Dawson for a = -1; it also doubles.
Point AddPoints(const Point& p, const Point& q, const Constants& c) {
    const Fe a = Mul(Sub(p.y, p.x), Sub(q.y, q.x));
    const Fe b = Mul(Add(p.y, p.x), Add(q.y, q.x));
    const Fe cc = Mul(Mul(p.t, c.d2), q.t);
    const Fe dd = Mul(Add(p.z, p.z), q.z);
    const Fe e = Sub(b, a), f = Sub(dd, cc), g = Add(dd, cc), h = Add(b, a);
    return Point{Mul(e, f), Mul(g, h), Mul(f, g), Mul(e, h)};
}

// scalar (32 bytes, little-endian) times p, by doubling and adding from the top bit.
Point ScalarMul(const uint8_t scalar[32], const Point& p, const Constants& c) {
    Point r = Identity();
    for (int i = 255; i >= 0; --i) {
        r = AddPoints(r, r, c);
        if (scalar[i >> 3] >> (i & 7) & 1) r = AddPoints(r, p, c);
    }
    return r;
}

void Encode(uint8_t s[32], const Point& p) {
    const Fe zInv = Invert(p.z);
    const Fe x = Mul(p.x, zInv), y = Mul(p.y, zInv);
    ToBytes(s, y);
    s[31] |= static_cast<uint8_t>(IsOdd(x) << 7);
}

// Decodes a point; fails for a y that is not below p, a y with no x on the curve, and the
// encoding of x = 0 with the sign bit set.
bool Decode(Point& p, const uint8_t s[32], const Constants& c) {
    uint8_t canonical[32];
    const Fe y = FromBytes(s);
    ToBytes(canonical, y);
    canonical[31] |= s[31] & 0x80;
    if (std::memcmp(canonical, s, 32) != 0) return false;
    const bool sign = s[31] >> 7;

    const Fe y2 = Square(y);
    const Fe u = Sub(y2, FeConst(1));
    const Fe v = Add(Mul(c.d, y2), FeConst(1));
    // x = u v^3 (u v^7)^((p - 5) / 8), a square root of u / v when one exists.
    const Fe v3 = Mul(Square(v), v);
    const Fe v7 = Mul(Square(v3), v);
    Fe x = Mul(Mul(u, v3), PowOnes(Mul(u, v7), 252, 0x2));  // (p - 5) / 8 = 2^252 - 3
    const Fe vx2 = Mul(v, Square(x));
    if (!Equal(vx2, u)) {
        if (!Equal(vx2, Neg(u))) return false;
        x = Mul(x, c.sqrtM1);
    }
    const bool zero = Equal(x, FeConst(0));
    if (zero && sign) return false;
    if (IsOdd(x) != sign) x = Neg(x);
    p = Point{x, y, FeConst(1), Mul(x, y)};
    return true;
}

// ---- Scalars modulo the group order L = 2^252 + 27742317777372353535851937790883648493.

constexpr uint64_t kOrder[4] = {0x5812631a5cf5d3edull, 0x14def9dea2f79cd6ull, 0,
                                0x1000000000000000ull};

bool BelowOrder(const uint64_t r[4]) {
    for (int i = 3; i >= 0; --i) {
        if (r[i] != kOrder[i]) return r[i] < kOrder[i];
    }
    return false;
}

void SubtractOrder(uint64_t r[4]) {
    uint64_t borrow = 0;
    for (int i = 0; i < 4; ++i) {
        const u128 d = (u128)r[i] - kOrder[i] - borrow;
        r[i] = (uint64_t)d;
        borrow = (uint64_t)(d >> 64) & 1;
    }
}

// A little-endian number of `size` bytes modulo L, bit by bit from the top.
void ReduceBytes(const uint8_t* x, size_t size, uint8_t out[32]) {
    uint64_t r[4] = {};
    for (size_t bit = size * 8; bit-- > 0;) {
        r[3] = r[3] << 1 | r[2] >> 63;
        r[2] = r[2] << 1 | r[1] >> 63;
        r[1] = r[1] << 1 | r[0] >> 63;
        r[0] = r[0] << 1 | (x[bit >> 3] >> (bit & 7) & 1);
        if (!BelowOrder(r)) SubtractOrder(r);
    }
    for (int i = 0; i < 4; ++i) Store64(out + 8 * i, r[i]);
}

bool ScalarIsCanonical(const uint8_t s[32]) {
    uint64_t r[4];
    for (int i = 0; i < 4; ++i) r[i] = Load64(s + 8 * i);
    return BelowOrder(r);
}

// SHA-512 of up to three pieces, reduced modulo L.
void HashToScalar(uint8_t out[32], const void* a, size_t an, const void* b, size_t bn,
                  const void* m, size_t mn) {
    Hash h;
    h.Init(HashMethod::SHA512);
    h.HashData(a, an);
    h.HashData(b, bn);
    h.HashData(m, mn);
    uint8_t digest[64];
    h.End(64, digest);
    ReduceBytes(digest, 64, out);
}

void ExpandSeed(const uint8_t seed[32], uint8_t expanded[64]) {
    Hash h;
    h.Init(HashMethod::SHA512);
    h.HashData(seed, 32);
    h.End(64, expanded);
    expanded[0] &= 248;
    expanded[31] &= 127;
    expanded[31] |= 64;
}

}  // namespace

bool Ed25519Verify(const uint8_t publicKey[32], const void* message, size_t length,
                   const uint8_t signature[64]) {
    if (!publicKey || !signature || (!message && length)) return false;
    const uint8_t* r = signature;
    const uint8_t* s = signature + 32;
    if (!ScalarIsCanonical(s)) return false;
    const Constants& c = Curve();
    Point a;
    if (!Decode(a, publicKey, c)) return false;
    uint8_t k[32];
    HashToScalar(k, r, 32, publicKey, 32, message, length);
    // R must equal [S]B - [k]A.
    const Point negA{Neg(a.x), a.y, a.z, Neg(a.t)};
    const Point check = AddPoints(ScalarMul(s, c.base, c), ScalarMul(k, negA, c), c);
    uint8_t encoded[32];
    Encode(encoded, check);
    return std::memcmp(encoded, r, 32) == 0;
}

void Ed25519PublicKey(const uint8_t seed[32], uint8_t publicKey[32]) {
    uint8_t expanded[64];
    ExpandSeed(seed, expanded);
    Encode(publicKey, ScalarMul(expanded, Curve().base, Curve()));
}

void Ed25519Sign(const uint8_t seed[32], const void* message, size_t length,
                 uint8_t signature[64]) {
    const Constants& c = Curve();
    uint8_t expanded[64], publicKey[32], r[32], k[32];
    ExpandSeed(seed, expanded);
    Encode(publicKey, ScalarMul(expanded, c.base, c));
    HashToScalar(r, expanded + 32, 32, nullptr, 0, message, length);
    Encode(signature, ScalarMul(r, c.base, c));
    HashToScalar(k, signature, 32, publicKey, 32, message, length);

    // S = (r + k a) mod L: the 512-bit product and sum, then one reduction.
    uint64_t ka[8] = {}, kw[4], aw[4];
    for (int i = 0; i < 4; ++i) kw[i] = Load64(k + 8 * i), aw[i] = Load64(expanded + 8 * i);
    for (int i = 0; i < 4; ++i) {
        uint64_t carry = 0;
        for (int j = 0; j < 4; ++j) {
            const u128 t = (u128)kw[i] * aw[j] + ka[i + j] + carry;
            ka[i + j] = (uint64_t)t;
            carry = (uint64_t)(t >> 64);
        }
        ka[i + 4] = carry;
    }
    uint64_t carry = 0;
    for (int i = 0; i < 8; ++i) {
        const u128 t = (u128)ka[i] + (i < 4 ? Load64(r + 8 * i) : 0) + carry;
        ka[i] = (uint64_t)t;
        carry = (uint64_t)(t >> 64);
    }
    uint8_t wide[64];
    for (int i = 0; i < 8; ++i) Store64(wide + 8 * i, ka[i]);
    ReduceBytes(wide, 64, signature + 32);
}

}  // namespace kwill::codec
