// Unit tests of the expression subsystem where a session cannot see the
// behaviour: packed element marks, the area exchange, level guards, buffer
// limits of the line text, work-register side effects of the solver, and
// refusals of malformed statements.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "expr/expr.h"
#include "engine/gmp_api.h"
#include "number/bignum.h"
#include "kernels/real.h"
#include "support.h"
#include "engine/fastmul.h"

namespace {

class ExprTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!gmp_ready()) bind_gmp();
        fixed_point_limbs = 4;
        element_width = 6;
        (void)core_start(200);  // any failure to carve shows in every test
        for (auto &v : text_vars) v[0] = 0;
    }
};

std::string ratio(Fraction *f) {
    return std::to_string(value_of(f->num)) + "/" + std::to_string(value_of(f->den));
}

// Evaluates `text` at level 1 into work fraction 0 and returns "num/den".
std::string eval(const char *text) {
    Fraction *f = &work_frac[0];
    fraction_init(f);
    eval_group(text, f, 1);
    return ratio(f);
}

// Reads a value reference and returns "num/den".
std::string read(const char *text) {
    Fraction *f = &work_frac[0];
    read_value(text, f);
    return ratio(f);
}

int run(const char *text, int *code = nullptr) {
    int local = 0;
    return execute_one(text, code ? code : &local, 0);
}

// Captures what `body` prints on standard output.
template <typename Body>
std::string output_of(Body body) {
    testing::internal::CaptureStdout();
    body();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

TEST_F(ExprTest, ElementPacksSignDenominatorAndScale) {
    run("A5=-7/3");
    const int32_t *slot = reg_den[0]->limbs + 5 * 6;
    EXPECT_EQ(slot[0], -3);
    EXPECT_EQ(slot[5], 7 + 1879048192);
    EXPECT_EQ(reg_den[0]->elem_top, 36);
    EXPECT_EQ(read("A5"), "-7/3");
    EXPECT_EQ(read("-A5"), "7/3");
    EXPECT_EQ(read("A"), "0/1");  // the variable itself is untouched

    // A fixed-point value keeps its scale in the mark of slot w - 2.
    Fraction *f = &work_frac[2];
    fraction_init(f);
    parse_literal("0.1234567", f);
    ASSERT_EQ(f->num->frac_limbs, 4);
    ASSERT_EQ(store_value(1, 2, f), 0);
    Fraction *back = &work_frac[3];
    read_value("B2", back);
    EXPECT_EQ(back->num->frac_limbs, 4);
    EXPECT_EQ(compare(back->num, f->num), 0);

    run("C=5");
    run("C1=9");
    EXPECT_EQ(read("C"), "5/1");
    EXPECT_EQ(read("C1"), "9/1");
}

TEST_F(ExprTest, ElementExchangeIsOneWay) {
    for (int i = 0; i < 3; i++) {
        std::string s = "A" + std::to_string(i) + "=" + std::to_string(i + 1);
        run(s.c_str());
    }
    EXPECT_EQ(reg_den[0]->capacity, 20);
    run("A=12345");
    run("A3=4");  // end 24 >= 20: the two areas change places
    EXPECT_EQ(reg_den[0]->capacity, 200);
    EXPECT_EQ(reg_num[0]->capacity, 20);
    EXPECT_EQ(read("A"), "12345/1");
    EXPECT_EQ(read("A0"), "1/1");
    EXPECT_EQ(read("A3"), "4/1");
    EXPECT_EQ(output_of([] { run("A32=7"); }), "");
    EXPECT_EQ(output_of([] { run("A33=8"); }), "val-ovf \n");
    EXPECT_EQ(output_of([] { EXPECT_EQ(read("A33"), "0/1"); }), "valRR \n");

    // After the exchange a plain value of more than precision/10 limbs is refused.
    Fraction *big = &work_frac[2];
    fraction_init(big);
    bn_set_one(big->num);
    (void)shift_limbs(big->num, 25);  // a one-limb value always has room
    EXPECT_EQ(output_of([&] { EXPECT_EQ(store_value(0, -1, big), -1); }), "val-large \n");
    EXPECT_EQ(read("A"), "12345/1");
}

TEST_F(ExprTest, WorkRegisterKeepsDenominatorThroughExchange) {
    run("&C=2/3");
    ASSERT_EQ(store_value(27, 3, &reg_frac[27]), 0);  // end 24: exchange
    EXPECT_EQ(reg_den[27]->capacity, 200);
    EXPECT_EQ(read("&C"), "2/3");
    EXPECT_EQ(read("&C3"), "2/3");
}

TEST_F(ExprTest, RefusedElementAccessWritesNothing) {
    Fraction *v = &work_frac[2];
    fraction_init(v);
    set_int32(v->num, 5);
    int32_t before = reg_den[1]->limbs[0];
    EXPECT_EQ(output_of([&] { EXPECT_EQ(store_value(1, -2, v), -1); }), "val-ovf \n");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(store_value(30, -1, v), -1); }), "val-ovf \n");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(store_value(-1, 0, v), -1); }), "val-ovf \n");
    EXPECT_EQ(output_of([] { read("B100000001"); }), "valRR \n");

    reg_num[1]->elem_width = 1;  // no room for the marks
    EXPECT_EQ(output_of([&] { EXPECT_EQ(store_value(1, 0, v), -1); }), "val-ovf \n");
    EXPECT_EQ(output_of([] { EXPECT_EQ(read("B0"), "0/1"); }), "valRR \n");
    EXPECT_EQ(reg_den[1]->limbs[0], before);
}

// v := 1 / (d * 10^(8 * shift)), a one-limb d shifted up by whole limbs.
static void set_reciprocal(Fraction *v, int32_t d, int shift) {
    fraction_init(v);
    set_int32(v->num, 1);
    set_int32(v->den, d);
    (void)shift_limbs(v->den, shift);  // a one-limb value always has room
}

TEST_F(ExprTest, VariableKeepsALongDenominatorUpToItsRoom) {
    Fraction *v = &work_frac[2], *back = &work_frac[3];
    set_reciprocal(v, 3, 3);  // 3 * 10^24: beyond the 64-bit window
    ASSERT_EQ(store_value(0, -1, v), 0);
    EXPECT_EQ(reg_num[0]->frac_limbs, 0);
    read_value("A", back);
    EXPECT_EQ(value_of(back->num), 1);
    EXPECT_EQ(limbs_of(back->den), (L{3, 0, 0, 0}));
    // A small denominator afterwards replaces the long one.
    set_reciprocal(v, 7, 0);
    ASSERT_EQ(store_value(0, -1, v), 0);
    read_value("A", back);
    EXPECT_EQ(value_of(back->den), 7);
    // One limb more than the room (P / 10 = 20 limbs here): fixed point.
    set_reciprocal(v, 3, 20);
    ASSERT_EQ(store_value(0, -1, v), 0);
    EXPECT_EQ(reg_num[0]->frac_limbs, 4);
    read_value("A", back);
    EXPECT_EQ(value_of(back->den), 1);
    // Exactly the room: kept whole.
    set_reciprocal(v, 3, 19);
    ASSERT_EQ(store_value(1, -1, v), 0);
    read_value("B", back);
    EXPECT_EQ(back->den->used, 20);
    EXPECT_EQ(limb(back->den, 19), 3);
}

TEST_F(ExprTest, LevelGuards) {
    Fraction *d = &work_frac[0];
    fraction_init(d);
    set_int32(d->num, 42);
    EXPECT_EQ(output_of([&] { EXPECT_EQ(eval_expression("1+2", d, 15), 0); }), "((ovf))");
    EXPECT_EQ(value_of(d->num), 42);
    EXPECT_EQ(output_of([&] { EXPECT_EQ(eval_group("1+(2))+3", d, 15), 6); }),
              "((ovf:1+(2)):lc:end,i,s,e,15:6,6,1))\n");
    EXPECT_EQ(value_of(d->num), 42);
    // At level 14 a power in slot 2 would need work fraction 16.
    EXPECT_EQ(output_of([&] { EXPECT_EQ(eval_expression("2*3^2", d, 14), 0); }), "((ovf))");
    EXPECT_EQ(output_of([&] { eval_expression("3^2", d, 14); }), "");
    EXPECT_EQ(ratio(d), "9/1");
}

TEST_F(ExprTest, PowersAndOperators) {
    EXPECT_EQ(eval("(1/2)^3"), "1/8");
    EXPECT_EQ(eval("2^-2"), "1/4");
    EXPECT_EQ(eval("3*2^-2"), "3/4");
    EXPECT_EQ(eval("2^13"), "8192/1");  // square-root split
    EXPECT_EQ(eval("(-1)^100000001"), "-1/1");
    EXPECT_EQ(eval("0^3"), "0/1");
    EXPECT_EQ(eval("0^0"), "1/1");
    EXPECT_EQ(eval("2*10^-3"), "1/500");
    EXPECT_EQ(eval("2/10^-7"), "20000000/1");
    // A later term is not turned around by an earlier negative power.
    EXPECT_EQ(eval("2^-1+10^8"), "200000001/2");
    EXPECT_EQ(output_of([] { EXPECT_EQ(eval("2^1000000000"), "0/1"); }), "prod_ovf\n");
    EXPECT_EQ(output_of([] { EXPECT_EQ(eval("2+7%0"), "2/1"); }), "err ");
    // A factorial that outgrows the precision is 0, never a partial product.
    EXPECT_EQ(output_of([] { EXPECT_EQ(eval("1000!"), "0/1"); }), "prod_ovf\n");
    EXPECT_EQ(eval("-7%3"), "-1/1");
    EXPECT_EQ(gcd64(-12, 18), 6);
    EXPECT_EQ(gcd64(0, 5), 1);
    EXPECT_EQ(gcd64(INT64_MIN, 4), 4);
}

TEST_F(ExprTest, BracketStatementOverLimitIsRefused) {
    std::string s = "[X=1+" + std::string(120, '1') + "|X]+2";
    EXPECT_EQ(output_of([&] { EXPECT_EQ(eval(s.c_str()), "2/1"); }), "err ");
    EXPECT_EQ(read("X"), "0/1");
}

TEST_F(ExprTest, NormaliseLine) {
    char line[64];
    strcpy(line, "a = b + 1");
    EXPECT_EQ(normalise_line(line), 6);
    EXPECT_STREQ(line, "A=B+1");
    strcpy(line, "B<-C;set B");
    normalise_line(line);
    EXPECT_STREQ(line, "B=C");
    strcpy(line, "B<=C");
    normalise_line(line);
    EXPECT_STREQ(line, "B<=C");
    // The arrow assigns only where a target ends, never inside a condition.
    strcpy(line, "IF(A<-5)B<-1,C<-2");
    normalise_line(line);
    EXPECT_STREQ(line, "IF(A<-5)B=1,C=2");
    strcpy(line, ".X:X<-5");
    normalise_line(line);
    EXPECT_STREQ(line, ".X:X<-5");
    for (const char *bad : {"A=(1+2", "A=1+2)", "A=1?2", "A=1\t+2", "A=\xe9"}) {
        strcpy(line, bad);
        EXPECT_EQ(normalise_line(line), 2) << bad;
        EXPECT_STREQ(line, ";");
    }
    strcpy(line, "i.a\"Your (value; \"");
    normalise_line(line);
    EXPECT_STREQ(line, "I.A\"Your (value; \"");
}

// A voided line says why: unbalanced parentheses, or the first character
// outside the alphabet.
TEST_F(ExprTest, NormaliseLineFaults) {
    char line[64];
    int fault = -1;
    unsigned char bad = 1;
    struct Case {
        const char *text;
        int fault;
        unsigned char bad;
    };
    for (const Case &c : {Case{"A=SQRT(2", LINE_PARENTHESES, 0}, Case{"A=1+2)", LINE_PARENTHESES, 0},
                          Case{"A=1?2", LINE_CHARACTER, '?'}, Case{"A=1\t+2", LINE_CHARACTER, '\t'},
                          Case{"A=(1_2", LINE_CHARACTER, '_'}, Case{"A=(1)", LINE_CLEAN, 0},
                          Case{"I.A\"(?_\"", LINE_CLEAN, 0}}) {
        strcpy(line, c.text);
        normalise_line_checked(line, &fault, &bad);
        EXPECT_EQ(fault, c.fault) << c.text;
        EXPECT_EQ(bad, c.bad) << c.text;
    }
}

// The file name of a file command stays as typed (blanks around it dropped,
// a comment still cut); elsewhere the line is upper-cased as before.
TEST_F(ExprTest, NormaliseKeepsFileNames) {
    char line[64];
    struct Case {
        const char *typed;
        const char *normalised;
    };
    for (const Case &c : {Case{"lc: My data_1.csv ;load", "LC:My data_1.csv"}, Case{"wc:c12,out.Txt", "WC:c12,out.Txt"},
                          Case{"l:1,calc.txt", "L:1,calc.txt"}, Case{"#fw:Out.txt", "#FW:Out.txt"},
                          Case{"#fr:in.txt", "#FR:in.txt"}, Case{"#run:next.txt", "#RUN:next.txt"},
                          Case{"#fw", "#FW"}, Case{"#a:3", "#A:3"}, Case{"p.a:b", "P.A:B"},
                          Case{"a=lc:x", "A=LC:X"}}) {
        strcpy(line, c.typed);
        normalise_line(line);
        EXPECT_STREQ(line, c.normalised) << c.typed;
    }
}

TEST_F(ExprTest, NormaliseLineCutsAtLimit) {
    std::string big(8 * 200 + 50, '1');
    std::vector<char> buffer(big.begin(), big.end());
    buffer.push_back(0);
    EXPECT_EQ(normalise_line(buffer.data()), 0);
    EXPECT_EQ(strlen(buffer.data()), 8u * 200 - 1);
}

TEST_F(ExprTest, TextVariables) {
    char line[STATEMENT_BUFFER];
    EXPECT_EQ(run("F$=sin (x)"), 10);
    EXPECT_STREQ(text_vars[5], "SIN(X)");
    strcpy(line, "A=F$*2,F$=1");
    EXPECT_EQ(expand_text_variables(line), 15);
    EXPECT_STREQ(line, "A=SIN(X)*2,F$=1");
    // The ~ form needs no `=` anywhere in the statement.
    int code = 0;
    run("G$~1+2", &code);
    EXPECT_STREQ(text_vars[6], "1+2");
    EXPECT_EQ(code, 0);
    // Text is never expanded twice.
    strcpy(text_vars[7], "H$H$");
    strcpy(line, "H$");
    expand_text_variables(line);
    EXPECT_STREQ(line, "H$H$");
}

TEST_F(ExprTest, TextVariableLimits) {
    (void)core_start(1000);  // lines of up to 8000 bytes reach the 4096-byte buffers
    std::vector<char> line(STATEMENT_BUFFER + 16, 'Z');
    std::string long_text = "K$=" + std::string(5000, '7');
    run(long_text.c_str());
    EXPECT_EQ(strlen(text_vars[10]), size_t(STATEMENT_BUFFER - 1));
    // Expansion past the buffer voids the statement instead of writing on.
    strcpy(line.data(), "A=K$+K$");
    line[STATEMENT_BUFFER] = 'Q';  // sentinel just past the buffer
    EXPECT_EQ(output_of([&] { expand_text_variables(line.data()); }), "txt-ovf \n");
    EXPECT_STREQ(line.data(), ";");
    EXPECT_EQ(line[STATEMENT_BUFFER], 'Q');
}

TEST_F(ExprTest, SplitCondition) {
    char target[64];
    char op = 'x';
    EXPECT_EQ(split_condition("A<B)DO", target, &op), 3);
    EXPECT_STREQ(target, "A-(B),");
    EXPECT_EQ(op, '<');
    EXPECT_EQ(split_condition("(A+1)>B)DO", target, &op), 7);
    EXPECT_STREQ(target, "(A+1)-(B),");
    EXPECT_EQ(split_condition("2*X-6", target, &op), 5);
    EXPECT_STREQ(target, "2*X-6");
    EXPECT_EQ(op, 0);
    EXPECT_EQ(split_condition("A>=5)B=1", target, &op), 4);
    EXPECT_STREQ(target, "A-(5),");
    EXPECT_EQ(op, OP_AT_LEAST);
    split_condition("A<=-5)B=1", target, &op);
    EXPECT_STREQ(target, "A-(-5),");
    EXPECT_EQ(op, OP_AT_MOST);
}

TEST_F(ExprTest, StatementBoundaries) {
    int code = 0;
    // Only the `=` of the current statement makes an assignment.
    EXPECT_EQ(run("2+3,B=7", &code), 4);
    EXPECT_EQ(code, 71);
    EXPECT_EQ(read("&E"), "5/1");
    EXPECT_EQ(read("B"), "0/1");
    code = 0;
    EXPECT_EQ(run("A=5,B=A+1", &code), 3);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(run("B=A+1"), 5);
    EXPECT_EQ(read("B"), "6/1");
    EXPECT_EQ(run("&E=4", &code), 4);
    EXPECT_EQ(code, 71);
    run("-&C=5");
    EXPECT_EQ(read("&C"), "-5/1");
}

TEST_F(ExprTest, MalformedStatementsAreRefused) {
    EXPECT_EQ(output_of([] { EXPECT_EQ(run(".+5:X"), 0); }), "err ");
    EXPECT_EQ(output_of([] { EXPECT_EQ(run("&F=3"), 0); }), "err ");
    EXPECT_EQ(read("&E"), "0/1");
    run("A=2");
    EXPECT_EQ(output_of([] { EXPECT_EQ(run(".A-1:A1"), 0); }), "val-ovf \n");
    EXPECT_EQ(read("A"), "2/1");
    EXPECT_EQ(output_of([] { run(".X5"); }), "");  // prefix not closed by ':'
}

TEST_F(ExprTest, LinearSolverComparesValues) {
    // f(0) = 1/2 and f(1) = 1/3 have equal numerators, yet the root is 3.
    EXPECT_EQ(output_of([] { run(".X:1/2-X/6"); }), "");
    EXPECT_EQ(read("X"), "3/1");
    EXPECT_EQ(output_of([] { run(".X:5"); }), "No solutions.\n");
    EXPECT_EQ(read("X"), "3/1");  // no root: the target keeps its value
}

TEST_F(ExprTest, SolverChecksTheFitAtAFurtherPoint) {
    run("X=9");
    EXPECT_EQ(output_of([] { run(".+X:X^3-8"); }), "not quadratic\n");
    EXPECT_EQ(output_of([] { run(".X:2^X-8"); }), "not linear\n");
    EXPECT_EQ(output_of([] { run(".X:X^2"); }), "not linear\n");
    EXPECT_EQ(read("X"), "9/1");
    // Truncated values of a true line or parabola still pass the check.
    EXPECT_EQ(output_of([] { run(".X:PI*X-1"); }), "");
    EXPECT_EQ(output_of([] { run(".+X:SQR2*X^2-1"); }), "");
    run(".+X:2*X^2-8");
    EXPECT_EQ(read("X"), "2/1");
}

TEST_F(ExprTest, FailedStatementKeepsItsTarget) {
    run("A=7");
    for (const char *bad : {"A=2*", "A=1+", "A=5+2#", "A=(-3)!", "A=2.5!", "A=5%0"}) {
        std::string out = output_of([bad] { run(bad); });
        EXPECT_FALSE(out.empty()) << bad;
        EXPECT_EQ(read("A"), "7/1") << bad;
    }
    int code = 0;
    output_of([&code] { run("1+", &code); });
    EXPECT_EQ(code, 0);  // nothing to list
    // The notices with a defined value still store it.
    EXPECT_EQ(output_of([] { run("A=1/0"); }), "{div0}\n");
    EXPECT_EQ(read("A"), "0/1");
}

TEST_F(ExprTest, IntegerOperatorsAndFactorials) {
    EXPECT_EQ(eval("(-7)%3"), "-1/1");
    EXPECT_EQ(eval("(-7)%(-3)"), "-1/1");
    EXPECT_EQ(eval("7%(-3)"), "1/1");
    EXPECT_EQ(eval("(-6)%3"), "0/1");
    EXPECT_EQ(eval("2G4G6"), "2/1");
    EXPECT_EQ(eval("2L3L4"), "12/1");
    EXPECT_EQ(eval("(1/6)L(1/4)"), "1/2");
    EXPECT_EQ(eval("0!"), "1/1");
    EXPECT_EQ(eval("0!!"), "1/1");
    EXPECT_EQ(eval("2PI*0+5C2"), "10/1");
    EXPECT_EQ(eval("3(1+1)"), "6/1");
    EXPECT_EQ(eval("(4/9)^(3/2)"), "8/27");
}

TEST_F(ExprTest, QuadraticLeavesCoefficients) {
    run(".-X:X^2-5*X+6");
    EXPECT_EQ(read("X"), "2/1");
    EXPECT_EQ(ratio(&reg_frac[26]), "-5/1");
    EXPECT_EQ(ratio(&reg_frac[27]), "6/1");
    EXPECT_EQ(ratio(&reg_frac[29]), "1/1");
    run("..X:4*X^2-1");
    EXPECT_EQ(read("X"), "1/2");
    EXPECT_EQ(output_of([] { run(".+X:5"); }), "No solutions.\n");  // a = b = 0
    run(".+Y[1+1]:Y2^2-9");
    EXPECT_EQ(read("Y2"), "3/1");
}

TEST_F(ExprTest, EquationInsideBracketKeepsOuterTerm) {
    EXPECT_EQ(eval("3*[.X:2*X-6|X+1]*2"), "24/1");
    EXPECT_EQ(eval("1+[.+X:X^2-4|X]"), "3/1");
    EXPECT_EQ(read("X"), "2/1");
}

// ------------------------------------------------ refusals and interrupts

// |n| as a library integer, read limb by limb.
void to_mpz(mpz_t z, BigNum *n) {
    mpz_set_ui(z, 0);
    for (int k = n->used - 1; k >= 0; k--) {
        mpz_mul_ui(z, z, 100000000);
        mpz_add_ui(z, z, static_cast<unsigned long>(limb(n, k)));
    }
}

TEST_F(ExprTest, RefusedPowersGiveZeroNotAPlausibleValue) {
    EXPECT_EQ(output_of([] { EXPECT_EQ(eval("2^(10^12)"), "0/1"); }), "prod_ovf\n");
    EXPECT_EQ(output_of([] { EXPECT_EQ(eval("5+2*2^(10^12)"), "5/1"); }), "prod_ovf\n");
    EXPECT_EQ(output_of([] { EXPECT_EQ(eval("3^99999999"), "0/1"); }), "prod_ovf\n");
    // A decimal shift with no room for its result.
    EXPECT_EQ(output_of([] { EXPECT_EQ(eval("10^1700"), "0/1"); }), "err ");
    EXPECT_EQ(output_of([] { EXPECT_EQ(eval("1+3*10^1595"), "1/1"); }), "err ");
    EXPECT_EQ(output_of([] { eval_group("3*10^1590", &work_frac[0], 1); }), "");
    EXPECT_EQ(work_frac[0].num->used, 199);
    // A huge exponent on an inexact base below one is a tiny value, not a
    // refusal: 4 plus it truncates to 4.
    EXPECT_EQ(output_of([] {
        Fraction *f = &work_frac[0];
        fraction_init(f);
        eval_certain("4+(1/SQRT(2))^(10^12)", f, 1, false);
        EXPECT_EQ(ratio(f), "4/1");
    }), "");
}

TEST_F(ExprTest, PermutationsOfManyFactorsAreComputedOrRefused) {
    mpz_t got, want;
    mpz_inits(got, want, nullptr);
    for (const char *text : {"300P250", "300C250", "1000P201"}) {
        SCOPED_TRACE(text);
        unsigned long u = std::stoul(text), r = std::stoul(strpbrk(text, "CP") + 1);
        Fraction *f = &work_frac[0];
        fraction_init(f);
        EXPECT_EQ(output_of([&] { eval_group(text, f, 1); }), "");
        to_mpz(got, f->num);
        if (strchr(text, 'C')) {
            mpz_bin_uiui(want, u, r);
        } else {
            mpz_fac_ui(want, u);
            mpz_t low;
            mpz_init(low);
            mpz_fac_ui(low, u - r);
            mpz_divexact(want, want, low);
            mpz_clear(low);
        }
        EXPECT_EQ(mpz_cmp(got, want), 0);
    }
    mpz_clears(got, want, nullptr);
    EXPECT_EQ(output_of([] { EXPECT_EQ(eval("99999999P99999"), "0/1"); }), "prod_ovf\n");
    EXPECT_EQ(output_of([] { EXPECT_EQ(eval("1000000000P1000000000"), "0/1"); }), "prod_ovf\n");
    EXPECT_EQ(eval("5P9"), "0/1");
    EXPECT_EQ(eval("9P1"), "9/1");
}

TEST_F(ExprTest, LongRunsOfFixedPointProductsStayComputable) {
    // Each fixed-point product adds four fraction limbs; these runs would
    // outgrow 200 limbs although the values are small.
    auto digits = [](const char *text) {
        Fraction *f = &work_frac[0];
        fraction_init(f);
        std::string out = output_of([&] { eval_certain(text, f, 1, true); });
        EXPECT_EQ(out, "") << text;
        mpz_t z;
        mpz_init(z);
        to_mpz(z, f->num);
        std::vector<char> buffer(mpz_sizeinbase(z, 10) + 2);
        std::string v = mpz_get_str(buffer.data(), 10, z);
        mpz_clear(z);
        return std::to_string(f->num->frac_limbs) + ":" + v.substr(0, 12);
    };
    EXPECT_EQ(digits("SQRT(2)^60"), "0:1073741824");
    EXPECT_EQ(digits("2^0.9999999999"), "4:199999999986");
    EXPECT_EQ(digits("3^0.9999999999999999"), "4:299999999999");
    EXPECT_EQ(digits("SQRT(2)^20"), "0:1024");
}

// Polls of the number core while `text` is evaluated: every operation on
// the records and every stage of a long product counts one.
int polls_of(const char *text) {
    uint64_t before = core.polls;
    output_of([&] { eval_group(text, &work_frac[0], 1); });
    return int(core.polls - before);
}

// What evaluating `text` prints, with its value ("num/den") after a bar.
std::string refusal_of(const char *text) {
    std::string value;
    std::string printed = output_of([&] { value = eval(text); });
    return printed + "|" + value;
}

TEST_F(ExprTest, HopelessProductsAreRefusedBeforeAnyProduct) {
    // Refused at once with 0 (were the products run, the test would not end).
    EXPECT_EQ(refusal_of("99999999!"), "prod_ovf\n|0/1");
    EXPECT_EQ(refusal_of("99999999!!"), "prod_ovf\n|0/1");
    EXPECT_EQ(refusal_of("3^99999999"), "prod_ovf\n|0/1");
    EXPECT_EQ(refusal_of("1.5^99999999"), "prod_ovf\n|0/1");
    // Only reading the operand counts: no product is started.
    EXPECT_EQ(polls_of("99999999!"), polls_of("99999999"));
    EXPECT_EQ(polls_of("99999999P99999"), polls_of("99999999"));
    EXPECT_LE(polls_of("3^99999999"), polls_of("3") + polls_of("99999999"));
    // Just below the boundary the products still run: 662! fits 200 limbs.
    EXPECT_EQ(output_of([] { eval_group("662!", &work_frac[0], 1); }), "");
    EXPECT_GT(work_frac[0].num->used, 190);
    EXPECT_GT(polls_of("662!"), polls_of("662"));
}

TEST_F(ExprTest, SolverStoppedByCtrlCKeepsItsTargetAndWorksAfter) {
    run("X=7");
    interrupt_requested = 1;
    int code = 0;
    std::string printed = output_of([&] { EXPECT_EQ(run(".+X:X^2-5*X+6", &code), 0); });
    interrupt_requested = 0;
    core.status = STATUS_OK;
    EXPECT_EQ(code, CODE_INTERRUPTED);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(read("X"), "7/1");  // no trial value and no root stored
    EXPECT_EQ(eval("3*[.X:2*X-6|X+1]*2"), "24/1");
    run(".-X:X^2-5*X+6");
    EXPECT_EQ(read("X"), "2/1");
}

TEST_F(ExprTest, InterruptedStatementsStoreAndSayNothing) {
    run("A=5");
    run("B3=4");
    interrupt_requested = 1;
    // Each would print a message or store a value; stopped, none does.
    for (const char *text : {"A=1/0", "B3=SQR(-4)", "LN(0)", "A=2^3^2", "A=ITG(J,1,9,J)", "A=[B=2|B+1]"}) {
        int code = 0;
        int used = -1;
        EXPECT_EQ(output_of([&] { used = run(text, &code); }), "") << text;
        EXPECT_EQ(used, 0) << text;
        EXPECT_EQ(code, CODE_INTERRUPTED) << text;
    }
    interrupt_requested = 0;
    EXPECT_EQ(read("A"), "5/1");
    EXPECT_EQ(read("B3"), "4/1");
    EXPECT_EQ(read("B"), "0/1");
    EXPECT_EQ(read("J"), "0/1");  // the loop never ran
    // The statements run as before once the flag is cleared.
    begin_statement();
    EXPECT_EQ(output_of([] { run("A=1/0"); }), "{div0}\n");
}

}  // namespace
