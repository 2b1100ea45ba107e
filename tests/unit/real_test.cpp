// The function kernels: truncation toward zero right next to a limb
// boundary (where a result computed a little too high or too low shows),
// results that are exact, the work space given back, results that do not
// fit, and the floating values underneath against the library's integers.
#include <gmp.h>
#include <gtest/gtest.h>

#include <vector>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "expr/expr.h"
#include "engine/gmp_api.h"
#include "kernels/real.h"
#include "kernels/power_split.h"
#include "kernels/real_flt.h"
#include "engine/scratch.h"
#include "support.h"

namespace {

class Kernels : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!gmp_ready()) bind_gmp();
        ASSERT_EQ(core_start(2000), 0);
        fixed_point_limbs = 4;
    }
    void TearDown() override { fixed_point_limbs = 4; }
};

// Value of an expression as the calculator prints it in decimal form, and
// whatever was printed meanwhile.
std::string text_of(const std::string &expr, std::string *notices = nullptr) {
    Fraction *f = &work_frac[0];
    fraction_init(f);
    testing::internal::CaptureStdout();
    eval_expression(expr.c_str(), f, 1);
    to_fraction(f);
    std::string printed = testing::internal::GetCapturedStdout();
    if (notices) *notices = printed;
    static char out[20000];
    format_decimal(f, out);
    return out;
}

std::string repeat(char c, int n) { return std::string(size_t(n), c); }

// A fixed-point literal read with `limbs` fraction limbs into work fraction 5.
Fraction *literal(const std::string &text, int limbs) {
    int keep = fixed_point_limbs;
    fixed_point_limbs = limbs;
    Fraction *f = &work_frac[5];
    fraction_init(f);
    parse_literal(text.c_str(), f);
    fixed_point_limbs = keep;
    return f;
}

// The kernel result in out as decimal text at F fraction limbs.
std::string result_text(BigNum *out) {
    Fraction r{out, work_frac[6].den, 0};
    bn_set_one(r.den);
    static char text[20000];
    format_decimal(&r, text);
    return text;
}

// A large argument is read with as many more limbs as its integer part has
// before the reduction: at 17 limbs sin(2 10^88 / 3) went wrong from about
// the 122nd place (found by fuzz_kernels; digits from an independent
// reference at 400 places).
TEST_F(Kernels, SineOfALargeFractionKeepsEveryPlace) {
    Fraction *x = literal("2" + repeat('0', 88), 4);
    set_int32(x->den, 3);
    BigNum *out = work_frac[7].num;
    ASSERT_EQ(real_sin_cos(core, out, x, 0, 0, 17), STATUS_OK);
    fixed_point_limbs = 17;
    EXPECT_EQ(result_text(out),
              " .1156134196044685003646037798703489747077190690362251153474597579786924942990921692403781442084"
              "284387324834371126021158175219512466730649");
}

// e^x for an x < 0 far below the working precision is just under 1: at 2
// limbs exp(-10^-120) gave 1/e, x + 1 having rounded to 1 (found by
// fuzz_kernels).
TEST_F(Kernels, ExponentialOfATinyNegativeArgumentIsJustBelowOne) {
    Fraction *x = literal("1", 4);
    x->num->sign = -1;
    set_int32(x->den, 1);
    ASSERT_EQ(shift_limbs(x->den, 15), STATUS_OK);
    BigNum *out = work_frac[7].num;
    for (int F : {2, 5}) {
        ASSERT_EQ(real_exp(core, out, x, F), STATUS_OK);
        fixed_point_limbs = F;
        EXPECT_EQ(result_text(out), " ." + repeat('9', 8 * F)) << F;
    }
    // Only a sum that reached 1 stands in so: e^-1/2 keeps its fraction.
    x = literal("1", 4);
    x->num->sign = -1;
    set_int32(x->den, 2);
    ASSERT_EQ(real_exp(core, out, x, 2), STATUS_OK);
    fixed_point_limbs = 2;
    EXPECT_EQ(result_text(out), " .6065306597126334");
}

// Arguments carry more limbs than the result: a perturbation far below the
// last printed digit decides whether it truncates to the boundary or below.
TEST_F(Kernels, ResultsRightNextToALimbBoundaryTruncate) {
    enum Fn { ROOT2, ROOT3, LOG, EXP, COS };
    struct Case {
        Fn fn;
        const char *whole;  // integer part of the argument
        bool above;         // argument = whole + e (else whole - 1 + (1 - e))
        bool negative;
        const char *want;   // result; '#' stands for 8F nines
    };
    const Case cases[] = {
        {ROOT2, "3", false, false, "1.#"},  // sqrt(4 - e) just below 2
        {ROOT2, "4", true, false, "2"},   // sqrt(4 + e) just above
        {ROOT3, "26", false, false, "2.#"},  // cube root of 27 - e
        {LOG, "0", false, false, "0"},    // ln(1 - e), toward zero
        {LOG, "1", true, false, "0"},     // ln(1 + e)
        {EXP, "0", true, false, "1"},     // e^e just above 1
        {EXP, "0", true, true, ".#"},     // e^-e just below 1
        {COS, "0", true, false, ".#"},    // cos e just below 1
    };
    BigNum *out = work_frac[6].num;
    for (int F : {1, 3, 40}) {
        fixed_point_limbs = F;
        std::string nines = repeat('9', 8 * F);
        for (const Case &c : cases) {
            std::string frac = c.above ? "." + repeat('0', 8 * F + 29) + "1" : "." + repeat('9', 8 * F + 30);
            Fraction *x = literal(c.whole + frac, F + 5);
            if (c.negative) x->num->sign = -1;
            Status rc = c.fn == ROOT2 ? real_root(core, out, x, 2, F)
                     : c.fn == ROOT3 ? real_root(core, out, x, 3, F)
                     : c.fn == LOG   ? real_log(core, out, x, 0, F)
                     : c.fn == EXP   ? real_exp(core, out, x, F)
                                     : real_sin_cos(core, out, x, 1, 0, F);
            ASSERT_EQ(rc, STATUS_OK);
            std::string want = std::string(" ") + c.want;
            if (want.back() == '#') want = want.substr(0, want.size() - 1) + nines;
            EXPECT_EQ(result_text(out), want) << "case " << int(&c - cases) << ", F = " << F;
        }
    }
}

// Negative results truncate toward zero; exact results stay exact; the
// tangents of multiples of 15 degrees are their truncated values.
TEST_F(Kernels, ValuesAtTheirPlaces) {
    struct Case {
        int F;
        const char *expr, *want;
    };
    const Case cases[] = {
        {2, "LN(0.3)", "-1.2039728043259359"},
        {2, "ATAN(-2)", "-1.1071487177940905"},
        {2, "SINR(100)", "-.5063656411097587"},
        {2, "SIN(-7)", "-.1218693434051474"},
        {2, "COSR(2)", "-.4161468365471423"},
        {60, "LOG4(8)", " 1.5"},
        {60, "LOG10(1/100)", "-2"},
        {60, "(1/8)^(2/3)", " .25"},
        {60, "SQR(10^40)", " 100000000000000000000"},
        {60, "TAN(45)", " 1"},
        {60, "TAN(-135)", " 1"},
        {60, "LN(1)", " 0"},
        {60, "ATAN(0)", " 0"},
        {3, "TAN(15)", " .267949192431122706472553"},
        {3, "TAN(75)", " 3.732050807568877293527446"},
        {3, "TAN(30)", " .577350269189625764509148"},
        {3, "TAN(-60)", "-1.732050807568877293527446"},
    };
    for (const Case &c : cases) {
        fixed_point_limbs = c.F;
        EXPECT_EQ(text_of(c.expr), c.want) << c.expr << " at F = " << c.F;
    }
}

// The inverse and hyperbolic functions next to a cut of their last place
// and at the ends of their domains: an argument a hair from 0, from +-1, or
// so large that tanh is within a unit of +-1 truncates toward zero, and an
// argument a hair outside a domain is refused there, not rounded into it.
TEST_F(Kernels, InverseAndHyperbolicAtTheirCutsAndDomainEnds) {
    enum Fn { SINH, COSH, TANH, ASINH, ATANH, ASIN, ACOS, ACOSH };
    auto run = [](Fn fn, BigNum *out, Fraction *x, int F) {
        switch (fn) {
            case SINH: return real_sinh(core, out, x, F);
            case COSH: return real_cosh(core, out, x, F);
            case TANH: return real_tanh(core, out, x, F);
            case ASINH: return real_asinh(core, out, x, F);
            case ATANH: return real_atanh(core, out, x, F);
            case ASIN: return real_asin(core, out, x, F);
            case ACOS: return real_acos(core, out, x, F);
            default: return real_acosh(core, out, x, F);
        }
    };
    struct Case {
        Fn fn;
        const char *arg;  // '@' stands for 8F + 30 zeros, '#' for as many nines
        bool negative;
        const char *want;  // '#' stands for 8F nines; "domain" for the refusal
    };
    const Case cases[] = {
        {SINH, ".@1", false, "0"},       {SINH, ".@1", true, "0"},       {COSH, ".@1", false, "1"},
        {TANH, ".@1", true, "0"},        {ASINH, ".@1", true, "0"},      {ATANH, ".@1", false, "0"},
        {ASIN, ".@1", true, "0"},        {TANH, "40000", false, ".#"},   {TANH, "40000", true, ".#"},
        {ATANH, "1", false, "domain"},   {ATANH, ".#", true, "-"},       {ASIN, "1.@1", false, "domain"},
        {ACOS, "1.@1", true, "domain"},  {ACOSH, ".#", false, "domain"}, {ACOSH, "1", true, "domain"},
        {ACOS, "1", false, "0"},         {ACOSH, "1", false, "0"},       {COSH, "0", false, "1"},
    };
    BigNum *out = work_frac[6].num;
    for (int F : {1, 3, 40}) {
        std::string nines = repeat('9', 8 * F);
        for (const Case &c : cases) {
            std::string arg = c.arg;
            for (char mark : {'@', '#'}) {
                size_t at = arg.find(mark);
                if (at != std::string::npos) arg.replace(at, 1, repeat(mark == '@' ? '0' : '9', 8 * F + 30));
            }
            Fraction *x = literal(arg, F + 5);
            if (c.negative) x->num->sign = -1;
            Status rc = run(c.fn, out, x, F);
            std::string where = "case " + std::to_string(&c - cases) + ", F = " + std::to_string(F);
            if (std::string(c.want) == "domain") {
                EXPECT_EQ(rc, STATUS_DOMAIN) << where;
                continue;
            }
            ASSERT_EQ(rc, STATUS_OK) << where;
            fixed_point_limbs = F;
            std::string got = result_text(out);
            if (std::string(c.want) == "-") {  // atanh of -(1 - e): large and negative
                EXPECT_EQ(got[0], '-') << where;
                continue;
            }
            std::string want = std::string(c.negative && c.want[0] == '.' ? "-" : " ") + c.want;
            if (want.back() == '#') want = want.substr(0, want.size() - 1) + nines;
            EXPECT_EQ(got, want) << where;
        }
    }
}

TEST_F(Kernels, EveryFunctionGivesItsWorkSpaceBack) {
    fixed_point_limbs = 50;
    for (const char *e : {"PI", "EXP", "SQR3", "5^(1/7)", "3^(1/200)", "LN(7)", "LN(PI)", "LOG10(2)", "SINR(3)",
                          "COS(1.5)", "TANR(0.7)", "ATAN(SQR2)", "ATAN(5/7)", "2^PI", "ASIN(1/3)", "ACOS(-2/3)",
                          "SINH(3/2)", "COSH(2)", "TANH(1/7)", "ASINH(5)", "ACOSH(7/3)", "ATANH(2/9)", "ATANH(1/3)",
                          "ATANH(SQR(2)/3)", "ASIN(SQR(2)/3)"}) {
        text_of(e);
        EXPECT_EQ(scratch_mark(core), 0u) << e;
    }
}

TEST_F(Kernels, AResultThatDoesNotFitIsRefusedWithANotice) {
    fixed_point_limbs = 4;
    std::string notices;
    // About 30 million digits: far beyond the 16000 a numerator holds here.
    EXPECT_EQ(text_of("10^(30000000.5)", &notices), " 0");
    EXPECT_NE(notices.find("prod_ovf"), std::string::npos);
    // Far below zero the exponential truncates to 0 with no notice.
    EXPECT_EQ(text_of("2^(-1000000.5)", &notices), " 0");
    EXPECT_EQ(notices, "");
}

TEST_F(Kernels, AZeroExponentGivesOne) {
    // The estimate of the result's size once turned log10(0) = -1e300 into
    // an integer (undefined); x^0 is 1 at every place.
    BigNum *out = work_int(5);
    Fraction *x = literal("2.5", 1);
    Fraction y{work_frac[7].num, work_frac[7].den, 0};
    fraction_init(&y);
    ASSERT_EQ(real_power(core, out, x, &y, 4), STATUS_OK);
    EXPECT_EQ(result_text(out), " 1");
}

TEST_F(Kernels, AnAmbiguityThatNeverResolvesEndsAsUncertainAtTheRoom) {
    // sin 30 degrees is exactly 1/2: without an exact test for it the
    // truncation at F limbs stays undecided however many limbs are added.
    // The retry loop goes on to the room (twice out's capacity) and then
    // says so, with the error bound of the value it wrote.
    std::vector<int32_t> store(12);
    BigNum out{};
    out.limbs = store.data();
    out.capacity = 12;
    bn_clear(&out);
    Fraction *x = literal("30", 0);
    ASSERT_EQ(real_sin_cos(core, &out, x, 0, 2, 4), STATUS_UNCERTAIN);
    EXPECT_LT(core.error_exponent, -4 - 8);  // far below the last kept limb
    EXPECT_EQ(out.frac_limbs, 4);
    // Either side of 1/2 by at most one unit of the last limb.
    bool half = out.used == 4 && limb(&out, 3) == 50000000 && limb(&out, 0) == 0;
    bool below = out.used == 4 && limb(&out, 3) == 49999999 && limb(&out, 0) == 99999999;
    EXPECT_TRUE(half || below);
    EXPECT_EQ(scratch_mark(core), 0u);
    EXPECT_EQ(core.prec, 4);  // put back, whatever it was
}

// The series of e, whose short ranges are summed in machine integers: its
// parts are exactly Q = (n-1)! and T = sum_k (n-1)!/k! for n terms, at
// counts that cut the ranges at every length up to and past a leaf's.
TEST_F(Kernels, SeriesOfEHasExactParts) {
    mpz_t want_q, want_t, f, got;
    mpz_inits(want_q, want_t, f, got, nullptr);
    core.prec = 4000;
    for (int64_t n : {1, 2, 3, 5, 16, 17, 31, 33, 40, 100, 1000}) {
        size_t mark = scratch_mark(core);
        Series s{SERIES_EXP, flt_int(core, 1), flt_int(core, 1)};
        Flt t, q;
        series_parts(core, s, n, &t, &q);
        ASSERT_EQ(core.status, STATUS_OK);
        mpz_fac_ui(want_q, (unsigned long)(n - 1));
        mpz_set_ui(want_t, 0);
        for (int64_t k = 0; k < n; k++) {
            mpz_fac_ui(f, (unsigned long)k);
            mpz_tdiv_q(f, want_q, f);
            mpz_add(want_t, want_t, f);
        }
        for (auto [v, want] : {std::pair<Flt *, mpz_ptr>{&t, want_t}, {&q, want_q}}) {
            mpz_set_ui(got, 0);
            for (int i = v->n - 1; i >= 0; i--) {
                mpz_mul_ui(got, got, 100000000);
                mpz_add_ui(got, got, v->d[i]);
            }
            for (int64_t e = 0; e < v->e; e++) mpz_mul_ui(got, got, 100000000);
            EXPECT_EQ(mpz_cmp(got, want), 0) << (v == &t ? "T" : "Q") << " of " << n << " terms";
        }
        scratch_release(core, mark);
    }
    core.prec = 4;
    mpz_clears(want_q, want_t, f, got, nullptr);
}

// The floating values against the library: products, quotients and square
// roots of random operands with runs of zero and 99999999 limbs, each to
// core.prec limbs, must be the exact results truncated (the quotient and
// root within one unit of the last limb).
// The splittings with a table of powers against the general splitting of
// the same sums, at term counts around every depth of the table (one term,
// odd and even counts, powers of two and one off them) and at two
// precisions: the values agree to the last limbs.
TEST_F(Kernels, TableSplittingsAgreeWithTheGeneralOne) {
    auto close = [](const Flt &a, const Flt &b, int prec) {
        Flt d = flt_sub(core, a, b);
        return d.n == 0 || flt_top(d) <= flt_top(a) - prec + 3;
    };
    const int64_t counts[] = {1, 2, 3, 4, 5, 7, 8, 9, 31, 32, 33, 100, 257, 1000};
    for (int prec : {20, 300}) {
        for (int64_t terms : counts) {
            size_t mark = scratch_mark(core);
            core.prec = prec;
            // atanh: (u/v)^j / (2j + 1) with u = 3^2, v = 29^2, and u = 1, v = 26^2.
            for (auto uv : {std::pair<int64_t, int64_t>{9, 841}, {1, 676}}) {
                Flt t, d;
                odd_series(core, (unsigned __int128)uv.first, (unsigned __int128)uv.second, terms, &t, &d);
                Series s{SERIES_ATANH, flt_int(core, uv.first), flt_int(core, uv.second)};
                EXPECT_TRUE(close(flt_div(core, t, d), series_sum(core, s, terms), prec))
                    << "atanh, " << terms << " terms at " << prec;
            }
            // exp and sin / x of x = 0.12345678 90123456 (two limbs).
            uint32_t limbs[2] = {90123456, 12345678};
            Flt x{limbs, 2, -2, 1};
            Series se{SERIES_EXP, x, flt_int(core, 1)};
            EXPECT_TRUE(close(power_series(core, POWER_EXP, x, terms - 1), series_sum(core, se, terms), prec))
                << "exp, " << terms << " terms at " << prec;
            Flt x2 = flt_mul(core, x, x);
            Series ss{SERIES_SIN, x2, flt_int(core, 1)};
            EXPECT_TRUE(close(power_series(core, POWER_SIN, flt_neg(x2), terms - 1), series_sum(core, ss, terms), prec))
                << "sin, " << terms << " terms at " << prec;
            EXPECT_EQ(core.status, STATUS_OK);
            scratch_release(core, mark);
        }
    }
    core.prec = 4;
}

class FloatingValues : public Kernels {
  protected:
    std::mt19937_64 rng;
    void SetUp() override {
        Kernels::SetUp();
        // A fixed seed unless VANTREL_SEED names one, as in every other
        // randomised suite: a failure must come back on the next run.
        uint64_t seed = replayable_seed("floating values", 20260309);
        rng.seed(seed);
        RecordProperty("seed", std::to_string(seed));
    }
    Flt random_value(int n) {
        uint32_t *d = scratch_take(core, size_t(n));
        int mode = int(rng() % 4);
        for (int i = 0; i < n; i++) {
            uint64_t r = rng();
            d[i] = mode == 1 && r % 3 == 0 ? 0 : mode == 2 && r % 3 == 0 ? 99999999 : uint32_t(r % 100000000);
        }
        if (d[n - 1] == 0) d[n - 1] = 1;
        return flt_normalise(Flt{d, n, -int64_t(rng() % 5), 1});
    }
    // z := mantissa of v as an integer (exponent ignored).
    static void to_mpz(mpz_t z, const Flt &v) {
        mpz_set_ui(z, 0);
        for (int i = v.n - 1; i >= 0; i--) {
            mpz_mul_ui(z, z, 100000000);
            mpz_add_ui(z, z, v.d[i]);
        }
    }
};

TEST_F(FloatingValues, ProductsQuotientsAndRootsAgainstTheLibrary) {
    mpz_t a, b, c, want, base;
    mpz_inits(a, b, c, want, base, nullptr);
    mpz_set_ui(base, 100000000);
    for (int round = 0; round < 60; round++) {
        size_t mark = scratch_mark(core);
        int na = 1 + int(rng() % 300), nb = 1 + int(rng() % 300);
        // Operands longer than core.prec + 1 limbs are cut before a product:
        // keep them within it so that the product is the exact one, cut.
        core.prec = std::max(na, nb) + int(rng() % 100);
        Flt x = random_value(na), y = random_value(nb);
        to_mpz(a, x);
        to_mpz(b, y);

        // The product's mantissa is the exact product cut to core.prec limbs.
        Flt p = flt_mul(core, x, y);
        mpz_mul(want, a, b);
        to_mpz(c, p);
        int64_t shift = p.e - x.e - y.e;  // limbs cut off below
        mpz_t s;
        mpz_init(s);
        mpz_pow_ui(s, base, (unsigned long)shift);
        mpz_tdiv_q(want, want, s);
        EXPECT_EQ(mpz_cmp(c, want), 0) << "product, round " << round;

        // The quotient: q * BASE^-e within one unit of the last limb of a / b.
        Flt q = flt_div(core, x, y);
        to_mpz(c, q);
        int64_t k = -(q.e - x.e + y.e);  // q ~ a / b * BASE^k
        mpz_t lhs, rhs;
        mpz_inits(lhs, rhs, nullptr);
        if (k >= 0) {
            mpz_pow_ui(s, base, (unsigned long)k);
            mpz_mul(lhs, a, s);
            mpz_tdiv_q(want, lhs, b);
        } else {
            mpz_pow_ui(s, base, (unsigned long)-k);
            mpz_mul(rhs, b, s);
            mpz_tdiv_q(want, a, rhs);
        }
        mpz_sub(lhs, want, c);
        EXPECT_TRUE(mpz_cmp_ui(lhs, 1) <= 0 && mpz_sgn(lhs) >= 0) << "quotient, round " << round;

        // The square root of the product, squared, is within the precision.
        Flt r = flt_sqrt(core, p);
        Flt back = flt_mul(core, r, r);
        Flt diff = flt_sub(core, back, p);
        if (diff.n) {
            EXPECT_LT(flt_top(diff), flt_top(p) - core.prec + 2) << "root, round " << round;
        }
        mpz_clears(s, lhs, rhs, nullptr);
        scratch_release(core, mark);
    }
    core.prec = 4;
    mpz_clears(a, b, c, want, base, nullptr);
}

// Quotients by long divisors go through an approximate reciprocal: the
// result must still be the exact quotient truncated, or one unit below it,
// for divisors shorter and longer than the precision, with top limbs from 1
// (scaled up the most) to 99999999, and dividends shorter than divisors.
TEST_F(FloatingValues, QuotientsTruncateOnEveryDivisorShape) {
    mpz_t a, b, c, want, s;
    mpz_inits(a, b, c, want, s, nullptr);
    for (int round = 0; round < 40; round++) {
        size_t mark = scratch_mark(core);
        core.prec = 30 + int(rng() % 1500);
        int na = 1 + int(rng() % (core.prec + 2)), nb = 2 + int(rng() % (core.prec + 1));
        Flt x = random_value(na), y = random_value(nb);
        uint32_t tops[4] = {1, 49999999, 50000000, 99999999};
        if (round % 2) y.d[y.n - 1] = tops[(round / 2) % 4];
        to_mpz(a, x);
        to_mpz(b, y);
        Flt q = flt_div(core, x, y);
        ASSERT_EQ(core.status, STATUS_OK);
        to_mpz(c, q);
        int64_t k = -(q.e - x.e + y.e);  // q ~ a / b * BASE^k
        mpz_ui_pow_ui(s, 100000000, (unsigned long)(k >= 0 ? k : -k));
        if (k >= 0) {
            mpz_mul(want, a, s);
            mpz_tdiv_q(want, want, b);
        } else {
            mpz_mul(s, b, s);
            mpz_tdiv_q(want, a, s);
        }
        mpz_sub(want, want, c);
        EXPECT_TRUE(mpz_cmp_ui(want, 1) <= 0 && mpz_sgn(want) >= 0)
            << "round " << round << ": " << na << " / " << nb << " limbs at " << core.prec;
        scratch_release(core, mark);
    }
    core.prec = 4;
    mpz_clears(a, b, c, want, s, nullptr);
}

}  // namespace
