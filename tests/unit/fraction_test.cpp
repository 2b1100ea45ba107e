// Fractions: reduction, common denominators and their 64-bit window,
// conversion to fixed point, addition, recognition of repeating decimals and
// fraction multiplication with its fixed-point fall-back.
#include <gmp.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/gmp_api.h"
#include "number/ball.h"
#include "number/bignum.h"
#include "support.h"

namespace {

// Limbs of a decimal digit string, least significant group last.
void put_digits(BigNum *n, const std::string &digits, int sign = 1, int frac = 0) {
    bn_clear(n);
    int len = int(digits.size());
    int k = 0;
    for (int end = len; end > 0; end -= 8, k++) {
        int start = end - 8 < 0 ? 0 : end - 8;
        limb(n, k) = std::stoi(digits.substr(start, end - start));
    }
    n->used = k;
    bn_strip(n);
    n->sign = int8_t(sign);
    n->frac_limbs = frac;
}

// The limbs read as an unsigned integer, in decimal without leading zeros.
std::string digits_of(BigNum *n) {
    std::string s;
    char buf[16];
    bool lead = true;
    for (int k = n->used - 1; k >= 0; k--) {
        snprintf(buf, sizeof buf, lead ? "%d" : "%08d", limb(n, k));
        if (lead && limb(n, k) == 0) continue;
        s += buf;
        lead = false;
    }
    return s.empty() ? "0" : s;
}

void set_frac(Fraction *f, int64_t num, int64_t den) {
    fraction_init(f);
    bn_clear(f->num);
    set_int64(f->num, num);
    bn_clear(f->den);
    set_int64(f->den, den);
}

void expect_exact(Fraction *f, int64_t num, int64_t den) {
    EXPECT_EQ(f->num->frac_limbs, 0);
    EXPECT_EQ(value_of(f->num), num);
    EXPECT_EQ(value_of(f->den), den);
}

// floor(10^(8*places) * num / den) in decimal.
std::string truncated(const char *num, const char *den, int places) {
    mpz_t a, b;
    mpz_init_set_str(a, num, 10);
    mpz_init_set_str(b, den, 10);
    mpz_t scale;
    mpz_init(scale);
    mpz_ui_pow_ui(scale, 10, 8 * places);
    mpz_mul(a, a, scale);
    mpz_tdiv_q(a, a, b);
    char *s = mpz_get_str(nullptr, 10, a);
    std::string out(s);
    free(s);
    mpz_clears(a, b, scale, nullptr);
    return out;
}

struct FractionOps : ::testing::Test {
    static void SetUpTestSuite() {
        bind_gmp();
        ASSERT_EQ(pool_start(200), 0);
    }
    void SetUp() override { fixed_point_limbs = 4; }
    void TearDown() override { fixed_point_limbs = 4; }
    Fraction *a = &work_frac[10], *b = &work_frac[11], *c = &work_frac[12];
};

// ------------------------------------------------------------ reduce_small

TEST_F(FractionOps, ReduceSmallCancelsWhenOnePartIsWithinTheWindow) {
    set_frac(a, 6, 4);
    EXPECT_EQ(reduce_small(a->num, a->den), 2);
    expect_exact(a, 3, 2);

    set_frac(a, 5, -10);
    EXPECT_EQ(reduce_small(a->num, a->den), 5);
    expect_exact(a, 1, -2);

    set_frac(a, -7, 7);
    EXPECT_EQ(reduce_small(a->num, a->den), 7);
    expect_exact(a, -1, 1);

    // Zero is normalised and refused.
    set_frac(a, 0, 5);
    a->num->used = 1;
    a->num->sign = -1;
    EXPECT_EQ(reduce_small(a->num, a->den), 0);
    EXPECT_EQ(a->num->used, 0);
    EXPECT_EQ(a->num->sign, 1);
    EXPECT_EQ(value_of(a->den), 5);

    // A numerator beyond the window over a small denominator, and the
    // other way round: one pass over the long part finds the divisor.
    put_digits(a->num, "100000000000000000000");
    put_digits(a->den, "10");
    EXPECT_EQ(reduce_small(a->num, a->den), 10);
    EXPECT_EQ(digits_of(a->num), "10000000000000000000");
    EXPECT_EQ(value_of(a->den), 1);
    put_digits(a->num, "6", -1);
    put_digits(a->den, "300000000000000000000000000");
    EXPECT_EQ(reduce_small(a->num, a->den), 6);
    EXPECT_EQ(value_of(a->num), -1);
    EXPECT_EQ(digits_of(a->den), "50000000000000000000000000");

    // Both beyond the window: left for the operations that made them.
    put_digits(a->num, "200000000000000000000");
    put_digits(a->den, "400000000000000000000");
    EXPECT_EQ(reduce_small(a->num, a->den), 0);
    EXPECT_EQ(digits_of(a->num), "200000000000000000000");

    // Fraction limbs are left alone, two of them over an integer included.
    put_digits(a->num, "5000000000000000", 1, 2);
    put_digits(a->den, "5");
    EXPECT_EQ(reduce_small(a->num, a->den), 0);
    EXPECT_EQ(digits_of(a->num), "5000000000000000");
    EXPECT_EQ(value_of(a->den), 5);
}

// ------------------------------------------------------ common_denominator

TEST_F(FractionOps, CommonDenominatorRescalesNumerators) {
    set_frac(a, 1, 6);
    set_frac(b, 1, 10);
    EXPECT_EQ(common_denominator(a, b, c->den), 1);
    EXPECT_EQ(value_of(c->den), 30);
    EXPECT_EQ(value_of(a->num), 5);
    EXPECT_EQ(value_of(b->num), 3);
    EXPECT_EQ(value_of(a->den), 6);  // denominators stay

    // Equal negative denominators: the sign moves onto the numerators.
    set_frac(a, 1, -2);
    set_frac(b, 3, -2);
    EXPECT_EQ(common_denominator(a, b, c->den), 1);
    EXPECT_EQ(value_of(c->den), 2);
    EXPECT_EQ(value_of(a->num), -1);
    EXPECT_EQ(value_of(b->num), -3);
}

TEST_F(FractionOps, CommonDenominatorBeyondTheWindow) {
    set_frac(a, 1, 10000000000LL);
    set_frac(b, 1, 30000000000LL);
    EXPECT_EQ(common_denominator(a, b, c->den), 1);
    EXPECT_EQ(value_of(c->den), 30000000000LL);
    EXPECT_EQ(value_of(a->num), 3);
    EXPECT_EQ(value_of(b->num), 1);

    // The multiple leaves 64 bits: found through the full gcd, and written
    // over a's own denominator.
    set_frac(a, 1, 10000000000LL);
    set_frac(b, -1, -10000000001LL);
    EXPECT_EQ(common_denominator(a, b, a->den), 1);
    EXPECT_EQ(digits_of(a->den), "100000000010000000000");
    EXPECT_EQ(value_of(a->num), 10000000001LL);
    EXPECT_EQ(value_of(b->num), 10000000000LL);

    // 4/10^20 and 1/(6 * 10^20): the multiple is the second denominator.
    put_digits(a->num, "4");
    put_digits(a->den, "100000000000000000000");
    put_digits(b->num, "1");
    put_digits(b->den, "600000000000000000000");
    EXPECT_EQ(common_denominator(a, b, c->den), 1);
    EXPECT_EQ(digits_of(c->den), "600000000000000000000");
    EXPECT_EQ(value_of(a->num), 24);
    EXPECT_EQ(value_of(b->num), 1);
}

TEST_F(FractionOps, CommonDenominatorRefusesARescaleThatWouldNotFit) {
    std::string wide = "9" + std::string(8 * 198, '1');  // 199 limbs
    put_digits(a->num, wide);
    set_int64(a->den, 3);
    set_frac(b, 1, 5);
    EXPECT_EQ(common_denominator(a, b, c->den), 0);
    EXPECT_EQ(digits_of(a->num), wide);
    EXPECT_EQ(value_of(b->num), 1);

    // A multiple longer than the record that should receive it: coprime
    // denominators of 21 limbs each.
    put_digits(a->den, "7" + std::string(160, '0') + "1");
    put_digits(a->num, "1");
    put_digits(b->den, "3" + std::string(160, '0') + "1");
    put_digits(b->num, "1");
    EXPECT_EQ(common_denominator(a, b, c->den), 0);  // c->den holds 40 limbs
    EXPECT_EQ(value_of(a->num), 1);
    EXPECT_EQ(value_of(b->num), 1);
}

TEST_F(FractionOps, CommonDenominatorRefusesFixedPoint) {
    put_digits(a->num, "1", 1, 4);
    bn_set_one(a->den);
    set_frac(b, 1, 3);
    EXPECT_EQ(common_denominator(a, b, c->den), 0);
    EXPECT_EQ(common_denominator(b, a, c->den), 0);
}

// ----------------------------------------------------------------- to_fixed

TEST_F(FractionOps, ToFixedTruncates) {
    set_frac(a, 1, 3);
    to_fixed(a, 4);
    EXPECT_EQ(digits_of(a->num), std::string(32, '3'));
    EXPECT_EQ(a->num->frac_limbs, 4);
    EXPECT_EQ(value_of(a->den), 1);
    EXPECT_EQ(a->den->used, 1);

    set_frac(a, -2, 3);
    to_fixed(a, 4);
    EXPECT_EQ(digits_of(a->num), std::string(32, '6'));
    EXPECT_EQ(a->num->sign, -1);

    // Fewer fraction limbs: digits fall off before the division.
    put_digits(a->num, "1234567887654321", 1, 2);
    bn_set_one(a->den);
    to_fixed(a, 1);
    EXPECT_EQ(digits_of(a->num), "12345678");
    EXPECT_EQ(a->num->frac_limbs, 1);

    // A denominator with fraction limbs: 1 / 0.5 = 2.
    set_frac(a, 1, 1);
    put_digits(a->den, "50000000", 1, 1);
    to_fixed(a, 1);
    EXPECT_EQ(digits_of(a->num), "200000000");
    EXPECT_EQ(a->num->frac_limbs, 1);
}

// A numerator with more fraction limbs than kept over a denominator with
// fraction limbs of its own: the limbs the denominator raises again are not
// cut first (0.1234567899999999 / 0.025 at one limb gave 4.93827120, 39
// units of the last place short, with a radius of one).
TEST_F(FractionOps, ToFixedOverAFixedPointDenominatorCutsOnce) {
    fraction_init(a);
    put(a->num, {12345678, 99999999}, 1, 2);
    put(a->den, {2500000}, 1, 1);
    to_fixed(a, 1);
    EXPECT_EQ(limbs_of(a->num), (L{4, 93827159}));
    EXPECT_EQ(a->num->frac_limbs, 1);
    EXPECT_TRUE(bn_is_one(a->den));
}

TEST_F(FractionOps, ToFixedWithoutRoomBecomesZeroWithNotice) {
    put_digits(a->num, "1" + std::string(8 * 199 - 1, '0'));
    ASSERT_EQ(a->num->used, 199);
    set_int64(a->den, 3);
    testing::internal::CaptureStdout();
    to_fixed(a, 4);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "prod_ovf\n");
    EXPECT_TRUE(bn_is_zero(a->num));
    EXPECT_EQ(value_of(a->den), 1);
}

// ------------------------------------------------------------- fraction_add

TEST_F(FractionOps, AddExactFractions) {
    set_frac(a, 1, 6);
    set_frac(b, 1, 10);
    EXPECT_EQ(fraction_add(c, a, b), STATUS_OK);
    expect_exact(c, 4, 15);

    // 1/3 + 0.5, the second read as a literal; the result is the first operand.
    set_frac(a, 1, 3);
    parse_literal("0.5", b);
    fraction_add(a, a, b);
    expect_exact(a, 5, 6);

    // 1/2 + -1/2: zero over 2, the zero refused by the reduction.
    set_frac(a, 1, 2);
    set_frac(b, -1, 2);
    fraction_add(b, a, b);
    EXPECT_TRUE(bn_is_zero(b->num));
    EXPECT_EQ(value_of(b->den), 2);

    // x + x through one record.
    set_frac(a, 1, 6);
    fraction_add(a, a, a);
    expect_exact(a, 1, 3);
}

// Decimal digits of base^e.
std::string power_digits(unsigned base, unsigned e) {
    mpz_t z;
    mpz_init(z);
    mpz_ui_pow_ui(z, base, e);
    char *c = mpz_get_str(nullptr, 10, z);
    std::string out(c);
    free(c);
    mpz_clear(z);
    return out;
}

TEST_F(FractionOps, AddBeyondTheRoomGoesToFixedPoint) {
    // 3^400 / 2^540 + 1 / 7^190: coprime denominators of 21 limbs each,
    // whose product needs 41 limbs where a work denominator holds 40.
    std::string n1 = power_digits(3, 400), d1 = power_digits(2, 540), d2 = power_digits(7, 190);
    put_digits(a->num, n1);
    put_digits(a->den, d1);
    put_digits(b->num, "1");
    put_digits(b->den, d2);
    ASSERT_EQ(a->den->used + b->den->used, 42);
    testing::internal::CaptureStdout();
    fraction_add(a, a, b);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // no notice for sums
    EXPECT_EQ(a->num->frac_limbs, 4);
    EXPECT_EQ(value_of(a->den), 1);
    mpz_t x, y;
    mpz_init_set_str(x, truncated(n1.c_str(), d1.c_str(), 4).c_str(), 10);
    mpz_init_set_str(y, truncated("1", d2.c_str(), 4).c_str(), 10);
    mpz_add(x, x, y);
    char *s = mpz_get_str(nullptr, 10, x);
    EXPECT_EQ(digits_of(a->num), s);
    free(s);
    mpz_clears(x, y, nullptr);
}

TEST_F(FractionOps, AddFixedPointIntegerBecomesExact) {
    parse_literal("3.0000000", a);  // seven places: fixed point
    ASSERT_EQ(a->num->frac_limbs, 4);
    set_frac(b, 1, 3);
    fraction_add(c, a, b);
    expect_exact(c, 10, 3);

    // An exact decimal and a fraction: the sum stays exact, in lowest terms.
    parse_literal("0.1000000", a);
    set_frac(b, 1, 4);
    fraction_add(c, a, b);
    expect_exact(c, 7, 20);
    EXPECT_TRUE(rad_is_zero(c->rad));
    // A truncated operand is no exact decimal: the sum is fixed point over 1,
    // the truncation carried in the radius.
    set_frac(a, 1, 3);
    to_fixed(a, 4);
    set_frac(b, 1, 4);
    fraction_add(c, a, b);
    EXPECT_EQ(c->num->frac_limbs, 4);
    EXPECT_EQ(digits_of(c->num), "58333333333333333333333333333333");
    EXPECT_EQ(value_of(c->den), 1);
    EXPECT_FALSE(rad_is_zero(c->rad));
}

// An operand that is not the result keeps its value: adding it twice adds
// it twice, whatever common denominator the first sum found.
TEST_F(FractionOps, AddLeavesTheOtherOperandItsValue) {
    set_frac(a, 1, 2);
    set_frac(b, -1, 3);
    fraction_add(a, a, b);
    fraction_add(a, a, b);
    expect_exact(a, -1, 6);
    set_frac(c, 1, 4);
    set_frac(b, 5, 6);
    fraction_add(b, c, b);  // the result is the second operand
    fraction_add(a, c, c);  // both operands are one fraction
    expect_exact(b, 13, 12);
    expect_exact(c, 1, 4);
    expect_exact(a, 1, 2);
    // One fraction twice, not in lowest terms: it is reduced once, not
    // divided again by its own divisor (3/9 came back as 1/9).
    set_frac(c, 3, 9);
    fraction_add(a, c, c);
    expect_exact(a, 2, 3);
    expect_exact(c, 1, 3);
}

// A denominator of -1 meeting one of magnitude one: the common denominator
// is 1 and the sign must move onto the numerator (5/-1 + 3 gave 8).
TEST_F(FractionOps, AddMovesTheSignOfADenominatorOfMinusOne) {
    set_frac(a, 5, -1);
    set_frac(b, 3, 1);
    fraction_add(c, a, b);
    expect_exact(c, -2, 1);
    set_frac(a, -7, -1);
    fraction_add(c, a, a);
    expect_exact(c, 14, 1);
    // A decimal longer than F over -1 is no exact decimal over one:
    // 0.5/-1 + 0.5/-1 is -1 (it gave 1).
    set_frac(a, 50000000, -1);
    ASSERT_EQ(shift_limbs(a->num, 4), STATUS_OK);
    a->num->frac_limbs = 5;
    fraction_add(c, a, a);
    fraction_add(b, c, c);  // the result's own shape, whatever it is, adds up too
    Fraction *sums[2] = {c, b};
    for (int i = 0; i < 2; i++) {
        mpq_t q;
        mpq_init(q);
        mpz_t n, d;
        mpz_inits(n, d, nullptr);
        get_mpz(n, sums[i]->num);
        get_mpz(d, sums[i]->den);
        for (int k = 0; k < sums[i]->num->frac_limbs; k++) mpz_mul_ui(d, d, 100000000);
        mpq_set_num(q, n);
        mpq_set_den(q, d);
        mpq_canonicalize(q);
        EXPECT_EQ(mpq_cmp_si(q, i == 0 ? -1 : -2, 1), 0) << i;
        mpz_clears(n, d, nullptr);
        mpq_clear(q);
    }
}

// A short decimal over -1 meeting a fraction with a short denominator is
// not read as its digits over a power of ten, which dropped the sign:
// 1/3 + 0.99999999/-1 is -199999997/300000000 (now to F = 4 limbs, within
// two units of the last place; it came out exact and positive).
TEST_F(FractionOps, AddKeepsTheSignOfAShortDecimalOverMinusOne) {
    set_frac(a, 1, 3);
    fraction_init(b);
    put(b->num, {99999999}, 1, 1);
    put(b->den, {1}, -1);
    fraction_add(c, a, b);
    mpq_t got, want;
    mpq_inits(got, want, nullptr);
    mpz_t n, d;
    mpz_inits(n, d, nullptr);
    get_mpz(n, c->num);
    get_mpz(d, c->den);
    for (int k = 0; k < c->num->frac_limbs; k++) mpz_mul_ui(d, d, 100000000);
    mpq_set_num(got, n);
    mpq_set_den(got, d);
    mpq_canonicalize(got);
    mpq_set_si(want, -199999997, 300000000);
    mpq_sub(got, got, want);
    mpq_abs(got, got);
    mpq_set_ui(want, 2, 1);
    for (int k = 0; k < 4; k++) mpz_mul_ui(mpq_denref(want), mpq_denref(want), 100000000);
    EXPECT_LE(mpq_cmp(got, want), 0);
    mpz_clears(n, d, nullptr);
    mpq_clears(got, want, nullptr);
}

// -------------------------------------------------------------- to_fraction

TEST_F(FractionOps, ToFractionRecognisesPeriods) {
    struct Case { int64_t n, d; } cases[] = {{1, 3}, {2, 3}, {1, 7}, {-1, 3}, {1, 9}};
    for (auto k : cases) {
        SCOPED_TRACE(std::to_string(k.n) + "/" + std::to_string(k.d));
        set_frac(a, k.n, k.d);
        to_fixed(a, 4);
        EXPECT_EQ(to_fraction(a), STATUS_OK);
        expect_exact(a, k.n, k.d);
    }
}

TEST_F(FractionOps, ToFractionOfTheSumOfTwoSevenPlaceLiterals) {
    parse_literal("0.1000000", a);
    parse_literal("0.2000000", b);
    fraction_add(a, a, b);
    ASSERT_EQ(a->num->frac_limbs, 4);
    EXPECT_EQ(to_fraction(a), STATUS_OK);
    expect_exact(a, 3, 10);
}

TEST_F(FractionOps, ToFractionWithAPartlyRepeatingTail) {
    fixed_point_limbs = 8;
    set_frac(a, 37, 300);  // 0.12333...
    to_fixed(a, 8);
    EXPECT_EQ(to_fraction(a), STATUS_OK);
    expect_exact(a, 37, 300);
}

TEST_F(FractionOps, ToFractionLeavesOtherDecimalsAlone) {
    // No period of 1, 2, 4 or 6 digits.
    put_digits(a->num, "12345678901234567890123456789012", 1, 4);
    bn_set_one(a->den);
    testing::internal::CaptureStdout();
    EXPECT_EQ(to_fraction(a), STATUS_NO_PERIOD);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(a->num->used, 4);  // no zero limb left on top
    EXPECT_EQ(a->num->frac_limbs, 4);
    EXPECT_EQ(digits_of(a->num), "12345678901234567890123456789012");
    EXPECT_EQ(value_of(a->den), 1);

    // Fewer than four fraction limbs.
    put_digits(a->num, "333333333333333333333333", 1, 3);
    EXPECT_EQ(to_fraction(a), STATUS_NO_PERIOD);
    EXPECT_EQ(a->num->frac_limbs, 3);

    // Five fraction limbs: the quick limb comparison would reach below the
    // number, so it is skipped and the period search decides.
    put_digits(a->num, std::string(40, '3'), 1, 5);
    EXPECT_EQ(to_fraction(a), STATUS_OK);
    expect_exact(a, 1, 3);
    put_digits(a->num, "1234567890123456789012345678901234567890", 1, 5);
    EXPECT_EQ(to_fraction(a), STATUS_NO_PERIOD);
    EXPECT_EQ(a->num->frac_limbs, 5);

    // An exact fraction has nothing to do.
    set_frac(a, 1, 3);
    EXPECT_EQ(to_fraction(a), STATUS_NO_PERIOD);
    expect_exact(a, 1, 3);
}

TEST_F(FractionOps, ToFractionSixDigitBlockBelowOtherDigits) {
    // 0.11111111 22222222 142857 142857...: the block in the two low limbs is
    // found; the two limbs above it stay as fraction digits of the result,
    // 7777777855555555 / (7 * 10^16), which leaves in lowest terms.
    put_digits(a->num, "11111111222222221428571428571428", 1, 4);
    bn_set_one(a->den);
    EXPECT_EQ(to_fraction(a), STATUS_OK);
    EXPECT_EQ(a->num->frac_limbs, 0);
    EXPECT_EQ(digits_of(a->num), "1555555571111111");
    EXPECT_EQ(digits_of(a->den), "14000000000000000");
    EXPECT_EQ(a->den->small_den, 14000000000000000LL);
}

TEST_F(FractionOps, ToFractionSixDigitBlockWithoutRunPrintsNotice) {
    // The 12 digits 000001000001 are the block 000001 twice, but the digits
    // below them push the multiplied limb off a single-digit run.
    put_digits(a->num, "10000019999", 1, 4);
    bn_set_one(a->den);
    testing::internal::CaptureStdout();
    Status res = to_fraction(a);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "gyr-byr");
    EXPECT_EQ(res, STATUS_NO_PERIOD);
    EXPECT_EQ(digits_of(a->num), "10000019999");
    EXPECT_EQ(a->num->frac_limbs, 4);
    EXPECT_EQ(a->num->used, 2);
    EXPECT_EQ(value_of(a->den), 1);
}

// --------------------------------------------------------- fraction_product

TEST_F(FractionOps, ProductCrossCancelsAndSigns) {
    set_frac(a, 2, 3);
    set_frac(b, 9, 4);
    EXPECT_EQ(fraction_product(a, a, b), STATUS_OK);
    expect_exact(a, 3, 2);

    set_frac(a, -2, 3);
    set_frac(b, -3, 5);
    fraction_product(c, a, b);
    expect_exact(c, 2, 5);
    EXPECT_EQ(c->num->sign, 1);
    EXPECT_EQ(c->den->sign, 1);

    set_frac(a, 2, -3);
    set_frac(b, 3, 5);
    fraction_product(b, a, b);
    expect_exact(b, -2, 5);

    // Squaring through one record.
    set_frac(a, 2, 4);
    fraction_product(a, a, a);
    EXPECT_EQ(a->num->frac_limbs, 0);
    EXPECT_EQ(value_of(a->num) * 4, value_of(a->den));

    set_frac(a, 0, 7);
    set_frac(b, 5, 9);
    fraction_product(c, a, b);
    EXPECT_TRUE(bn_is_zero(c->num));
    EXPECT_EQ(value_of(c->den), 1);
}

TEST_F(FractionOps, ProductFallsBackToFixedPoint) {
    // Denominators of 25 limbs each cannot share a 40-limb denominator.
    std::string big = "3" + std::string(199, '0') + "7";
    set_frac(a, 1, 1);
    put_digits(a->den, big);
    set_frac(b, 1, 1);
    put_digits(b->den, big);
    limb(b->den, 0) = 9;
    ASSERT_EQ(a->den->used, 26);
    testing::internal::CaptureStdout();
    EXPECT_EQ(fraction_product(a, a, b), STATUS_OK);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(rad_is_zero(a->rad));  // the truncation is carried as the radius
    EXPECT_EQ(a->num->frac_limbs, 4);
    EXPECT_EQ(value_of(a->den), 1);
    EXPECT_TRUE(bn_is_zero(a->num));  // 1 / 10^400 truncates to 0 at 32 places

    // Small enough to show digits: 10^40 / (3 * 7) over two 20-limb dens is
    // exact when it fits; a product needing exactly the capacity either
    // stays exact or falls back with the notice, never silently wrong.
    set_frac(a, 1, 1);
    put_digits(a->den, "1" + std::string(159, '0'));
    set_frac(b, 1, 1);
    put_digits(b->den, "1" + std::string(159, '0'));
    ASSERT_EQ(a->den->used + b->den->used, 40);
    testing::internal::CaptureStdout();
    fraction_product(c, a, b);
    std::string out = testing::internal::GetCapturedStdout();
    if (out.empty()) {
        EXPECT_EQ(digits_of(c->den), "1" + std::string(318, '0'));
    } else {
        ADD_FAILURE() << "the fall-back prints nothing: " << out;
        EXPECT_EQ(c->num->frac_limbs, 4);
        EXPECT_EQ(value_of(c->den), 1);
    }
}

}  // namespace

TEST_F(FractionOps, ToFractionNeedsAFullPeriodInTheFirstLimb) {
    // 3 / (10^20 + 1) to 32 places: ...0000 00029999 99999999. The last
    // digits of 00029999 continue into the limb below, but 00029999 is no
    // repetition of 99, so this is no repeating decimal.
    fraction_init(a);
    put_digits(a->num, "2999999999999", 1, 4);
    EXPECT_EQ(to_fraction(a), STATUS_NO_PERIOD);
    EXPECT_EQ(a->num->frac_limbs, 4);
    EXPECT_EQ(digits_of(a->num), "2999999999999");
    EXPECT_EQ(value_of(a->den), 1);

    // Genuine two- and four-digit periods are still found: 1/11 and 1/101.
    fraction_init(a);
    put_digits(a->num, "09090909090909090909090909090909", 1, 4);
    EXPECT_EQ(to_fraction(a), STATUS_OK);
    expect_exact(a, 1, 11);
    fraction_init(a);
    put_digits(a->num, "00990099009900990099009900990099", 1, 4);
    EXPECT_EQ(to_fraction(a), STATUS_OK);
    expect_exact(a, 1, 101);
}
