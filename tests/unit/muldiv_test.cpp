// Multiplication, division and common divisors of big integers: capacity
// refusals, signs, aliasing, and the long paths with and without the
// library bound.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "engine/gmp_api.h"
#include "engine/scratch.h"
#include "number/bignum.h"
#include "support.h"

namespace {

void fill(BigNum *n, int count, int32_t v) {
    bn_clear(n);
    for (int k = 0; k < count; k++) limb(n, k) = v;
    n->used = count;
}

struct MulDiv : ::testing::Test {
    static void SetUpTestSuite() {
        bind_gmp();
        ASSERT_EQ(pool_start(200), 0);
    }
    void TearDown() override { bind_gmp(); }
    BigNum *x = work_int(5), *y = work_int(6), *z = work_int(7);
    BigNum *w = reg_num[0];
    BigNum *cd = work_frac[1].num;
};

TEST_F(MulDiv, MultiplySignsScalesAndAliasing) {
    put(x, {1, 23456789});
    put(y, {9, 87654321}, -1, 1);
    EXPECT_EQ(multiply(z, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{12, 19326311, 12635269}));
    EXPECT_EQ(z->sign, -1);
    EXPECT_EQ(z->frac_limbs, 1);
    EXPECT_EQ(z->offset, 0);
    EXPECT_EQ(multiply(x, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{12, 19326311, 12635269}));
    put(x, {1, 23456789}, -1);
    EXPECT_EQ(multiply(y, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(y), (L{12, 19326311, 12635269}));
    EXPECT_EQ(y->sign, 1);
    put(x, {3, 0});
    EXPECT_EQ(multiply(x, x, x), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{9, 0, 0}));
}

TEST_F(MulDiv, MultiplyNegativeMultiplicandWithZeroLowLimbs) {
    // The shorter operand has a zero lowest limb and the longer is negative.
    put(x, {2, 0});
    put(y, {1, 0, 0}, -1);
    EXPECT_EQ(multiply(z, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{2, 0, 0, 0}));
    EXPECT_EQ(z->sign, -1);
}

TEST_F(MulDiv, MultiplyZeroAndOne) {
    put(x, {0}, -1);
    put(y, {5}, -1, 2);
    put(z, {9}, -1, 3);
    EXPECT_EQ(multiply(z, x, y), STATUS_OK);
    EXPECT_TRUE(bn_is_zero(z));
    EXPECT_EQ(z->sign, 1);
    EXPECT_EQ(z->frac_limbs, 0);
    put(x, {1});
    EXPECT_EQ(multiply(y, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(y), (L{5}));
    EXPECT_EQ(multiply(z, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{5}));
    EXPECT_EQ(z->sign, -1);
}

TEST_F(MulDiv, MultiplyCapacityRefusals) {
    BigNum *r199 = work_frac[0].num;  // capacity 200, used here as 199
    fill(x, 100, 12345678);
    fill(y, 100, 87654321);
    put(r199, {42});
    r199->capacity = 199;
    r199->limbs += 1;  // same end of the array, one limb less
    testing::internal::CaptureStdout();
    EXPECT_EQ(multiply(r199, x, y), STATUS_REFUSED);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "prod_ovf\n");
    EXPECT_EQ(limbs_of(r199), (L{42}));
    r199->capacity = 200;
    r199->limbs -= 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(multiply(r199, x, y), STATUS_NO_ROOM);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(limbs_of(r199), (L{42}));
}

TEST_F(MulDiv, MultiplyOperandsInTheScratchSlots) {
    put(work_int(1), {3, 0});
    put(work_int(2), {4});
    EXPECT_EQ(multiply(z, work_int(1), work_int(2)), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{12, 0}));
    EXPECT_EQ(multiply(work_int(2), work_int(2), work_int(1)), STATUS_OK);
    EXPECT_EQ(limbs_of(work_int(2)), (L{12, 0}));
}

TEST_F(MulDiv, DivideByMachineIntegers) {
    put(x, {7});
    put(y, {2});
    {
        bool left = false;
        EXPECT_EQ(divide(z, w, x, y, &left), STATUS_OK);
        EXPECT_TRUE(left);  // a machine-integer divisor left a remainder
    }
    EXPECT_EQ(limbs_of(z), (L{3}));
    EXPECT_EQ(limbs_of(w), (L{1}));
    put(x, {7}, -1);
    w->sign = -1;
    {
        bool left = false;
        EXPECT_EQ(divide(z, w, x, y, &left), STATUS_OK);
        EXPECT_TRUE(left);  // a machine-integer divisor left a remainder
    }
    EXPECT_EQ(limbs_of(z), (L{3}));
    EXPECT_EQ(z->sign, -1);
    EXPECT_EQ(w->sign, 1);
    put(x, {7});
    put(y, {2}, -1);
    {
        bool left = false;
        EXPECT_EQ(divide(nullptr, nullptr, x, y, &left), STATUS_OK);
        EXPECT_TRUE(left);  // a machine-integer divisor left a remainder
    }
    EXPECT_EQ(limbs_of(x), (L{3}));
    EXPECT_EQ(x->sign, -1);
    // Exact division: result 0, remainder zero with sign +1.
    put(x, {6}, -1);
    put(y, {2});
    EXPECT_EQ(divide(z, x, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{3}));
    EXPECT_TRUE(bn_is_zero(x));
    EXPECT_EQ(x->sign, 1);
    // Quotient written over the divisor, remainder over the dividend.
    put(x, {1, 0, 5});
    put(y, {921, 99999999});
    {
        bool left = false;
        EXPECT_EQ(divide(y, x, x, y, &left), STATUS_OK);
        EXPECT_TRUE(left);  // a machine-integer divisor left a remainder
    }
    EXPECT_EQ(limbs_of(y), (L{108459}));
    EXPECT_EQ(limbs_of(x), (L{802, 108464}));
}

TEST_F(MulDiv, DivideSmallerDividendAndFixedPointDivisor) {
    put(x, {5});
    put(y, {7});
    EXPECT_EQ(divide(z, w, x, y), STATUS_OK);
    EXPECT_TRUE(bn_is_zero(z));
    EXPECT_EQ(limbs_of(w), (L{5}));
    EXPECT_EQ(divide(x, w, x, y), STATUS_OK);
    EXPECT_TRUE(bn_is_zero(x));
    EXPECT_EQ(limbs_of(w), (L{5}));
    // A fixed-point integer divisor (3 with four zero fraction limbs).
    put(x, {9, 0, 0, 0, 0}, 1, 4);
    put(y, {3, 0, 0, 0, 0}, 1, 4);
    EXPECT_EQ(divide(z, nullptr, x, y), STATUS_OK);
    EXPECT_EQ(y->frac_limbs, 0);
    EXPECT_EQ(limbs_of(y), (L{3}));
    EXPECT_EQ(limbs_of(z), (L{3, 0, 0, 0, 0}));
    EXPECT_EQ(z->frac_limbs, 4);
}

TEST_F(MulDiv, DivideByZeroLeavesTheDividend) {
    put(x, {4, 5});
    y->used = 0;
    EXPECT_EQ(divide(z, w, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{4, 5}));
    EXPECT_TRUE(bn_is_zero(w));
    put(y, {0, 0, 0}, -1);
    EXPECT_EQ(divide(z, w, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{4, 5}));
}

TEST_F(MulDiv, DivideThroughTheLibrary) {
    // 123456789012345678901234567890 / 12345678901234567890
    put(x, {123456, 78901234, 56789012, 34567890}, -1);
    put(y, {1234, 56789012, 34567890});
    w->sign = -1;
    EXPECT_EQ(divide(z, w, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{100, 0}));
    EXPECT_EQ(z->sign, -1);
    EXPECT_EQ(limbs_of(w), (L{12, 34567890}));
    EXPECT_EQ(w->sign, 1);
    // Negative divisor, quotient over the divisor.
    put(x, {6, 0, 0, 0});
    put(y, {3, 0, 0}, -1);
    EXPECT_EQ(divide(y, nullptr, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(y), (L{2, 0}));
    EXPECT_EQ(y->sign, -1);
}

TEST_F(MulDiv, LibraryResultsKeepCapacityLessOneLimbs) {
    BigNum *q = reg_den[1];  // capacity 20
    fill(x, 25, 11111111);
    put(y, {1, 0, 0});       // 10^16: the quotient has 23 limbs
    EXPECT_EQ(divide(q, nullptr, x, y), STATUS_NO_ROOM);  // cannot hold the dividend
    fill(x, 20, 11111111);
    EXPECT_EQ(divide(q, nullptr, x, y), STATUS_OK);
    EXPECT_EQ(q->used, 18);
    // A 24-limb remainder into a 20-limb record keeps its 19 lowest limbs.
    fill(x, 30, 11111111);
    fill(y, 25, 0);
    limb(y, 24) = 1;
    EXPECT_EQ(divide(z, q, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), L(6, 11111111));
    EXPECT_EQ(limbs_of(q), L(19, 11111111));
    put(x, {5, 0, 0, 0});
    put(y, {1, 0, 0});
    BigNum *one = &num_slots[24];  // one-limb record: no limb written back
    EXPECT_EQ(divide(z, one, x, y), STATUS_OK);
    EXPECT_EQ(one->used, 0);
    EXPECT_EQ(limbs_of(z), (L{5, 0}));
}

TEST_F(MulDiv, GcdLcmOnMachineIntegers) {
    put(x, {12});
    put(y, {18});
    EXPECT_EQ(gcd_lcm(cd, w, x, y), 6);
    EXPECT_EQ(limbs_of(cd), (L{6}));
    EXPECT_EQ(limbs_of(w), (L{36}));
    EXPECT_EQ(w->sign, 1);
    put(y, {18}, -1);
    EXPECT_EQ(gcd_lcm(cd, w, x, y), 6);
    EXPECT_EQ(limbs_of(w), (L{36}));
    EXPECT_EQ(w->sign, -1);
    EXPECT_EQ(cd->sign, 1);
    put(y, {12}, -1);
    EXPECT_EQ(gcd_lcm(cd, w, x, y), 12);
    EXPECT_EQ(limbs_of(w), (L{12}));
    EXPECT_EQ(w->sign, 1);
    // Results written over the operands (as the evaluator does).
    put(x, {12});
    put(y, {18});
    EXPECT_EQ(gcd_lcm(x, w, x, y), 6);
    EXPECT_EQ(limbs_of(x), (L{6}));
    EXPECT_EQ(limbs_of(w), (L{36}));
    put(x, {12});
    EXPECT_EQ(gcd_lcm(cd, x, x, y), 6);
    EXPECT_EQ(limbs_of(x), (L{36}));
    // Zero operand: the other's magnitude and a zero multiple.
    put(x, {0}, -1);
    put(y, {5, 0}, -1);
    EXPECT_EQ(gcd_lcm(cd, w, x, y), 500000000);
    EXPECT_EQ(limbs_of(cd), (L{5, 0}));
    EXPECT_EQ(cd->sign, 1);
    EXPECT_TRUE(bn_is_zero(w));
}

TEST_F(MulDiv, GcdLcmBeyondSixtyFourBits) {
    // Coprime values within 64 bits whose multiple is not.
    put(x, {921, 99999999, 99999999});
    put(y, {1, 0, 0}, -1);
    EXPECT_EQ(gcd_lcm(cd, w, x, y), 1);
    EXPECT_EQ(limbs_of(cd), (L{1}));
    EXPECT_EQ(limbs_of(w), (L{921, 99999999, 99999999, 0, 0}));
    EXPECT_EQ(w->sign, -1);
    // The library path for values beyond 64 bits.
    put(x, {6, 0, 0, 0});
    put(y, {4, 0, 0, 0}, -1);
    EXPECT_EQ(gcd_lcm(cd, w, x, y), 1);
    EXPECT_EQ(limbs_of(cd), (L{2, 0, 0, 0}));
    EXPECT_EQ(cd->sign, 1);
    EXPECT_EQ(limbs_of(w), (L{12, 0, 0, 0}));
    EXPECT_EQ(w->sign, -1);
}

TEST_F(MulDiv, GcdLcmOfFixedPointValues) {
    // 3.0 and 6.0 held with four fraction limbs are integers.
    put(x, {3, 0, 0, 0, 0}, 1, 4);
    put(y, {6, 0, 0, 0, 0}, 1, 4);
    EXPECT_EQ(gcd_lcm(cd, w, x, y), 3);
    EXPECT_EQ(limbs_of(cd), (L{3}));
    EXPECT_EQ(cd->frac_limbs, 0);
    EXPECT_EQ(limbs_of(w), (L{6}));
    // 0.5 and 0.75 (one fraction limb each): divisor 0.25, multiple 1.5.
    put(x, {50000000}, 1, 1);
    put(y, {75000000}, 1, 1);
    (void)gcd_lcm(cd, w, x, y);  // checked through cd and w below
    EXPECT_EQ(limbs_of(cd), (L{25000000}));
    EXPECT_EQ(cd->frac_limbs, 1);
    EXPECT_EQ(limbs_of(w), (L{1, 50000000}));
    EXPECT_EQ(w->frac_limbs, 1);
    // 0.5 and 3: brought to one scale first.
    put(x, {50000000}, 1, 1);
    put(y, {3});
    (void)gcd_lcm(cd, w, x, y);  // checked through cd and w below
    EXPECT_EQ(limbs_of(cd), (L{50000000}));
    EXPECT_EQ(cd->frac_limbs, 1);
    EXPECT_EQ(limbs_of(w), (L{3, 0}));
}

TEST_F(MulDiv, WithoutTheLibrary) {
    gmp.available = false;
    // Neither long division nor common divisors beyond 64 bits need it.
    put(x, {123456, 78901234, 56789012, 34567890});
    put(y, {1234, 56789012, 34567890});
    testing::internal::CaptureStdout();
    EXPECT_EQ(divide(z, w, x, y), STATUS_OK);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(limbs_of(z), (L{100, 0}));
    EXPECT_EQ(limbs_of(w), (L{12, 34567890}));
    put(cd, {77});
    testing::internal::CaptureStdout();
    EXPECT_EQ(gcd_lcm(cd, w, x, y), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(limbs_of(cd), (L{12, 34567890}));
    EXPECT_EQ(limbs_of(w), (L{12345678, 90246913, 57802469, 13578012, 34567890}));
    // Small values and zero operands never need the library.
    put(x, {12});
    put(y, {18});
    testing::internal::CaptureStdout();
    EXPECT_EQ(gcd_lcm(cd, nullptr, x, y), 6);
    y->used = 0;
    EXPECT_EQ(gcd_lcm(cd, nullptr, x, y), 12);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// |a| * db against |b| * da: the order comes through *order, and an arena
// without room is a status, not an order.
TEST_F(MulDiv, CompareCrossOrdersAndRefusesWithoutArena) {
    BigNum *a = x, *b = y, *da = z, *db = cd;
    put(a, {2});  // 2/3 against 3/5: 10 > 9
    put(da, {3});
    put(b, {3}, -1);  // signs are not looked at
    put(db, {5});
    int order = 7;
    EXPECT_EQ(compare_cross(a, db, b, da, &order), STATUS_OK);
    EXPECT_EQ(order, 1);
    EXPECT_EQ(compare_cross(b, da, a, db, &order), STATUS_OK);
    EXPECT_EQ(order, -1);
    // 0.5 (one fraction limb) * 2 against 1 * 1.
    put(a, {50000000}, 1, 1);
    put(b, {1});
    put(da, {1});
    put(db, {2});
    EXPECT_EQ(compare_cross(a, db, b, da, &order), STATUS_OK);
    EXPECT_EQ(order, 0);
    // A long product against a zero numerator.
    fill(a, 120, 99999999);
    put(b, {0});
    fill(db, 100, 12345678);
    EXPECT_EQ(compare_cross(a, db, b, da, &order), STATUS_OK);
    EXPECT_EQ(order, 1);

    size_t mark = scratch_mark(core);
    ASSERT_NE(scratch_take(core, scratch_room(core) - 64), nullptr);
    size_t full = scratch_mark(core);
    order = 7;
    EXPECT_EQ(compare_cross(a, db, b, da, &order), STATUS_NO_ROOM);
    EXPECT_EQ(order, 0);
    EXPECT_EQ(scratch_mark(core), full);  // what it took is given back
    scratch_release(core, mark);
}

// The flag of a remainder left by a machine-integer divisor (format_decimal's
// inexact mark): false for an exact quotient and for a long divisor.
TEST_F(MulDiv, DivideTellsOnlyAMachineIntegerRemainder) {
    bool left = true;
    put(x, {12});
    put(y, {4});
    EXPECT_EQ(divide(z, nullptr, x, y, &left), STATUS_OK);
    EXPECT_FALSE(left);
    put(x, {13});
    EXPECT_EQ(divide_scaled(z, x, y, &left), STATUS_OK);
    EXPECT_TRUE(left);
    put(x, {6, 0, 0, 1});
    put(y, {3, 0, 0});  // beyond a machine integer: the remainder 1 is not flagged
    EXPECT_EQ(divide(z, w, x, y, &left), STATUS_OK);
    EXPECT_FALSE(left);
    EXPECT_EQ(limbs_of(w), (L{1}));
}

}  // namespace
