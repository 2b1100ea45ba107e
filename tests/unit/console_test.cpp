// Script line reading and script loading: line ends, overlong lines refused
// whole, the end of the text, carriage-return folding, scripts that do not
// fit and files that are no scripts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "console/console.h"

namespace {

struct ScriptLines : ::testing::Test {
    char script[SCRIPT_MAX + 2];
    CalculatorState saved;
    void SetUp() override {
        saved = calc;
        memset(script, 0, sizeof script);
        calc.script_buffer = script;
        calc.script_buffer_size = sizeof script;
    }
    void TearDown() override { calc = saved; }
    void use(const char *text) {
        strcpy(script, text);
        calc.script_length = int(strlen(text));
        calc.script_cursor = script;
    }
    // Reads one line into `out` and advances the cursor as the input loop does.
    int next(char *out, size_t room) {
        int used = read_line(out, room);
        calc.script_cursor += used;
        return used;
    }
};

TEST_F(ScriptLines, AnyControlCharacterEndsALine) {
    use("A=1\tB=2\nC\r");
    char line[64];
    EXPECT_EQ(next(line, sizeof line), 4);
    EXPECT_STREQ(line, "A=1");
    EXPECT_EQ(next(line, sizeof line), 4);
    EXPECT_STREQ(line, "B=2");
    EXPECT_EQ(next(line, sizeof line), 2);
    EXPECT_STREQ(line, "C");
}

TEST_F(ScriptLines, LastLineWithoutLineEndConsumesTheTerminator) {
    use("AB");
    char line[64];
    EXPECT_EQ(next(line, sizeof line), 3);
    EXPECT_STREQ(line, "AB");
    // Past the end every line is empty and nothing more is consumed.
    strcpy(line, "old");
    EXPECT_EQ(next(line, sizeof line), 0);
    EXPECT_STREQ(line, "");
    EXPECT_EQ(calc.script_cursor, script + 3);
}

TEST_F(ScriptLines, OverlongLineIsRefusedWholeAndConsumed) {
    use("ABCDEFG\nX\n");
    char line[8];
    memset(line, '#', sizeof line);
    EXPECT_EQ(next(line, 4), 8);
    EXPECT_TRUE(calc.line_refused);
    EXPECT_STREQ(line, "");  // no prefix of it is run
    EXPECT_EQ(line[4], '#');  // nothing written past the room given
    EXPECT_EQ(next(line, 4), 2);
    EXPECT_FALSE(calc.line_refused);
    EXPECT_STREQ(line, "X");
    // A line of exactly room - 1 characters still fits.
    use("ABC\n");
    EXPECT_EQ(next(line, 4), 4);
    EXPECT_FALSE(calc.line_refused);
    EXPECT_STREQ(line, "ABC");
}

TEST_F(ScriptLines, LoadFoldsCarriageReturnLineFeed) {
    const char *name = "console_test_script.txt";
    FILE *f = fopen(name, "wb");
    ASSERT_NE(f, nullptr);
    fputs("A=1\r\nB=2\r\n\rC", f);
    fclose(f);
    ASSERT_EQ(load_script(name), 0);
    remove(name);
    EXPECT_TRUE(calc.script_opened);
    EXPECT_EQ(calc.script_length, 10);
    EXPECT_EQ(memcmp(script, "A=1\nB=2\n\rC\0\0", 12), 0);
    EXPECT_EQ(calc.script_cursor, script);
}

// Writes `n` bytes 'x' to `name`.
static void write_bytes(const char *name, int n) {
    FILE *f = fopen(name, "wb");
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < n; i++) fputc('x', f);
    fclose(f);
}

TEST_F(ScriptLines, AScriptThatFillsTheBufferIsLoadedWholeOneByteMoreIsRefused) {
    const char *name = "console_test_long.txt";
    write_bytes(name, SCRIPT_MAX);
    ASSERT_EQ(load_script(name), 0);
    EXPECT_EQ(calc.script_length, SCRIPT_MAX);
    EXPECT_EQ(script[SCRIPT_MAX], 0);
    EXPECT_EQ(script[SCRIPT_MAX + 1], 0);

    // The running script stays as it was when a longer one is refused.
    write_bytes(name, SCRIPT_MAX + 1);
    char *cursor = calc.script_cursor;
    EXPECT_EQ(load_script(name), -2);
    remove(name);
    EXPECT_FALSE(calc.script_opened);
    EXPECT_EQ(calc.script_cursor, cursor);
    EXPECT_EQ(calc.script_length, SCRIPT_MAX);
}

TEST_F(ScriptLines, ADirectoryIsNoScript) {
    calc.script_opened = true;
    EXPECT_EQ(load_script("."), -1);
    EXPECT_FALSE(calc.script_opened);
}

TEST_F(ScriptLines, LoadOfAMissingFileClearsScriptOpened) {
    calc.script_opened = true;
    EXPECT_EQ(load_script("no/such/file.txt"), -1);
    EXPECT_FALSE(calc.script_opened);
}

}  // namespace
