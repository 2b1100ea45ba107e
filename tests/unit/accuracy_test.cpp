// Elementary functions against reference digits computed independently
// (tests/data/ref, written by make_reference_fast.py there). At F fraction
// limbs a value must print as its true value truncated toward zero to 8F
// fraction digits: every digit and the sign, with no notice printed beside
// it. Values that are exact must stay exact at many limbs.
//
// Built as its own program (accuracy_tests) when VANTREL_ACCURACY_TESTS is on.
// The cases at 12500 limbs skip themselves in sanitizer builds (and in any
// build with VANTREL_BOUNDS_CHECK) to keep that suite within its time; the
// normal build runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "expr/expr.h"
#include "kernels/real.h"
#include "engine/gmp_api.h"
#include "functions/functions.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ACCURACY_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(VANTREL_BOUNDS_CHECK)
#define ACCURACY_SANITIZED 1
#endif

namespace {

constexpr int HEAVY_LIMBS = 12500;  // 100000 digits: the whole reference

std::string ref_dir() {
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/../data/ref/";
}

// Rows of blank-separated words of an index file in data/ref; lines starting
// with '#' are comments.
std::vector<std::vector<std::string>> read_rows(const char *name) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(ref_dir() + name);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::vector<std::string> row;
        for (std::string w; words >> w;) row.push_back(w);
        rows.push_back(row);
    }
    return rows;
}

// One calculator expression and the file of its reference digits; `negate`
// when the value is the negative of the file's.
struct RefCase {
    std::string label, expr, file;
    bool negate = false;
};

// How gtest names a case in its reports and listings.
void PrintTo(const RefCase &c, std::ostream *os) { *os << c.expr; }

const std::vector<RefCase> &ref_cases() {
    static const std::vector<RefCase> cases = [] {
        std::vector<RefCase> v;
        for (auto &row : read_rows("values.txt")) {
            if (row.size() != 3) continue;
            RefCase c{row[0], row[1], row[2]};
            if (c.file[0] == '-') {
                c.negate = true;
                c.file.erase(0, 1);
            }
            v.push_back(c);
        }
        return v;
    }();
    return cases;
}

const RefCase &ref_case(const std::string &label) {
    for (const RefCase &c : ref_cases())
        if (c.label == label) return c;
    static const RefCase none{"missing", "0", "missing"};
    ADD_FAILURE() << "no reference case " << label;
    return none;
}

// Expression and exact value: "0.5", "-1", "9", or a fraction "2/3".
struct ExactCase {
    std::string expr, value;
};

void PrintTo(const ExactCase &c, std::ostream *os) { *os << c.expr << " = " << c.value; }

const std::vector<ExactCase> &exact_cases() {
    static const std::vector<ExactCase> cases = [] {
        std::vector<ExactCase> v;
        for (auto &row : read_rows("exact.txt"))
            if (row.size() == 2) v.push_back({row[0], row[1]});
        return v;
    }();
    return cases;
}

// The plain decimal text of a reference file ("-0.506...", "3.14...").
std::string reference_text(const std::string &file) {
    static std::string cached_name, cached_text;
    if (file != cached_name) {
        std::ifstream in(ref_dir() + file + ".txt");
        cached_text.clear();
        std::getline(in, cached_text);
        cached_name = file;
    }
    return cached_text;
}

// Plain decimal text cut toward zero to `digits` fraction digits and written
// as the calculator writes it: a blank or "-", no 0 before the point, no
// trailing fraction zeros, and " 0" for zero.
std::string calculator_text(const std::string &plain, int digits, bool negate = false) {
    bool negative = !plain.empty() && plain[0] == '-';
    if (negate) negative = !negative;
    std::string body = plain.substr(plain[0] == '-' ? 1 : 0);
    size_t dot = body.find('.');
    std::string whole = body.substr(0, dot);
    std::string frac = dot == std::string::npos ? "" : body.substr(dot + 1, digits);
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    if (whole.empty() && frac.empty()) return " 0";
    return (negative ? "-" : " ") + whole + (frac.empty() ? "" : "." + frac);
}

// Where got first departs from want, with a little text of both around it
// (a full 100000-digit pair would drown the report).
std::string difference(const std::string &got, const std::string &want) {
    size_t k = std::mismatch(got.begin(), got.begin() + std::min(got.size(), want.size()), want.begin()).first -
               got.begin();
    size_t dot = want.find('.');
    std::ostringstream out;
    out << "first difference at character " << k;
    if (dot != std::string::npos && k > dot) out << " (fraction digit " << k - dot << ")";
    size_t from = k > 20 ? k - 20 : 0;
    out << "; got " << got.size() << " characters \"" << (from ? "..." : "") << got.substr(from, 50)
        << "\", want " << want.size() << " \"" << (from ? "..." : "") << want.substr(from, 50) << "\"";
    return out.str();
}

// A short account of unexpected notices (they can run to thousands of lines).
std::string notices_seen(const std::string &notices) {
    size_t lines = std::count(notices.begin(), notices.end(), '\n');
    return std::to_string(notices.size()) + " bytes, " + std::to_string(lines) + " lines of notices, first \"" +
           notices.substr(0, 60) + (notices.size() > 60 ? "...\"" : "\"");
}

// Smallest precision of the presets (200, 700, 2000, ... limbs) that lets
// the calculator work with f fraction limbs (at most precision / 4).
int pool_for(int f) {
    for (int p = 200;; p = p % 7 == 0 ? p * 20 / 7 : p * 7 / 2)
        if (f <= p / 4) return p;
}

// Carves the pool at precision p unless it already is; carving again leaks
// the earlier pool, so consecutive cases share one.
void use_pool(int p) {
    static int carved = 0;
    if (!gmp_ready()) bind_gmp();
    if (carved != p) {
        ASSERT_EQ(core_start(p), 0);
        carved = p;
    }
    fixed_point_limbs = 4;
}

struct Evaluated {
    std::string text;     // decimal text as format_decimal writes it
    std::string notices;  // everything printed on standard output meanwhile
    std::string num, den; // the fraction before formatting, each by format_bignum
};

Evaluated evaluate(const std::string &expr) {
    static std::vector<char> out;
    out.assign(8 * size_t(precision) + 64, 0);
    Evaluated e;
    Fraction *f = &work_frac[0];
    fraction_init(f);
    testing::internal::CaptureStdout();
    eval_expression(expr.c_str(), f, 1);
    to_fraction(f);
    format_bignum(f->num, out.data());
    e.num = out.data();
    format_bignum(f->den, out.data());
    e.den = out.data();
    format_decimal(f, out.data());
    e.notices = testing::internal::GetCapturedStdout();
    e.text = out.data();
    return e;
}

// Evaluates expr at f fraction limbs and checks the text against the
// reference file, truncated to 8f digits.
void expect_truncated(const RefCase &c, int f) {
    std::string plain = reference_text(c.file);
    ASSERT_GE(plain.size(), size_t(8 * f)) << c.file << ".txt is missing or too short";
    fixed_point_limbs = f;
    Evaluated e = evaluate(c.expr);
    std::string want = calculator_text(plain, 8 * f, c.negate);
    EXPECT_TRUE(e.notices.empty()) << c.expr << " at F=" << f << ": " << notices_seen(e.notices);
    EXPECT_TRUE(e.text == want) << c.expr << " at F=" << f << ": " << difference(e.text, want);
}

bool heavy_skipped(int f) {
#ifdef ACCURACY_SANITIZED
    return f >= HEAVY_LIMBS;
#else
    (void)f;
    return false;
#endif
}

// ------------------------------------------------ reference values

using RefParam = std::tuple<int, RefCase>;

struct TruncatedDigits : ::testing::TestWithParam<RefParam> {};

TEST_P(TruncatedDigits, EveryDigitAndTheSign) {
    int f = std::get<0>(GetParam());
    const RefCase &c = std::get<1>(GetParam());
    if (heavy_skipped(f)) GTEST_SKIP() << "12500 limbs run in the normal build only";
    ASSERT_NO_FATAL_FAILURE(use_pool(pool_for(f)));
    expect_truncated(c, f);
    fixed_point_limbs = 4;
}

INSTANTIATE_TEST_SUITE_P(Limbs, TruncatedDigits,
                         ::testing::Combine(::testing::Values(1, 4, 125, 1250, HEAVY_LIMBS),
                                            ::testing::ValuesIn(ref_cases())),
                         [](const ::testing::TestParamInfo<RefParam> &info) {
                             return "F" + std::to_string(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param).label;
                         });

// A value computed at one number of limbs must not leak into the next at
// another (constants kept between calls, for example), in either direction.
TEST(TruncatedDigitsInSequence, ChangingTheLimbsKeepsEveryDigit) {
    ASSERT_NO_FATAL_FAILURE(use_pool(pool_for(1250)));
    for (int f : {125, 4, 1250, 1, 125, 4, 1250}) {
        for (const char *label : {"pi", "e", "ln2", "ln10", "sin_1rad", "sin_7deg", "atan_1_3", "atan_1",
                                  "sqrt2", "pow2_pi"}) {
            SCOPED_TRACE(label);
            expect_truncated(ref_case(label), f);
        }
    }
    fixed_point_limbs = 4;
}

// ------------------------------------------------ exact values

using ExactParam = std::tuple<int, ExactCase>;

struct ExactValues : ::testing::TestWithParam<ExactParam> {};

// An exact decimal prints as itself (not as .4999...9 or .5000...01 at the
// last limb); a fraction value (2/3) must come out as that very fraction,
// not as a decimal close to it.
TEST_P(ExactValues, StayExact) {
    int f = std::get<0>(GetParam());
    const ExactCase &c = std::get<1>(GetParam());
    if (heavy_skipped(f)) GTEST_SKIP() << "12500 limbs run in the normal build only";
    ASSERT_NO_FATAL_FAILURE(use_pool(pool_for(f)));
    fixed_point_limbs = f;
    Evaluated e = evaluate(c.expr);
    EXPECT_TRUE(e.notices.empty()) << c.expr << " at F=" << f << ": " << notices_seen(e.notices);
    size_t slash = c.value.find('/');
    if (slash == std::string::npos) {
        std::string want = calculator_text(c.value, 8 * f);
        EXPECT_TRUE(e.text == want) << c.expr << " at F=" << f << ": " << difference(e.text, want);
    } else {
        EXPECT_EQ(e.num, " " + c.value.substr(0, slash)) << c.expr << " at F=" << f;
        EXPECT_EQ(e.den, " " + c.value.substr(slash + 1)) << c.expr << " at F=" << f;
    }
    fixed_point_limbs = 4;
}

std::string exact_name(const ::testing::TestParamInfo<ExactParam> &info) {
    std::string name = "F" + std::to_string(std::get<0>(info.param)) + "_";
    for (char ch : std::get<1>(info.param).expr) name += std::isalnum((unsigned char)ch) ? ch : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Limbs, ExactValues,
                         ::testing::Combine(::testing::Values(1250, HEAVY_LIMBS), ::testing::ValuesIn(exact_cases())),
                         exact_name);

// ------------------------------------------------ the data itself

// Guards against a vacuous pass: the index files are read when the tests are
// listed, so missing data would simply leave no cases.
TEST(AccuracyData, EveryReferenceIsPresentAndLongEnough) {
    EXPECT_GE(ref_cases().size(), 30u);
    EXPECT_GE(exact_cases().size(), 16u);
    for (const RefCase &c : ref_cases()) {
        std::string plain = reference_text(c.file);
        size_t dot = plain.find('.');
        ASSERT_NE(dot, std::string::npos) << c.file;
        EXPECT_GE(plain.size() - dot - 1, size_t(8 * HEAVY_LIMBS)) << c.file;
        EXPECT_EQ(plain.find_first_not_of("0123456789", dot + 1), std::string::npos) << c.file;
    }
}

}  // namespace
