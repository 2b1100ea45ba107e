// Big-integer operations checked against the library's own integer
// arithmetic on random operands of 1 to 300 limbs, biased to runs of zero and
// 99999999 limbs, both shapes of zero and every aliasing of result and
// operand. Deterministic: the seed is printed, and VANTREL_SEED replays one.
#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "engine/gmp_api.h"
#include "number/bignum.h"
#include "support.h"

namespace {

constexpr int ROUNDS = 1500;
std::mt19937_64 rng;
uint64_t seed = 20261208;

uint64_t pick(uint64_t n) { return rng() % n; }

// A random operand: zero in either shape now and then, otherwise 1..max_len
// limbs with a non-zero top limb, drawn from runs of 0, runs of 99999999,
// small values and uniform limbs.
void random_operand(BigNum *n, int max_len) {
    bn_clear(n);
    n->sign = int8_t(pick(2) ? -1 : 1);
    uint64_t shape = pick(40);
    if (shape == 0) { n->used = 0; return; }
    if (shape == 1) { n->used = 1; limb(n, 0) = 0; return; }
    int len = 1 + int(pick(uint64_t(max_len)));
    if (pick(3) == 0) len = 1 + int(pick(4));  // short values are the common case
    int k = 0;
    while (k < len) {
        int run = 1 + int(pick(12));
        uint64_t kind = pick(4);
        for (int i = 0; i < run && k < len; i++, k++) {
            int32_t v = kind == 0 ? 0
                      : kind == 1 ? 99999999
                      : kind == 2 ? int32_t(pick(3))
                                  : int32_t(pick(100000000));
            limb(n, k) = v;
        }
    }
    if (limb(n, len - 1) == 0) limb(n, len - 1) = 1 + int32_t(pick(99999999));
    n->used = len;
}

// The record's value (limbs read as an integer, sign applied).
void to_mpz(mpz_t z, BigNum *n) {
    std::string text = n->sign < 0 ? "-0" : "0";
    char buf[16];
    for (int k = n->used - 1; k >= 0; k--) {
        snprintf(buf, sizeof buf, "%08d", limb(n, k));
        text += buf;
    }
    mpz_set_str(z, text.c_str(), 10);
}

std::string describe(BigNum *n) {
    mpz_t z;
    mpz_init(z);
    to_mpz(z, n);
    char *s = mpz_get_str(nullptr, 10, z);
    std::string out(s);
    free(s);
    mpz_clear(z);
    return out;
}

// Equal value, and no leading zero limb beyond the one-zero-limb shape.
::testing::AssertionResult holds(BigNum *n, const mpz_t want) {
    mpz_t got;
    mpz_init(got);
    to_mpz(got, n);
    bool same = mpz_cmp(got, want) == 0;
    mpz_clear(got);
    if (!same) {
        char *w = mpz_get_str(nullptr, 10, want);
        ::testing::AssertionResult r = ::testing::AssertionFailure()
                                       << "got " << describe(n) << " want " << w;
        free(w);
        return r;
    }
    if (n->used > 1 && limb(n, n->used - 1) == 0)
        return ::testing::AssertionFailure() << "leading zero limb, used " << n->used;
    return ::testing::AssertionSuccess();
}

struct Differential : ::testing::Test {
    static void SetUpTestSuite() {
        ASSERT_EQ(start_library_suite("differential", 700, &seed), 0);
    }
    void SetUp() override {
        rng.seed(seed);  // each test replays alone under a filter
        for (mpz_ptr z : {za, zb, zq, zr, zw}) mpz_init(z);
    }
    void TearDown() override {
        for (mpz_ptr z : {za, zb, zq, zr, zw}) mpz_clear(z);
    }
    BigNum *a = work_frac[0].num, *b = work_frac[1].num, *r = work_frac[2].num;
    BigNum *s = work_frac[3].num;
    mpz_t za, zb, zq, zr, zw;

    // Result record for an aliasing case: 0 separate, 1 the first operand,
    // 2 the second.
    BigNum *target(int alias) { return alias == 0 ? r : (alias == 1 ? a : b); }
    void load() {
        to_mpz(za, a);
        to_mpz(zb, b);
    }
};

TEST_F(Differential, AddAndSubtract) {
    for (int i = 0; i < ROUNDS; i++) {
        random_operand(a, 300);
        random_operand(b, 300);
        if (pick(4) == 0) (void)copy(b, a);  // equal magnitudes (records of one capacity)
        if (pick(2)) b->sign = int8_t(-a->sign);
        load();
        mpz_add(zw, za, zb);
        int alias = int(pick(3));
        BigNum *t = target(alias);
        if ((a->sign < 0) != (b->sign < 0) && pick(2)) {
            EXPECT_EQ(subtract_magnitudes(t, a, b), STATUS_OK);
        } else {
            EXPECT_EQ(add(t, a, b), STATUS_OK);
        }
        ASSERT_TRUE(holds(t, zw)) << "round " << i << " alias " << alias << " a " << mpz_get_si(za);
    }
}

TEST_F(Differential, MulSmallAndDivSmall) {
    const int32_t special[] = {0, 1, -1, 2, 100000000, -100000000, INT32_MAX, INT32_MIN, 99999999};
    for (int i = 0; i < ROUNDS; i++) {
        random_operand(a, 300);
        int32_t m = pick(3) == 0 ? special[pick(9)] : int32_t(uint32_t(rng()));
        load();
        mpz_mul_si(zw, za, m);
        BigNum *t = pick(2) ? r : a;
        EXPECT_EQ(mul_small(t, a, m), STATUS_OK);
        if (m != 0) ASSERT_TRUE(holds(t, zw)) << "round " << i << " m " << m;
        else EXPECT_EQ(t->used, 0);

        random_operand(a, 300);
        int64_t d;
        switch (pick(4)) {
        case 0: d = int64_t(pick(100)); break;
        case 1: d = int64_t(pick(92233720368ULL)) + 1; break;
        case 2: d = 92233720368LL - int64_t(pick(3)); break;
        default: d = 92233720369LL + int64_t(pick(1000000)); break;
        }
        if (pick(2)) d = -d;
        load();
        int64_t rem = -1;
        Status st = div_small(a, d, &rem);
        int64_t ad = d < 0 ? -d : d;
        if (ad > 92233720368LL) {
            EXPECT_EQ(st, STATUS_TOO_LARGE);
            ASSERT_TRUE(holds(a, za));
            continue;
        }
        if (ad == 0) {
            EXPECT_EQ(st, STATUS_DIVISION_BY_ZERO);
            ASSERT_TRUE(holds(a, za));
            continue;
        }
        EXPECT_EQ(st, STATUS_OK);
        mpz_set_si(zb, d);
        mpz_tdiv_qr(zq, zr, za, zb);
        ASSERT_TRUE(holds(a, zq)) << "round " << i << " d " << d;
        EXPECT_EQ(rem, mpz_sgn(zr) < 0 ? -mpz_get_si(zr) : mpz_get_si(zr));
    }
}

TEST_F(Differential, Multiply) {
    for (int i = 0; i < ROUNDS; i++) {
        random_operand(a, 300);
        random_operand(b, 300);
        int alias = int(pick(4));
        if (alias == 3) (void)copy(b, a);  // records of one capacity
        load();
        mpz_mul(zw, za, zb);
        BigNum *t = alias == 3 ? a : target(alias);
        Status rc = alias == 3 ? multiply(t, a, a) : multiply(t, a, b);
        EXPECT_EQ(rc, STATUS_OK);
        ASSERT_TRUE(holds(t, zw)) << "round " << i << " alias " << alias;
    }
}

// Quotient and remainder, for divisors the calculator divides itself and for
// those it hands to the library; the remainder is |a| mod |b|.
TEST_F(Differential, Divide) {
    for (int i = 0; i < ROUNDS; i++) {
        random_operand(a, 300);
        if (pick(2)) {
            random_operand(b, 2);
            if (b->used == 2 && limb(b, 1) >= 922) limb(b, 1) = int32_t(pick(921)) + 1;
        } else {
            random_operand(b, int(pick(2)) ? 300 : 5);
        }
        load();
        if (mpz_sgn(zb) == 0) continue;
        mpz_tdiv_qr(zq, zr, za, zb);
        mpz_abs(zr, zr);
        int layout = int(pick(4));
        Status rc;
        BigNum *quot = a, *rem = nullptr;
        switch (layout) {
        case 0: rc = divide(r, s, a, b); quot = r; rem = s; break;
        case 1: rc = divide(nullptr, s, a, b); rem = s; break;
        case 2: rc = divide(r, a, a, b); quot = r; rem = a; break;
        default: rc = divide(b, s, a, b); quot = b; rem = s; break;
        }
        EXPECT_EQ(rc, STATUS_OK);
        ASSERT_TRUE(holds(quot, zq)) << "round " << i << " layout " << layout;
        ASSERT_TRUE(holds(rem, zr)) << "round " << i << " layout " << layout;
    }
}

TEST_F(Differential, GcdLcm) {
    for (int i = 0; i < ROUNDS; i++) {
        bool small = pick(2);
        random_operand(a, small ? 3 : 300);
        random_operand(b, small ? 3 : 300);
        if (pick(5) == 0) {
            // A shared factor makes the divisor interesting.
            random_operand(s, small ? 1 : 20);
            // Operands of at most 300 limbs times 20: room in every record.
            if (!bn_is_zero(s)) { (void)multiply(a, a, s); (void)multiply(b, b, s); }
        }
        load();
        mpz_gcd(zq, za, zb);
        mpz_lcm(zw, za, zb);
        if (mpz_cmpabs(za, zb) != 0 && mpz_sgn(za) * mpz_sgn(zb) < 0) mpz_neg(zw, zw);
        int layout = int(pick(3));
        BigNum *g = layout == 1 ? a : r, *l = layout == 2 ? b : s;
        std::string da = describe(a), db = describe(b);
        (void)gcd_lcm(g, l, a, b);  // checked through g and l below
        ASSERT_TRUE(holds(g, zq)) << "round " << i << " layout " << layout;
        ASSERT_TRUE(holds(l, zw)) << "round " << i << " layout " << layout << " a " << da << " b " << db;
    }
}

TEST_F(Differential, CompareAndShiftDecimal) {
    for (int i = 0; i < ROUNDS; i++) {
        random_operand(a, 300);
        random_operand(b, 300);
        if (pick(3) == 0) {
            (void)copy(b, a);  // records of one capacity
            if (pick(2) && b->used > 0) limb(b, int(pick(uint64_t(b->used)))) ^= 1;
            if (pick(2)) b->sign = int8_t(-b->sign);
        }
        load();
        int want = mpz_cmp(za, zb);
        want = want > 0 ? 1 : (want < 0 ? -1 : 0);
        EXPECT_EQ(compare(a, b), want) << "round " << i;
        int wantm = mpz_cmpabs(za, zb);
        EXPECT_EQ(compare_magnitude(a, b), wantm > 0 ? 1 : (wantm < 0 ? -1 : 0));

        int32_t shift = int32_t(pick(4000)) - 2000;
        int used = a->used;
        Status rc = shift_decimal(a, shift);
        if (shift > 0) {
            mpz_ui_pow_ui(zw, 10, unsigned(shift));
            mpz_mul(zw, za, zw);
            if (mpz_sgn(za) != 0 && int64_t(used) + shift / 8 + 1 > a->capacity) {
                EXPECT_EQ(rc, STATUS_NO_ROOM);
                ASSERT_TRUE(holds(a, za));
            } else {
                EXPECT_EQ(rc, STATUS_OK);
                ASSERT_TRUE(holds(a, zw)) << "round " << i << " shift " << shift;
            }
        } else {
            mpz_ui_pow_ui(zw, 10, unsigned(-shift));
            mpz_tdiv_q(zw, za, zw);
            EXPECT_EQ(rc, STATUS_OK);
            if (mpz_sgn(zw) == 0) EXPECT_TRUE(bn_is_zero(a));
            else ASSERT_TRUE(holds(a, zw)) << "round " << i << " shift " << shift;
        }
    }
}

}  // namespace
