// Command interpreter and setting commands driven through run_command, with
// registers set up directly so that only the commands themselves are exercised.
#include <gtest/gtest.h>

#include <string>

#include "command_lines.h"
#include "console/console.h"
#include "expr/expr.h"
#include "number/bignum.h"

namespace {

class CommandsTest : public CommandLines {
protected:

    // Variable `reg` := num / den, held the way variables hold values.
    static void set_variable(int reg, int32_t num, int64_t den, int frac = 0) {
        set_int32(reg_num[reg], num);
        reg_num[reg]->frac_limbs = 0;
        if (frac > 0) {
            (void)shift_limbs(reg_num[reg], frac);  // a one-limb value always has room
            reg_num[reg]->frac_limbs = frac;
        }
        reg_den[reg]->small_den = den;
    }
};

TEST_F(CommandsTest, RepeatCountForms) {
    struct Case {
        const char *line;
        int count;
    } cases[] = {{"A~3", 3},           {"A~0", 1},          {"A~", 1},
                 {"X~12", 12},         {"A~123456", 123456}, {"A~2147483647", 2147483647}};
    for (const Case &c : cases) {
        calc.replay_position = -1;
        run(c.line);
        EXPECT_EQ(calc.repeat_count, c.count) << c.line;
        EXPECT_EQ(calc.replay_position, 0) << c.line;
    }
    set_variable(1, 4, 1);
    run("A~B");
    EXPECT_EQ(calc.repeat_count, 4);
    // Anything but a whole number from 0 to 2^31 - 1 is refused: no pass.
    const std::string refused = "repeat count must be a whole number from 0 to 2147483647; no pass\n";
    for (const char *line : {"A~1.", "A~.2", "A~2.5", "A~2147483648", "A~-1", "A~1X"}) {
        calc.replay_position = -1;
        EXPECT_EQ(run(line), refused) << line;
        EXPECT_EQ(calc.replay_position, -1) << line;
    }
    set_int64(reg_num[1], 10000000000LL);
    calc.replay_position = -1;
    EXPECT_EQ(run("A~B"), refused);
    set_variable(1, 5, 2);
    EXPECT_EQ(run("A~B"), refused);
    set_variable(1, -3, 1);
    EXPECT_EQ(run("A~B"), refused);
    EXPECT_EQ(calc.replay_position, -1);
}

TEST_F(CommandsTest, CompareUsesWholeValues) {
    set_variable(0, 1, 3);
    set_variable(1, 1, 2);
    EXPECT_EQ(run("O.A,B"), "A<B\n");
    EXPECT_EQ(run("O.B,A"), "B>A\n");
    set_variable(1, 2, 6);
    EXPECT_EQ(run("O.A,B"), "A=B\n");
    set_variable(0, -7, 2);  // signed: -7/2 < 1/3, though its magnitude is larger
    EXPECT_EQ(run("O.A,B"), "A<B\n");
    EXPECT_EQ(run("O.B,A"), "B>A\n");
    set_variable(1, -3, 1);  // both negative: -7/2 < -3
    EXPECT_EQ(run("O.A,B"), "A<B\n");
    set_variable(1, 7, -2);  // a negative denominator carries the sign
    EXPECT_EQ(run("O.A,B"), "A=B\n");
    EXPECT_EQ(run("O.AB"), "");
    EXPECT_EQ(run("O.A,5"), "");
    EXPECT_EQ(run("O.A"), "");
}

TEST_F(CommandsTest, CompareAlignsFractionLimbs) {
    // 2 held with four fraction limbs over 1 against 2 and against 5/2.
    set_variable(0, 2, 1, 4);
    set_variable(1, 2, 1);
    EXPECT_EQ(run("O.A,B"), "A=B\n");
    set_variable(1, 5, 2);
    EXPECT_EQ(run("O.A,B"), "A<B\n");
    // Denominators of up to 64 bits multiply in without overflow.
    set_variable(0, 99999999, 999999999999999999LL);
    set_variable(1, 99999998, 999999999999999998LL);
    EXPECT_EQ(run("O.A,B"), "A>B\n");
}

TEST_F(CommandsTest, CurrencyChaining) {
    EXPECT_EQ(run("T."), "");
    EXPECT_EQ(run("T.EUR/USD"), "");
    EXPECT_EQ(run("T.JPY/EUR"), "J,E,U\n");
    EXPECT_EQ(run("T.USD/JPY"), "E,U,J\n");
    EXPECT_EQ(run("T.EUR/JPY"), "E,j,u\n");
    EXPECT_EQ(run("T.JPY/USD"), "j,e,U\n");
    EXPECT_EQ(run("T.XAU/JPY"), "");
    EXPECT_EQ(run("T."), "");
    EXPECT_EQ(run("T.-USD,EUR"), "");
    EXPECT_EQ(run("T.JPYEUR"), "J,E,U\n");
    EXPECT_EQ(run("T.EUR/GBP"), "E,_,u\n");
    run("T.");
}

TEST_F(CommandsTest, DisplayModes) {
    EXPECT_EQ(run("V.F"), "VF_OK\n");
    EXPECT_EQ(display_mode, -1);
    fixed_point_limbs = 7;
    EXPECT_EQ(run("V.R"), "VR_OK\n");
    EXPECT_EQ(display_mode, 7);
    EXPECT_EQ(run("V.20"), "");
    EXPECT_EQ(display_mode, 20);
    EXPECT_EQ(run("V.-5"), "");
    EXPECT_GE(display_mode, 0);
}

TEST_F(CommandsTest, WidthAndFixedPointSettings) {
    EXPECT_EQ(run("#NN:20"), "");
    EXPECT_EQ(element_width, 3);
    for (int r = 0; r < REGISTERS; r++) EXPECT_EQ(reg_num[r]->elem_width, 3);
    EXPECT_EQ(run("#FF:100"), "");
    EXPECT_EQ(fixed_point_limbs, 13);
    EXPECT_EQ(run("#FN:16"), "");
    EXPECT_EQ(fixed_point_limbs, 2);
    EXPECT_EQ(element_width, 4);
    EXPECT_EQ(reg_num[29]->elem_width, 4);
    EXPECT_EQ(run("#NF:24"), "");
    EXPECT_EQ(fixed_point_limbs, 3);
    EXPECT_EQ(element_width, 5);
    EXPECT_EQ(run("#F:5"), "");
    EXPECT_EQ(reg_num[5]->elem_width, 5);
    EXPECT_EQ(fixed_point_limbs, 3);  // a letter and ':' is the per-variable width
    EXPECT_EQ(run("#A:3"), "");
    EXPECT_EQ(reg_num[0]->elem_width, 3);
    EXPECT_EQ(run("#RON"), "");
    EXPECT_EQ(run("#ROF"), "");
}

TEST_F(CommandsTest, SettingsOutsideTheStorageAreRefused) {
    const char *refused[] = {"#NN:8", "#NN:-30", "#NN:1000", "#FF:-20", "#FF:0", "#FF:100000",
                             "#FN:2000", "#A:-3", "#A:0", "#A:1", "#B:500", "#FF:99999999999"};
    for (const char *line : refused) {
        EXPECT_EQ(run(line).rfind("value_out_of_range", 0), 0u) << line;
        EXPECT_EQ(fixed_point_limbs, 4) << line;
        EXPECT_EQ(element_width, 6) << line;
        EXPECT_EQ(reg_num[0]->elem_width, 6) << line;
        EXPECT_EQ(reg_num[1]->elem_width, 6) << line;
    }
}

TEST_F(CommandsTest, DecimalShift) {
    set_variable(0, 5, 1);
    EXPECT_EQ(run("Z.A9"), "");
    EXPECT_EQ(reg_num[0]->used, 2);
    EXPECT_EQ(limb(reg_num[0], 1), 50);
    EXPECT_EQ(limb(reg_num[0], 0), 0);
    EXPECT_EQ(run("Z.A2000"), "err ");
    EXPECT_EQ(limb(reg_num[0], 1), 50);
    EXPECT_EQ(run("Z.A99999999999999"), "err ");
    EXPECT_EQ(run("Z.a9"), "");
}

TEST_F(CommandsTest, TableCommandsReportMissingFiles) {
    EXPECT_EQ(run("LC:/NONEXISTENT-DIR/T.TXT"), "file_not_found\n");
    EXPECT_EQ(run("WC:C2,/NONEXISTENT-DIR/T.TXT"), "file_protected\n");
    EXPECT_EQ(run("WC:C2"), "table_syntax\n");
    EXPECT_EQ(run("WC:22,X.TXT"), "table_syntax\n");
}

TEST_F(CommandsTest, ConversionActsOnTheVariableBeforeAMinus) {
    set_variable(0, 7, 2);
    EXPECT_EQ(run("C.A-5"), "");
    EXPECT_EQ(reg_den[0]->small_den, 1);
    EXPECT_EQ(limb(reg_num[0], 0), 3);
}

// With two slots per element the fraction-limb mark lands in slot 0, where a
// value between -199999999 and -1 means a denominator; such a store must be
// refused instead of reading back as a different number.
TEST_F(CommandsTest, TwoSlotElementRefusesAMarkThatReadsAsADenominator) {
    reg_num[0]->elem_width = 2;
    Fraction *w = &work_frac[3];
    Fraction back = {work_int(5), work_int(6), 0};
    for (int f : {29, 30, 31}) {
        fraction_init(w);
        set_int64(w->num, 9000000012345678LL);  // limb 1 is 90000000
        w->num->frac_limbs = f;
        testing::internal::CaptureStdout();
        int stored = store_value(0, 1, w);
        std::string said = testing::internal::GetCapturedStdout();
        if (f == 29) {
            ASSERT_EQ(stored, 0);
            read_value("A1", &back);
            EXPECT_EQ(back.num->frac_limbs, 29);
            EXPECT_EQ(limb(back.num, 1), 90000000);
            EXPECT_EQ(limb(back.num, 0), 12345678);
            EXPECT_EQ(limb(back.den, 0), 1);
        } else {
            EXPECT_EQ(stored, -1) << f;
            EXPECT_EQ(said, "val-ovf \n") << f;
        }
    }
    reg_num[0]->elem_width = 6;
}

}  // namespace
