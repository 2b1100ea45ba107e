// Long division checked against the library: the limb-vector primitives,
// lv_divrem and lv_reciprocal on operands built to hit the hard cases, and
// `divide` with every aliasing of results and operands. The seed is printed;
// VANTREL_SEED replays one.
#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/gmp_api.h"
#include "number/bignum.h"
#include "engine/fastmul.h"
#include "engine/limbs.h"
#include "engine/scratch.h"
#include "support.h"

namespace {

using Vec = std::vector<uint32_t>;
constexpr uint32_t TOP = LV_BASE - 1;

std::mt19937_64 rng;
uint64_t seed = 20261209;
uint64_t pick(uint64_t n) { return rng() % n; }

// n limbs drawn in runs of 0, of 99999999, of tiny and of uniform limbs;
// the top limb is non-zero unless `top_zero_ok`.
Vec random_limbs(int n, bool top_zero_ok = false) {
    Vec v(size_t(n), 0);
    for (int k = 0; k < n;) {
        uint64_t kind = pick(4);
        for (int run = 1 + int(pick(20)); run > 0 && k < n; run--, k++)
            v[k] = kind == 0 ? 0 : kind == 1 ? TOP : kind == 2 ? uint32_t(pick(3)) : uint32_t(pick(LV_BASE));
    }
    if (!top_zero_ok && n > 0 && v[n - 1] == 0) v[n - 1] = 1 + uint32_t(pick(TOP));
    return v;
}

void to_mpz(mpz_t z, const uint32_t *v, int n) {
    std::string s = "0";
    char buf[16];
    for (int k = n - 1; k >= 0; k--) {
        snprintf(buf, sizeof buf, "%08u", v[k]);
        s += buf;
    }
    mpz_set_str(z, s.c_str(), 10);
}

// z as exactly n limbs (z must fit).
Vec from_mpz(const mpz_t z, int n) {
    char *c = mpz_get_str(nullptr, 10, z);
    std::string s(c);
    free(c);
    Vec v(size_t(n), 0);
    for (int k = 0; !s.empty(); k++) {
        size_t cut = s.size() > 8 ? s.size() - 8 : 0;
        EXPECT_LT(k, n) << "does not fit";
        if (k >= n) break;
        v[k] = uint32_t(std::stoul(s.substr(cut)));
        s.erase(cut);
    }
    return v;
}

// A divisor of nb limbs in one of the hard shapes: random runs, just above
// or at a power of the base, all 99999999, top limb 1 or near BASE / 2.
Vec hard_divisor(int nb) {
    Vec b = random_limbs(nb);
    switch (pick(6)) {
    case 0: b.assign(size_t(nb), 0); b[0] = uint32_t(pick(3)); b[nb - 1] = 1; break;
    case 1: b.assign(size_t(nb), TOP); break;
    case 2: b[nb - 1] = 1; break;
    case 3: b[nb - 1] = LV_BASE / 2 - uint32_t(pick(2)); break;
    default: break;
    }
    return b;
}

// A dividend for b: random runs, or q * b + rem with q (maybe all 99999999
// or one limb) and rem (0, 1, b - 1 or random) chosen to sit on a boundary.
Vec hard_dividend(const Vec &b, int na, mpz_t t, mpz_t u) {
    int nb = int(b.size());
    if (pick(3) == 0) return random_limbs(na, pick(4) == 0);
    int nq = pick(4) == 0 ? 1 : na - nb + (pick(2) ? 0 : 1);
    Vec q = pick(4) == 0 ? Vec(size_t(nq), TOP) : random_limbs(nq);
    to_mpz(t, q.data(), nq);
    to_mpz(u, b.data(), nb);
    mpz_mul(t, t, u);
    switch (pick(4)) {
    case 0: break;
    case 1: mpz_add_ui(t, t, 1); break;
    case 2: mpz_add(t, t, u); mpz_sub_ui(t, t, 1); break;
    default: { Vec r = random_limbs(nb - 1 > 0 ? nb - 1 : 1); to_mpz(u, r.data(), int(r.size())); mpz_add(t, t, u); }
    }
    mpz_t top;
    mpz_init(top);
    mpz_ui_pow_ui(top, LV_BASE, unsigned(na));
    if (mpz_cmp(t, top) >= 0) mpz_sub_ui(t, top, 1);
    mpz_clear(top);
    return from_mpz(t, na);
}

struct Division : ::testing::Test {
    static void SetUpTestSuite() {
        ASSERT_EQ(start_library_suite("division", 9000, &seed), 0);
    }
    void SetUp() override {
        rng.seed(seed);
        mpz_inits(za, zb, zq, zr, zt, nullptr);
    }
    void TearDown() override { mpz_clears(za, zb, zq, zr, zt, nullptr); }
    mpz_t za, zb, zq, zr, zt;

    // lv_divrem of a by b against the library, with q or r left out now and
    // then; also checks that the arena is given back.
    ::testing::AssertionResult divides(const Vec &a, const Vec &b) {
        int na = int(a.size()), nb = int(b.size());
        Vec q(size_t(na - nb + 1), 7), r(size_t(nb), 7);
        bool want_q = pick(5) != 0, want_r = !want_q || pick(5) != 0;
        size_t mark = scratch_mark(core);
        Status rc = lv_divrem(core, want_q ? q.data() : nullptr, want_r ? r.data() : nullptr, a.data(), na,
                           b.data(), nb);
        if (rc != STATUS_OK || scratch_mark(core) != mark) return ::testing::AssertionFailure() << "rc " << status_name(rc);
        to_mpz(za, a.data(), na);
        to_mpz(zb, b.data(), nb);
        mpz_tdiv_qr(zq, zr, za, zb);
        if (want_q && q != from_mpz(zq, na - nb + 1))
            return ::testing::AssertionFailure() << "quotient differs, " << na << " / " << nb;
        if (want_r && r != from_mpz(zr, nb))
            return ::testing::AssertionFailure() << "remainder differs, " << na << " / " << nb;
        return ::testing::AssertionSuccess();
    }
};

TEST_F(Division, LimbPrimitivesAgainstTheLibrary) {
    for (int i = 0; i < 400; i++) {
        int n = 1 + int(pick(40)), m = 1 + int(pick(uint64_t(n)));
        Vec a = random_limbs(n, true), b = random_limbs(m, true), r(static_cast<size_t>(n));
        uint32_t c = pick(2) ? TOP : uint32_t(pick(LV_BASE));
        to_mpz(za, a.data(), n);
        to_mpz(zb, b.data(), m);
        mpz_ui_pow_ui(zt, LV_BASE, unsigned(n));
        // Sums and differences wrap modulo BASE^n and report the carry.
        mpz_add(zq, za, zb);
        uint32_t carry = lv_add(r.data(), a.data(), n, b.data(), m);
        mpz_submul_ui(zq, zt, carry);
        ASSERT_EQ(r, from_mpz(zq, n)) << "add " << i;
        Vec s = a;  // result over the first operand
        uint32_t borrow = lv_sub(s.data(), s.data(), n, b.data(), m);
        mpz_sub(zq, za, zb);
        mpz_addmul_ui(zq, zt, borrow);
        ASSERT_EQ(s, from_mpz(zq, n)) << "sub " << i;
        ASSERT_EQ(borrow, mpz_cmp(za, zb) < 0 ? 1u : 0u);
        s = a;
        carry = lv_add_1(s.data(), s.data(), n, c);
        mpz_add_ui(zq, za, c);
        mpz_submul_ui(zq, zt, carry);
        ASSERT_EQ(s, from_mpz(zq, n)) << "add_1 " << i;
        borrow = lv_sub_1(r.data(), a.data(), n, c);
        mpz_sub_ui(zq, za, c);
        mpz_addmul_ui(zq, zt, borrow);
        ASSERT_EQ(r, from_mpz(zq, n)) << "sub_1 " << i;
        // Products by a multiplier up to 2^32 - 1, and accumulated ones.
        uint32_t mul = pick(3) == 0 ? 0xFFFFFFFFu : uint32_t(pick(LV_BASE));
        uint64_t out = lv_mul_1(r.data(), a.data(), n, mul);
        mpz_mul_ui(zq, za, mul);
        Vec whole = from_mpz(zq, n + 2);
        ASSERT_EQ(Vec(whole.begin(), whole.begin() + n), r) << "mul_1 " << i;
        ASSERT_EQ(out, whole[n] + uint64_t(whole[n + 1]) * LV_BASE);
        s = b;
        s.resize(size_t(n), 0);
        mpz_set(zr, zb);
        mul %= LV_BASE;
        out = lv_addmul_1(s.data(), a.data(), n, mul);
        mpz_addmul_ui(zr, za, mul);
        whole = from_mpz(zr, n + 1);
        ASSERT_EQ(Vec(whole.begin(), whole.begin() + n), s) << "addmul_1 " << i;
        ASSERT_EQ(out, whole[n]);
        uint32_t d = 1 + uint32_t(pick(2) ? rng() % 0xFFFFFFFFu : pick(LV_BASE));
        s = a;
        uint32_t rem = lv_div_1(s.data(), s.data(), n, d);
        ASSERT_EQ(rem, mpz_tdiv_q_ui(zq, za, d));
        ASSERT_EQ(s, from_mpz(zq, n)) << "div_1 " << i;
        int cmp = mpz_cmp(za, zb);
        b.resize(size_t(n), 0);
        ASSERT_EQ(lv_cmp(a.data(), b.data(), n), cmp > 0 ? 1 : cmp < 0 ? -1 : 0);
    }
}

// Divisor lengths on both sides of the reciprocal threshold and of the
// product methods, dividends of one limb more up to several blocks longer.
TEST_F(Division, VectorsAcrossEveryThreshold) {
    const int T = DIV_NEWTON_LIMBS;
    for (int nb : {1, 2, 3, 7, KARATSUBA_LIMBS, T - 1, T, T + 1, 2 * T + 3, 5 * T, TRANSFORM_LIMBS + 5}) {
        int rounds = nb > 1000 ? 6 : 40;
        for (int i = 0; i < rounds; i++) {
            Vec b = hard_divisor(nb);
            int na;
            switch (pick(5)) {
            case 0: na = nb; break;
            case 1: na = nb + 1 + int(pick(3)); break;
            case 2: na = 2 * nb - 1 + int(pick(3)); break;
            case 3: na = nb + T - 2 + int(pick(4)); break;
            default: na = nb + 1 + int(pick(uint64_t(3 * nb + 2 * T))); break;
            }
            Vec a = hard_dividend(b, na, zt, zr);
            ASSERT_TRUE(divides(a, b)) << "nb " << nb << " round " << i;
        }
    }
}

TEST_F(Division, ReciprocalIsTheFloorOfAPowerOverTheDivisor) {
    for (int i = 0; i < 120; i++) {
        int nb = 1 + int(pick(3 * DIV_NEWTON_LIMBS)), n = int(pick(3 * DIV_NEWTON_LIMBS));
        Vec b = hard_divisor(nb), y(size_t(n) + 2, 7);
        ASSERT_EQ(lv_reciprocal(core, y.data(), b.data(), nb, n), STATUS_OK);
        to_mpz(zb, b.data(), nb);
        mpz_ui_pow_ui(zq, LV_BASE, unsigned(nb + n));
        mpz_tdiv_q(zq, zq, zb);
        ASSERT_EQ(y, from_mpz(zq, n + 2)) << "nb " << nb << " n " << n;
    }
}

TEST_F(Division, ArenaShortageIsReportedAndGivenBack) {
    Vec a = random_limbs(4 * DIV_NEWTON_LIMBS), b = random_limbs(2 * DIV_NEWTON_LIMBS);
    Vec q(a.size() - b.size() + 1), r(b.size());
    size_t mark = scratch_mark(core);
    ASSERT_NE(scratch_take(core, scratch_room(core) - 64), nullptr);
    size_t full = scratch_mark(core);
    EXPECT_EQ(lv_divrem(core, q.data(), r.data(), a.data(), int(a.size()), b.data(), int(b.size())), STATUS_NO_ROOM);
    EXPECT_EQ(scratch_mark(core), full);
    // `divide` then refuses and leaves the dividend as it was.
    BigNum *x = work_int(5), *y = work_int(6);
    put(x, {3, 0, 0, 0, 0, 0, 9});
    put(y, {1, 0, 5});
    EXPECT_EQ(divide(nullptr, nullptr, x, y), STATUS_NO_ROOM);
    EXPECT_EQ(limbs_of(x), (L{3, 0, 0, 0, 0, 0, 9}));
    scratch_release(core, mark);
    EXPECT_EQ(divide(nullptr, nullptr, x, y), STATUS_OK);
    EXPECT_EQ(limbs_of(x), (L{2, 99999999, 99999985, 0, 74}));
}

// `divide` on records: sign and scale of the results, every aliasing of
// result and operand, and the same digits with the library unbound.
TEST_F(Division, DivideRecordsAgainstTheLibrary) {
    BigNum *a = work_frac[0].num, *b = work_frac[1].num, *q = work_frac[2].num, *r = work_frac[3].num;
    auto load = [](BigNum *n, const Vec &v, int sign, int frac) {
        bn_clear(n);
        for (size_t k = 0; k < v.size(); k++) limb(n, int(k)) = int32_t(v[k]);
        n->used = int(v.size());
        n->sign = int8_t(sign);
        n->frac_limbs = frac;
    };
    auto value = [](mpz_t z, BigNum *n) {
        Vec v(size_t(n->used));
        for (int k = 0; k < n->used; k++) v[k] = uint32_t(limb(n, k));
        to_mpz(z, v.data(), n->used);
        if (n->sign < 0) mpz_neg(z, z);
    };
    for (int i = 0; i < 500; i++) {
        int nb = 3 + int(pick(pick(4) == 0 ? 2500 : 3 * DIV_NEWTON_LIMBS));
        int na = nb + int(pick(uint64_t(nb) + 40));
        if (na >= a->capacity) na = a->capacity - 1;
        Vec vb = hard_divisor(nb), va = hard_dividend(vb, na, zt, zr);
        int sa = pick(2) ? -1 : 1, sb = pick(2) ? -1 : 1, frac = pick(4) == 0 ? 1 + int(pick(3)) : 0;
        load(a, va, sa, frac);
        load(b, vb, sb, 0);
        value(za, a);
        value(zb, b);
        mpz_tdiv_qr(zq, zr, za, zb);
        mpz_abs(zr, zr);
        gmp.available = pick(2) != 0;
        int layout = int(pick(6));
        BigNum *quot = a, *rem = nullptr;
        testing::internal::CaptureStdout();
        Status rc;
        switch (layout) {
        case 0: rc = divide(q, r, a, b); quot = q; rem = r; break;
        case 1: rc = divide(nullptr, r, a, b); rem = r; break;
        case 2: rc = divide(q, a, a, b); quot = q; rem = a; break;
        case 3: rc = divide(b, r, a, b); quot = b; rem = r; break;
        case 4: rc = divide(q, b, a, b); quot = q; rem = b; break;
        default: rc = divide(b, a, a, b); quot = b; rem = a; break;
        }
        ASSERT_EQ(testing::internal::GetCapturedStdout(), "");
        ASSERT_EQ(rc, STATUS_OK);
        bind_gmp();
        if (rem) {
            EXPECT_EQ(rem->sign, 1);
            value(zt, rem);
            ASSERT_EQ(mpz_cmp(zt, zr), 0) << "remainder, round " << i << " layout " << layout;
        }
        value(zt, quot);
        ASSERT_EQ(mpz_cmp(zt, zq), 0) << "quotient, round " << i << " layout " << layout;
        EXPECT_EQ(quot->frac_limbs, frac);
        EXPECT_TRUE(quot->used == 0 || limb(quot, quot->used - 1) != 0);
        if (quot->used == 0) {
            EXPECT_EQ(quot->sign, 1);
        }
    }
}

TEST_F(Division, PackedMarksReadAsSignedDigits) {
    // Limbs outside 0..BASE-1 count as the signed digits they are:
    // {2, -1, 5} is 2 BASE^2 - BASE + 5, {-1, 0, 0} is -BASE^2.
    BigNum *a = work_int(5), *b = work_int(6), *q = work_int(7), *r = work_frac[3].num;
    put(a, {7, 0, 0, 0, 3});
    put(b, {2, -1, 5});
    ASSERT_EQ(divide(q, r, a, b), STATUS_OK);
    const int64_t d = 2 * int64_t(LV_BASE) * LV_BASE - LV_BASE + 5;
    mpz_ui_pow_ui(za, LV_BASE, 4);
    mpz_mul_ui(za, za, 7);
    mpz_add_ui(za, za, 3);
    EXPECT_EQ(value_of(r), int64_t(mpz_tdiv_q_ui(zq, za, uint64_t(d))));
    EXPECT_EQ(value_of(q), int64_t(mpz_get_ui(zq)));
    put(b, {-1, 0, 0});
    ASSERT_EQ(divide(q, r, a, b), STATUS_OK);
    EXPECT_EQ(q->sign, -1);
    EXPECT_EQ(limbs_of(q), (L{7, 0, 0}));
    EXPECT_EQ(limbs_of(r), (L{3}));
    put(b, {1, -100000000, 0});  // zero: the dividend stays, remainder 0
    ASSERT_EQ(divide(q, r, a, b), STATUS_OK);
    EXPECT_EQ(limbs_of(q), (L{7, 0, 0, 0, 3}));
    EXPECT_TRUE(bn_is_zero(r));
}

}  // namespace
