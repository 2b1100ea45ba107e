// Shared by the arithmetic and kernel fuzz targets: a byte reader that goes on
// with a generator seeded from the input once the bytes run out, operands
// biased to hard shapes, and the exchange of records with library integers.
#pragma once
#include <gmp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "number/bignum.h"

namespace fuzz {

constexpr uint32_t BASE = 100000000;

// Reads the input byte by byte; past its end a xorshift generator seeded from
// the input continues, so short inputs still make long operands and every
// input decodes the same way each time.
struct Reader {
    const uint8_t *p;
    size_t n;
    uint64_t state;
};

inline Reader reader_of(const uint8_t *data, size_t size) {
    uint64_t h = 1469598103934665603ULL;
    for (size_t i = 0; i < size; i++) h = (h ^ data[i]) * 1099511628211ULL;
    return Reader{data, size, h | 1};
}

inline uint8_t byte(Reader *r) {
    if (r->n > 0) {
        r->n--;
        return *r->p++;
    }
    r->state ^= r->state << 13;
    r->state ^= r->state >> 7;
    r->state ^= r->state << 17;
    return uint8_t(r->state >> 56);
}

inline uint32_t word(Reader *r) {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v = v << 8 | byte(r);
    return v;
}

// A magnitude as limbs, least significant first, possibly with zero limbs on
// top (the "used limbs all zero" shape of zero among them), with a sign and a
// count of fraction limbs.
struct Operand {
    std::vector<uint32_t> mag;
    int sign = 1;
    int frac = 0;
};

// Lengths around every method threshold of the engine: the Newton division
// (32), Karatsuba (48, and its schoolbook base near 96), the transform (160
// with an unbalanced operand, 240; 340 for squares).
constexpr int LENGTHS[] = {0, 1, 1, 2, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 48, 49,
                           63, 95, 96, 97, 159, 160, 161, 239, 240, 241, 339, 340, 341, 400};

// An operand of at most `most` limbs: a length near a threshold (or one chosen
// freely below 24) and limbs filled in one of several hard patterns.
inline Operand make_operand(Reader *r, int most) {
    Operand x;
    uint8_t shape = byte(r);
    int len;
    if (shape & 0x80)
        len = byte(r) % 24;
    else
        len = LENGTHS[byte(r) % (sizeof LENGTHS / sizeof LENGTHS[0])];
    if (len > most) len = most;
    int fill = shape % 8;
    x.mag.resize(size_t(len));
    for (int k = 0; k < len; k++) {
        uint32_t v = 0;
        switch (fill) {
        case 0: case 1: v = word(r) % BASE; break;
        case 2: v = 99999999; break;
        case 3: {  // runs of 0 and 99999999 among random limbs
            uint8_t c = byte(r) % 3;
            v = c == 0 ? 0 : c == 1 ? 99999999 : word(r) % BASE;
            break;
        }
        case 4: v = k == len - 1 ? 1 + byte(r) % 3 : 0; break;  // a small multiple of a power of the base
        case 5: v = (k == 0 || k == len - 1) ? 1 : 0; break;    // BASE^k + 1
        case 6: v = byte(r) % 4; break;
        default: v = 0; break;  // zero with used limbs
        }
        x.mag[size_t(k)] = v;
    }
    // Mostly a non-zero top limb; zeros on top stay for the zero shapes.
    if (len > 0 && fill != 7 && x.mag.back() == 0 && (shape & 0x40) == 0) x.mag.back() = 1 + byte(r) % 9;
    x.sign = (shape & 0x20) ? -1 : 1;
    return x;
}

// n := x; n must have room for x's limbs.
inline void load(BigNum *n, const Operand &x) {
    bn_clear(n);
    for (size_t k = 0; k < x.mag.size(); k++) limb(n, int(k)) = int32_t(x.mag[k]);
    n->used = int(x.mag.size());
    n->sign = int8_t(x.sign);
    n->frac_limbs = x.frac;
}

// z := the limbs v[0 .. len) read as an integer.
inline void mpz_from_limbs(mpz_t z, const uint32_t *v, int len) {
    std::string s = "0";
    char buf[16];
    for (int k = len - 1; k >= 0; k--) {
        snprintf(buf, sizeof buf, "%08u", v[k]);
        s += buf;
    }
    mpz_set_str(z, s.c_str(), 10);
}

// z := the used limbs of n read as an integer, with n's sign (scale ignored).
inline void mpz_of(mpz_t z, const BigNum *n) {
    std::vector<uint32_t> v;
    for (int k = 0; k < n->used; k++) v.push_back(uint32_t(limb(n, k)));
    mpz_from_limbs(z, v.data(), n->used);
    if (n->sign < 0) mpz_neg(z, z);
}

// q := the value of n: its limbs, sign and scale (BASE^-frac_limbs).
inline void mpq_of(mpq_t q, const BigNum *n) {
    mpz_t z, p;
    mpz_inits(z, p, nullptr);
    mpz_of(z, n);
    mpz_ui_pow_ui(p, BASE, unsigned(n->frac_limbs > 0 ? n->frac_limbs : 0));
    mpq_set_num(q, z);
    mpq_set_den(q, p);
    mpq_canonicalize(q);
    mpz_clears(z, p, nullptr);
}

// q := the value of the fraction f (numerator over denominator, each with its
// scale); false when the denominator is zero.
inline bool mpq_of_fraction(mpq_t q, const Fraction *f) {
    mpq_t d;
    mpq_init(d);
    mpq_of(q, f->num);
    mpq_of(d, f->den);
    bool ok = mpq_sgn(d) != 0;
    if (ok) mpq_div(q, q, d);
    mpq_clear(d);
    return ok;
}

// z := trunc(q * BASE^s), toward zero.
inline void truncate_to(mpz_t z, const mpq_t q, int s) {
    mpz_t p, n;
    mpz_inits(p, n, nullptr);
    mpz_ui_pow_ui(p, BASE, unsigned(s));
    mpz_mul(n, mpq_numref(q), p);
    mpz_tdiv_q(z, n, mpq_denref(q));
    mpz_clears(p, n, nullptr);
}

// Fails the run with a message on standard error (standard output is muted).
[[noreturn]] inline void fail(const char *what, const char *detail = "") {
    fprintf(stderr, "FAULT: %s %s\n", what, detail);
    abort();
}

}  // namespace fuzz
