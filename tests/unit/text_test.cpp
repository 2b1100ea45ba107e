// Number text: literals into numbers and fractions (exact up to six places,
// fixed point beyond, refusal of literals that do not fit), and numbers into
// decimal text within the documented size.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "number/bignum.h"
#include "support.h"

namespace {

std::string text_of(BigNum *n) {
    char buf[512];
    int len = format_bignum(n, buf);
    EXPECT_EQ(len, int(strlen(buf)));
    return buf;
}

struct NumberText : ::testing::Test {
    static void SetUpTestSuite() { ASSERT_EQ(pool_start(200), 0); }
    void SetUp() override { fixed_point_limbs = 4; }
    void TearDown() override { fixed_point_limbs = 4; }
    Fraction *f = &work_frac[13];
    BigNum *n = work_int(6);
};

// ------------------------------------------------------------ parse_literal

TEST_F(NumberText, LiteralsWithFewPlacesAreExactFractions) {
    struct Case { const char *text; int consumed; int64_t num, den; } cases[] = {
        {"1.5", 3, 3, 2},      {"7", 1, 7, 1},         {"0.5", 3, 1, 2},
        {"2.50+", 4, 5, 2},    {"0.000001", 8, 1, 1000000},
        {".5", 2, 1, 2},       {"5.", 1, 5, 1},        {"000000000012", 12, 12, 1},
        {"123456)", 6, 123456, 1},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parse_literal(c.text, f), c.consumed);
        EXPECT_EQ(f->num->frac_limbs, 0);
        EXPECT_EQ(value_of(f->num), c.num);
        EXPECT_EQ(value_of(f->den), c.den);
        EXPECT_EQ(f->num->rem, 0);
    }
    // Leading zeros make no limbs.
    parse_literal("00000000000000000003", f);
    EXPECT_EQ(limbs_of(f->num), (L{3}));

    // No digits: zero, nothing consumed.
    EXPECT_EQ(parse_literal("x", f), 0);
    EXPECT_TRUE(bn_is_zero(f->num));
    EXPECT_EQ(value_of(f->den), 1);
}

TEST_F(NumberText, LiteralsWithSevenPlacesAreFixedPoint) {
    EXPECT_EQ(parse_literal("0.1234567", f), 9);
    EXPECT_EQ(f->num->frac_limbs, 4);
    EXPECT_EQ(limbs_of(f->num), (L{12345670, 0, 0, 0}));
    EXPECT_EQ(value_of(f->den), 1);
    EXPECT_EQ(f->num->dec_den, 1);

    // Forty places with F = 4: the first 32 are kept, all 40 consumed.
    std::string text = "2." + std::string(32, '1') + "99999999";
    EXPECT_EQ(parse_literal(text.c_str(), f), 42);
    EXPECT_EQ(limbs_of(f->num), (L{2, 11111111, 11111111, 11111111, 11111111}));
    EXPECT_EQ(f->num->frac_limbs, 4);

    // num_only: the denominator is not touched.
    bn_clear(f->den);
    set_int64(f->den, 77);
    f->num_only = 1;
    parse_literal("1.5", f);
    f->num_only = 0;
    EXPECT_EQ(value_of(f->num), 15);
    EXPECT_EQ(f->num->dec_den, 10);
    EXPECT_EQ(value_of(f->den), 77);
}

TEST_F(NumberText, ParseDecimalSignAndPlacesWithoutFixedPointLimbs) {
    // The sign is read but not counted; callers strip it themselves.
    EXPECT_EQ(parse_decimal("- 42", n), 2);
    EXPECT_EQ(n->sign, -1);
    EXPECT_EQ(limbs_of(n), (L{42}));

    // 123456789: two limbs, the leading one 1.
    EXPECT_EQ(parse_decimal("123456789", n), 9);
    EXPECT_EQ(limbs_of(n), (L{1, 23456789}));

    // With no fixed-point limbs, places beyond four are consumed and
    // dropped, and the point is consumed with them.
    fixed_point_limbs = 0;
    EXPECT_EQ(parse_decimal("3.14159;", n), 7);
    EXPECT_EQ(limbs_of(n), (L{3}));
    EXPECT_EQ(n->dec_den, 1);
    EXPECT_EQ(n->frac_limbs, 0);
}

TEST_F(NumberText, LiteralTooLongForItsRecordIsRefused) {
    BigNum *small = reg_den[5];  // 20 limbs at precision 200
    std::string digits(400, '7');
    EXPECT_EQ(parse_decimal(digits.c_str(), small), 400);
    EXPECT_TRUE(bn_is_zero(small));
    EXPECT_EQ(small->rem, -1);
    EXPECT_EQ(small->dec_den, 1);
    EXPECT_EQ(small->frac_limbs, 0);

    // 19 limbs fit, but not with room for the fixed-point shift.
    std::string fixed = std::string(150, '9') + ".1234567";
    EXPECT_EQ(parse_decimal(fixed.c_str(), small), 158);
    EXPECT_TRUE(bn_is_zero(small));
    EXPECT_EQ(small->rem, -1);

    // The same literal fits a full-size record.
    EXPECT_EQ(parse_decimal(fixed.c_str(), n), 158);
    EXPECT_EQ(n->rem, 0);
    EXPECT_EQ(n->used, 19 + 4);

    // Through a fraction: 0/1 with the mark on the numerator.
    std::string huge(1700, '1');
    EXPECT_EQ(parse_literal(huge.c_str(), f), 1700);
    EXPECT_TRUE(bn_is_zero(f->num));
    EXPECT_EQ(f->num->rem, -1);
    EXPECT_EQ(value_of(f->den), 1);
}

// ------------------------------------------------------------ format_bignum

TEST_F(NumberText, FormatBignumShapes) {
    put(n, {});
    EXPECT_EQ(text_of(n), " 0");
    put(n, {0}, -1);
    EXPECT_EQ(text_of(n), " 0");
    put(n, {0, 0, 0, 0, 0}, -1, 4);
    EXPECT_EQ(text_of(n), " 0");
    put(n, {12});
    EXPECT_EQ(text_of(n), " 12");
    put(n, {1, 0});
    EXPECT_EQ(text_of(n), " 100000000");
    put(n, {1, 23456789}, -1);
    EXPECT_EQ(text_of(n), "-123456789");
    put(n, {50000000, 0, 0, 0}, 1, 4);
    EXPECT_EQ(text_of(n), " .5");
    put(n, {50000000, 0, 0, 0}, -1, 4);
    EXPECT_EQ(text_of(n), "-.5");
    put(n, {3, 0, 0, 0, 0}, 1, 4);
    EXPECT_EQ(text_of(n), " 3");
    put(n, {1}, 1, 2);
    EXPECT_EQ(text_of(n), " .0000000000000001");
    put(n, {7, 5, 0}, 1, 1);
    EXPECT_EQ(text_of(n), " 700000005");
    // A leading zero limb prints nothing.
    put(n, {0, 25000000}, 1, 1);
    EXPECT_EQ(text_of(n), " .25");
}

TEST_F(NumberText, FormatBignumCarriesAnOverfullTopLimb) {
    put(n, {100000005, 3});
    EXPECT_EQ(text_of(n), " 10000000500000003");
    EXPECT_EQ(limbs_of(n), (L{1, 5, 3}));

    // Without room the record stays, and the text is the same.
    BigNum *tiny = reg_den[6];
    bn_clear(tiny);
    for (int k = 0; k < tiny->capacity; k++) limb(tiny, k) = 0;
    tiny->used = tiny->capacity;
    limb(tiny, tiny->capacity - 1) = 100000002;
    std::string text = text_of(tiny);
    EXPECT_EQ(text, " 1" + std::string(7, '0') + "2" + std::string(8 * 19, '0'));
    EXPECT_EQ(tiny->used, tiny->capacity);
}

TEST_F(NumberText, FormatBignumStaysWithinItsBound) {
    // A full record with many fraction limbs: never more than
    // 8 * max(used, frac_limbs) + 3 bytes including the terminator.
    for (int frac : {0, 3, 199, 250}) {
        SCOPED_TRACE(frac);
        bn_clear(n);
        for (int k = 0; k < 199; k++) limb(n, k) = 99999999;
        n->used = 199;
        n->frac_limbs = frac;
        n->sign = -1;
        int bound = 8 * (frac > 199 ? frac : 199) + 3;
        std::vector<char> buf(bound + 16, '#');
        int len = format_bignum(n, buf.data());
        EXPECT_LE(len + 1, bound);
        for (int i = len + 1; i < int(buf.size()); i++) ASSERT_EQ(buf[i], '#');
    }
}

// ----------------------------------------------------------- format_decimal

// A numerator with more fraction limbs than shown over a fixed-point
// denominator: the limbs the denominator raises again are not cut first
// (0.1234567899999999 / 0.025 at one limb printed 4.9382712; found by
// fuzz_arith, as in to_fixed).
TEST_F(NumberText, FormatDecimalOverAFixedPointDenominatorCutsOnce) {
    char buf[512];
    fixed_point_limbs = 1;
    fraction_init(f);
    put(f->num, {12345678, 99999999}, 1, 2);
    put(f->den, {2500000}, 1, 1);
    format_decimal(f, buf);
    EXPECT_STREQ(buf, " 4.93827159");
}

TEST_F(NumberText, FormatDecimalTruncatesAndMarksRemainders) {
    char buf[512];
    fixed_point_limbs = 1;
    set_int32(f->num, 1);
    bn_clear(f->den);
    set_int64(f->den, 3);
    format_decimal(f, buf);
    EXPECT_STREQ(buf, " .33333333");
    EXPECT_EQ(f->num->rem, 1);
    EXPECT_EQ(f->num->frac_limbs, 1);
    EXPECT_EQ(limbs_of(f->den), (L{1}));

    set_int32(f->num, 1);
    bn_clear(f->den);
    set_int64(f->den, 4);
    EXPECT_EQ(format_decimal(f, buf), 4);
    EXPECT_STREQ(buf, " .25");
    EXPECT_EQ(f->num->rem, 0);

    fixed_point_limbs = 4;
    set_int32(f->num, -2);
    bn_clear(f->den);
    set_int64(f->den, 3);
    format_decimal(f, buf);
    EXPECT_EQ(std::string(buf), "-." + std::string(32, '6'));
    EXPECT_EQ(f->num->rem, 1);

    // An integer, and a fixed-point value, over 1.
    set_int32(f->num, 7);
    bn_set_one(f->den);
    format_decimal(f, buf);
    EXPECT_STREQ(buf, " 7");
    EXPECT_EQ(f->num->rem, 0);
    parse_literal("1.2500000", f);
    format_decimal(f, buf);
    EXPECT_STREQ(buf, " 1.25");

    // A numerator with other fraction limbs is brought to F first.
    put(f->num, {1, 50000000}, 1, 1);
    bn_set_one(f->den);
    format_decimal(f, buf);
    EXPECT_STREQ(buf, " 1.5");
    EXPECT_EQ(f->num->frac_limbs, 4);

    // A denominator with fraction limbs: 1 / 0.5.
    set_int32(f->num, 1);
    put(f->den, {50000000}, 1, 1);
    format_decimal(f, buf);
    EXPECT_STREQ(buf, " 2");
}

}  // namespace
