// Series functions against reference digits computed independently
// (tests/data, written by make_reference.py there), and the sound behaviour
// at the edges of their domains.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "expr/expr.h"
#include "kernels/real.h"
#include "engine/gmp_api.h"
#include "functions/functions.h"

namespace {

std::string data_dir() {
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/../data/";
}

std::string reference(const char *name) {
    std::ifstream in(data_dir() + name + ".txt");
    std::string s;
    std::getline(in, s);
    return s;
}

// Value of an expression as the calculator prints it in decimal form.
std::string eval_text(const char *text) {
    Fraction *f = &work_frac[0];
    fraction_init(f);
    eval_expression(text, f, 1);
    to_fraction(f);
    static char out[400000];
    format_decimal(f, out);
    return out;
}

// "-.5" / " 3.14" / "0.5" -> sign, integer digits and fraction digits.
struct Digits {
    bool negative = false;
    std::string whole, frac;
};

Digits split(const std::string &s) {
    Digits d;
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '-')) d.negative |= s[i++] == '-';
    size_t dot = s.find('.', i);
    d.whole = s.substr(i, dot == std::string::npos ? std::string::npos : dot - i);
    if (dot != std::string::npos) d.frac = s.substr(dot + 1);
    while (!d.whole.empty() && d.whole[0] == '0') d.whole.erase(0, 1);
    if (d.whole.empty()) d.whole = "0";
    return d;
}

// How many leading fraction digits of got agree with the reference.
int agreeing_digits(const std::string &got, const std::string &want) {
    Digits g = split(got), w = split(want);
    if (g.negative != w.negative || g.whole != w.whole) return -1;
    size_t k = 0;
    while (k < w.frac.size() && (k < g.frac.size() ? g.frac[k] : '0') == w.frac[k]) k++;
    return (int)k;
}

struct Case {
    const char *expr, *file;
};
const Case cases[] = {
    {"PI", "pi"},           {"EXP", "e"},
    {"SQR(2)", "sqrt2"},    {"SQR(3)", "sqrt3"},
    {"LN(2)", "ln2"},       {"LN(10)", "ln10"},
    {"LN(3/2)", "ln1_5"},   {"LN(1.99)", "ln1_99"},
    {"SINR(1)", "sin_1rad"}, {"COSR(1)", "cos_1rad"},
    {"SIN(15)", "sin_15deg"}, {"COS(15)", "cos_15deg"},
    {"SIN(0.1234567)", "sin_0_1234567deg"}, {"COS(40)", "cos_40deg"},
    {"ATAN(2)", "atan_2"},  {"ATAN(0.5)", "atan_half"},
    {"ATAN(-0.9)", "atan_m0_9"},
};

struct SeriesAccuracy : ::testing::TestWithParam<int> {
    static void SetUpTestSuite() {
        if (!gmp_ready()) bind_gmp();
        ASSERT_EQ(core_start(2000), 0);
    }
};

// Every digit but those of the last limb must be right.
TEST_P(SeriesAccuracy, AllButTheLastLimb) {
    int digits = GetParam();
    fixed_point_limbs = (digits + 7) / 8;
    int need = 8 * fixed_point_limbs - 8;
    for (const Case &c : cases) {
        std::string want = reference(c.file);
        ASSERT_GT((int)want.size(), need) << c.file;
        std::string got = eval_text(c.expr);
        int ok = agreeing_digits(got, want);
        EXPECT_GE(ok, need) << c.expr << " at " << digits << " digits: " << got.substr(0, 80);
        if (getenv("SERIES_REPORT")) printf("%-16s %5d digits: %d agree\n", c.expr, digits, ok);
    }
    fixed_point_limbs = 4;
}

INSTANTIATE_TEST_SUITE_P(Series, SeriesAccuracy, ::testing::Values(32, 200, 2000));

struct SeriesEdges : ::testing::Test {
    static void SetUpTestSuite() {
        if (!gmp_ready()) bind_gmp();
        ASSERT_EQ(core_start(200), 0);
    }
    void SetUp() override { fixed_point_limbs = 4; }
};

std::string printed(const char *expr) {
    testing::internal::CaptureStdout();
    std::string v = eval_text(expr);
    return testing::internal::GetCapturedStdout() + "|" + v;
}

TEST_F(SeriesEdges, OutsideTheRealDomainGivesZeroWithANotice) {
    EXPECT_EQ(printed("LN(-2)"), "{log-neg}| 0");
    EXPECT_EQ(printed("LN(0)"), "{log0}| 0");
    EXPECT_EQ(printed("SQR(-4)"), "q-neg\n| 0");
    EXPECT_EQ(printed("SQR(0)"), "| 0");
    EXPECT_EQ(printed("ATAN(0)"), "| 0");
}

TEST_F(SeriesEdges, OddRootOfANegativeNumber) {
    Fraction *f = &work_frac[0];
    fraction_init(f);
    set_int64(f->num, -8);
    nth_root(f, 3, 1.0, 2);
    char out[100];
    format_decimal(f, out);
    EXPECT_STREQ(out, "-2");
}

TEST_F(SeriesEdges, NegativeArgumentsMirror) {
    EXPECT_GE(agreeing_digits(eval_text("ATAN(-2)"), "-" + reference("atan_2")), 24);
    std::string s = eval_text("SINR(-1)");
    EXPECT_GE(agreeing_digits(s, "-" + reference("sin_1rad")), 24) << s;
}

TEST_F(SeriesEdges, WholeHalfTurnsBeyondTheMachineIntegerWindow) {
    // A huge exact number of whole half-turns keeps its parity.
    EXPECT_EQ(eval_text("SINP(100000000000000000001+1/6)"), "-.5");
    EXPECT_EQ(eval_text("SINP(100000000000000000000+1/6)"), " .5");
}

TEST_F(SeriesEdges, TangentAtNinetyDegreesDoesNotCrash) {
    testing::internal::CaptureStdout();
    eval_text("TAN(90)");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(eval_text("TAN(45)"), " 1");
}

// With many fraction limbs for the precision, exact terms such as 2^-i carry
// denominators of dozens of limbs through the registers; they must neither
// reach the template elements stored at the start of the denominator array
// nor be lost.
TEST(SeriesLongDenominators, LogarithmKeepsItsDigits) {
    if (!gmp_ready()) bind_gmp();
    ASSERT_EQ(core_start(700), 0);
    fixed_point_limbs = 150;
    EXPECT_GE(agreeing_digits(eval_text("LN(2)"), reference("ln2")), 8 * 149);
    EXPECT_GE(agreeing_digits(eval_text("LN(1.99)"), reference("ln1_99")), 8 * 149);
    Fraction *f = &work_frac[2];
    fraction_init(f);
    set_int64(f->num, -1);
    set_int64(f->den, 2);
    exp_log_series(f, 1, 2);  // ln(1/2)
    static char out[4000];
    format_decimal(f, out);
    EXPECT_GE(agreeing_digits(out, "-" + reference("ln2")), 8 * 149) << out;
    fixed_point_limbs = 4;
}

}  // namespace
