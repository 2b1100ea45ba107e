// The method threshold table: what set_thresholds refuses, and that every
// method it can force (as the tuning program does) gives the same products,
// squares, quotients and common divisors at lengths where the defaults
// would never run it.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "engine/fastmul.h"
#include "engine/limbs.h"
#include "engine/thresholds.h"
#include "number/bignum.h"
#include "support.h"

namespace {

using Vec = std::vector<uint32_t>;

uint64_t rng = 0x2545f4914f6cdd1dULL;
Vec random_vec(int n) {
    Vec v(static_cast<size_t>(n));
    for (uint32_t &x : v) {
        rng ^= rng << 13;
        rng ^= rng >> 7;
        rng ^= rng << 17;
        x = uint32_t(rng % LV_BASE);
    }
    if (v.back() == 0) v.back() = 7;
    return v;
}

struct Forced : ::testing::Test {
    static void SetUpTestSuite() {
        bind_gmp();
        ASSERT_EQ(pool_start(3000), 0);
        ASSERT_EQ(fastmul_reserve(core, 12000), STATUS_OK);
    }
    void TearDown() override { ASSERT_TRUE(set_thresholds(Thresholds{})); }
};

// Tables that would loop for ever, overflow the schoolbook's columns,
// overrun Karatsuba's static scratch or leave the Newton step no shorter
// half are refused and change nothing.
TEST_F(Forced, RefusesTablesTheCodeCannotRun) {
    Thresholds t;
    t.karatsuba_leaf = 3;  // halves of 3 limbs split into halves of 3
    EXPECT_FALSE(set_thresholds(t));
    t = Thresholds{};
    t.karatsuba = KARATSUBA_MAX_LIMBS + 1;  // the schoolbook on longer operands
    EXPECT_FALSE(set_thresholds(t));
    t = Thresholds{};
    t.square_leaf = KARATSUBA_MAX_LIMBS + 1;
    EXPECT_FALSE(set_thresholds(t));
    t = Thresholds{};
    t.transform = KARATSUBA_MAX_LIMBS + 1;
    EXPECT_FALSE(set_thresholds(t));
    t = Thresholds{};
    t.square_transform = KARATSUBA_MAX_LIMBS + 1;
    EXPECT_FALSE(set_thresholds(t));
    t = Thresholds{};
    t.div_newton = 7;
    EXPECT_FALSE(set_thresholds(t));
    t = Thresholds{};
    t.gcd_library = 0;
    EXPECT_FALSE(set_thresholds(t));
    EXPECT_EQ(thresholds().karatsuba_leaf, KARATSUBA_LEAF);
    EXPECT_EQ(thresholds().div_newton, DIV_NEWTON_LIMBS);
    t = Thresholds{};
    t.karatsuba_leaf = 8;
    t.transform = KARATSUBA_MAX_LIMBS;
    EXPECT_TRUE(set_thresholds(t));
    EXPECT_EQ(thresholds().karatsuba_leaf, 8);
}

// The tables that force one product method everywhere.
std::vector<Thresholds> product_tables() {
    Thresholds school, deep, wide, ntt, slices;
    school.karatsuba = KARATSUBA_MAX_LIMBS;  // the column schoolbook as far as it goes
    deep.karatsuba = 1;          // Karatsuba down to halves of 8 limbs
    deep.karatsuba_leaf = deep.square_leaf = 8;
    deep.transform = deep.square_transform = deep.transform_slice = KARATSUBA_MAX_LIMBS;
    wide = deep;  // Karatsuba with leaves far above the defaults
    wide.karatsuba_leaf = wide.square_leaf = 700;
    ntt.karatsuba = ntt.transform = ntt.square_transform = 1;  // the transform from one limb on
    slices = deep;  // the kept transform on every slice of an unbalanced product
    slices.transform_slice = 1;
    return {school, deep, wide, ntt, slices};
}

TEST_F(Forced, EveryProductMethodAgrees) {
    const std::vector<std::pair<int, int>> shapes = {{1, 1},   {2, 1},     {9, 9},     {17, 8},   {40, 39},
                                                     {64, 64}, {200, 9},   {301, 150}, {700, 700}, {1500, 1499},
                                                     {1799, 1799}, {2047, 2047}, {3000, 1000}};
    for (auto [na, nb] : shapes) {
        Vec a = random_vec(na), b = random_vec(nb);
        Vec want(size_t(na + nb)), got(size_t(na + nb)), sq(2 * size_t(na)), sq_got(2 * size_t(na));
        mul_limbs(core, want.data(), a.data(), na, b.data(), nb);
        sqr_limbs(core, sq.data(), a.data(), na);
        int which = 0;
        for (const Thresholds &t : product_tables()) {
            ASSERT_TRUE(set_thresholds(t));
            mul_limbs(core, got.data(), a.data(), na, b.data(), nb);
            EXPECT_EQ(got, want) << na << " x " << nb << ", table " << which;
            sqr_limbs(core, sq_got.data(), a.data(), na);
            EXPECT_EQ(sq_got, sq) << na << " squared, table " << which;
            which++;
        }
        ASSERT_TRUE(set_thresholds(Thresholds{}));
    }
}

// Record products through their own loop and through the limb vectors.
TEST_F(Forced, RecordProductsEitherWay) {
    // Work integers 1-3 are multiply's own scratch.
    BigNum *x = work_int(4), *y = work_int(5), *z = work_int(6), *w = work_int(7);
    for (int n : {2, 5, 6, 30, 300}) {
        Vec a = random_vec(n), b = random_vec(n + 3);
        put(x, {});
        put(y, {});
        for (int k = 0; k < n; k++) limb(x, k) = int32_t(a[size_t(k)]);
        for (int k = 0; k < n + 3; k++) limb(y, k) = int32_t(b[size_t(k)]);
        x->used = n;
        y->used = n + 3;
        y->sign = -1;
        Thresholds t;
        t.karatsuba = KARATSUBA_MAX_LIMBS;
        ASSERT_TRUE(set_thresholds(t));
        ASSERT_EQ(multiply(z, x, y), STATUS_OK);
        t.karatsuba = 1;
        ASSERT_TRUE(set_thresholds(t));
        ASSERT_EQ(multiply(w, x, y), STATUS_OK);
        EXPECT_EQ(limbs_of(w), limbs_of(z)) << n;
        EXPECT_EQ(w->sign, -1);
        EXPECT_EQ(z->sign, -1);
    }
}

// Quotients and remainders by the schoolbook and by a Newton reciprocal from
// the shortest divisor it takes, with short and long quotients.
TEST_F(Forced, DivisionEitherWay) {
    for (auto [na, nb] : {std::pair{16, 8}, {17, 9}, {40, 20}, {300, 31}, {90, 89}, {1000, 500}}) {
        Vec a = random_vec(na), b = random_vec(nb);
        Vec q1(static_cast<size_t>(na - nb + 1)), r1(static_cast<size_t>(nb));
        Vec q2 = q1, r2 = r1;
        Thresholds t;
        t.div_newton = INT_MAX;
        ASSERT_TRUE(set_thresholds(t));
        ASSERT_EQ(lv_divrem(core, q1.data(), r1.data(), a.data(), na, b.data(), nb), STATUS_OK);
        t.div_newton = 8;
        ASSERT_TRUE(set_thresholds(t));
        ASSERT_EQ(lv_divrem(core, q2.data(), r2.data(), a.data(), na, b.data(), nb), STATUS_OK);
        EXPECT_EQ(q2, q1) << na << " / " << nb;
        EXPECT_EQ(r2, r1) << na << " / " << nb;
    }
}

// Common divisors by Lehmer and by the library, of operands with a known
// common factor.
TEST_F(Forced, GcdEitherWay) {
    ASSERT_TRUE(gmp_ready());
    BigNum *x = work_int(4), *y = work_int(5), *f = work_int(6), *g = work_int(7), *h = reg_num[0];
    for (int n : {3, 4, 10, 40}) {
        Vec c = random_vec(n), a = random_vec(n + 1), b = random_vec(n);
        put(f, {});
        for (int k = 0; k < n; k++) limb(f, k) = int32_t(c[size_t(k)]);
        f->used = n;
        put(x, {});
        for (int k = 0; k <= n; k++) limb(x, k) = int32_t(a[size_t(k)]);
        x->used = n + 1;
        put(y, {});
        for (int k = 0; k < n; k++) limb(y, k) = int32_t(b[size_t(k)]);
        y->used = n;
        ASSERT_EQ(multiply(x, x, f), STATUS_OK);
        ASSERT_EQ(multiply(y, y, f), STATUS_OK);
        Thresholds t;
        t.gcd_library = INT_MAX;
        ASSERT_TRUE(set_thresholds(t));
        ASSERT_EQ(gcd_magnitude(g, x, y), STATUS_OK);
        t.gcd_library = 1;
        ASSERT_TRUE(set_thresholds(t));
        ASSERT_EQ(gcd_magnitude(h, x, y), STATUS_OK);
        EXPECT_EQ(limbs_of(h), limbs_of(g)) << n;
        EXPECT_GE(g->used, n) << "the common factor is missing";
    }
}

}  // namespace
