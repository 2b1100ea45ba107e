// Q(x) of the quadratic sieve in machine words, checked against GMP: the
// value and sign of (A x + 2B) x + C, the trailing twos shifted out, and
// the division by odd primes that tells when they do not divide.
#include <gmp.h>
#include <gtest/gtest.h>

#include <vector>

#include "factor/siqs_words.h"

namespace {

uint64_t state = 0x243f6a8885a308d3ULL;
uint64_t next_word() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state ^ (state >> 29);
}

// z from n words of v (n <= Q_WORDS), and back (z < 2^256, |z| only).
void from_words(mpz_t z, const uint64_t *v, int n) {
    mpz_set_ui(z, 0);
    for (int i = n - 1; i >= 0; i--) {
        mpz_mul_2exp(z, z, 64);
        mpz_add_ui(z, z, v[i]);
    }
}
// Two's complement words of the signed z.
void to_words(const mpz_t z, uint64_t *v) {
    mpz_t t;
    mpz_init(t);
    mpz_fdiv_r_2exp(t, z, 64 * Q_WORDS);
    for (int i = 0; i < Q_WORDS; i++) {
        v[i] = mpz_getlimbn(t, i);
    }
    mpz_clear(t);
}
// A random value of `bits` bits, negative when asked.
void random_value(mpz_t z, int bits, bool negative) {
    mpz_set_ui(z, 0);
    for (int b = 0; b < bits; b += 64) {
        mpz_mul_2exp(z, z, 64);
        mpz_add_ui(z, z, next_word());
    }
    mpz_fdiv_r_2exp(z, z, bits);
    mpz_setbit(z, bits - 1);
    if (negative) mpz_neg(z, z);
}

// Q(x) of polynomials of 60 to 96 digits' sizes (A of 90 to 140 bits, B of
// either sign below A, C down to -2^182) at x across the interval, x = 0
// and x = +-1, and a Q(x) that is 0.
TEST(SiqsWords, QMatchesGmp) {
    mpz_t a, b, c, want, t, got;
    mpz_inits(a, b, c, want, t, got, nullptr);
    const long xs[] = {0, 1, -1, 2, -3, 1000003, -1048576, 1048575, 524287, -77};
    for (int round = 0; round < 60; round++) {
        int abits = 90 + round % 51;
        random_value(a, abits, false);
        random_value(b, abits - 1 - round % 3, round % 2);
        random_value(c, abits + 20 + round % 23, round % 5 != 0);
        uint64_t wa[Q_WORDS], wb2[Q_WORDS], wc[Q_WORDS], v[Q_WORDS];
        to_words(a, wa);
        mpz_mul_2exp(t, b, 1);
        to_words(t, wb2);
        to_words(c, wc);
        for (long x : xs) {
            mpz_mul_si(want, a, x);  // (A x + 2B) x + C
            mpz_addmul_ui(want, b, 2);
            mpz_mul_si(want, want, x);
            mpz_add(want, want, c);
            int n = -1;
            bool negative = false;
            words_q(wa, wb2, wc, x, v, &n, &negative);
            from_words(got, v, n);
            if (negative) mpz_neg(got, got);
            EXPECT_EQ(mpz_cmp(got, want), 0) << "round " << round << " x " << x;
            EXPECT_EQ(n, static_cast<int>((mpz_sizeinbase(want, 2) + 63) / 64) * (mpz_sgn(want) != 0));
        }
    }
    // C = -(A x + 2B) x: Q(x) = 0, no words.
    random_value(a, 120, false);
    random_value(b, 119, true);
    long x = -4321;
    mpz_mul_si(c, a, x);
    mpz_addmul_ui(c, b, 2);
    mpz_mul_si(c, c, -x);
    uint64_t wa[Q_WORDS], wb2[Q_WORDS], wc[Q_WORDS], v[Q_WORDS];
    to_words(a, wa);
    mpz_mul_2exp(t, b, 1);
    to_words(t, wb2);
    to_words(c, wc);
    int n = -1;
    bool negative = true;
    words_q(wa, wb2, wc, x, v, &n, &negative);
    EXPECT_EQ(n, 0);
    EXPECT_FALSE(negative);
    mpz_clears(a, b, c, want, t, got, nullptr);
}

// An odd value times 2^e for e across word boundaries: e comes back, and
// the odd value with the words it uses.
TEST(SiqsWords, StripTwos) {
    mpz_t odd, z, got;
    mpz_inits(odd, z, got, nullptr);
    for (int e : {0, 1, 31, 63, 64, 65, 127, 128, 129, 190}) {
        for (int bits : {1, 2, 40, 64, 65}) {
            if (bits + e > 64 * Q_WORDS) continue;
            random_value(odd, bits, false);
            mpz_setbit(odd, 0);
            mpz_mul_2exp(z, odd, e);
            uint64_t v[Q_WORDS] = {0, 0, 0, 0};
            to_words(z, v);
            int n = static_cast<int>((mpz_sizeinbase(z, 2) + 63) / 64);
            EXPECT_EQ(words_strip_twos(v, &n), e) << e << " " << bits;
            from_words(got, v, n);
            EXPECT_EQ(mpz_cmp(got, odd), 0) << e << " " << bits;
            EXPECT_EQ(n, static_cast<int>((mpz_sizeinbase(odd, 2) + 63) / 64)) << e << " " << bits;
        }
    }
    mpz_clears(odd, z, got, nullptr);
}

// v p^k of one to four words, p from 3 to just below 2^32: p divides out
// exactly k times and leaves v; a v p + r (0 < r < p) is left as it is.
TEST(SiqsWords, DivisionByOddPrimes) {
    const uint32_t primes[] = {3, 5, 257, 65537, 1000003, 2147483647u, 4294967291u};
    mpz_t v, z, got;
    mpz_inits(v, z, got, nullptr);
    for (uint32_t p : primes) {
        uint64_t inverse = word_inverse(p);
        EXPECT_EQ(inverse * p, 1u) << p;
        for (int bits : {1, 33, 64, 100, 128, 150, 190}) {
            random_value(v, bits, false);
            if (mpz_divisible_ui_p(v, p)) mpz_add_ui(v, v, 1);
            for (int k = 0; k <= 2; k++) {
                mpz_ui_pow_ui(z, p, k);
                mpz_mul(z, z, v);
                if (mpz_sizeinbase(z, 2) > 64 * Q_WORDS - 1) continue;
                uint64_t w[Q_WORDS] = {0, 0, 0, 0};
                to_words(z, w);
                int n = static_cast<int>((mpz_sizeinbase(z, 2) + 63) / 64), divided = 0;
                while (divided < 5 && divide_words(w, &n, p, inverse)) divided++;
                EXPECT_EQ(divided, k) << p << " bits " << bits;
                from_words(got, w, n);
                EXPECT_EQ(mpz_cmp(got, v), 0) << p << " bits " << bits << " k " << k;
            }
            for (uint32_t r : {1u, 2u, p / 2, p - 1}) {
                mpz_mul_ui(z, v, p);
                mpz_add_ui(z, z, r);
                if (mpz_sizeinbase(z, 2) > 64 * Q_WORDS - 1) continue;
                uint64_t w[Q_WORDS] = {0, 0, 0, 0}, kept[Q_WORDS];
                to_words(z, w);
                for (int i = 0; i < Q_WORDS; i++) kept[i] = w[i];
                int n = static_cast<int>((mpz_sizeinbase(z, 2) + 63) / 64), n0 = n;
                EXPECT_FALSE(divide_words(w, &n, p, inverse)) << p << " r " << r;
                EXPECT_EQ(n, n0);
                for (int i = 0; i < Q_WORDS; i++) EXPECT_EQ(w[i], kept[i]);
            }
        }
    }
    mpz_clears(v, z, got, nullptr);
}

}  // namespace
