// The quadratic sieve's Q(x) at a candidate in machine words: signed values
// of up to 256 bits in two's complement, their products by a machine
// integer and sums, and the division by 2 and by odd primes that divide.
#pragma once
#include <cstdint>

constexpr int Q_WORDS = 4;  // |Q(x)| < 2^200 up to 96 digits

// p^-1 modulo 2^64 for an odd p, by Newton's iteration (each step doubles
// the correct low bits, from 3 for p itself).
inline uint64_t word_inverse(uint64_t p) {
    uint64_t inv = p;
    for (int step = 0; step < 5; step++) inv *= 2 - p * inv;
    return inv;
}

// t = t * x modulo 2^256 for a signed x.
inline void words_mul(uint64_t *t, long x) {
    uint64_t m = x < 0 ? 0 - static_cast<uint64_t>(x) : static_cast<uint64_t>(x), carry = 0;
    for (int i = 0; i < Q_WORDS; i++) {
        unsigned __int128 p = static_cast<unsigned __int128>(t[i]) * m + carry;
        t[i] = static_cast<uint64_t>(p);
        carry = static_cast<uint64_t>(p >> 64);
    }
    if (x >= 0) return;
    uint64_t borrow = 1;  // negation: complement plus one
    for (int i = 0; i < Q_WORDS; i++) {
        t[i] = ~t[i] + borrow;
        borrow = borrow && t[i] == 0;
    }
}

// t = t + u modulo 2^256.
inline void words_add(uint64_t *t, const uint64_t *u) {
    unsigned carry = 0;
    for (int i = 0; i < Q_WORDS; i++) {
        unsigned __int128 s = static_cast<unsigned __int128>(t[i]) + u[i] + carry;
        t[i] = static_cast<uint64_t>(s);
        carry = static_cast<unsigned>(s >> 64);
    }
}

// Q(x) = (A x + 2B) x + C from the words of A, 2B and C: |Q(x)| to `v`,
// the words it uses (0 for zero) to *n, its sign to *negative.
inline void words_q(const uint64_t *a, const uint64_t *b2, const uint64_t *c, long x, uint64_t *v, int *n,
                    bool *negative) {
    for (int i = 0; i < Q_WORDS; i++) v[i] = a[i];
    words_mul(v, x);
    words_add(v, b2);
    words_mul(v, x);
    words_add(v, c);
    *negative = v[Q_WORDS - 1] >> 63;
    if (*negative) words_mul(v, -1);
    *n = Q_WORDS;
    while (*n > 0 && v[*n - 1] == 0) --*n;
}

// Shifts the nonzero v (n words) right past its trailing zero bits; returns
// how many there were.
inline int words_strip_twos(uint64_t *v, int *n) {
    int twos = 0;
    while (v[0] == 0) {
        for (int i = 0; i + 1 < *n; i++) v[i] = v[i + 1];
        v[--*n] = 0;
        twos += 64;
    }
    int zeros = __builtin_ctzll(v[0]);
    if (zeros == 0) return twos;
    for (int i = 0; i < *n; i++) v[i] = (v[i] >> zeros) | (i + 1 < *n ? v[i + 1] << (64 - zeros) : 0);
    if (v[*n - 1] == 0) --*n;
    return twos + zeros;
}

// Divides v (n words) by the odd p when p | v, with p^-1 mod 2^64: word by
// word from the low end, each quotient word q = (v_i - borrow) p^-1 and the
// borrow into the next the high word of q p; the last borrow is 0 exactly
// when p divides v. False (v unchanged) otherwise.
inline bool divide_words(uint64_t *v, int *n, uint32_t p, uint64_t inverse) {
    uint64_t q[Q_WORDS], borrow = 0;
    for (int i = 0; i < *n; i++) {
        uint64_t s = v[i] - borrow;
        uint64_t under = s > v[i];
        q[i] = s * inverse;
        borrow = static_cast<uint64_t>((static_cast<unsigned __int128>(q[i]) * p) >> 64) + under;
    }
    if (borrow != 0) return false;
    for (int i = 0; i < *n; i++) v[i] = q[i];
    while (*n > 0 && v[*n - 1] == 0) --*n;
    return true;
}
