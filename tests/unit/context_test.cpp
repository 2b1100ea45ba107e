// Two computations at once: each thread works in its own context carved from
// the core's arena, and every product, quotient, gcd and kernel value must
// have the digits the same work gives on one thread.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/fastmul.h"
#include "engine/limbs.h"
#include "engine/scratch.h"
#include "kernels/real.h"
#include "number/bignum.h"
#include "support.h"

namespace {

std::string limbs_text(const uint32_t *v, int n) {
    std::string s;
    for (int i = n - 1; i >= 0; i--) s += std::to_string(v[i]) + ",";
    return s;
}

std::string record_text(const BigNum *b) {
    std::string s = std::to_string(b->sign) + ":" + std::to_string(b->frac_limbs) + ":";
    for (int i = b->used - 1; i >= 0; i--) s += std::to_string(limb(b, i)) + ",";
    return s;
}

// The work of one thread: products through every method, a long division,
// a gcd and the kernels at F limbs, as text. Seeds make the threads' work
// differ.
std::string work(Context &cx, uint64_t seed, int F) {
    std::string out;
    for (int n : {30, 200, 3000, 20000}) {
        auto a = seeded_limbs(n, seed), b = seeded_limbs(n - 7, seed + 1);
        std::vector<uint32_t> r(size_t(2 * n));
        mul_limbs(cx, r.data(), a.data(), n, b.data(), n - 7);
        out += limbs_text(r.data(), 2 * n - 7) + "|";
    }
    auto a = seeded_limbs(9000, seed + 2), b = seeded_limbs(4000, seed + 3);
    std::vector<uint32_t> q(5001), rem(4000), g(9000);
    EXPECT_EQ(lv_divrem(cx, q.data(), rem.data(), a.data(), 9000, b.data(), 4000), STATUS_OK);
    out += limbs_text(q.data(), 5001) + limbs_text(rem.data(), 4000) + "|";
    int len = 0;
    EXPECT_EQ(lv_gcd(cx, g.data(), &len, a.data(), 3000, b.data(), 3000), STATUS_OK);
    out += limbs_text(g.data(), len) + "|";

    OwnRecord result(F + 40), num(4), den(4);
    Fraction x{&num.n, &den.n, 0};
    set_int32(&num.n, int32_t(seed % 1000 + 2));
    set_int32(&den.n, 7);
    EXPECT_EQ(real_exp(cx, &result.n, &x, F), STATUS_OK);
    out += record_text(&result.n) + "|";
    EXPECT_EQ(real_log(cx, &result.n, &x, 0, F), STATUS_OK);
    out += record_text(&result.n) + "|";
    EXPECT_EQ(real_sin_cos(cx, &result.n, &x, 0, 0, F), STATUS_OK);
    out += record_text(&result.n) + "|";
    EXPECT_EQ(real_atan(cx, &result.n, &x, F), STATUS_OK);
    out += record_text(&result.n) + "|";
    EXPECT_EQ(real_root(cx, &result.n, &x, 3, F), STATUS_OK);
    out += record_text(&result.n) + "|";
    EXPECT_EQ(real_pi(cx, &result.n, F), STATUS_OK);
    out += record_text(&result.n);
    return out;
}

TEST(EngineContexts, TwoThreadsGetTheDigitsOfOne) {
    ASSERT_EQ(core_start(20000), 0);
    const int F = 300;
    std::string one_a = work(core, 11, F), one_b = work(core, 977, F);
    size_t mark = scratch_mark(core);
    Context first, second;
    ASSERT_EQ(context_carve(first, core, 300000, 40000), STATUS_OK);
    ASSERT_EQ(context_carve(second, core, 300000, 40000), STATUS_OK);
    std::string two_a, two_b;
    std::thread t([&] { two_a = work(first, 11, F); });
    two_b = work(second, 977, F);
    t.join();
    scratch_release(core, mark);
    EXPECT_EQ(two_a, one_a);
    EXPECT_EQ(two_b, one_b);
    EXPECT_NE(one_a, one_b);
    // Each context gave back all it took.
    EXPECT_EQ(scratch_mark(first), 0u);
    EXPECT_EQ(scratch_mark(second), 0u);
}

TEST(EngineContexts, CarvingRefusesWhatTheParentCannotGive) {
    ASSERT_EQ(core_start(200), 0);
    size_t mark = scratch_mark(core);
    Context child;
    EXPECT_EQ(context_carve(child, core, scratch_room(core) + 1, 1000), STATUS_NO_ROOM);
    EXPECT_EQ(context_carve(child, core, 1000, fastmul_capacity(core) + 1), STATUS_NO_ROOM);
    scratch_release(core, mark);
}

}  // namespace
