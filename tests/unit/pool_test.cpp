// The pool's capacities and layout and the two shapes of zero.
#include <gtest/gtest.h>

#include "number/bignum.h"

namespace {

struct Pool200 : ::testing::Test {
    static void SetUpTestSuite() { ASSERT_EQ(pool_start(200), 0); }
};

TEST_F(Pool200, CapacitiesAtPrecision200) {
    for (int i = 0; i < REGISTERS; i++) {
        EXPECT_EQ(reg_den[i]->capacity, 20);
        EXPECT_EQ(reg_num[i]->capacity, 200);
    }
    for (int k = 0; k < WORK_FRACTIONS; k++) {
        EXPECT_EQ(work_frac[k].num->capacity, 200);
        EXPECT_EQ(work_frac[k].den->capacity, 40);
    }
    for (int k = 0; k < 8; k++) EXPECT_EQ(work_int(k)->capacity, 200);
    // Slots that never receive storage keep their one-limb self storage.
    EXPECT_EQ(num_slots[24].capacity, 1);
    EXPECT_EQ(den_slots[20].capacity, 1);
}

TEST_F(Pool200, RegisterLayoutPutsLimbZeroAtTheEnd) {
    for (int i = 0; i < REGISTERS; i++) {
        // Denominator area first, numerator area right after it in one slice.
        EXPECT_EQ(reg_den[i]->limbs + 20, reg_num[i]->limbs);
        EXPECT_EQ(&limb(reg_num[i], 0), &reg_num[i]->limbs[199]);
        EXPECT_EQ(&limb(reg_den[i], 0), &reg_den[i]->limbs[19]);
        EXPECT_TRUE(bn_is_zero(reg_num[i]));
        EXPECT_EQ(reg_den[i]->used, 1);
        EXPECT_EQ(limb(reg_den[i], 0), 1);
        EXPECT_EQ(reg_den[i]->rem, 1);
    }
    EXPECT_EQ(reg_num[0]->limbs + 200, reg_den[1]->limbs);
}

TEST_F(Pool200, BothShapesOfZero) {
    BigNum *n = work_int(5);
    bn_clear(n);
    EXPECT_TRUE(bn_is_zero(n));
    n->used = 1;
    limb(n, 0) = 0;
    n->sign = -1;
    EXPECT_TRUE(bn_is_zero(n));
    bn_normalise_zero(n);
    EXPECT_EQ(n->used, 0);
    EXPECT_EQ(n->sign, 1);
}

TEST_F(Pool200, ElementWidthReachesRegistersOnly) {
    element_width = 3;
    apply_element_width();
    for (int i = 0; i < REGISTERS; i++) EXPECT_EQ(reg_num[i]->elem_width, 3);
    EXPECT_EQ(work_frac[0].num->elem_width, 6);
    element_width = 6;
    apply_element_width();
}

}  // namespace
