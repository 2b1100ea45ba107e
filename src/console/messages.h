// Fixed message texts of the console: start-up, the input loop, statement
// lines and listing, printed character for character.
#pragma once

#define MSG_VERSION "Vantrel 2026. 3.01"
#define MSG_BANNER MSG_VERSION " (%d digits,%d) \n"
#define MSG_FILE_NOT_FOUND "file not found."
#define MSG_REPLAY_ECHO "? %s\n"
#define MSG_PROMPT "? "
#define MSG_LISTING "%s=%s \n"
#define MSG_INEXACT ".."

// The number core's notices, printed by its sink (calculator.cpp); its
// refusals (STATUS_NO_ROOM) print MSG_PROD_OVF of expr/messages.h.
#define MSG_CROSS_SCALE "((cs))"
#define MSG_PERIOD_FAIL "gyr-byr"

// The help text printed for an empty console line, six lines.
#define MSG_HELP_1 "A=N  substitute N to A\n"
#define MSG_HELP_2 "F.N  factorize N \n"
#define MSG_HELP_3 "V.F  expresses as a fraction \n"
#define MSG_HELP_4 "V.n  expresses as a decimal \n"
#define MSG_HELP_5 "n means a number. N means a Variable. \n"
#define MSG_HELP_6 "#X:  eXit\n"

// The end of the fuller help (HELP).
#define MSG_HELP_PRECISION "Precision: %d digits; #FF: allows at most %d places at this preset.\n"
#define MSG_HELP_THREADS "Threads: vantrel --threads N ... computes on N threads (default: one per core).\n"
#define MSG_HELP_POINTER "An empty line shows the short help.\n"

// Failures the console detects itself.
#define MSG_NO_MEMORY "not enough memory for preset %d (%d limbs)\n"
#define MSG_NESTED_NO_MEMORY "not enough memory to run the file\n"
#define MSG_PRECISION_REFUSED "precision %d limbs exceeds the %d carved at start-up; kept %d\n"
#define MSG_NESTING_TOO_DEEP "files nested too deeply (at most %d)\n"
#define MSG_BLOCK_FULL "block store full\n"
#define MSG_STATEMENT_TOO_LONG "statement too long \n"
#define MSG_INTERRUPTED "interrupted\n"
#define MSG_LINE_TOO_LONG "line too long (%zu characters, at most %zu); not run\n"
#define MSG_UNBALANCED "unbalanced parentheses; line not run\n"
#define MSG_BAD_CHARACTER "character '%c' not allowed; line not run\n"
#define MSG_BAD_BYTE "character code %d not allowed; line not run\n"
#define MSG_SCRIPT_TOO_LONG "script %s too long (more than %zu bytes); not run\n"

#define MSG_UNKNOWN_OPTION "vantrel: unknown option %s\n"
#define MSG_BAD_THREADS "vantrel: --threads takes a whole number from 1 to %d\n"

// Command-line help (--help); the preset table is printed from the presets.
#define MSG_USAGE_HEAD \
    "Usage: vantrel [--threads N] [d | d,FILE | FILE | --help | --version]\n" \
    "Exact and very high precision calculator.\n" \
    "  (no argument)  %d digits\n" \
    "  d              preset 0-9:\n"
#define MSG_USAGE_PRESET "                   %d: %9d digits\n"
#define MSG_USAGE_TAIL \
    "  d,FILE         preset d, then run the script FILE\n" \
    "  FILE           run the script FILE (a first line A.d chooses the preset)\n" \
    "  m FILE         two words, m 2-9: run FILE at the default precision\n" \
    "A script that cannot be read ends the run (status 2) unless input is a terminal.\n"
#define MSG_USAGE_THREADS "  --threads N    first: compute on N threads, 1 to %d (default: one per core)\n"
#define MSG_USAGE_END \
    "  --help         this text\n" \
    "  --version      the version line\n" \
    "At the prompt \"? \": an empty line prints the help lines, HELP a fuller help;\n" \
    "#X:, QUIT and EXIT leave (as does the end of input, Ctrl-D at a terminal).\n"
