// Work shared among the engine's threads gives the limbs one thread gives:
// products through every transform plan and the kernels that sum series by
// binary splitting, on teams of 1, 2 and 3 members; and a raised stop flag
// reaches every member.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <gmp.h>
#include <string>
#include <utility>
#include <vector>

#include "engine/fastmul.h"
#include "engine/limbs.h"
#include "engine/scratch.h"
#include "engine/threads.h"
#include "kernels/real.h"
#include "number/bignum.h"
#include "support.h"

namespace {

std::string record_text(const BigNum *b) {
    std::string s = std::to_string(b->sign) + ":" + std::to_string(b->frac_limbs) + ":";
    for (int i = b->used - 1; i >= 0; i--) s += std::to_string(limb(b, i)) + ",";
    return s;
}

// Three threads (two workers) whatever the machine, and thresholds low
// enough that short products and series go to the team.
class Teams : public ::testing::Test {
  protected:
    int saved_threads = 1;
    void SetUp() override {
        saved_threads = engine_threads();
        set_engine_threads(3);
        ASSERT_EQ(core_start(60000), 0);
        ASSERT_EQ(threads_ready(), 3);
        Thresholds t;
        t.threaded_product = 600;
        t.threaded_series = 20;
        ASSERT_TRUE(set_thresholds(t));
    }
    void TearDown() override {
        ASSERT_TRUE(set_thresholds(Thresholds{}));
        set_engine_threads(saved_threads);
        ASSERT_EQ(core_start(60000), 0);
    }
};

TEST_F(Teams, ProductsHaveTheLimbsOfOneThread) {
    // Balanced lengths meet two primes, three, whole and three-quarter
    // transforms; lengths in a ratio of 2 to 4 three-quarter transforms of
    // a short operand, the longer-by-short ones the sliced transforms;
    // squares take one forward transform a prime.
    const std::pair<int, int> shapes[] = {{400, 400},     {700, 699},     {2100, 2100},   {5000, 4999},
                                          {12000, 12000}, {30000, 29000}, {45000, 45000}, {6000, 2500},
                                          {16000, 5000},  {40000, 12000}, {15000, 3000}, {30000, 5000}, {14000, 2000}, {28000, 4000}, {9000, 300},    {60000, 1200},
                                          {50000, 9000},  {20000, 20000}};
    for (uint64_t seed : {0u, 7u}) {
        for (auto [na, nb] : shapes) {
            const bool square = na == 20000;
            auto a = seeded_limbs(na, seed), b = square ? a : seeded_limbs(nb, seed + 1);
            std::vector<uint32_t> one(size_t(na + nb));
            for (int members = 1; members <= 3; members++) {
                std::vector<uint32_t> r(size_t(na + nb), 12345);
                core.team_size = members;
                if (square) sqr_limbs(core, r.data(), a.data(), na);
                else mul_limbs(core, r.data(), a.data(), na, b.data(), nb);
                ASSERT_EQ(core.status, STATUS_OK);
                if (members == 1) one = r;
                else EXPECT_TRUE(r == one) << na << " x " << nb << " seed " << seed << " on " << members;
            }
        }
    }
    core.team_size = threads_ready();
}

// The kernels' values at F limbs as text, on a context of its own (no
// constant cache, so each is computed) sharing with `members` threads.
std::string kernels(int F, int members) {
    size_t mark = scratch_mark(core);
    Context cx;
    EXPECT_EQ(context_carve(cx, core, size_t(48) * F + 200000, 2 * F + 4096), STATUS_OK);
    cx.team_size = members;
    OwnRecord out(F + 40), num(4), den(4);
    Fraction x{&num.n, &den.n, 0};
    std::string text;
    EXPECT_EQ(real_pi(cx, &out.n, F), STATUS_OK);
    text += record_text(&out.n) + "|";
    EXPECT_EQ(real_e(cx, &out.n, F), STATUS_OK);
    text += record_text(&out.n) + "|";
    set_int32(&num.n, 2);
    set_int32(&den.n, 1);
    EXPECT_EQ(real_log(cx, &out.n, &x, 0, F), STATUS_OK);
    text += record_text(&out.n) + "|";
    set_int32(&num.n, 7);
    set_int32(&den.n, 3);
    EXPECT_EQ(real_exp(cx, &out.n, &x, F), STATUS_OK);
    text += record_text(&out.n) + "|";
    EXPECT_EQ(real_log(cx, &out.n, &x, 0, F), STATUS_OK);
    text += record_text(&out.n) + "|";
    set_int32(&num.n, 1);
    set_int32(&den.n, 5);
    EXPECT_EQ(real_atan(cx, &out.n, &x, F), STATUS_OK);
    text += record_text(&out.n);
    scratch_release(core, mark);
    return text;
}

// Limbs (least significant first) as decimal digits.
std::string decimal(const std::vector<uint32_t> &v) {
    std::string s;
    char buf[16];
    for (size_t k = v.size(); k-- > 0;) {
        snprintf(buf, sizeof buf, s.empty() ? "%u" : "%08u", v[k]);
        if (!s.empty() || v[k] != 0) s += buf;
    }
    return s.empty() ? "0" : s;
}

// The first product of a new transform length fills the root tables on the
// team (each member its share of the tables); the product must be the
// library's.
TEST_F(Teams, RootTablesFilledByTheTeamGiveTheRightProduct) {
    const int na = 45000, nb = 44000;
    auto a = seeded_limbs(na, 3), b = seeded_limbs(nb, 4);
    std::vector<uint32_t> r(size_t(na + nb));
    core.team_size = 3;
    mul_limbs(core, r.data(), a.data(), na, b.data(), nb);
    ASSERT_EQ(core.status, STATUS_OK);
    mpz_t x, y;
    mpz_init_set_str(x, decimal(a).c_str(), 10);
    mpz_init_set_str(y, decimal(b).c_str(), 10);
    mpz_mul(x, x, y);
    char *want = mpz_get_str(nullptr, 10, x);
    EXPECT_TRUE(decimal(r) == want);
    free(want);
    mpz_clear(x);
    mpz_clear(y);
}

// Records long enough that their copies and conversions are shared out
// (team_for): a product, a copy and a record made from a limb vector give
// the limbs of one thread, across every member's range.
TEST_F(Teams, LongRecordPassesHaveTheLimbsOfOneThread) {
    ASSERT_EQ(core_start(700000), 0);
    ASSERT_EQ(threads_ready(), 3);
    const int na = int(TEAM_FOR_MIN) + 12345, nb = int(TEAM_FOR_MIN) + 3;
    auto a = seeded_limbs(na, 5), b = seeded_limbs(nb, 6);
    BigNum *x = work_int(5), *y = work_int(6), *z = work_int(7), *w = work_int(4);
    bn_from_vector(x, a.data(), na);
    bn_from_vector(y, b.data(), nb);
    ASSERT_EQ(x->used, na);
    for (int k : {0, na / 3, na / 2, na - 1}) ASSERT_EQ(uint32_t(limb(x, k)), a[size_t(k)]);
    std::string one;
    for (int members = 1; members <= 3; members++) {
        core.team_size = members;
        ASSERT_EQ(multiply(z, x, y), STATUS_OK);
        ASSERT_EQ(copy(w, z), STATUS_OK);
        std::string got = record_text(w);
        if (members == 1) one = got;
        else EXPECT_TRUE(got == one) << "on " << members;
    }
    std::vector<uint32_t> r(size_t(na + nb));
    core.team_size = 1;
    mul_limbs(core, r.data(), a.data(), na, b.data(), nb);
    core.team_size = 3;
    bn_from_vector(w, r.data(), na + nb);
    EXPECT_TRUE(record_text(w) == one);
    core.team_size = threads_ready();
}

// A long record times one limb runs in ranges whose carries are added in
// afterwards: a carry that runs through a whole range (limbs that become
// 99999999 times a carry in) and on into the top limb, in place and into
// another record, against a plain loop.
TEST_F(Teams, OneLimbFactorCarriesAcrossRanges) {
    ASSERT_EQ(core_start(700000), 0);
    const int n = int(TEAM_FOR_MIN) + 1001;
    for (int64_t y : {int64_t(3), int64_t(99999999), int64_t(1)}) {
        std::vector<uint32_t> a(size_t(n), 99999999);
        for (int k = n / 3; k < n; k++) a[size_t(k)] = y == 3 ? 33333333 : uint32_t((k * 7919) % 100000000);
        std::vector<uint32_t> want(size_t(n) + 1);
        uint64_t carry = 0;
        for (int k = 0; k < n; k++) {
            uint64_t t = a[size_t(k)] * uint64_t(y) + carry;
            want[size_t(k)] = uint32_t(t % 100000000);
            carry = t / 100000000;
        }
        want[size_t(n)] = uint32_t(carry);
        for (int members : {1, 2, 3})
            for (bool in_place : {true, false}) {
                core.team_size = members;
                BigNum *x = work_int(5), *f = work_int(6), *r = in_place ? x : work_int(7);
                bn_from_vector(x, a.data(), n);
                set_int64(f, y);
                ASSERT_EQ(multiply(r, x, f), STATUS_OK);
                bool same = r->used == (want[size_t(n)] ? n + 1 : n);
                for (int k = 0; k < r->used && same; k++) same = uint32_t(limb(r, k)) == want[size_t(k)];
                EXPECT_TRUE(same) << "times " << y << " on " << members << (in_place ? " in place" : "");
            }
    }
    // A limb outside 0 .. 99999999 (an element's mark) keeps the pass whole:
    // the same limbs on every team.
    std::string one;
    for (int members : {1, 3}) {
        core.team_size = members;
        std::vector<uint32_t> a = seeded_limbs(n, 9);
        BigNum *x = work_int(5), *f = work_int(6);
        bn_from_vector(x, a.data(), n);
        limb(x, n / 3 - 1) = 0x70000000 + 5;  // the last limb of the first third: a carry beyond a limb
        set_int64(f, 99999999);
        ASSERT_EQ(multiply(x, x, f), STATUS_OK);
        if (members == 1) one = record_text(x);
        else EXPECT_TRUE(record_text(x) == one);
    }
    core.team_size = threads_ready();
}

TEST_F(Teams, SeriesHaveTheLimbsOfOneThread) {
    for (int F : {30, 400, 3000}) {
        std::string one = kernels(F, 1);
        EXPECT_EQ(kernels(F, 2), one) << F;
        EXPECT_EQ(kernels(F, 3), one) << F;
    }
}

TEST_F(Teams, AStopReachesEveryMember) {
    // Raised before the work starts, the stop ends it on every member: the
    // product leaves zeros, the kernel says it was interrupted; lowered
    // again, the same team computes what one thread does.
    volatile sig_atomic_t stop = 1;
    const int n = 30000;
    auto a = seeded_limbs(n, 3), b = seeded_limbs(n, 4);
    std::vector<uint32_t> r(size_t(2 * n), 1), one(size_t(2 * n));
    const volatile sig_atomic_t *saved = core.stop;
    core.stop = &stop;
    core.team_size = 3;
    mul_limbs(core, r.data(), a.data(), n, b.data(), n);
    EXPECT_EQ(core.status, STATUS_INTERRUPTED);
    for (uint32_t x : r) ASSERT_EQ(x, 0u);
    core.status = STATUS_OK;
    stop = 0;
    mul_limbs(core, r.data(), a.data(), n, b.data(), n);
    core.team_size = 1;
    mul_limbs(core, one.data(), a.data(), n, b.data(), n);
    EXPECT_TRUE(r == one);

    const int F = 3000;
    size_t mark = scratch_mark(core);
    Context cx;
    ASSERT_EQ(context_carve(cx, core, size_t(48) * F + 200000, 2 * F + 4096), STATUS_OK);
    cx.team_size = 3;
    cx.stop = &stop;
    OwnRecord out(F + 40);
    stop = 1;
    EXPECT_EQ(real_pi(cx, &out.n, F), STATUS_INTERRUPTED);
    stop = 0;
    EXPECT_EQ(real_pi(cx, &out.n, F), STATUS_OK);
    std::string shared = record_text(&out.n);
    cx.team_size = 1;
    EXPECT_EQ(real_pi(cx, &out.n, F), STATUS_OK);
    EXPECT_EQ(record_text(&out.n), shared);
    scratch_release(core, mark);
    core.stop = saved;
    core.team_size = threads_ready();
}

}  // namespace
