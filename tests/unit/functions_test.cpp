// Function dispatcher details a session cannot observe: the element layout of
// template constants, name recognition leaving the target alone, and the
// characters consumed by argument forms.
#include <gtest/gtest.h>

#include "expr/expr.h"
#include "kernels/real.h"
#include "engine/gmp_api.h"
#include "functions/functions.h"
#include "support.h"

namespace {

struct Functions200 : ::testing::Test {
    static void SetUpTestSuite() {
        if (!gmp_ready()) bind_gmp();
        ASSERT_EQ(core_start(200), 0);
    }
    Fraction *f = &work_frac[1];
    void SetUp() override { fraction_init(f); }
};

TEST_F(Functions200, ElementConstantsUseTheElementFormat) {
    int w = reg_num[29]->elem_width;
    ASSERT_EQ(w, 6);
    int32_t *e = reg_den[29]->limbs;
    for (int i = 0; i < 2 * w; i++) e[i] = 77;  // stale contents
    set_element_int(29, 1, 9);
    EXPECT_EQ(e[2 * w - 1], 9);
    for (int i = w; i < 2 * w - 1; i++) EXPECT_EQ(e[i], 0) << i;
    EXPECT_EQ(e[w - 1], 77);  // element 0 untouched

    set_element_frac(26, 1, 1, 50);
    int32_t *b = reg_den[26]->limbs;
    EXPECT_EQ(b[w], -50);
    EXPECT_EQ(b[2 * w - 1], 1);
    for (int i = w + 1; i < 2 * w - 1; i++) EXPECT_EQ(b[i], 0);
}

TEST_F(Functions200, ElementConstantReadsBack) {
    set_element_frac(28, 1, 9, 6250);
    Fraction *r = &work_frac[3];
    EXPECT_EQ(read_value("&D1", r), 3);
    EXPECT_EQ(value_of(r->num), 9);
    EXPECT_EQ(value_of(r->den), 6250);
    set_element_int(27, 0, 8);
    read_value("&C0", r);
    EXPECT_EQ(value_of(r->num), 8);
    EXPECT_EQ(value_of(r->den), 1);
}

TEST_F(Functions200, ElementOutsideStorageIsNotWritten) {
    int32_t *e = reg_den[29]->limbs;
    int cap = reg_den[29]->capacity;
    int32_t last = e[cap - 1];
    int32_t next_reg_first = reg_num[29]->limbs[0];
    set_element_int(29, cap, 5);      // far beyond the array
    set_element_frac(29, cap / 6, 1, 3);  // element end beyond capacity
    set_element_int(3, 0, 5);         // not a work register
    EXPECT_EQ(e[cap - 1], last);
    EXPECT_EQ(reg_num[29]->limbs[0], next_reg_first);
}

TEST_F(Functions200, UnknownNameChangesNothing) {
    set_int32(f->num, 42);
    EXPECT_EQ(evaluate_function("XSIN(3)", f, 1), 0);
    EXPECT_EQ(evaluate_function("S", f, 1), 0);
    EXPECT_EQ(evaluate_function("E5", f, 1), 0);
    EXPECT_EQ(value_of(f->num), 42);
}

TEST_F(Functions200, LiteralArgumentAndTrailingPoint) {
    EXPECT_EQ(evaluate_function("DSUM987.+1", f, 1), 8);
    EXPECT_EQ(value_of(f->num), 24);
    // 7.5 is read unreduced as 75/10; the integer part is 7.
    EXPECT_EQ(evaluate_function("INT7.5*2", f, 1), 6);
    EXPECT_EQ(value_of(f->num), 7);
    EXPECT_EQ(value_of(f->den), 1);
    EXPECT_EQ(evaluate_function("PI.", f, 1), 3);
    EXPECT_EQ(evaluate_function("POL12", f, 1), 5);
    EXPECT_EQ(value_of(f->num), 12);
}

TEST_F(Functions200, IntegerPartOfFixedPoint) {
    // A literal with seven places is a fixed-point decimal over 1.
    EXPECT_EQ(evaluate_function("INT2.7500000", f, 1), 12);
    EXPECT_EQ(f->num->frac_limbs, 0);
    EXPECT_EQ(value_of(f->num), 2);
}

TEST_F(Functions200, TimeIsTheCalendarTime) {
    EXPECT_EQ(evaluate_function("TIME", f, 1), 4);
    EXPECT_GT(value_of(f->num), 1700000000);
}

}  // namespace
