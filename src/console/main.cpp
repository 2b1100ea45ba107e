// Program entry: binds the multiple precision library, then hands the
// command line over to the calculator.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "../engine/gmp_api.h"
#include "../engine/threads.h"
#include "../factor/factor.h"
#include "../factor/messages.h"
#include "console.h"
#include "messages.h"

// Whether the argument `text` names a script file: after a leading preset
// digit the name starts at the third character.
static bool names_file(const char *text) {
    if (text[0] >= '0' && text[0] <= '9') return text[1] != 0 && text[2] != 0;
    return text[0] != 0;
}

// The thread count of `--threads N`: N a whole number from 1 to
// THREADS_MAX, written in plain digits; 0 for anything else.
static int thread_count_of(const char *text) {
    int n = 0;
    for (const char *c = text; *c; c++) {
        if (*c < '0' || *c > '9' || n > THREADS_MAX) return 0;
        n = n * 10 + (*c - '0');
    }
    return n <= THREADS_MAX ? n : 0;
}

// `--threads N` first sets the engine's thread count (a bad N prints why on
// the error stream and returns 2); the rest is one of the forms below.
// One argument: preset digit and/or script name, or --help / --version,
// which print their text and end at once. Two arguments: the first character
// of the first selects the mode, the second names the script. A command line
// that would run nothing it names (an argument beginning with '-', two
// arguments whose mode skips the script or whose second names no file, three
// or more arguments) prints the usage on the error stream and returns 2.
// A mode-4 call that returned ends in the call on the first argument with
// the word count as mode. Returns 0 when it returns at all.
int main(int argc, char **argv) {
    if (argc >= 2 && strcmp(argv[1], "--threads") == 0) {
        int n = argc >= 3 ? thread_count_of(argv[2]) : 0;
        if (n == 0) {
            fprintf(stderr, MSG_BAD_THREADS, THREADS_MAX);
            return 2;
        }
        set_engine_threads(n);
        argv[2] = argv[0];
        argv += 2;
        argc -= 2;
    }
    if (argc == 2 && strcmp(argv[1], "--help") == 0) {
        print_usage(stdout);
        return 0;
    }
    // No form of the command line begins with '-': an unknown option gets
    // the usage, on the error stream, and the calculator does not start.
    for (int i = 1; i < argc; i++) {
        if (argv[i][0] == '-' && !(argc == 2 && strcmp(argv[i], "--version") == 0)) {
            fprintf(stderr, MSG_UNKNOWN_OPTION, argv[i]);
            print_usage(stderr);
            return 2;
        }
    }
    bool runs_nothing = argc > 3 || (argc == 3 && (argv[1][0] - '0' < 2 || !names_file(argv[2])));
    if (runs_nothing) {
        print_usage(stderr);
        return 2;
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        puts(MSG_VERSION);
        return 0;
    }
    // The test runs set VANTREL_NO_PROGRESS_MARKS: a factorisation that a
    // busy machine slows past the mark interval must print what it prints
    // on an idle one (the key and Ctrl-C still stop it).
    if (getenv("VANTREL_NO_PROGRESS_MARKS")) mark_interval_ms = LONG_MAX;
    bind_gmp();
    if (!gmp_ready()) fputs(MSG_NO_GMP, stdout);
    if (argc == 2) run_calculator(2, argv[1]);
    else if (argc == 3) run_calculator(argv[1][0] - '0', argv[2]);
    run_calculator(argc, argc > 1 ? argv[1] : nullptr);
    return 0;
}
