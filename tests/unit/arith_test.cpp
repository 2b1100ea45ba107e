// Linear big-integer operations: edge cases of copy, comparison, addition,
// subtraction, machine-integer multiplication and division, shifts and the
// machine-integer exchange, with results written over their operands.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "number/bignum.h"
#include "support.h"

namespace {


struct Arith : ::testing::Test {
    static void SetUpTestSuite() { ASSERT_EQ(pool_start(200), 0); }
    BigNum *x = work_int(5), *y = work_int(6), *z = work_int(7);
    BigNum *small_den = reg_den[0];  // capacity 20 at precision 200
};

TEST_F(Arith, CopyKeepsDestinationStorageAndRefusesTooSmall) {
    put(x, {12, 34, 56}, -1, 2);
    x->small_den = 77;
    small_den->elem_top = 9;
    EXPECT_EQ(copy(small_den, x), STATUS_OK);
    EXPECT_EQ(limbs_of(small_den), (L{12, 34, 56}));
    EXPECT_EQ(small_den->sign, -1);
    EXPECT_EQ(small_den->frac_limbs, 2);
    EXPECT_EQ(small_den->small_den, 77);
    EXPECT_EQ(small_den->capacity, 20);
    EXPECT_EQ(small_den->elem_top, 9);
    EXPECT_EQ(copy(x, x), STATUS_OK);

    put(small_den, {5});
    x->used = 25;  // more limbs than a 20-limb record holds
    for (int k = 0; k < 25; k++) limb(x, k) = 1;
    EXPECT_EQ(copy(small_den, x), STATUS_NO_ROOM);
    EXPECT_EQ(limbs_of(small_den), (L{5}));

    x->used = 0;
    limb(small_den, 0) = 9;
    EXPECT_EQ(copy(small_den, x), STATUS_OK);
    EXPECT_EQ(small_den->used, 0);
    EXPECT_EQ(limb(small_den, 0), 0);
}

TEST_F(Arith, CompareSignsZerosAndScales) {
    put(x, {5});
    put(y, {5}, -1);
    EXPECT_EQ(compare(x, y), 1);
    EXPECT_EQ(compare(y, x), -1);
    put(x, {5}, -1);
    put(y, {7}, -1);
    EXPECT_EQ(compare(x, y), 1);
    put(x, {0}, -1);
    y->used = 0;
    y->sign = 1;
    EXPECT_EQ(compare(x, y), 0);
    EXPECT_EQ(x->used, 0);  // normalised
    EXPECT_EQ(x->sign, 1);
    put(y, {3}, -1);
    EXPECT_EQ(compare(x, y), 1);
    EXPECT_EQ(compare(y, nullptr), -1);
    EXPECT_EQ(compare(nullptr, nullptr), 0);

    put(x, {1});
    put(y, {1, 0}, 1, 1);
    EXPECT_EQ(compare_magnitude(x, y), 0);
    put(y, {1, 1}, -1, 1);
    EXPECT_EQ(compare_magnitude(x, y), -1);
    EXPECT_EQ(compare_magnitude(y, x), 1);
    // A small fixed-point value is larger than zero in either zero shape.
    put(x, {1}, 1, 4);
    y->used = 0;
    EXPECT_EQ(compare_magnitude(x, y), 1);
    EXPECT_EQ(compare_magnitude(y, x), -1);
    // Leading zero limbs do not make a number larger.
    put(x, {0, 0, 5});
    put(y, {7});
    EXPECT_EQ(compare_magnitude(x, y), -1);
}

TEST_F(Arith, AddCarriesAndHandsUnlikeSignsOn) {
    put(x, {99999999});
    put(y, {1});
    EXPECT_EQ(add(z, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{1, 0}));
    put(x, {5});
    put(y, {3}, -1);
    EXPECT_EQ(add(z, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{2}));
    EXPECT_EQ(z->sign, 1);
    put(x, {3});
    put(y, {5}, -1);
    EXPECT_EQ(add(z, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{2}));
    EXPECT_EQ(z->sign, -1);
    // Carry running through a long run of nines.
    put(x, {99999999, 99999999, 99999999}, -1);
    put(y, {1}, -1);
    EXPECT_EQ(add(z, y, x), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{1, 0, 0, 0}));
    EXPECT_EQ(z->sign, -1);
}

TEST_F(Arith, AddWithResultOverEitherOperand) {
    put(x, {4, 99999999});
    put(y, {7});
    EXPECT_EQ(add(x, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{5, 6}));
    put(x, {4, 99999999});
    EXPECT_EQ(add(y, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(y), (L{5, 6}));
    put(x, {3});
    EXPECT_EQ(add(x, x, x), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{6}));
}

// 0 + x takes x's limbs as they are: over the zero, over x, into a third
// record, a negative x, and a zero whose offset differs (the general path).
TEST_F(Arith, AddOfZeroKeepsTheOtherOperand) {
    for (int over = 0; over < 3; over++) {
        bn_clear(x);
        put(y, {7, 0, 99999999});
        y->sign = -1;
        x->sign = -1;
        BigNum *r = over == 0 ? x : over == 1 ? y : z;
        EXPECT_EQ(add(r, x, y), STATUS_OK);
        EXPECT_EQ(limbs_of(r), (L{7, 0, 99999999}));
        EXPECT_EQ(r->sign, -1);
        EXPECT_EQ(r->offset, 0);
    }
    bn_clear(x);
    x->offset = 1;
    put(y, {5, 6});
    EXPECT_EQ(add(z, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{5, 6}));
    bn_clear(x);
    put(y, {5, 6});
    y->offset = 1;
    EXPECT_EQ(add(x, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{5, 6, 0}));
    EXPECT_EQ(x->offset, 0);
    // A copy between records of different capacities (the low limbs lie at
    // the top of each array).
    put(y, {1, 2, 3});
    ASSERT_EQ(copy(small_den, y), STATUS_OK);
    EXPECT_EQ(limbs_of(small_den), (L{1, 2, 3}));
}

TEST_F(Arith, AddAlignsPartialProductsByOffset) {
    put(x, {1, 2});
    put(y, {3, 4});
    y->offset = 2;  // y counts 100000000^2 higher
    EXPECT_EQ(add(z, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{3, 4, 1, 2}));
    EXPECT_EQ(z->offset, 0);
    // Same sum written over the shifted operand.
    put(x, {1, 2});
    put(y, {3, 4});
    y->offset = 2;
    EXPECT_EQ(add(y, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(y), (L{3, 4, 1, 2}));
    EXPECT_EQ(y->offset, 0);
    put(x, {1, 2});
    put(y, {3, 4});
    y->offset = 2;
    EXPECT_EQ(add(x, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{3, 4, 1, 2}));
}

TEST_F(Arith, AddRefusesASumBeyondTheCapacity) {
    BigNum *r = small_den;  // 20 limbs
    bn_clear(x);
    for (int k = 0; k < 20; k++) limb(x, k) = 99999999;
    x->used = 20;
    put(y, {1});
    put(r, {42});
    EXPECT_EQ(add(r, x, y), STATUS_NO_ROOM);
    EXPECT_EQ(limbs_of(r), (L{42}));
    limb(x, 19) = 5;  // no carry out of the top: fits exactly
    EXPECT_EQ(add(r, x, y), STATUS_OK);
    EXPECT_EQ(r->used, 20);
    EXPECT_EQ(limb(r, 19), 6);
    x->used = 21;
    limb(x, 20) = 1;
    put(r, {42});
    EXPECT_EQ(add(r, x, y), STATUS_NO_ROOM);
    EXPECT_EQ(limbs_of(r), (L{42}));
}

TEST_F(Arith, SubtractMagnitudes) {
    put(x, {7});
    put(y, {7}, -1);
    z->sign = -1;
    EXPECT_EQ(subtract_magnitudes(z, x, y), STATUS_OK);
    EXPECT_TRUE(bn_is_zero(z));
    EXPECT_EQ(z->sign, 1);
    // Absent or zero operand: the other one is the result.
    put(y, {9}, -1);
    EXPECT_EQ(subtract_magnitudes(z, nullptr, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{9}));
    EXPECT_EQ(z->sign, -1);
    put(x, {0}, -1);
    EXPECT_EQ(subtract_magnitudes(y, y, x), STATUS_OK);
    EXPECT_EQ(x->used, 0);
    EXPECT_EQ(limbs_of(y), (L{9}));
    // Borrow across limbs, leading zeros removed, result over each operand.
    put(x, {1, 0, 0});
    put(y, {1}, -1);
    EXPECT_EQ(subtract_magnitudes(z, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{99999999, 99999999}));
    EXPECT_EQ(subtract_magnitudes(x, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{99999999, 99999999}));
    put(x, {1, 0, 0});
    put(y, {1}, -1);
    EXPECT_EQ(subtract_magnitudes(y, y, x), STATUS_OK);
    EXPECT_EQ(limbs_of(y), (L{99999999, 99999999}));
    EXPECT_EQ(y->sign, 1);
    put(x, {1, 0, 1});
    put(y, {1, 0, 0}, -1);
    EXPECT_EQ(subtract_magnitudes(z, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{1}));
}

TEST_F(Arith, SubtractAcrossScales) {
    // b finer than a: a is raised to b's scale. 3 - 0.5 = 2.5
    put(x, {3});
    put(y, {50000000}, -1, 1);
    EXPECT_EQ(subtract_magnitudes(z, x, y), STATUS_OK);
    EXPECT_EQ(x->frac_limbs, 1);
    EXPECT_EQ(limbs_of(z), (L{2, 50000000}));

    // a finer than b: notice printed, b aligned without moving it.
    // 2.5 - 1 = 1.5, and 2.5 - 3 = -0.5 (the larger second operand).
    put(x, {2, 50000000}, 1, 1);
    put(y, {1}, -1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(subtract_magnitudes(z, x, y), STATUS_OK);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "((cs))");
    EXPECT_EQ(limbs_of(z), (L{1, 50000000}));
    put(y, {3}, -1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(subtract_magnitudes(z, x, y), STATUS_OK);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "((cs))");
    EXPECT_EQ(limbs_of(z), (L{50000000}));
    EXPECT_EQ(z->sign, -1);
    EXPECT_EQ(z->frac_limbs, 1);
    // Same, written over the coarser operand.
    testing::internal::CaptureStdout();
    EXPECT_EQ(subtract_magnitudes(y, x, y), STATUS_OK);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(limbs_of(y), (L{50000000}));
    EXPECT_EQ(y->sign, -1);
    EXPECT_EQ(y->frac_limbs, 1);
}

TEST_F(Arith, MulSmall) {
    put(x, {99999999});
    EXPECT_EQ(mul_small(z, x, 100000000), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{99999999, 0}));
    put(x, {3}, -1);
    EXPECT_EQ(mul_small(x, x, -7), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{21}));
    EXPECT_EQ(x->sign, 1);
    EXPECT_EQ(mul_small(z, x, 0), STATUS_OK);
    EXPECT_EQ(z->used, 0);
    EXPECT_EQ(mul_small(x, x, 1), STATUS_OK);
    EXPECT_EQ(mul_small(z, x, 1), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{21}));
    // Multipliers beyond one limb carry into two more limbs.
    put(x, {99999999, 99999999});
    EXPECT_EQ(mul_small(z, x, INT32_MIN), STATUS_OK);
    EXPECT_EQ(limbs_of(z), (L{21, 47483647, 99999978, 52516352}));
    EXPECT_EQ(z->sign, -1);
}

TEST_F(Arith, MulSmallRefusesAProductBeyondTheCapacity) {
    BigNum *r = small_den;
    bn_clear(x);
    for (int k = 0; k < 20; k++) limb(x, k) = 60000000;
    x->used = 20;
    put(r, {42});
    EXPECT_EQ(mul_small(r, x, 2), STATUS_NO_ROOM);
    EXPECT_EQ(limbs_of(r), (L{42}));
    limb(x, 19) = 40000000;  // 2 * top + carry stays in one limb
    EXPECT_EQ(mul_small(r, x, 2), STATUS_OK);
    EXPECT_EQ(r->used, 20);
    EXPECT_EQ(limb(r, 19), 80000001);
}

TEST_F(Arith, DivSmall) {
    int64_t rem = -1;
    put(x, {1, 0});
    EXPECT_EQ(div_small(x, 3, &rem), STATUS_OK);
    EXPECT_EQ(rem, 1);
    EXPECT_EQ(limbs_of(x), (L{33333333}));
    EXPECT_EQ(x->rem, 1);
    EXPECT_EQ(x->last_divisor, 3);
    put(x, {1, 0});
    EXPECT_EQ(div_small(x, -3), STATUS_OK);  // the remainder need not be asked for
    EXPECT_EQ(limbs_of(x), (L{33333333}));
    EXPECT_EQ(x->sign, -1);
    // Refusals leave n alone and the remainder 0.
    put(x, {1, 0}, -1);
    rem = -1;
    EXPECT_EQ(div_small(x, 100000000000LL, &rem), STATUS_TOO_LARGE);
    EXPECT_EQ(rem, 0);
    EXPECT_EQ(limbs_of(x), (L{1, 0}));
    EXPECT_EQ(x->sign, -1);
    EXPECT_EQ(div_small(x, INT64_MIN), STATUS_TOO_LARGE);
    EXPECT_EQ(x->sign, -1);
    rem = -1;
    EXPECT_EQ(div_small(x, 0, &rem), STATUS_DIVISION_BY_ZERO);
    EXPECT_EQ(rem, 0);
    EXPECT_EQ(limbs_of(x), (L{1, 0}));
    EXPECT_EQ(x->sign, -1);
    EXPECT_EQ(div_small(x, -1, &rem), STATUS_OK);
    EXPECT_EQ(rem, 0);
    EXPECT_EQ(x->sign, 1);
    EXPECT_EQ(x->rem, 0);
    // The largest divisor: three limbs shrink to one; the remainder is whole
    // in *remainder though the rem field saturates.
    put(x, {921, 99999999, 99999999});
    EXPECT_EQ(div_small(x, 92233720368LL, &rem), STATUS_OK);
    EXPECT_EQ(rem, int64_t(9219999999999999999ULL % 92233720368ULL));
    EXPECT_EQ(limbs_of(x), (L{int32_t(9219999999999999999ULL / 92233720368ULL)}));
    EXPECT_EQ(x->rem, INT32_MAX);  // remainder beyond the 32-bit field
    put(x, {5});
    EXPECT_EQ(div_small(x, 7, &rem), STATUS_OK);
    EXPECT_EQ(rem, 5);
    EXPECT_EQ(x->used, 0);
}

TEST_F(Arith, ShiftLimbs) {
    put(x, {1, 2});
    EXPECT_EQ(shift_limbs(x, 2), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{1, 2, 0, 0}));
    EXPECT_EQ(shift_limbs(x, -3), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{1}));
    EXPECT_EQ(shift_limbs(x, -1), STATUS_OK);
    EXPECT_EQ(x->used, 0);
    put(x, {0, 0}, -1, 3);
    EXPECT_EQ(shift_limbs(x, 5), STATUS_OK);
    EXPECT_EQ(x->used, 0);
    EXPECT_EQ(x->frac_limbs, 0);
    EXPECT_EQ(x->sign, 1);
    put(x, {7});
    EXPECT_EQ(shift_limbs(x, INT32_MIN), STATUS_OK);
    EXPECT_EQ(x->used, 0);
    put(small_den, {7, 8});
    EXPECT_EQ(shift_limbs(small_den, 19), STATUS_NO_ROOM);
    EXPECT_EQ(limbs_of(small_den), (L{7, 8}));
    EXPECT_EQ(shift_limbs(small_den, 18), STATUS_OK);
    EXPECT_EQ(small_den->used, 20);
}

TEST_F(Arith, ShiftDecimal) {
    put(x, {5});
    EXPECT_EQ(shift_decimal(x, 9), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{50, 0}));
    put(x, {59});
    EXPECT_EQ(shift_decimal(x, -1), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{5}));
    put(x, {12345678, 90123456});
    EXPECT_EQ(shift_decimal(x, -11), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{12345}));
    put(small_den, {1});
    EXPECT_EQ(shift_decimal(small_den, 8 * 19), STATUS_NO_ROOM);  // needs 21 limbs
    EXPECT_EQ(limbs_of(small_den), (L{1}));
    EXPECT_EQ(shift_decimal(small_den, 8 * 18 + 7), STATUS_OK);
    EXPECT_EQ(small_den->used, 19);
    EXPECT_EQ(limb(small_den, 18), 10000000);
    // Zero stays in its own shape.
    put(x, {0});
    EXPECT_EQ(shift_decimal(x, 25), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{0}));
}

TEST_F(Arith, MachineIntegerExchange) {
    put(x, {9}, -1, 2);
    set_int64(x, 0);
    EXPECT_EQ(x->used, 0);
    EXPECT_EQ(x->sign, -1);  // zero keeps the sign
    set_int64(x, INT64_MIN);
    EXPECT_EQ(limbs_of(x), (L{922, 33720368, 54775808}));
    EXPECT_EQ(x->sign, -1);
    EXPECT_EQ(x->frac_limbs, 2);
    set_int64(x, 100000000);
    EXPECT_EQ(limbs_of(x), (L{1, 0}));
    int64_t v = 0;
    put(x, {921, 99999999, 99999999}, -1);
    EXPECT_TRUE(get_int64(x, &v));
    EXPECT_EQ(v, -9219999999999999999LL);
    put(x, {922, 0, 0});
    EXPECT_FALSE(get_int64(x, &v));
    EXPECT_EQ(v, 0);

    set_int32(x, INT32_MIN);
    EXPECT_EQ(limbs_of(x), (L{21, 47483648}));
    EXPECT_EQ(x->frac_limbs, 0);
    set_int32(x, 0);
    EXPECT_EQ(x->used, 0);
    EXPECT_EQ(x->sign, 1);
    int32_t w = 0;
    put(x, {20, 99999999}, -1);
    EXPECT_EQ(get_int32(x, &w), STATUS_OK);
    EXPECT_EQ(w, -2099999999);
    put(x, {21, 0});
    EXPECT_EQ(get_int32(x, &w), STATUS_TOO_LARGE);
    EXPECT_EQ(w, 0);
    put(x, {0}, -1);
    w = 7;
    EXPECT_EQ(get_int32(x, &w), STATUS_OK);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(x->used, 0);
    // A one-limb record cannot take a two-limb value.
    BigNum *tiny = &num_slots[24];
    set_int64(tiny, 5);
    set_int64(tiny, 500000000);
    EXPECT_EQ(limb(tiny, 0), 5);
}

}  // namespace
