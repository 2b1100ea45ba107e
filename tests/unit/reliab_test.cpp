// Interrupting long work: a pending interrupt reaches the installed hook from
// the number core's long operations before their result is written, and
// nothing happens without a hook.
#include <gtest/gtest.h>

#include <csetjmp>

#include "number/bignum.h"

namespace {

jmp_buf back;
int hook_calls = 0;

void jump_back() {
    hook_calls++;
    interrupt_requested = 0;
    longjmp(back, 1);
}

// A number of `count` limbs, every limb `value`.
void fill(BigNum *n, int count, int32_t value) {
    bn_clear(n);
    for (int k = 0; k < count; k++) limb(n, k) = value;
    n->used = count;
}

class ReliabInterrupt : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { (void)pool_start(200); }  // any failure to carve shows in every test
    void SetUp() override {
        hook_calls = 0;
        interrupt_requested = 0;
        interrupt_hook = jump_back;
    }
    void TearDown() override {
        interrupt_hook = nullptr;
        interrupt_requested = 0;
    }
};

TEST_F(ReliabInterrupt, LongOperationsReachTheHookBeforeWritingTheirResult) {
    BigNum *a = work_int(5), *b = work_int(6), *r = work_int(7);
    fill(a, 60, 12345678);
    fill(b, 60, 87654321);
    set_int32(r, 42);
    struct Case {
        const char *name;
        int (*run)(BigNum *, BigNum *, BigNum *);
    };
    const Case cases[] = {
        {"multiply", [](BigNum *x, BigNum *y, BigNum *z) { return multiply(z, x, y); }},
        {"divide", [](BigNum *x, BigNum *y, BigNum *z) { return divide(z, nullptr, x, y); }},
        {"add", [](BigNum *x, BigNum *y, BigNum *z) { return add(z, x, y); }},
        {"mul_small", [](BigNum *x, BigNum *, BigNum *z) { return mul_small(z, x, 7); }},
        {"div_small", [](BigNum *, BigNum *, BigNum *z) { return int(div_small(z, 7)); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int before = hook_calls;
        interrupt_requested = 1;
        if (setjmp(back) == 0) {
            c.run(a, b, r);
            ADD_FAILURE() << "returned despite the interrupt";
        }
        EXPECT_EQ(hook_calls, before + 1);
        EXPECT_EQ(interrupt_requested, 0);
        int32_t v = 0;
        EXPECT_EQ(get_int32(r, &v), 1);
        EXPECT_EQ(v, 42);  // result record untouched
    }
}

TEST_F(ReliabInterrupt, WithoutHookTheWorkCompletesAndTheFlagStays) {
    interrupt_hook = nullptr;
    interrupt_requested = 1;
    BigNum *a = work_int(5), *r = work_int(7);
    set_int32(a, 6);
    set_int32(r, 7);
    EXPECT_EQ(multiply(r, r, a), 1);
    int32_t v = 0;
    (void)get_int32(r, &v);  // checked through v below
    EXPECT_EQ(v, 42);
    EXPECT_EQ(interrupt_requested, 1);
}

}  // namespace
