// Statistics over blocks, index loops, the equation solver, element tables
// written and read back, and #RUN:, driven through run_command as lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

#include "command_lines.h"
#include "console/console.h"
#include "expr/expr.h"
#include "number/bignum.h"

namespace {

class Statements : public CommandLines {
protected:
    void SetUp() override {
        CommandLines::SetUp();
        display_mode = -1;  // fractions listed as such
        for (int r = 0; r < REGISTERS; r++) {
            fraction_init(&reg_frac[r]);
            reg_den[r]->small_den = 1;
        }
        // A = 1 2 3 4, B = 2 A, C = 5 - A, D = 1 4 9 16.
        run("A1=1,A2=2,A3=3,A4=4");
        run("B1=2,B2=4,B3=6,B4=8");
        run("C1=4,C2=3,C3=2,C4=1");
        run("D1=1,D2=4,D3=9,D4=16");
    }

    // The listing of `expr` without the "expr=" in front and the blank line end.
    static std::string value(const char *expr) {
        std::string line = std::string("P.") + expr;
        std::string out = run(line.c_str());
        size_t eq = out.find('=');
        size_t end = out.rfind(" \n");
        if (eq == std::string::npos || end == std::string::npos || end < eq) return out;
        return out.substr(eq + 1, end - eq - 1);
    }

    // Each expression of `cases` is listed as its expected value.
    static void expect_values(std::initializer_list<std::pair<const char *, const char *>> cases) {
        for (const auto &c : cases) EXPECT_EQ(value(c.first), c.second) << c.first;
    }
};

TEST_F(Statements, BlockStatisticsAreExact) {
    expect_values({
        {"SUM[A1:A4]", " 10"},          {"AVG[A1:A4]", " 5/ 2"},
        {"QTY[A1:C4]", " 12"},          {"VAR[A1:A4]", " 5/ 4"},
        {"AVG[A1:B4]", " 15/ 4"},       {"SUM[A1:C2]", " 16"},
        {"COV[A1:A4,B]", " 5/ 2"},      {"COV[A1:A4,C]", "-5/ 4"},
        {"COR[A1:A4,B]", " 1"},         {"COR[A1:A4,C]", "-1"},
        {"VAR[D1:D4]", " 129/ 4"},      {"SUM[A4:A1]", " 10"},  // a reversed block
    });
}

TEST_F(Statements, StandardDeviationIsTheTruncatedRoot) {
    // sqrt(5/4) = 1.1180339887498948482045868343656381177...
    EXPECT_EQ(value("SDV[A1:A4]"), " 1.11803398874989484820458683436563");
    // A constant block: no spread, and no correlation to divide by.
    run("E1=7,E2=7");
    EXPECT_EQ(value("SDV[E1:E2]"), " 0");
    EXPECT_EQ(run("P.COR[E1:E2,A]"), "{div0}\nCOR[E1:E2,A]= 0 \n");
}

TEST_F(Statements, IndexLoops) {
    expect_values({
        {"ITG(K,1,10,1/K)", " 7381/ 2520"}, {"PRD(K,1,5,K)", " 120"},
        {"ITG(K,-2,2,K^2)", " 10"},         {"ITG(K,5,5,K)", " 5"},
        {"PRD(K,1,3,K+1/2)", " 105/ 8"},    {"ITG(K,1,4,A[K])", " 10"},
        {"ITG(K,1,3,PRD(J,1,2,K))", " 14"}, {"ITG(K,1,3,SUM[A1:A4])", " 30"},
    });
    // The loop variable is an ordinary variable: it is left at the last bound.
    run("ITG(K,1,7,K)");
    EXPECT_EQ(value("K"), " 7");
}

TEST_F(Statements, EquationSolver) {
    struct Case {
        const char *line, *want;
    } cases[] = {
        {".+X:X^2-2*X-3", " 3"},
        {".-X:X^2-2*X-3", "-1"},
        {".X:3*X-1", " 1/ 3"},
        {".-X:4*X^2-1", "-1/ 2"},
        {".+X:X^2-2", " 1.41421356237309504880168872420969"},
        // Functions inside the equation use the work registers as scratch.
        {".X:X-LOG10(1000)", " 3"},
        {".+X:X^2-VAR[A1:A4]*4", " 2.23606797749978969640917366873127"},
    };
    for (const Case &c : cases) {
        run(c.line);
        EXPECT_EQ(value("X"), c.want) << c.line;
    }
    // An element as the target.
    run(".X7:2*X7-1");
    EXPECT_EQ(value("X7"), " 1/ 2");
    // No root: the target keeps the last trial value the solver stored.
    EXPECT_EQ(run(".X:5"), "No solutions.\n");
}

// A scratch directory of the test's own, left on destruction.
struct ScratchDir {
    char path[64];
    char old[4096];
    ScratchDir() {
        snprintf(path, sizeof path, "/tmp/vantrel_tables_XXXXXX");
        EXPECT_NE(mkdtemp(path), nullptr);
        EXPECT_NE(getcwd(old, sizeof old), nullptr);
        EXPECT_EQ(chdir(path), 0);
    }
    ~ScratchDir() {
        EXPECT_EQ(chdir(old), 0);
        std::string cmd = std::string("rm -rf ") + path;
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
};

std::string file_text(const char *name) {
    std::string text;
    FILE *f = fopen(name, "r");
    if (!f) return "(missing)";
    int c;
    while ((c = fgetc(f)) != EOF) text += char(c);
    fclose(f);
    return text;
}

TEST_F(Statements, TablesWrittenAndReadBack) {
    ScratchDir dir;
    run("A1=-3/2,A2=7");
    EXPECT_EQ(run("WC:C2,T.CSV"), "");
    EXPECT_EQ(file_text("T.CSV"), "-1.5, 2, 4,\n 7, 4, 3,\n");
    // Read back, the first column lands in B, the second in C, ...
    EXPECT_EQ(run("LC:T.CSV"), "");
    EXPECT_EQ(value("B1"), "-3/ 2");
    EXPECT_EQ(value("C2"), " 4");
    EXPECT_EQ(value("D2"), " 3");
    // A failed write leaves the old table in place: the target is a directory.
    ASSERT_EQ(mkdir("D.CSV", 0700), 0);
    EXPECT_EQ(run("WC:A1,D.CSV"), "file_protected\n");
    EXPECT_EQ(access("D.CSV.wc-tmp", F_OK), -1);  // no temporary left behind
    EXPECT_EQ(run("LC:D.CSV"), "file_not_found\n");
    EXPECT_EQ(run("WC:A"), "table_syntax\n");
}

// Every command that computes hands Ctrl-C up as CODE_INTERRUPTED, printing,
// storing and writing nothing; the same lines work once the flag is cleared.
TEST_F(Statements, CtrlCStopsEveryComputingCommandSilently) {
    ScratchDir dir;
    run("A1=-3/2,A2=7,E=5,E1=2");
    FILE *f = fopen("T.CSV", "w");
    ASSERT_NE(f, nullptr);
    fputs("9,9\n", f);
    fclose(f);
    const char *lines[] = {"P.SUM[A1:A2]", "E=1/0",       "E1=LN(-1)",   "IF(1>0)DO",  "2+3,E=7",
                           "P.E1+1",       "F.2^64+1",    "C.E1",        "Q.E1",       "Z.E3",
                           "LC:T.CSV",     "WC:A2,W.CSV", ".+E:E^2-4",   "W.E"};
    interrupt_requested = 1;
    for (const char *text : lines) {
        char line[64];
        snprintf(line, sizeof line, "%s", text);
        testing::internal::CaptureStdout();
        int code = run_command(line);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << text;
        EXPECT_EQ(code, CODE_INTERRUPTED) << text;
    }
    interrupt_requested = 0;
    certify_reset();
    EXPECT_EQ(calc.replay_position, -1);  // IF(...)DO started no replay
    EXPECT_EQ(access("W.CSV", F_OK), -1);  // no table, and no temporary left behind
    EXPECT_EQ(access("W.CSV.wc-tmp", F_OK), -1);
    expect_values({{"E", " 5"}, {"E1", " 2"}, {"B1", " 2"}, {"SUM[A1:A2]", " 11/ 2"}});
}

TEST_F(Statements, RunReplacesTheScriptText) {
    ScratchDir dir;
    static char buffers[3 * (SCRIPT_MAX + 2)];
    CalculatorState saved = calc;
    calc.script_buffer = buffers;
    calc.script_buffer_size = sizeof buffers;
    calc.script_cursor = nullptr;
    FILE *f = fopen("S.TXT", "w");
    ASSERT_NE(f, nullptr);
    fputs("A=5\nP.A\n", f);
    fclose(f);
    EXPECT_EQ(run("#RUN:S.TXT"), "");
    EXPECT_TRUE(calc.script_opened);
    EXPECT_EQ(calc.script_cursor, buffers);
    EXPECT_EQ(calc.script_length, 8);
    EXPECT_EQ(std::string(buffers), "A=5\nP.A\n");
    // A missing file is reported and leaves the loaded text as it was.
    EXPECT_EQ(run("#RUN:NONE.TXT"), "file not found.\n");
    EXPECT_FALSE(calc.script_opened);
    EXPECT_EQ(std::string(buffers), "A=5\nP.A\n");
    calc = saved;
}

}  // namespace
