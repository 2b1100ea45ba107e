// Greatest common divisors checked against the library: lv_gcd on operands
// built to hit the hard cases (shared factors of every size, long runs of
// small quotients, huge quotients, runs of 0 and 99999999), and gcd_lcm with
// and without the library. The seed is printed; VANTREL_SEED replays one.
#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/gmp_api.h"
#include "number/bignum.h"
#include "engine/limbs.h"
#include "support.h"

namespace {

using Vec = std::vector<uint32_t>;
constexpr uint32_t TOP = LV_BASE - 1;

std::mt19937_64 rng;
uint64_t seed = 20261216;
uint64_t pick(uint64_t n) { return rng() % n; }

// n limbs in runs of 0, of 99999999, of tiny and of uniform limbs; the top
// limb is non-zero.
Vec random_limbs(int n) {
    Vec v(size_t(n), 0);
    for (int k = 0; k < n;) {
        uint64_t kind = pick(4);
        for (int run = 1 + int(pick(20)); run > 0 && k < n; run--, k++)
            v[k] = kind == 0 ? 0 : kind == 1 ? TOP : kind == 2 ? uint32_t(pick(3)) : uint32_t(pick(LV_BASE));
    }
    if (n > 0 && v[n - 1] == 0) v[n - 1] = 1 + uint32_t(pick(TOP));
    return v;
}

void to_mpz(mpz_t z, const Vec &v) {
    std::string s = "0";
    char buf[16];
    for (size_t k = v.size(); k-- > 0;) {
        snprintf(buf, sizeof buf, "%08u", v[k]);
        s += buf;
    }
    mpz_set_str(z, s.c_str(), 10);
}

Vec from_mpz(const mpz_t z) {
    char *c = mpz_get_str(nullptr, 10, z);
    std::string s(c);
    free(c);
    Vec v;
    while (!s.empty() && s != "0") {
        size_t cut = s.size() > 8 ? s.size() - 8 : 0;
        v.push_back(uint32_t(std::stoul(s.substr(cut))));
        s.erase(cut);
    }
    return v;
}

// A pair (a, b) in one of the hard shapes, sizes up to `most` limbs.
void hard_pair(mpz_t a, mpz_t b, int most) {
    mpz_t g, t;
    mpz_inits(g, t, nullptr);
    int na = 1 + int(pick(uint64_t(most))), nb = 1 + int(pick(uint64_t(most)));
    switch (pick(6)) {
    case 0:  // a shared factor of any size
        to_mpz(g, random_limbs(1 + int(pick(uint64_t(most)))));
        to_mpz(a, random_limbs(na));
        to_mpz(b, random_limbs(nb));
        mpz_mul(a, a, g);
        mpz_mul(b, b, g);
        break;
    case 1:  // consecutive Fibonacci numbers times a factor: quotients of 1
        mpz_fib2_ui(a, b, 26 * unsigned(na));
        to_mpz(g, random_limbs(1 + int(pick(3))));
        mpz_mul(a, a, g);
        mpz_mul(b, b, g);
        break;
    case 2:  // one huge quotient: a = q b + r
        to_mpz(b, random_limbs(nb));
        to_mpz(t, random_limbs(na));
        mpz_mul(a, b, t);
        if (pick(2)) mpz_add_ui(a, a, pick(5));
        break;
    case 3:  // powers of the base and their neighbours
        mpz_ui_pow_ui(a, LV_BASE, unsigned(na));
        mpz_ui_pow_ui(b, LV_BASE, unsigned(nb));
        if (pick(2)) mpz_sub_ui(a, a, 1);
        if (pick(2)) mpz_add_ui(b, b, pick(3));
        break;
    case 4:  // equal, or one of them zero
        to_mpz(a, random_limbs(na));
        if (pick(2))
            mpz_set(b, a);
        else
            mpz_set_ui(b, 0);
        break;
    default:
        to_mpz(a, random_limbs(na));
        to_mpz(b, random_limbs(nb));
    }
    if (pick(2)) mpz_swap(a, b);
    mpz_clears(g, t, nullptr);
}

struct Gcd : ::testing::Test {
    static void SetUpTestSuite() {
        ASSERT_EQ(start_library_suite("gcd", 2000, &seed), 0);
    }
    void SetUp() override {
        rng.seed(seed);
        mpz_inits(za, zb, zg, nullptr);
    }
    void TearDown() override {
        mpz_clears(za, zb, zg, nullptr);
        bind_gmp();
    }
    mpz_t za, zb, zg;
};

TEST_F(Gcd, LimbVectorsAgreeWithTheLibrary) {
    for (int round = 0; round < 3000; round++) {
        hard_pair(za, zb, round < 2000 ? 12 : 150);
        Vec a = from_mpz(za), b = from_mpz(zb);
        // Leading zero limbs are allowed on input.
        if (pick(4) == 0) a.push_back(0);
        size_t n = a.size() > b.size() ? a.size() : b.size();
        Vec g(n + 1, 77);
        int len = -1;
        ASSERT_EQ(lv_gcd(core, g.data(), &len, a.data(), int(a.size()), b.data(), int(b.size())), STATUS_OK);
        ASSERT_GE(len, 0);
        g.resize(size_t(len));
        mpz_gcd(zg, za, zb);
        ASSERT_EQ(g, from_mpz(zg)) << "round " << round << " seed " << seed;
    }
}

TEST_F(Gcd, LimbVectorResultMayOverwriteAnOperand) {
    for (int round = 0; round < 200; round++) {
        hard_pair(za, zb, 40);
        Vec a = from_mpz(za), b = from_mpz(zb);
        size_t n = a.size() > b.size() ? a.size() : b.size();
        a.resize(n, 0);
        b.resize(n, 0);
        bool into_a = pick(2) == 0;
        Vec &g = into_a ? a : b;
        int len = -1;
        ASSERT_EQ(lv_gcd(core, g.data(), &len, a.data(), int(n), b.data(), int(n)), STATUS_OK);
        ASSERT_GE(len, 0);
        g.resize(size_t(len));
        mpz_gcd(zg, za, zb);
        ASSERT_EQ(g, from_mpz(zg)) << "round " << round;
    }
}

TEST_F(Gcd, ALongOperandWithAShortOneIsReadInPlace) {
    // 1 (an integer's denominator), one and two limbs, either order, the
    // result over the long operand.
    for (Vec s : {Vec{1}, Vec{6}, Vec{99999999}, Vec{0, 3}, Vec{12345678, 87654321}}) {
        Vec a = random_limbs(3000);
        a[0] = 12;  // shares 2, 3, 4 or 6 with some of them
        to_mpz(za, a);
        to_mpz(zb, s);
        mpz_gcd(zg, za, zb);
        for (bool long_first : {true, false}) {
            Vec l = a;
            int len = -1;
            Status st = long_first ? lv_gcd(core, l.data(), &len, l.data(), 3000, s.data(), int(s.size()))
                                   : lv_gcd(core, l.data(), &len, s.data(), int(s.size()), l.data(), 3000);
            ASSERT_EQ(st, STATUS_OK);
            l.resize(size_t(len));
            EXPECT_EQ(l, from_mpz(zg)) << s.back() << " " << long_first;
        }
    }
}

// gcd_lcm of signed operands beyond 64 bits, with the library bound and
// without it, results written apart from and over the operands: the divisor
// is |gcd|, the multiple |lcm| with the sign of a * b.
TEST_F(Gcd, GcdLcmAgreesWithAndWithoutTheLibrary) {
    BigNum *x = work_int(5), *y = work_int(6), *g = work_int(7), *l = &num_slots[10];
    mpz_t zl, got;
    mpz_inits(zl, got, nullptr);
    for (int round = 0; round < 600; round++) {
        gmp.available = round % 2 == 0;
        hard_pair(za, zb, round < 400 ? 10 : 120);
        if (pick(2)) mpz_neg(za, za);
        if (pick(2)) mpz_neg(zb, zb);
        put_mpz(x, za);
        put_mpz(y, zb);
        int alias = int(pick(3));  // 0 apart, 1 g over a, 2 l over b
        BigNum *gg = alias == 1 ? x : g, *ll = alias == 2 ? y : l;
        (void)gcd_lcm(gg, ll, x, y);  // checked through gg and ll below
        mpz_gcd(zg, za, zb);
        get_mpz(got, gg);
        ASSERT_EQ(mpz_cmp(got, zg), 0) << "round " << round << " seed " << seed << " alias " << alias;
        if (mpz_sgn(za) == 0 || mpz_sgn(zb) == 0) continue;
        mpz_lcm(zl, za, zb);
        if ((mpz_sgn(za) < 0) != (mpz_sgn(zb) < 0) && mpz_cmpabs(za, zb) != 0) mpz_neg(zl, zl);
        get_mpz(got, ll);
        ASSERT_EQ(mpz_cmp(got, zl), 0) << "round " << round << " seed " << seed;
    }
    mpz_clears(zl, got, nullptr);
}

}  // namespace
