// Interrupting long work: with the stop flag raised the engine's long
// operations and the kernels return STATUS_INTERRUPTED at once, leaving
// well-formed results; the records' own operations finish, and the flag
// stays for the layers above. Nothing is stale once the flag is cleared.
#include <gtest/gtest.h>

#include <vector>

#include "engine/fastmul.h"
#include "engine/limbs.h"
#include "engine/scratch.h"
#include "kernels/real.h"
#include "number/bignum.h"

namespace {

class ReliabInterrupt : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_EQ(core_start(2000), 0); }
    void SetUp() override { interrupt_requested = 0; }
    void TearDown() override {
        interrupt_requested = 0;
        core.status = STATUS_OK;
    }
};

// Limbs of every value from 1 up, cycling below the base.
std::vector<uint32_t> ramp(int n, uint32_t step) {
    std::vector<uint32_t> v(static_cast<size_t>(n));
    for (int i = 0; i < n; i++) v[size_t(i)] = uint32_t((uint64_t(i) * step + 12345) % LV_BASE);
    v[size_t(n - 1)] = 98765432;
    return v;
}

TEST_F(ReliabInterrupt, EngineOperationsStopWithAStatusAndZeroResults) {
    std::vector<uint32_t> a = ramp(3000, 7919), b = ramp(1500, 104729), r(4500, 7), q(1501), g(3000);
    interrupt_requested = 1;
    mul_limbs(core, r.data(), a.data(), 3000, b.data(), 1500);
    EXPECT_EQ(core.status, STATUS_INTERRUPTED);
    for (uint32_t x : r) ASSERT_EQ(x, 0u);
    EXPECT_EQ(lv_divrem(core, q.data(), nullptr, a.data(), 3000, b.data(), 1500), STATUS_INTERRUPTED);
    int len = -1;
    EXPECT_EQ(lv_gcd(core, g.data(), &len, a.data(), 3000, b.data(), 1500), STATUS_INTERRUPTED);
    int written = 0;
    EXPECT_EQ(power_limbs(core, r.data(), 4000, &written, b.data(), 3, 1000), STATUS_INTERRUPTED);
    EXPECT_EQ(scratch_mark(core), 0u);  // nothing left taken
}

TEST_F(ReliabInterrupt, KernelsStopAndLeaveTheirResultAlone) {
    BigNum *out = work_int(5);
    Fraction *x = &work_frac[3];
    fraction_init(x);
    set_int32(x->num, 3);
    set_int32(out, 42);
    interrupt_requested = 1;
    EXPECT_EQ(real_exp(core, out, x, 1000), STATUS_INTERRUPTED);
    EXPECT_EQ(real_sin_cos(core, out, x, 0, 0, 1000), STATUS_INTERRUPTED);
    EXPECT_EQ(real_pi(core, out, 1000), STATUS_INTERRUPTED);
    int32_t v = 0;
    EXPECT_EQ(get_int32(out, &v), STATUS_OK);
    EXPECT_EQ(v, 42);
    // Once the flag is down the same calls finish: no status is left over.
    interrupt_requested = 0;
    ASSERT_EQ(real_exp(core, out, x, 2), STATUS_OK);
    EXPECT_EQ(out->frac_limbs, 2);
    EXPECT_EQ(limb(out, 2), 20);
    EXPECT_EQ(limb(out, 1), 8553692);  // e^3 = 20.085536923187...
    EXPECT_EQ(scratch_mark(core), 0u);
}

TEST_F(ReliabInterrupt, RecordOperationsStayWellFormedAndTheFlagStays) {
    // A long schoolbook product stops early; its record is still a number.
    BigNum *a = work_int(5), *r = work_int(7);
    bn_clear(a);
    for (int k = 0; k < 40; k++) limb(a, k) = 99999999;
    a->used = 40;
    set_int32(r, 7);
    interrupt_requested = 1;
    EXPECT_EQ(multiply(r, r, a), STATUS_OK);
    ASSERT_LE(r->used, r->capacity);
    for (int k = 0; k < r->used; k++) {
        EXPECT_GE(limb(r, k), 0);
        EXPECT_LT(limb(r, k), LIMB_BASE);
    }
    EXPECT_EQ(interrupt_requested, 1);
    // Without the flag the same product is right.
    interrupt_requested = 0;
    set_int32(r, 7);
    EXPECT_EQ(multiply(r, r, a), STATUS_OK);
    EXPECT_EQ(r->used, 41);
    EXPECT_EQ(limb(r, 40), 6);
    EXPECT_EQ(limb(r, 0), 99999993);
}

}  // namespace
