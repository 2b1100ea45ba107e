// Error bounds of inexact values: the radius rules against exact rationals
// of the library, the certainty test at a cut, and the recovery of a simple
// fraction inside a ball.
#include <gmp.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "number/ball.h"
#include "number/bignum.h"
#include "support.h"

namespace {

uint64_t ball_seed = 20261209;

struct Ball : ::testing::Test {
    static void SetUpTestSuite() { ASSERT_EQ(start_library_suite("Ball", 200, &ball_seed), 0); }
    void SetUp() override { fixed_point_limbs = 6; }
    void TearDown() override { fixed_point_limbs = 4; }
    Fraction *a = &work_frac[9], *b = &work_frac[10], *c = &work_frac[11];
};

// q := the exact value num/den of f (numerator scale included).
void get_mpq(mpq_t q, Fraction *f) {
    mpz_t n, d;
    mpz_inits(n, d, nullptr);
    get_mpz(n, f->num);
    get_mpz(d, f->den);
    mpz_ui_pow_ui(d, 10, 0);
    get_mpz(d, f->den);
    if (f->num->frac_limbs) {
        mpz_t p;
        mpz_init(p);
        mpz_ui_pow_ui(p, 10, 8UL * unsigned(f->num->frac_limbs));
        mpz_mul(d, d, p);
        mpz_clear(p);
    }
    mpq_set_num(q, n);
    mpq_set_den(q, d);
    mpq_canonicalize(q);
    mpz_clears(n, d, nullptr);
}

// Whether |x - y| <= 2^rad.
bool within(mpq_t x, mpq_t y, double rad) {
    mpq_t diff;
    mpq_init(diff);
    mpq_sub(diff, x, y);
    mpq_abs(diff, diff);
    double l = mpq_sgn(diff) == 0 ? RAD_ZERO : std::log2(mpq_get_d(diff));
    if (mpq_sgn(diff) != 0 && mpq_get_d(diff) == 0) {
        // Too small for a double: compare through the exponent.
        long e;
        double m = mpz_get_d_2exp(&e, mpq_numref(diff));
        long e2;
        double m2 = mpz_get_d_2exp(&e2, mpq_denref(diff));
        l = std::log2(m / m2) + double(e - e2);
    }
    mpq_clear(diff);
    return l <= rad;
}

// f := p/q as an exact fraction.
void set_ratio(Fraction *f, int64_t p, int64_t q) {
    fraction_init(f);
    set_int64(f->num, p);
    set_int64(f->den, q);
}

TEST_F(Ball, RadiusArithmeticRoundsUpward) {
    EXPECT_TRUE(rad_is_zero(rad_add(RAD_ZERO, RAD_ZERO)));
    EXPECT_GE(rad_add(3.0, 3.0), 4.0);
    EXPECT_LT(rad_add(3.0, 3.0), 4.0 + 1e-6);
    EXPECT_TRUE(rad_is_zero(rad_mul(RAD_ZERO, 5.0)));
    EXPECT_GE(rad_mul(-10.0, 4.0), -6.0);
    EXPECT_GE(rad_ulps(1, 1), -8 * std::log2(10.0));
    EXPECT_TRUE(std::isinf(rad_add(RAD_INF, 1.0)));
    // 2^10 - 2^9 = 2^9.
    EXPECT_LE(lg_sub_lower(10.0, 9.0), 9.0);
    EXPECT_GT(lg_sub_lower(10.0, 9.0), 9.0 - 1e-6);
    EXPECT_TRUE(rad_is_zero(lg_sub_lower(10.0, 10.0)));
}

// Random fractions made inexact by to_fixed; sums, products and quotients
// (through the quotient bound) must stay within their radii of the exact
// results, with the result record also an operand.
TEST_F(Ball, SumsProductsAndQuotientsStayWithinTheirRadius) {
    std::mt19937_64 rng(ball_seed);
    mpq_t x, y, exact, got;
    mpq_inits(x, y, exact, got, nullptr);
    for (int round = 0; round < 300; round++) {
        int64_t p1 = int64_t(rng() % 2000000) - 1000000, q1 = int64_t(rng() % 999983) + 1;
        int64_t p2 = int64_t(rng() % 2000000) - 1000000, q2 = int64_t(rng() % 999979) + 1;
        if (p2 == 0) p2 = 7;
        set_ratio(a, p1, q1);
        set_ratio(b, p2, q2);
        mpq_set_si(x, p1, uint64_t(q1));
        mpq_canonicalize(x);
        mpq_set_si(y, p2, uint64_t(q2));
        mpq_canonicalize(y);
        to_fixed(a, 6);
        to_fixed(b, 6);
        if (round % 3 == 0) {
            fraction_product(a, a, b);  // the result is an operand
            mpq_mul(exact, x, y);
        } else if (round % 3 == 1) {
            fraction_add(a, a, b);
            mpq_add(exact, x, y);
        } else {
            double rad = rad_quotient(mag_up(a), a->rad, mag_up(b), mag_lo(b), b->rad);
            get_mpq(got, a);
            mpq_t held_b;
            mpq_init(held_b);
            get_mpq(held_b, b);
            mpq_div(got, got, held_b);
            mpq_clear(held_b);
            mpq_div(exact, x, y);
            EXPECT_TRUE(within(exact, got, rad)) << "quotient round " << round;
            continue;
        }
        get_mpq(got, a);
        EXPECT_TRUE(within(exact, got, a->rad)) << "round " << round;
    }
    mpq_clears(x, y, exact, got, nullptr);
}

// An exact operand stays exact: no truncation, no radius.
TEST_F(Ball, ExactOperationsKeepRadiusZero) {
    set_ratio(a, 1, 4);
    to_fixed(a, 6);  // .25 exactly
    EXPECT_TRUE(rad_is_zero(a->rad));
    set_ratio(a, 1, 3);
    to_fixed(a, 6);
    EXPECT_FALSE(rad_is_zero(a->rad));
    set_ratio(b, 2, 3);
    set_ratio(c, 5, 7);
    fraction_product(b, b, c);
    fraction_add(b, b, c);
    EXPECT_TRUE(rad_is_zero(b->rad));
}

// 0.123456789..., known to a few units of its 48th place.
void put_value(Fraction *f, const std::string &digits, int frac, int sign, double rad) {
    fraction_init(f);
    mpz_t z;
    mpz_init_set_str(z, digits.c_str(), 10);
    put_mpz(f->num, z);
    mpz_clear(z);
    f->num->frac_limbs = frac;
    f->num->sign = int8_t(sign);
    f->rad = rad;
}

TEST_F(Ball, CertainAtTheCutOnlyWhenTheWholeBallTruncatesAlike) {
    std::string mid = "123456789012345678901234567890125555555555555555";  // 48 places
    put_value(a, mid, 6, 1, rad_ulps(1000, 6));
    ASSERT_EQ(ball_truncate(a, 4), CERTAIN_YES);
    EXPECT_EQ(a->num->frac_limbs, 4);
    EXPECT_EQ(limb(a->num, 0), 56789012);
    EXPECT_TRUE(rad_is_zero(a->rad));
    // Negative values truncate toward zero, like their magnitude.
    put_value(a, mid, 6, -1, rad_ulps(1000, 6));
    ASSERT_EQ(ball_truncate(a, 4), CERTAIN_YES);
    EXPECT_EQ(a->num->sign, -1);
    EXPECT_EQ(limb(a->num, 0), 56789012);
    // Just above a cut: the ball reaches below it.
    put_value(a, "123456789012345678901234567890120000000000000003", 6, 1, rad_ulps(10, 6));
    EXPECT_EQ(ball_truncate(a, 4), CERTAIN_NO);
    // A ball around 0 narrower than the last kept place is certain as 0.
    put_value(a, "5", 6, -1, rad_ulps(100, 6));
    ASSERT_EQ(ball_truncate(a, 4), CERTAIN_YES);
    EXPECT_TRUE(bn_is_zero(a->num));
}

TEST_F(Ball, CertainPlacesStopWhereTheBallDisagrees) {
    // 1.2345 exactly on the cut of its fourth place, known to 10^-20: the
    // ball reaches 1.23449999..., so only the places before the 5 agree.
    put_value(a, "12345" + std::string(44, '0'), 6, 1, rad_ulps(1e28, 6));
    int places = ball_certain_places(a, 4);
    EXPECT_EQ(places, 3);  // 1.234
    EXPECT_TRUE(rad_is_zero(a->rad));
}

TEST_F(Ball, RecoversOnlyAFractionInsideTheBall) {
    // 1.999...9 (48 nines) within 10 units: 2 lies inside.
    put_value(a, "1" + std::string(48, '9'), 6, 1, rad_ulps(10, 6));
    ASSERT_TRUE(ball_recover(a, 4));
    EXPECT_EQ(value_of(a->num), 2);
    EXPECT_EQ(value_of(a->den), 1);
    // 0.333...3 with 40 threes and then eight zeros, known to one unit: 1/3
    // lies 3.3 * 10^-41 away, far outside.
    put_value(a, std::string(40, '3') + "00000000", 6, 1, rad_ulps(1, 6));
    EXPECT_FALSE(ball_recover(a, 4));
    // Threes known only to the 31st place: the ball is wider than a unit of
    // the 32nd, so a fraction inside it proves nothing and is not taken.
    put_value(a, std::string(48, '3'), 6, 1, rad_ulps(1e17, 6));
    EXPECT_FALSE(ball_recover(a, 4));
    // The same threes all the way down are within a unit of 1/3.
    put_value(a, std::string(48, '3'), 6, 1, rad_ulps(1, 6));
    ASSERT_TRUE(ball_recover(a, 4));
    EXPECT_EQ(value_of(a->num), 1);
    EXPECT_EQ(value_of(a->den), 3);
}

}  // namespace
