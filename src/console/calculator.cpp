// Start-up and the input loop: precision presets, the input buffers, script
// files and their header line, carving the pools, the banner, block capture
// and replay, nested runs of script files, and the orderly exit.
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

#include "../expr/expr.h"
#include "../expr/messages.h"
#include "console.h"
#include "../engine/scratch.h"
#include "../engine/threads.h"
#include "../kernels/real.h"
#include "messages.h"

// Lines are read normally (no replay) until the repeat command says otherwise.
static CalculatorState initial_state() {
    CalculatorState s = {};
    s.replay_position = -1;
    return s;
}
CalculatorState calc = initial_state();
FILE *output_file = nullptr;
FILE *input_file = nullptr;

static const int PRESETS[10] = {200,    700,    2000,    7000,    20000,
                                70000,  200000, 700000,  2000000, 7000000};
static const int DEFAULT_PRECISION = 70000;
static const int MAX_NESTING = 16;

// The state of the run at depth d while the run at depth d + 1 is active,
// restored when that run returns (at its end, or stopped by Ctrl-C).
static CalculatorState outer_states[MAX_NESTING];

// Settings a series raises while it runs, as they were when the current line
// started; restored when Ctrl-C stops that line.
static int line_precision, line_fixed_point_limbs;

// How a run of the input loop ended: its script finished (nested runs only),
// Ctrl-C stopped a line of a nested run (the outermost run recovers), or the
// session ended (fuzz builds; see session_ending).
enum RunEnd { RUN_FINISHED = 1, RUN_INTERRUPTED = 2, RUN_ENDED = 3 };

// Set by exit_calculator in fuzz builds; never set elsewhere.
static bool session_over = false;
bool session_ending() { return session_over; }

static void recover_after_interrupt();

// Precision the pools were carved with; 0 until then. Nested runs may lower
// `precision` but never raise it above this.
static int carved_precision = 0;

static int preset_index(int limbs) {
    for (int d = 0; d < 10; d++)
        if (PRESETS[d] == limbs) return d;
    return -1;
}

void print_usage(FILE *out) {
    fprintf(out, MSG_USAGE_HEAD, DEFAULT_PRECISION * 8);
    for (int d = 0; d < 10; d++) fprintf(out, MSG_USAGE_PRESET, d, PRESETS[d] * 8);
    fputs(MSG_USAGE_TAIL, out);
    fprintf(out, MSG_USAGE_THREADS, THREADS_MAX);
    fputs(MSG_USAGE_END, out);
}

int preset_limbs(int d) { return d >= 0 && d < 10 ? PRESETS[d] : 0; }

[[noreturn]] static void out_of_memory() {
    printf(MSG_NO_MEMORY, preset_index(precision), precision);
    fflush(stdout);
    exit(1);
}

// Takes preset d as the precision. Once the pools exist a preset above their
// capacity is refused with a message and the precision stays.
static void choose_preset(int d) {
    int limbs = PRESETS[d];
    if (carved_precision > 0 && limbs > carved_precision) {
        printf(MSG_PRECISION_REFUSED, limbs, carved_precision, precision);
        return;
    }
    precision = limbs;
}

// One zero-filled allocation cut into block store (8n bytes), script buffer
// (8n bytes, but never less than a whole script read plus two terminators)
// and line buffer (24n bytes). Returns the allocation, or null; `calc` is
// changed only on success.
static char *take_input_buffers(int n) {
    size_t block = size_t(8) * size_t(n);
    size_t script = block > size_t(SCRIPT_MAX + 2) ? block : size_t(SCRIPT_MAX + 2);
    size_t line = size_t(24) * size_t(n);
    size_t total = block + script + line;
    char *base = static_cast<char *>(calloc(total, 1));
    if (!base) return nullptr;
    calc.input_buffers = base;
    calc.input_size = total;
    calc.block_store = base;
    calc.block_store_size = block;
    calc.script_buffer = base + block;
    calc.script_buffer_size = script;
    calc.line_buffer = base + block + script;
    calc.line_buffer_size = line;
    calc.current_line = calc.line_buffer;
    calc.block_table[0] = calc.block_store;
    return base;
}

int load_script(const char *name) {
    FILE *f = open_for_reading(name);
    struct stat st;
    if (!f || fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
        if (f) fclose(f);
        calc.script_opened = false;
        return -1;
    }
    // Two zero bytes end the text in the buffer.
    size_t room = calc.script_buffer_size - 2;
    if (S_ISREG(st.st_mode) && uintmax_t(st.st_size) > room) {
        fclose(f);
        printf(MSG_SCRIPT_TOO_LONG, name, room);
        calc.script_opened = false;
        return -2;
    }
    size_t got = fread(calc.script_buffer, 1, room, f);
    bool failed = ferror(f) != 0;
    bool more = !failed && got == room && fgetc(f) != EOF;
    fclose(f);
    if (failed || more) {
        // The buffer no longer holds the script that was being run, if any.
        calc.script_cursor = nullptr;
        calc.script_length = 0;
        calc.script_buffer[0] = 0;
        calc.script_opened = false;
        if (more) printf(MSG_SCRIPT_TOO_LONG, name, room);
        return more ? -2 : -1;
    }
    // Text files: a carriage return before a line feed belongs to the line end.
    size_t w = 0;
    for (size_t r = 0; r < got; r++) {
        if (calc.script_buffer[r] == '\r' && r + 1 < got && calc.script_buffer[r + 1] == '\n')
            continue;
        calc.script_buffer[w++] = calc.script_buffer[r];
    }
    calc.script_buffer[w] = 0;
    calc.script_buffer[w + 1] = 0;
    calc.script_length = int(w);
    calc.script_cursor = calc.script_buffer;
    calc.script_opened = true;
    return 0;
}

// Applies the argument rule (a leading digit selects a preset; the file name
// then starts at the third character) and loads the named script with its
// header rule. Returns 0 when a script was loaded, 1 when no file was named,
// -1 when the file did not open ("file not found." printed).
static int open_argument(const char *text) {
    const char *name = text;
    if (isdigit(static_cast<unsigned char>(text[0]))) {
        choose_preset(text[0] - '0');
        name = text[1] ? text + 2 : text + 1;
    }
    if (!name[0]) return 1;
    int loaded = load_script(name);
    if (loaded != 0) {
        if (loaded == -1) fputs(MSG_FILE_NOT_FOUND, stdout);
        return -1;
    }
    // A first line A.d or A:d is a header: preset d, and it is not executed.
    const char *line = calc.script_buffer;
    if (line[0] == 'A' && (line[1] == '.' || line[1] == ':')) {
        if (isdigit(static_cast<unsigned char>(line[2]))) choose_preset(line[2] - '0');
        int used = 0;
        while (used < calc.script_length && static_cast<unsigned char>(line[used]) >= 32 &&
               line[used] != 127)
            used++;
        calc.script_cursor += used + 1;
    }
    calc.line_buffer[0] = 0;
    return 0;
}

static bool script_finished() {
    return calc.script_cursor - calc.script_buffer > long(calc.script_length) - 2;
}

static void print_help() {
    fputs(MSG_HELP_1, stdout);
    fputs(MSG_HELP_2, stdout);
    fputs(MSG_HELP_3, stdout);
    fputs(MSG_HELP_4, stdout);
    fputs(MSG_HELP_5, stdout);
    fputs(MSG_HELP_6, stdout);
}

// Normalises `text` in place (see normalise_line) and says why a line was
// voided: unbalanced parentheses or a character outside the alphabet. Returns
// false for a voided line, which is then not to be run.
static bool normalise_reporting(char *text, int *length) {
    int fault = LINE_CLEAN;
    unsigned char bad = 0;
    *length = normalise_line_checked(text, &fault, &bad);
    if (fault == LINE_PARENTHESES) fputs(MSG_UNBALANCED, stdout);
    if (fault == LINE_CHARACTER) {
        if (bad > 32 && bad < 127) printf(MSG_BAD_CHARACTER, bad);
        else printf(MSG_BAD_BYTE, bad);
    }
    return fault == LINE_CLEAN;
}

// The first `}` of a normalised line outside verbatim text (which starts at a
// double quote), or null.
static char *closing_brace(char *line) {
    for (char *c = line; *c && *c != '"'; c++)
        if (*c == '}') return c;
    return nullptr;
}

// Splits the captured line at `start` into block table entries at its
// commas, from entry `index` on (never past the table's capacity: the last
// statement then keeps its commas, which the statement executor splits
// itself). Returns the index of the line's last statement.
static int split_block_line(char *start, int index) {
    for (char *c = start; *c; c++) {
        if (*c != ',' || index + 2 >= BLOCK_TABLE_SIZE) continue;
        *c = 0;
        calc.block_table[++index] = c + 1;
    }
    return index;
}

// Captures a block into the block store, one table entry per comma-separated
// statement: `first` (the text after the `{` of the start line, normalised)
// is its first line, then the lines read after it, until a `}` anywhere in a
// line outside verbatim text (the text before it is the block's last) or
// BLOCK_LIMIT statements; a store without room for another line ends the
// capture too. Returns the text after the `}` (empty when none), which the
// caller runs as a line of its own.
static const char *capture_block(const char *first) {
    calc.block_count = 0;
    calc.block_table[0] = calc.block_store;
    char *end = calc.block_store + calc.block_store_size;
    bool take_first = true;
    for (;;) {
        char *start = calc.block_table[calc.block_count];
        if (end - start < 2) {
            fputs(MSG_BLOCK_FULL, stdout);
            return "";
        }
        int len = 0;
        if (take_first) {
            take_first = false;
            if (!first[0]) continue;
            snprintf(start, size_t(end - start), "%s", first);
            len = int(strlen(start)) + 1;
        } else {
            int used = read_line(start, size_t(end - start));
            if (session_ending()) return "";
            if (calc.script_cursor) calc.script_cursor += used;
            if (calc.line_refused) continue;  // reported; the capture goes on
            if (!normalise_reporting(start, &len)) continue;  // reported; not captured
            if (len <= 0) len = int(strlen(start)) + 1;
        }
        char *next = start + len;
        char *brace = closing_brace(start);
        if (brace) *brace = 0;
        int index = split_block_line(start, calc.block_count);
        calc.block_table[index + 1] = next;
        if (brace) {
            // An empty last statement (as in "D=1,}" or a lone "}") is not
            // part of the block.
            calc.block_count = calc.block_table[index][0] ? index + 1 : index;
            calc.block_table[calc.block_count] = next;
            return brace + 1;
        }
        calc.block_count = index + 1;
        if (calc.block_count >= BLOCK_LIMIT) return "";
    }
}

// The console WHILE(...)DO line whose replay is running; the input loop runs
// it again (echoed like the statements of the replay) once the replay ends.
static char while_line[STATEMENT_BUFFER];


void repeat_while_line(const char *text) {
    if (text != while_line) snprintf(while_line, sizeof while_line, "%s", text);
    calc.while_pending = true;
}

// Ctrl-C stopped the line (the flag is set): a nested run returns
// RUN_INTERRUPTED so that its caller unwinds it (true); the outermost run
// recovers and goes on (false).
static bool hand_down_interrupt(bool nested) {
    if (nested) return true;
    recover_after_interrupt();
    return false;
}

// The line loop: replays the captured block while a replay is owed, else reads
// the next script or console line, then dispatches it. A nested run returns
// RUN_FINISHED when its script is finished and RUN_INTERRUPTED when Ctrl-C
// stopped one of its lines; in fuzz builds every run returns RUN_ENDED once
// the session ended. Otherwise it never returns (end of input and the exit
// command end the process).
static int input_loop(bool nested) {
    for (;;) {
        if (session_ending()) return RUN_ENDED;
        bool replayed = false;
        if (calc.replay_position >= 0) {
            if (calc.replay_position >= calc.block_count) {
                // The count is tested after each pass: n >= 1 gives n passes.
                // Passes over an empty block change nothing, so they end at
                // once instead of spinning through a count of up to 2^31.
                // Ctrl-C ends the passes even when no statement computes.
                if (interrupted()) {
                    if (hand_down_interrupt(nested)) return RUN_INTERRUPTED;
                    continue;
                }
                if (calc.repeat_count > 1 && calc.block_count > 0) {
                    calc.repeat_count--;
                    calc.replay_position = 0;
                } else {
                    calc.repeat_count = 0;
                    calc.current_line = calc.line_buffer;
                    calc.replay_position = -1;
                }
                continue;
            }
            calc.current_line = calc.block_table[calc.replay_position];
            if (!calc.script_cursor) {
                // Shown before the statement runs, however long it takes.
                printf(MSG_REPLAY_ECHO, calc.current_line);
                fflush(stdout);
            }
            calc.replay_position++;
            replayed = true;
        } else if (calc.while_pending) {
            // The replay a console WHILE line started has ended (or met
            // BREAK): the line runs again, as a script reads it again.
            calc.while_pending = false;
            printf(MSG_REPLAY_ECHO, while_line);
            fflush(stdout);
            calc.current_line = while_line;
            replayed = true;
        } else {
            if (calc.script_cursor && script_finished()) calc.script_cursor = nullptr;
            // A nested run ends with its script; the console belongs to the outer run.
            if (nested && !calc.script_cursor) return RUN_FINISHED;
            calc.current_line = calc.line_buffer;
            calc.last_line_length = read_line(calc.line_buffer, calc.line_buffer_size);
            if (session_ending()) return RUN_ENDED;
            if (calc.script_cursor) calc.script_cursor += calc.last_line_length;
            if (calc.line_refused) continue;  // reported; nothing of it runs
            int length = 0;
            if (!normalise_reporting(calc.line_buffer, &length)) continue;  // reported; nothing runs
        }
        char *line = calc.current_line;
        // A Ctrl-C during a fast script, or one a factorisation answered,
        // still stops the script (a console read has cleared the flag).
        if (interrupted()) {
            if (hand_down_interrupt(nested)) return RUN_INTERRUPTED;
            continue;
        }
        if (calc.run_depth == 0) {
            line_precision = precision;
            line_fixed_point_limbs = fixed_point_limbs;
        }
        int code = 0;
        if (!line[0]) {
            if (calc.script_opened) code = run_command(line);
            else print_help();
        } else if (!replayed && (line[0] == '{' || (isupper(static_cast<unsigned char>(line[0])) && line[1] == '{'))) {
            // The text after `{` is the block's first line; text after the
            // `}` that ends the capture runs as a line of its own.
            const char *rest = capture_block(line + (line[0] == '{' ? 1 : 2));
            if (rest[0]) {
                memmove(calc.line_buffer, rest, strlen(rest) + 1);
                calc.current_line = calc.line_buffer;
                code = run_command(calc.line_buffer);
            }
        } else {
            code = run_command(line);
        }
        if (code == CODE_INTERRUPTED && hand_down_interrupt(nested)) return RUN_INTERRUPTED;
    }
}

// ---------------------------------------------------------- interrupts
// Ctrl-C sets `interrupt_requested` (interrupted() in bignum.h). The number
// core may then stop its long operations early, and every layer above it
// tests the flag at its loop points and returns CODE_INTERRUPTED upward
// without listing or storing anything computed since; the input loop then
// recovers: the line (and any script or nested run it belongs to) is
// dropped, variables stay. A second Ctrl-C within INTERRUPT_EXIT_SECONDS
// ends the process at once, even when the work in hand never tests the flag.
// The handlers only set flags, write and _exit: the output file loses
// nothing, since every listing written to it is flushed at once, and the
// terminal is put back as found.
static const double INTERRUPT_EXIT_SECONDS = 2.0;
static volatile double last_interrupt = -1e9;

static double monotonic_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

static void on_interrupt(int) {
    double now = monotonic_seconds();
    if (now - last_interrupt < INTERRUPT_EXIT_SECONDS) {
        static const char bye[] = "\n";
        ssize_t ignored = write(STDOUT_FILENO, bye, sizeof bye - 1);
        (void)ignored;
        terminal_restore();
        _exit(130);
    }
    last_interrupt = now;
    interrupt_requested = 1;
    if (console_waiting == 1) {
        // Nothing is running: the terminal dropped the typed text; prompt again.
        static const char again[] = "\n? ";
        ssize_t ignored = write(STDOUT_FILENO, again, sizeof again - 1);
        (void)ignored;
    }
}

// Puts the outermost run back at the console prompt after a line stopped by
// Ctrl-C (the nested runs have returned, each restoring the run below it):
// the running script and any replay are dropped; the captured block, the
// variables and the settings of the line's start stay. Clears the flag last.
// In fuzz builds a stop that ends the session (fuzz_stop_session) marks it over.
static void recover_after_interrupt() {
    certify_reset();  // the output of a repeated attempt was muted
    scratch_release(core, 0);  // work space a stopped operation may still hold
    core.status = STATUS_OK;    // the engine's record of the stop
    precision = line_precision;
    fixed_point_limbs = line_fixed_point_limbs;
    calc.script_cursor = nullptr;
    calc.replay_position = -1;
    calc.repeat_count = 0;
    calc.while_pending = false;
    calc.current_line = calc.line_buffer;
    calc.line_buffer[0] = 0;
    fflush(stdout);
    fputs(MSG_INTERRUPTED, stdout);
    interrupt_requested = 0;
#ifdef VANTREL_FUZZ
    if (fuzz_stop_session) exit_calculator(0);
#endif
}

// A closed terminal or a termination request ends the process at once; the
// output file already holds every listing written to it. While the line
// editor waits for a line the request is only noted: the editor then ends
// the calculator in order, so that the history of the session is kept.
volatile sig_atomic_t termination_requested = 0;

static void on_termination(int signal_number) {
    if (console_waiting == 2) {
        termination_requested = signal_number;
        return;
    }
    terminal_restore();
    _exit(128 + signal_number);
}

static void install_interrupt_handler() {
    struct sigaction sa = {};
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;  // a console read simply continues
    sigaction(SIGINT, &sa, nullptr);
    sa.sa_handler = on_termination;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

static void print_banner() {
    printf(MSG_BANNER, precision * 8, 8);
}

// Runs the script `text` to its end with fresh input buffers and the pools
// untouched, then restores the calling run's buffers, captured block and
// replay state (so a block captured before stays replayable); lines then come
// from the console. Returns 1 after the run, -1 when the file did not open or
// the run was refused (too deep, no memory); the caller's state is unchanged
// then, except that a failed open clears `script opened`. Returns
// CODE_INTERRUPTED, the caller's state restored as it was, when Ctrl-C
// stopped a line of the run.
static int nested_run(const char *text) {
    if (calc.run_depth >= MAX_NESTING) {
        printf(MSG_NESTING_TOO_DEEP, MAX_NESTING);
        return -1;
    }
    if (!text) text = "";
    CalculatorState &saved = outer_states[calc.run_depth];
    saved = calc;
    if (!take_input_buffers(precision)) {
        calc = saved;
        fputs(MSG_NESTED_NO_MEMORY, stdout);
        return -1;
    }
    calc.script_cursor = nullptr;
    int opened = open_argument(text);
    if (opened != 0) {
        if (opened > 0) fputs(MSG_FILE_NOT_FOUND, stdout);  // no file named at all
        free(calc.input_buffers);
        calc = saved;
        calc.script_opened = false;
        return -1;
    }
    calc.block_count = 0;
    calc.replay_position = -1;
    calc.repeat_count = 0;
    calc.while_pending = false;
    calc.last_line_length = 0;
    calc.run_depth = saved.run_depth + 1;
    print_banner();
    int end = input_loop(true);
    bool script_opened = calc.script_opened;
    free(calc.input_buffers);
    calc = saved;
    if (end == RUN_INTERRUPTED) return CODE_INTERRUPTED;
    calc.script_opened = script_opened;
    calc.script_cursor = nullptr;
    return 1;
}

// The number core's sink: the text of each refusal or notice it reports
// (counting and the silence after Ctrl-C are the core's).
static void print_core_outcome(Status outcome) {
    switch (outcome) {
    case STATUS_CROSS_SCALE: fputs(MSG_CROSS_SCALE, stdout); break;
    case STATUS_NO_PERIOD: fputs(MSG_PERIOD_FAIL, stdout); break;
    default: fputs(MSG_PROD_OVF, stdout); break;  // a result that does not fit
    }
}

// Installed by a static initialiser rather than by run_calculator: the unit
// and accuracy tests link this file with the core and call the core directly
// (never run_calculator), and their expected output holds the core's
// notices. The sink only reads constant texts, so running before main is
// harmless; the pointer itself is constant-initialised to null in pool.cpp,
// so the order of initialisation between files does not matter.
[[maybe_unused]] static const bool core_sink_installed = (refusal_sink = print_core_outcome, true);

// Modes: 4 runs the file `text` nested in the running calculator (returns 1
// after it, -1 when it could not be run); before the pools exist mode 4 is
// taken as the one-argument form. 11..19 select preset mode - 10, then as 2.
// Below 2 `text` is ignored; 2 and above (other than 4) `text` is an optional
// preset digit and script name. Every mode but a nested 4 never returns
// (nested: see nested_run).
int run_calculator(int mode, const char *text) {
    if (mode == 4 && carved_precision > 0) return nested_run(text);
    if (mode == 4) mode = 2;
    if (mode >= 11 && mode <= 19) {
        precision = PRESETS[mode - 10];
        mode = 2;
    } else {
        precision = DEFAULT_PRECISION;
    }
    if (!take_input_buffers(precision)) out_of_memory();
    calc.replay_position = -1;
    // A script named on the command line that cannot be read ends a run fed
    // from a pipe or file, whose lines were meant for that script; at a
    // terminal the prompt follows.
    if (mode >= 2 && text && open_argument(text) < 0 && !isatty(STDIN_FILENO)) {
        fputs("\n", stdout);
        fflush(stdout);
        exit(2);
    }

    output_text_size = 8 * precision + 64;
    output_text = static_cast<char *>(calloc(size_t(output_text_size), 1));
    if (!output_text) out_of_memory();
    if (build_work_pool(precision / 5) != 0 || carve_registers() != 0 ||
        kernels_reserve(core, precision) != STATUS_OK)
        out_of_memory();
    carved_precision = precision;

    print_banner();
    calc.block_table[0] = calc.block_store;
    line_precision = precision;
    line_fixed_point_limbs = fixed_point_limbs;
    install_interrupt_handler();
    input_loop(false);
    exit_calculator(0);
    return 0;  // fuzz builds only: the session ended
}

#ifdef VANTREL_FUZZ
// Fuzz builds: exit_calculator marks the session over instead of ending the
// process, and every input loop returns into fuzz_session, so that one
// process runs session after session.
volatile sig_atomic_t fuzz_stop_session = 0;
static CalculatorState fuzz_base;

int fuzz_start() {
    precision = PRESETS[0];
    if (!take_input_buffers(precision)) return -1;
    output_text_size = 8 * precision + 64;
    output_text = static_cast<char *>(calloc(size_t(output_text_size), 1));
    if (!output_text) return -1;
    if (build_work_pool(precision / 5) != 0 || carve_registers() != 0 ||
        kernels_reserve(core, precision) != STATUS_OK)
        return -1;
    carved_precision = precision;
    calc.block_table[0] = calc.block_store;
    fuzz_base = calc;
    return 0;
}

void fuzz_session() {
    calc = fuzz_base;
    precision = carved_precision;
    fixed_point_limbs = 4;
    element_width = 6;
    display_mode = 16;
    apply_element_width();
    for (int i = 0; i < REGISTERS; i++) fraction_init(&reg_frac[i]);
    for (int i = 0; i < VARIABLES; i++) var_den[i]->used = 0;
    memset(text_vars, 0, sizeof text_vars);
    session_over = false;
    line_precision = precision;
    line_fixed_point_limbs = fixed_point_limbs;
    input_loop(false);  // returns once the session is over; nested runs have returned
    session_over = false;
    interrupt_requested = 0;
    certify_reset();
    scratch_release(core, 0);
    core.status = STATUS_OK;
    calc = fuzz_base;
}
#endif

void exit_calculator(int status) {
    terminal_restore();
    terminal_save_history();
    close_output_file();
    if (input_file) fclose(input_file);
    input_file = nullptr;
    fflush(stdout);
#ifdef VANTREL_FUZZ
    (void)status;
    session_over = true;
#else
    exit(status);
#endif
}
