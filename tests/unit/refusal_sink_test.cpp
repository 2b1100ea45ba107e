// The number core's refusals and notices: they reach refusal_sink as
// statuses, once each, counted or not as the console expects, and the core
// itself writes nothing to standard output.
#include <vector>

#include "support.h"

namespace {

std::vector<Status> told;
void record(Status s) { told.push_back(s); }

// A recording sink for the life of each test; the console's is put back.
struct RefusalSink : ::testing::Test {
    static void SetUpTestSuite() { ASSERT_EQ(pool_start(200), 0); }
    void (*saved)(Status) = nullptr;
    void SetUp() override {
        saved = refusal_sink;
        refusal_sink = record;
        told.clear();
    }
    void TearDown() override {
        refusal_sink = saved;
        interrupt_requested = 0;
    }
    BigNum *x = work_int(5), *y = work_int(6);
};

void fill(BigNum *n, int count, int32_t v) {
    bn_clear(n);
    for (int k = 0; k < count; k++) limb(n, k) = v;
    n->used = count;
}

TEST_F(RefusalSink, RefusalsAreToldCountedAndSilencedByCtrlC) {
    BigNum *r = work_frac[0].num;  // 200 limbs
    fill(x, 150, 12345678);
    fill(y, 100, 87654321);
    int before = refusal_count;
    testing::internal::CaptureStdout();
    EXPECT_EQ(multiply(r, x, y), STATUS_REFUSED);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(told, (std::vector<Status>{STATUS_NO_ROOM}));
    EXPECT_EQ(refusal_count, before + 1);

    // After Ctrl-C a refusal says nothing and is not counted.
    told.clear();
    interrupt_requested = 1;
    EXPECT_EQ(multiply(r, x, y), STATUS_REFUSED);
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(refusal_count, before + 1);
}

TEST_F(RefusalSink, NoticesAreToldButNotCounted) {
    // 2.5 - 1: the operand of fewer fraction limbs is read at the other's scale.
    put(x, {2, 50000000}, 1, 1);
    put(y, {1}, -1);
    int before = refusal_count;
    testing::internal::CaptureStdout();
    EXPECT_EQ(subtract_magnitudes(work_int(7), x, y), STATUS_OK);
    // The six-digit block 000001 twice, pushed off a run by the digits
    // below: no period, and a notice.
    Fraction *a = &work_frac[1];
    fraction_init(a);
    put(a->num, {100, 19999}, 1, 4);
    EXPECT_EQ(to_fraction(a), STATUS_NO_PERIOD);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(told, (std::vector<Status>{STATUS_CROSS_SCALE, STATUS_NO_PERIOD}));
    EXPECT_EQ(refusal_count, before);
}

// fraction_product reports a lost product once, whether multiply refused it
// with its own report or silently one limb short; nothing leaves the core.
TEST_F(RefusalSink, AProductRefusedInsideAFractionProductIsToldOnce) {
    Fraction *p = &work_frac[2], *q = &work_frac[3], *r = &work_frac[4];
    for (int need : {250, 200}) {
        fraction_init(p);
        fraction_init(q);
        fill(p->num, need - 100, 12345678);
        fill(q->num, 100, 87654321);
        told.clear();
        int before = refusal_count;
        testing::internal::CaptureStdout();
        EXPECT_EQ(fraction_product(r, p, q), STATUS_REFUSED) << need;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << need;
        EXPECT_EQ(told, (std::vector<Status>{STATUS_NO_ROOM})) << need;
        EXPECT_EQ(refusal_count, before + 1) << need;
        EXPECT_TRUE(bn_is_zero(r->num)) << need;
    }
}

// Without a sink the core still counts its refusals and prints nothing.
TEST_F(RefusalSink, WithoutASinkNothingIsPrinted) {
    refusal_sink = nullptr;
    fill(x, 150, 12345678);
    fill(y, 100, 87654321);
    int before = refusal_count;
    testing::internal::CaptureStdout();
    EXPECT_EQ(multiply(work_frac[0].num, x, y), STATUS_REFUSED);
    Fraction *f = &work_frac[1];
    fraction_init(f);
    fill(f->num, 200, 1);
    fill(f->den, 2, 3);
    f->den->frac_limbs = 1;
    char text[4096];
    format_decimal(f, text);  // no room for the denominator's fraction limb
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(refusal_count, before + 2);
}

}  // namespace
