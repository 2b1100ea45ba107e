// Integer powers by repeated squaring (number/power.h) against the library.
#include "number/power.h"
#include "support.h"

namespace {

struct Powers : ::testing::Test {
    static void SetUpTestSuite() {
        bind_gmp();
        ASSERT_EQ(pool_start(200), 0);
    }
};

// The squares are made of |O|, so the sign of O^W is the harness's to get
// right: a negative base gave a negative even power (found by fuzz_arith).
TEST_F(Powers, SquaringKeepsTheSignOfNegativeBases) {
    Fraction *B = &work_frac[1], *O = &work_frac[2];
    mpz_t want, got;
    mpz_inits(want, got, nullptr);
    for (int64_t base : {-6, -2, -99999999, 3}) {
        for (int64_t W : {64, 65, 130, 131}) {
            fraction_init(B);
            bn_set_one(B->num);
            fraction_init(O);
            set_int64(O->num, base);
            ASSERT_TRUE(power_by_squaring(B, O, W)) << base << "^" << W;
            mpz_set_si(want, long(base));
            mpz_pow_ui(want, want, (unsigned long)W);
            get_mpz(got, B->num);
            EXPECT_EQ(mpz_cmp(got, want), 0) << base << "^" << W;
            EXPECT_TRUE(bn_is_one(B->den));
        }
    }
    mpz_clears(want, got, nullptr);
}

}  // namespace
