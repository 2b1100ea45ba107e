// Fast products against the library: limb-vector products at lengths on both
// sides of every method threshold, `multiply` on long operands with its
// refusals, product trees and powers, and the conversions of long values.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "expr/expr.h"
#include "engine/gmp_api.h"
#include "number/bignum.h"
#include "support.h"
#include "engine/fastmul.h"

namespace {

using Vec = std::vector<uint32_t>;

uint64_t rng_state = 88172645463325252ULL;
uint32_t next_limb() {
    rng_state ^= rng_state << 13;
    rng_state ^= rng_state >> 7;
    rng_state ^= rng_state << 17;
    return uint32_t(rng_state % 100000000ULL);
}

// Random limbs with a non-zero top; `kind` 1 gives all 99999999 (longest
// carry chains), 2 mostly zero limbs.
Vec make(int n, int kind = 0) {
    Vec v(n);
    for (int i = 0; i < n; i++)
        v[i] = kind == 1 ? 99999999u : kind == 2 ? (i % 17 == 0 ? next_limb() : 0) : next_limb();
    if (v[n - 1] == 0) v[n - 1] = 1;
    return v;
}

std::string digits(const uint32_t *v, int n) {
    while (n > 1 && v[n - 1] == 0) n--;
    std::string s = std::to_string(v[n - 1]);
    char buf[16];
    for (int i = n - 2; i >= 0; i--) {
        snprintf(buf, sizeof buf, "%08u", v[i]);
        s += buf;
    }
    return s;
}

std::string mpz_text(const mpz_t z) {
    char *c = mpz_get_str(nullptr, 10, z);
    std::string s(c);
    free(c);
    return s;
}

std::string product_text(const Vec &a, const Vec &b) {
    mpz_t x, y;
    mpz_init_set_str(x, digits(a.data(), int(a.size())).c_str(), 10);
    mpz_init_set_str(y, digits(b.data(), int(b.size())).c_str(), 10);
    mpz_mul(x, x, y);
    std::string s = mpz_text(x);
    mpz_clear(x);
    mpz_clear(y);
    return s;
}

// Loads a limb vector into a BigNum with sign and scale.
void put(BigNum *n, const Vec &v, int sign = 1, int frac = 0) {
    bn_clear(n);
    for (size_t k = 0; k < v.size(); k++) limb(n, int(k)) = int32_t(v[k]);
    n->used = int(v.size());
    n->sign = int8_t(sign);
    n->frac_limbs = frac;
}

std::string text_of(BigNum *n) {
    if (n->used == 0) return "0";
    Vec v(n->used);
    for (int k = 0; k < n->used; k++) v[k] = uint32_t(limb(n, k));
    return digits(v.data(), n->used);
}

struct FastMul : ::testing::Test {
    static void SetUpTestSuite() {
        bind_gmp();
        ASSERT_EQ(pool_start(6000), 0);
        ASSERT_EQ(fastmul_reserve(core, 24000), STATUS_OK);
    }
};

TEST_F(FastMul, VectorProductsAcrossThresholds) {
    const int K = KARATSUBA_LIMBS, T = TRANSFORM_LIMBS;
    const int sizes[] = {1, 2, K - 1, K, K + 1, 2 * K + 3, T - 1, T, T + 1, 2 * T + 5, 4100};
    Vec r(2 * 4100 + 2);
    for (int na : sizes)
        for (int nb : sizes) {
            if (na > 1000 && nb > 1000 && na != nb) continue;
            Vec a = make(na), b = make(nb);
            mul_limbs(core, r.data(), a.data(), na, b.data(), nb);
            ASSERT_EQ(digits(r.data(), na + nb), product_text(a, b)) << na << " x " << nb;
        }
}

TEST_F(FastMul, UnbalancedCarriesAndSquares) {
    Vec r(20000);
    // Long against short in both orders, lengths not multiples of each other.
    for (auto [na, nb] : {std::pair{9000, 45}, {45, 9000}, {9000, 703}, {703, 9000}, {5001, 250}}) {
        Vec a = make(na), b = make(nb);
        mul_limbs(core, r.data(), a.data(), na, b.data(), nb);
        ASSERT_EQ(digits(r.data(), na + nb), product_text(a, b)) << na << " x " << nb;
    }
    for (int n : {1, KARATSUBA_LIMBS + 1, TRANSFORM_LIMBS - 1, TRANSFORM_LIMBS, 9999}) {
        for (int kind : {0, 1, 2}) {
            Vec a = make(n, kind);
            sqr_limbs(core, r.data(), a.data(), n);
            ASSERT_EQ(digits(r.data(), 2 * n), product_text(a, a)) << n << " kind " << kind;
            mul_limbs(core, r.data(), a.data(), n, a.data(), n);
            ASSERT_EQ(digits(r.data(), 2 * n), product_text(a, a)) << n << " kind " << kind;
        }
    }
}

TEST_F(FastMul, MultiplyKeepsItsContractOnLongOperands) {
    BigNum *x = work_int(5), *y = work_int(6), *z = work_int(7);
    Vec a = make(2500), b = make(1800);
    std::string want = product_text(a, b);
    for (int sx : {1, -1})
        for (int sy : {1, -1}) {
            put(x, a, sx, 1);
            put(y, b, sy, 2);
            ASSERT_EQ(multiply(z, x, y), STATUS_OK);
            EXPECT_EQ(text_of(z), want);
            EXPECT_EQ(z->sign, sx * sy);
            EXPECT_EQ(z->frac_limbs, 3);
            EXPECT_EQ(x->used, 2500);  // the operands stay as they were
            EXPECT_EQ(y->used, 1800);
        }
    // Result over either operand, operands in both orders, and a square.
    put(x, a);
    put(y, b);
    ASSERT_EQ(multiply(x, y, x), STATUS_OK);
    EXPECT_EQ(text_of(x), want);
    put(x, a);
    ASSERT_EQ(multiply(y, x, y), STATUS_OK);
    EXPECT_EQ(text_of(y), want);
    put(x, a, -1);
    ASSERT_EQ(multiply(x, x, x), STATUS_OK);
    EXPECT_EQ(text_of(x), product_text(a, a));
    EXPECT_EQ(x->sign, 1);
    // The accumulator itself as an operand and as the result.
    BigNum *acc = work_int(2);
    put(acc, a);
    put(y, b);
    ASSERT_EQ(multiply(acc, acc, y), STATUS_OK);
    EXPECT_EQ(text_of(acc), want);
    // Zero operands of either shape.
    put(x, a);
    put(y, Vec{0});
    EXPECT_EQ(multiply(z, x, y), STATUS_OK);
    EXPECT_TRUE(bn_is_zero(z));
    y->used = 0;
    EXPECT_EQ(multiply(z, y, x), STATUS_OK);
    EXPECT_TRUE(bn_is_zero(z));
}

TEST_F(FastMul, CapacityRefusalsAreUnchanged) {
    // Registers' denominators have capacity P/10 = 600: operands of 300 + 299
    // limbs fill it up to the one spare limb the product needs.
    BigNum *small = reg_den[3];
    ASSERT_EQ(small->capacity, 600);
    BigNum *x = work_int(5), *y = work_int(6);
    Vec a = make(300, 1), b = make(299, 1);
    put(x, a);
    put(y, b);
    ASSERT_EQ(multiply(small, x, y), STATUS_OK);
    EXPECT_EQ(text_of(small), product_text(a, b));
    put(small, Vec{5});
    put(y, make(300));
    EXPECT_EQ(multiply(small, x, y), STATUS_NO_ROOM);  // one limb short: silent
    EXPECT_EQ(text_of(small), "5");
    testing::internal::CaptureStdout();
    put(y, make(301));
    EXPECT_EQ(multiply(small, x, y), STATUS_REFUSED);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "prod_ovf\n");
    EXPECT_EQ(text_of(small), "5");
    // Full-size operands of a work integer: 3000 + 2999 limbs into 6000.
    BigNum *big = work_int(5);
    put(x = work_int(6), make(3000));
    put(y = work_int(7), make(2999));
    Vec va(3000), vb(2999);
    for (int k = 0; k < 3000; k++) va[k] = uint32_t(limb(x, k));
    for (int k = 0; k < 2999; k++) vb[k] = uint32_t(limb(y, k));
    ASSERT_EQ(multiply(big, x, y), STATUS_OK);
    EXPECT_EQ(text_of(big), product_text(va, vb));
    put(y, make(3000));
    EXPECT_EQ(multiply(big, x, y), STATUS_NO_ROOM);
}

// The limbs of a falling product or a power, or -1 when refused.
int falling(uint32_t *r, int room, int64_t first, int64_t count, int64_t step) {
    int len = 0;
    return falling_product_limbs(core, r, room, &len, first, count, step) == STATUS_OK ? len : -1;
}
int power_of(uint32_t *r, int room, const uint32_t *a, int n, uint64_t e) {
    int len = 0;
    return power_limbs(core, r, room, &len, a, n, e) == STATUS_OK ? len : -1;
}

TEST_F(FastMul, ProductTreesMatchTheLibrary) {
    Vec r(24000);
    mpz_t z;
    mpz_init(z);
    for (int64_t n : {1, 2, 12, 13, 1000, 9999}) {
        int len = falling(r.data(), 24000, n, n, 1);
        ASSERT_GT(len, 0);
        mpz_fac_ui(z, static_cast<unsigned long>(n));
        EXPECT_EQ(digits(r.data(), len), mpz_text(z)) << n << "!";
        len = falling(r.data(), 24000, n, (n + 1) / 2, 2);
        mpz_2fac_ui(z, static_cast<unsigned long>(n));
        EXPECT_EQ(digits(r.data(), len), mpz_text(z)) << n << "!!";
    }
    // Factors beyond one limb, as in permutations of large numbers.
    int64_t big = 3000000000000000007LL;
    int len = falling(r.data(), 24000, big, 500, 1);
    mpz_set_ui(z, 1);
    for (int64_t j = 0; j < 500; j++) {
        mpz_t f;
        mpz_init_set_str(f, std::to_string(big - j).c_str(), 10);
        mpz_mul(z, z, f);
        mpz_clear(f);
    }
    EXPECT_EQ(digits(r.data(), len), mpz_text(z));
    // A room of exactly the length succeeds, one limb less refuses.
    int exact = falling(r.data(), 24000, 9999, 9999, 1);
    EXPECT_EQ(falling(r.data(), exact, 9999, 9999, 1), exact);
    EXPECT_EQ(falling(r.data(), exact - 1, 9999, 9999, 1), -1);
    EXPECT_EQ(falling(r.data(), 100, 99999999, 99999999, 1), -1);
    mpz_clear(z);
}

TEST_F(FastMul, PowersMatchTheLibrary) {
    Vec r(24000);
    mpz_t z;
    mpz_init(z);
    for (auto [base, e] : {std::pair<uint32_t, unsigned>{3, 1}, {3, 100000}, {99999999, 777}, {2, 64}}) {
        Vec a{base};
        int len = power_of(r.data(), 24000, a.data(), 1, e);
        mpz_ui_pow_ui(z, base, e);
        EXPECT_EQ(digits(r.data(), len), mpz_text(z)) << base << "^" << e;
        int exact = len;
        EXPECT_EQ(power_of(r.data(), exact, a.data(), 1, e), exact);
        if (exact > 1) {
            EXPECT_EQ(power_of(r.data(), exact - 1, a.data(), 1, e), -1);
        }
    }
    Vec a = make(57);
    int len = power_of(r.data(), 24000, a.data(), 57, 300);
    mpz_set_str(z, digits(a.data(), 57).c_str(), 10);
    mpz_pow_ui(z, z, 300);
    EXPECT_EQ(digits(r.data(), len), mpz_text(z));
    mpz_clear(z);
}

TEST_F(FastMul, LongDivisionsConvertBothWays) {
    BigNum *x = work_int(5), *y = work_int(6), *q = work_int(7), *rem = work_frac[3].num;
    Vec a = make(4000), b = make(1234);
    put(x, a);
    put(y, b, -1);
    ASSERT_EQ(divide(q, rem, x, y), STATUS_OK);
    mpz_t za, zb, zq, zr;
    mpz_init_set_str(za, digits(a.data(), 4000).c_str(), 10);
    mpz_init_set_str(zb, digits(b.data(), 1234).c_str(), 10);
    mpz_inits(zq, zr, nullptr);
    mpz_tdiv_qr(zq, zr, za, zb);
    EXPECT_EQ(text_of(q), mpz_text(zq));
    EXPECT_EQ(q->sign, -1);
    EXPECT_EQ(text_of(rem), mpz_text(zr));
    put(x, a);
    put(y, b);
    ASSERT_EQ(gcd_lcm(q, rem, x, y), 1);
    mpz_gcd(zq, za, zb);
    mpz_lcm(zr, za, zb);
    EXPECT_EQ(text_of(q), mpz_text(zq));
    EXPECT_EQ(text_of(rem), mpz_text(zr));
    mpz_clears(za, zb, zq, zr, nullptr);
}

TEST_F(FastMul, ConversionsAtEverySplitLength) {
    // Lengths around the leaf size and the power-of-two splits, odd and even,
    // with all-nines limbs and runs of zero limbs.
    BigNum *x = work_int(5), *y = work_int(6), *q = work_int(7), *rem = work_frac[3].num;
    mpz_t za, zb, zq, zr;
    mpz_inits(za, zb, zq, zr, nullptr);
    for (int n : {3, 15, 16, 17, 31, 32, 33, 64, 65, 129, 257, 1000}) {
        for (int kind : {0, 1, 2}) {
            Vec a = make(n + 3, kind), b = make(n, kind == 1 ? 0 : kind);
            put(x, a);
            put(y, b);
            ASSERT_EQ(divide(q, rem, x, y), STATUS_OK);
            mpz_set_str(za, digits(a.data(), n + 3).c_str(), 10);
            mpz_set_str(zb, digits(b.data(), n).c_str(), 10);
            mpz_tdiv_qr(zq, zr, za, zb);
            EXPECT_EQ(text_of(q), mpz_text(zq)) << n << " kind " << kind;
            EXPECT_EQ(text_of(rem), mpz_text(zr)) << n << " kind " << kind;
            // The quotient of a by a small three-limb divisor is long.
            put(x, a);
            put(y, Vec{7, 0, 1});
            ASSERT_EQ(divide(q, nullptr, x, y), STATUS_OK);
            mpz_set_str(zb, "10000000000000007", 10);
            mpz_tdiv_q(zq, za, zb);
            EXPECT_EQ(text_of(q), mpz_text(zq)) << n << " kind " << kind;
        }
    }
    mpz_clears(za, zb, zq, zr, nullptr);
}

// ------------------------------------------- differential limb products
//
// Random operands built from runs of zero limbs, runs of 99999999 limbs and
// random limbs (long carry chains, sparse columns, both ends of the limb
// range), at lengths on both sides of every method boundary, against the
// library. Deterministic: the seed is printed, VANTREL_SEED replays one.

uint64_t diff_seed = 20261214;
uint64_t diff_state = 1;

uint64_t diff_next() {
    diff_state ^= diff_state << 13;
    diff_state ^= diff_state >> 7;
    diff_state ^= diff_state << 17;
    return diff_state;
}

// n limbs in runs: zeros, nines, random, ones, or a single random limb
// among zeros; the top limb is made non-zero unless `leading_zeros`.
Vec hard_operand(int n, bool leading_zeros = false) {
    Vec v(n);
    int i = 0;
    while (i < n) {
        int run = 1 + int(diff_next() % (diff_next() % 4 == 0 ? 2000 : 40));
        int kind = int(diff_next() % 5);
        for (int j = 0; j < run && i < n; j++, i++) {
            uint32_t x = uint32_t(diff_next() % 100000000u);
            v[i] = kind == 0 ? 0 : kind == 1 ? 99999999u : kind == 2 ? x : kind == 3 ? 1 : (j == 0 ? x : 0);
        }
    }
    if (!leading_zeros && v[n - 1] == 0) v[n - 1] = 1 + uint32_t(diff_next() % 99999999u);
    return v;
}

// z := the limb vector v[0 .. n), through its decimal digits.
void set_limbs(mpz_t z, const uint32_t *v, size_t n) {
    std::string s(8 * n, '0');
    for (size_t k = 0; k < n; k++) {
        uint32_t x = v[k];
        for (size_t d = 0; d < 8; d++, x /= 10) s[8 * (n - 1 - k) + 7 - d] = char('0' + x % 10);
    }
    mpz_set_str(z, s.c_str(), 10);
}

// Checks r[0 .. na+nb) against the library's product: every limb written
// (r starts out poisoned with values no limb can have) and in range.
::testing::AssertionResult matches_library(const Vec &r, const Vec &a, const Vec &b) {
    size_t n = a.size() + b.size();
    for (size_t k = 0; k < n; k++)
        if (r[k] >= 100000000u) return ::testing::AssertionFailure() << "limb " << k << " is " << r[k];
    mpz_t x, y, z;
    mpz_inits(x, y, z, nullptr);
    set_limbs(x, a.data(), a.size());
    set_limbs(y, b.data(), b.size());
    mpz_mul(x, x, y);
    set_limbs(z, r.data(), n);
    bool same = mpz_cmp(x, z) == 0;
    mpz_clears(x, y, z, nullptr);
    if (!same) return ::testing::AssertionFailure() << "wrong product";
    return ::testing::AssertionSuccess();
}

constexpr uint32_t POISON = 0xdeadbeefu;

// na x nb through mul_limbs (b's length nb) and, for equal operands, sqr_limbs.
::testing::AssertionResult check_pair(const Vec &a, const Vec &b) {
    Vec r(a.size() + b.size(), POISON);
    mul_limbs(core, r.data(), a.data(), int(a.size()), b.data(), int(b.size()));
    return matches_library(r, a, b);
}

::testing::AssertionResult check_square(const Vec &a) {
    Vec r(2 * a.size(), POISON);
    sqr_limbs(core, r.data(), a.data(), int(a.size()));
    return matches_library(r, a, a);
}

struct FastMulDifferential : ::testing::Test {
    static void SetUpTestSuite() {
        bind_gmp();
        diff_seed = replayable_seed("fast product", diff_seed);
    }
    void SetUp() override {
        diff_state = diff_seed | 1;  // each test replays alone under a filter
        ASSERT_EQ(fastmul_reserve(core, 300000), STATUS_OK);
    }
};

// Lengths around each method's boundary: the schoolbook and Karatsuba
// thresholds of the header, the Karatsuba recursion's leaves (products and
// squares), the kept-transform slices (against twice as long), and the
// transform's lengths: products of 2 or 3 limbs a coefficient whose
// coefficient counts sit at, just below and just above a power of two and
// three quarters of one, with leaves of 4096 values on both sides.
std::vector<int> boundary_lengths() {
    // Up to 9 the rows' edges; 15 to 24 one and two blocks of eight rows
    // with their diagonal pairs; 95 to 97 where squares leave the full
    // product's rows for their own.
    std::vector<int> v = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 23, 24, 95, 96, 97};
    for (int t : {KARATSUBA_LIMBS, KARATSUBA_LEAF, KARATSUBA_SQUARE_LEAF, TRANSFORM_SLICE_LIMBS, TRANSFORM_LIMBS,
                  SQUARE_TRANSFORM_LIMBS})
        for (int d = -1; d <= 1; d++) v.push_back(t + d);
    // A balanced product of n limbs a side has 2 ceil(n / p) - 1 coefficients
    // with p limbs a coefficient.
    for (int len = 256; len <= 16384; len *= 2)
        for (int p : {2, 3})
            for (int count : {len, len / 4 * 3}) {
                int n = (count + 1) / 2 * p;
                for (int d : {-p - 1, -1, 0, 1, p + 1}) v.push_back(n + d);
            }
    return v;
}

TEST_F(FastMulDifferential, BalancedProductsAndSquaresAtEveryBoundary) {
    for (int n : boundary_lengths()) {
        Vec a = hard_operand(n), b = hard_operand(n);
        ASSERT_TRUE(check_pair(a, b)) << n << " x " << n << ", seed " << diff_seed;
        ASSERT_TRUE(check_square(a)) << n << " squared, seed " << diff_seed;
        // The same operand passed twice goes the square's way.
        if (n < 2000) {
            ASSERT_TRUE(check_pair(a, a)) << n << " x itself, seed " << diff_seed;
        }
        // One limb apart: balanced shapes that the square path never sees.
        Vec c = hard_operand(n + 1);
        ASSERT_TRUE(check_pair(a, c)) << n << " x " << n + 1 << ", seed " << diff_seed;
    }
}

// The schoolbook rows and the transforms' butterflies run eight lanes at a
// time where the processor has 512-bit vectors; the scalar loops must give
// the same products (the test above ran with whichever this processor takes).
TEST_F(FastMulDifferential, ScalarAndVectorLoopsAgree) {
    bool had = fastmul_use_vectors(false);
    for (int n : boundary_lengths()) {
        Vec a = hard_operand(n), b = hard_operand(n + 1);
        EXPECT_TRUE(check_pair(a, b)) << n << " x " << n + 1 << ", scalar, seed " << diff_seed;
        EXPECT_TRUE(check_square(a)) << n << " squared, scalar, seed " << diff_seed;
    }
    fastmul_use_vectors(had);
}

TEST_F(FastMulDifferential, UnbalancedProductsInBothOrders) {
    // The shorter operand on both sides of each threshold, the longer one
    // from just over the short one to a thousand times it: Karatsuba and
    // transforms on slices, the last slice short or exactly full.
    std::vector<int> shorter = {1, 500, 1000, 3001};
    for (int t : {KARATSUBA_LIMBS, KARATSUBA_LEAF, TRANSFORM_SLICE_LIMBS, TRANSFORM_LIMBS})
        for (int d = -1; d <= 1; d++) shorter.push_back(t + d);
    for (int nb : shorter) {
        for (int na : {nb + 1, 2 * nb - 1, 2 * nb, 2 * nb + 1, 3 * nb + 7, 17 * nb + 5, 400 * nb + 3}) {
            if (na + nb > 130000) continue;
            Vec a = hard_operand(na), b = hard_operand(nb);
            ASSERT_TRUE(check_pair(a, b)) << na << " x " << nb << ", seed " << diff_seed;
            ASSERT_TRUE(check_pair(b, a)) << nb << " x " << na << ", seed " << diff_seed;
        }
    }
    // A short operand below the Karatsuba leaf takes the whole longer one
    // in the schoolbook rows up to 2 KARATSUBA_MAX_LIMBS limbs in all, in
    // slices beyond; both sides of that edge, with vectors and without.
    for (bool vec : {true, false}) {
        bool had = fastmul_use_vectors(vec);
        for (int nb : {KARATSUBA_LIMBS, KARATSUBA_LEAF - 1})
            for (int na : {2 * KARATSUBA_MAX_LIMBS - nb, 2 * KARATSUBA_MAX_LIMBS - nb + 1}) {
                Vec a = hard_operand(na), b = hard_operand(nb);
                ASSERT_TRUE(check_pair(a, b)) << na << " x " << nb << ", vectors " << vec << ", seed " << diff_seed;
            }
        fastmul_use_vectors(had);
    }
    // Random shapes of every size up to the reserve.
    for (int trial = 0; trial < 50; trial++) {
        int na = 1 + int(diff_next() % (trial < 40 ? 6000 : 100000));
        int nb = 1 + int(diff_next() % uint64_t(na));
        Vec a = hard_operand(na), b = hard_operand(nb);
        ASSERT_TRUE(check_pair(a, b)) << na << " x " << nb << ", seed " << diff_seed;
    }
}

TEST_F(FastMulDifferential, LeadingZeroLimbsAndPrefixesOfOneArray) {
    for (int n : {50, 300, 2500, 20000}) {
        // Operands whose top limbs are zero still fill every product limb.
        Vec a = hard_operand(n, true), b = hard_operand(n / 2 + 3, true);
        for (int k = 0; k < n / 3; k++) a[n - 1 - k] = 0;
        ASSERT_TRUE(check_pair(a, b)) << n << ", seed " << diff_seed;
        ASSERT_TRUE(check_square(a)) << n << ", seed " << diff_seed;
        // a and b may be the same array with different lengths.
        Vec r(n + n / 2, POISON);
        mul_limbs(core, r.data(), a.data(), n, a.data(), n / 2);
        ASSERT_TRUE(matches_library(r, a, Vec(a.begin(), a.begin() + n / 2))) << n << ", seed " << diff_seed;
    }
}

// ------------------------------------------- exactness at the bounds

// (10^(8a) - 1)(10^(8b) - 1), a >= b, in limbs: 1, b - 1 zeros, a - b
// nines, 99999998, b - 1 nines. All-nines operands make every coefficient of
// the transforms as large as it can be, so they probe the prime bounds.
::testing::AssertionResult is_nines_product(const uint32_t *r, int a, int b) {
    if (a < b) std::swap(a, b);
    for (int k = 0; k < a + b; k++) {
        uint32_t want = k == 0 ? 1 : k < b ? 0 : k < a ? 99999999u : k == a ? 99999998u : 99999999u;
        if (r[k] != want) return ::testing::AssertionFailure() << "limb " << k << " is " << r[k] << ", not " << want;
    }
    return ::testing::AssertionSuccess();
}

// The value of v modulo the prime q = 2^61 - 1 (2^61 = 1 modulo q folds
// the high bits onto the low ones).
uint64_t residue(const uint32_t *v, size_t n) {
    const uint64_t q = (uint64_t(1) << 61) - 1;
    uint64_t h = 0;
    for (size_t k = n; k-- > 0;) {
        unsigned __int128 x = (unsigned __int128)h * 100000000u + v[k];
        uint64_t y = uint64_t(x & q) + uint64_t(x >> 61);
        y = (y & q) + (y >> 61);
        h = y >= q ? y - q : y;
    }
    return h;
}

struct FastMulBounds : ::testing::Test {
    static void SetUpTestSuite() { diff_state = diff_seed | 1; }
};

TEST_F(FastMulBounds, TwoPrimesUpToTheirLastCoefficientThreeBeyond) {
    // Two limbs a coefficient modulo two primes hold sums of 212676 products
    // of two coefficients: shorter operands of 425352 limbs, all nines, are
    // the largest they take; 425354 (212677 full coefficients) need the
    // three primes.
    ASSERT_EQ(fastmul_reserve(core, 2 * 425354 + 2000), STATUS_OK);
    for (auto [na, nb] : {std::pair{425352, 425352}, {425354, 425354}, {426352, 425352}, {425354, 425353}}) {
        Vec a(na, 99999999u), b(nb, 99999999u), r(size_t(na + nb), POISON);
        mul_limbs(core, r.data(), a.data(), na, b.data(), nb);
        ASSERT_TRUE(is_nines_product(r.data(), na, nb)) << na << " x " << nb;
        if (na == nb) {
            sqr_limbs(core, r.data(), a.data(), na);
            ASSERT_TRUE(is_nines_product(r.data(), na, na)) << na << " squared";
        }
    }
}

TEST_F(FastMulBounds, ProductsAsLongAsTheReserveAllows) {
    // 2^22 limbs a side, the longest product fastmul_reserve takes, with the
    // largest coefficients; then random operands of 3.5 million limbs (the
    // largest preset) checked modulo a prime.
    ASSERT_EQ(fastmul_reserve(core, 1 << 23), STATUS_OK);
    EXPECT_EQ(fastmul_reserve(core, (1 << 23) + 1), STATUS_NO_ROOM);
    EXPECT_EQ(fastmul_capacity(core), 1 << 23);
    const uint64_t q = (uint64_t(1) << 61) - 1;
    for (int n : {1 << 22}) {
        Vec a(n, 99999999u), r(2 * size_t(n), POISON);
        sqr_limbs(core, r.data(), a.data(), n);
        ASSERT_TRUE(is_nines_product(r.data(), n, n)) << n << " squared";
        Vec b(n, 99999999u);  // equal values in another array: the product path
        mul_limbs(core, r.data(), a.data(), n, b.data(), n);
        ASSERT_TRUE(is_nines_product(r.data(), n, n)) << n << " x " << n;
    }
    int n = 3500000;
    Vec a = hard_operand(n), b = hard_operand(n - 12345), r(2 * size_t(n), POISON);
    mul_limbs(core, r.data(), a.data(), n, b.data(), n - 12345);
    unsigned __int128 want = (unsigned __int128)residue(a.data(), a.size()) * residue(b.data(), b.size()) % q;
    EXPECT_EQ(residue(r.data(), r.size() - 12345), uint64_t(want)) << "seed " << diff_seed;
}

// ------------------------------------------- interrupts

TEST(FastMulInterrupt, LongProductsPollBetweenTheirStages) {
    // Every transform product polls once per prime and before its end, and
    // stays right; with the flag raised it stops and leaves zeros.
    bind_gmp();
    ASSERT_EQ(fastmul_reserve(core, 300000), STATUS_OK);
    core.stop = &interrupt_requested;
    for (auto [na, nb] : {std::pair{20000, 20000}, {100000, 2000}, {60000, 60001}}) {
        Vec a = make(na), b = make(nb), r(size_t(na + nb));
        uint64_t before = core.polls;
        mul_limbs(core, r.data(), a.data(), na, b.data(), nb);
        EXPECT_GE(core.polls - before, 3u) << na << " x " << nb;
        EXPECT_EQ(digits(r.data(), na + nb), product_text(a, b)) << na << " x " << nb;
        interrupt_requested = 1;
        mul_limbs(core, r.data(), a.data(), na, b.data(), nb);
        interrupt_requested = 0;
        EXPECT_EQ(core.status, STATUS_INTERRUPTED);
        core.status = STATUS_OK;
        for (uint32_t x : r) ASSERT_EQ(x, 0u);
    }
    Vec a = make(30000), r(60000);
    uint64_t before = core.polls;
    sqr_limbs(core, r.data(), a.data(), 30000);
    EXPECT_GE(core.polls - before, 3u);
    EXPECT_EQ(digits(r.data(), 60000), product_text(a, a));
}

// ------------------------------------------------ evaluator products

// Limbs of base 100000000 that z needs (1 for zero).
int limbs_of(const mpz_t z) {
    size_t d = mpz_sizeinbase(z, 10);
    // sizeinbase may overestimate by one digit
    mpz_t t;
    mpz_init(t);
    mpz_ui_pow_ui(t, 10, d - 1);
    if (mpz_cmpabs(z, t) < 0) d--;
    mpz_clear(t);
    return d == 0 ? 1 : int((d + 7) / 8);
}

// The step-by-step loop on library integers: result := result * m for each
// factor, refused (the result becomes 0 with one notice) at the first step
// whose product does not leave the spare limb `multiply` asks for in a
// record of `cap` limbs. A factor of one is only checked against the sum.
struct LoopOracle {
    int cap;
    bool refused = false;
    mpz_t value;
    explicit LoopOracle(int c, unsigned long start) : cap(c) { mpz_init_set_ui(value, start); }
    ~LoopOracle() { mpz_clear(value); }
    void times(const mpz_t m) {
        if (refused) return;
        int need = limbs_of(value) + limbs_of(m);
        if (need > cap || (mpz_cmp_ui(m, 1) != 0 && need + 1 > cap)) {
            refused = true;
            mpz_set_ui(value, 0);
            return;
        }
        mpz_mul(value, value, m);
    }
    void times_ui(unsigned long m) {
        mpz_t t;
        mpz_init_set_ui(t, m);
        times(t);
        mpz_clear(t);
    }
};

struct FastEval : ::testing::Test {
    void SetUp() override {
        if (!gmp_ready()) bind_gmp();
        fixed_point_limbs = 4;
        ASSERT_EQ(pool_start(200), 0);
    }
    // Evaluates text at level 1; the numerator as digits, and the output.
    std::pair<std::string, std::string> eval(const std::string &text) {
        Fraction *f = &work_frac[0];
        fraction_init(f);
        testing::internal::CaptureStdout();
        eval_group(text.c_str(), f, 1);
        fflush(stdout);
        std::string out = testing::internal::GetCapturedStdout();
        std::string v = text_of(f->num);
        return {f->num->sign < 0 && v != "0" ? "-" + v : v, out};
    }
    void expect(const std::string &text, const LoopOracle &o) {
        auto [value, out] = eval(text);
        EXPECT_EQ(value, mpz_text(o.value)) << text;
        EXPECT_EQ(out, o.refused ? "prod_ovf\n" : "") << text;
    }
};

TEST_F(FastEval, FactorialsUpToTheCapacityBoundary) {
    // 200 limbs hold up to 662! and 1196!!; each range crosses its boundary.
    for (int step : {1, 2})
        for (int n = step == 1 ? 655 : 1185; n < (step == 1 ? 672 : 1215); n++) {
            LoopOracle o(200, 1);
            for (int v = n; v > 0; v -= step) o.times_ui(static_cast<unsigned long>(v));
            expect(std::to_string(n) + (step == 1 ? "!" : "!!"), o);
        }
    LoopOracle small(200, 1);
    for (int v = 70; v > 0; v--) small.times_ui(static_cast<unsigned long>(v));
    expect("70!", small);
}

TEST_F(FastEval, CombinationsAndPermutationsMatchTheLoop) {
    struct Case {
        const char *u;
        int r;
    };
    // Counts of the record's capacity (200) or more are computed like any
    // other (2000P1990 does not fit and is refused).
    for (Case c : {Case{"1000", 150}, {"1000", 180}, {"1000", 199}, {"330", 180}, {"2000", 199},
                   {"5000", 190}, {"99999999999", 90}, {"99999999999", 144}, {"99999999999", 145},
                   {"99999999999", 146}, {"99999999999", 147}, {"12345678901234567", 70},
                   {"12345678901234567", 97}, {"12345678901234567", 98}, {"12345678901234567", 99},
                   {"12345678901234567", 100}, {"2000", 1990}, {"300", 250}, {"300", 260}}) {
        for (bool comb : {false, true}) {
            mpz_t u, m;
            mpz_init_set_str(u, c.u, 10);
            mpz_init(m);
            int r = c.r;
            // The evaluator takes the shorter side of a combination.
            if (comb && mpz_cmp_ui(u, 2 * static_cast<unsigned long>(r)) < 0)
                r = int(mpz_get_ui(u)) - r;
            LoopOracle o(200, 0);
            mpz_set(o.value, u);
            for (int j = 1; j < r; j++) {
                mpz_sub_ui(m, u, static_cast<unsigned long>(j));
                o.times(m);
            }
            if (comb && !o.refused)
                for (int j = 2; j <= r; j++) mpz_divexact_ui(o.value, o.value, static_cast<unsigned long>(j));
            expect(std::string(c.u) + (comb ? "C" : "P") + std::to_string(c.r), o);
            mpz_clears(u, m, nullptr);
        }
    }
}

}  // namespace
