// Line editing at a terminal: console lines read through the line editor with
// history and name completion. Scripts, pipes and files never come here, so
// what they see stays byte for byte the plain line reading.
#include <cassert>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include "../functions/functions.h"
#include "console.h"
#include "messages.h"

#ifdef VANTREL_READLINE
#include <readline/history.h>
#include <readline/readline.h>

namespace {

// The terminal as found before the editor took it over, put back by
// terminal_restore when the calculator ends in the middle of an edit.
termios terminal_as_found;
volatile sig_atomic_t terminal_taken = 0;

// Lines the history keeps; older ones are dropped first.
const int HISTORY_LINES = 1000;

volatile sig_atomic_t stop_requested = 0;

void on_stop(int) { stop_requested = 1; }

// Ctrl-Z while a line is edited: the terminal goes back to the shell as
// found, the calculator stops, and on `fg` the editor takes the terminal again
// and redraws the prompt with the text typed so far.
void stop_and_resume() {
    stop_requested = 0;
    rl_deprep_terminal();
    struct sigaction plain = {}, ours = {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    sigaction(SIGTSTP, &plain, &ours);
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    raise(SIGTSTP);  // delivered when unblocked: stops here until continued
    sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
    sigprocmask(SIG_BLOCK, &tstp, nullptr);
    sigaction(SIGTSTP, &ours, nullptr);
    rl_prep_terminal(1);
    rl_forced_update_display();
}

// Takes Ctrl-Z over for the edit, keeping the disposition found in `before`.
// Only where it would stop the calculator anyway: a parent without job
// control may have it ignored.
void catch_stop_key(struct sigaction *before) {
    sigaction(SIGTSTP, nullptr, before);
    if (before->sa_handler != SIG_DFL) return;
    struct sigaction stop = {};
    stop.sa_handler = on_stop;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTSTP, &stop, nullptr);
}

char *finished_line = nullptr;
bool line_finished = false;
size_t last_length = 0;  // of the last finished line

// The editor hands over a finished line (null at the end of input) here.
void take_line(char *line) {
    finished_line = line;
    line_finished = true;
    rl_callback_handler_remove();
}

// The `#` settings offered by Tab; the per-variable widths #A: … #Z: are left
// out so that a list of candidates stays short.
const char *const setting_names[] = {"#X:",  "#RUN:", "#FW",  "#FR",  "#FC",  "#FF:",
                                     "#FN:", "#NF:",  "#NN:", "#RON", "#ROF"};

// Candidate `state` (0 for the first call of a completion) for the typed
// word: settings when it starts with `#`, else function names; matched
// without regard to case and offered upper-cased. A fresh copy, or null
// after the last.
char *next_candidate(const char *text, int state) {
    static int index;
    static size_t length;
    if (state == 0) {
        index = 0;
        length = strlen(text);
    }
    if (text[0] == '#') {
        while (index < int(sizeof setting_names / sizeof setting_names[0])) {
            const char *name = setting_names[index++];
            if (strncasecmp(name, text, length) == 0) return strdup(name);
        }
        return nullptr;
    }
    const char *name;
    while ((name = function_name(index)) != nullptr) {
        index++;
        if (strncasecmp(name, text, length) == 0) return strdup(name);
    }
    return nullptr;
}

// Completion of the word before the cursor. Never falls back to file names,
// and appends nothing: a function may be followed by a bracket or a number.
char **complete_word(const char *text, int, int) {
    rl_attempted_completion_over = 1;
    rl_completion_append_character = 0;
    if (text[0] == 0) return nullptr;
    return rl_completion_matches(text, next_candidate);
}

// Lines typed at the terminal are kept across sessions in this file of the
// user's home directory; null when there is no home directory.
const char *history_path() {
    static char path[4096];
    const char *home = getenv("HOME");
    if (!home || !home[0]) return nullptr;
    int n = snprintf(path, sizeof path, "%s/.vantrel_history", home);
    return n > 0 && size_t(n) < sizeof path ? path : nullptr;
}

// Set once the history file has been read: only then is it written back, so
// sessions that never edited a line (scripts, pipes) leave it alone.
bool history_loaded = false;

void set_up_editor() {
    static bool done = false;
    if (done) return;
    done = true;
    rl_readline_name = "vantrel";
    rl_instream = stdin;
    rl_outstream = stdout;
    // Ctrl-C is the calculator's own: it drops the typed line (see below).
    rl_catch_signals = 0;
    // Pasted lines run one by one, as typed lines would.
    rl_variable_bind("enable-bracketed-paste", "off");
    // Everything but letters, digits and `#` ends a word, so that `P.SQ` and
    // `A=2*AT` complete the name after the operator.
    rl_basic_word_break_characters = const_cast<char *>(" \t\n\"'`$@><=;|&{(}),.+-*/^%!~:?[]\\");
    rl_attempted_completion_function = complete_word;
    using_history();
    stifle_history(HISTORY_LINES);
    if (const char *path = history_path()) read_history(path);  // absent the first time
    history_loaded = true;
}

// Keeps the line in the history unless it is empty, begins with a blank, or
// repeats the line before it.
void remember(const char *line) {
    if (line[0] == 0 || line[0] == ' ' || line[0] == '\t') return;
    HIST_ENTRY *last = history_length > 0 ? history_get(history_base + history_length - 1) : nullptr;
    if (last && strcmp(last->line, line) == 0) return;
    add_history(line);
}

}  // namespace

bool terminal_editing() {
    static int decided = -1;
    if (decided < 0) decided = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO) ? 1 : 0;
    return decided == 1;
}

int terminal_read_line(const char *prompt, char *buffer, size_t limit) {
    assert(limit >= 1);
    set_up_editor();
    fflush(stdout);
    // Waiting from before the prompt shows: a termination request from then
    // on is only noted, and the loop below ends the wait for it.
    console_waiting = 2;
    if (tcgetattr(STDIN_FILENO, &terminal_as_found) == 0) terminal_taken = 1;
    finished_line = nullptr;
    line_finished = false;
    rl_callback_handler_install(prompt, take_line);

    struct sigaction stop_before;
    catch_stop_key(&stop_before);
    // Ctrl-C, Ctrl-Z and termination requests are blocked except inside
    // pselect, so that one arriving between the test and the wait still ends
    // the wait at once.
    sigset_t blocked, as_before, during_wait;
    sigemptyset(&blocked);
    const int waited_for[] = {SIGINT, SIGTSTP, SIGHUP, SIGTERM};
    for (int sig : waited_for) sigaddset(&blocked, sig);
    sigprocmask(SIG_BLOCK, &blocked, &as_before);
    during_wait = as_before;
    for (int sig : waited_for) sigdelset(&during_wait, sig);
    int result = 0;
    while (!line_finished) {
        if (termination_requested) {
            rl_callback_handler_remove();
            break;  // handled by the caller as the end of input
        }
        if (interrupt_requested) {
            result = TERMINAL_INTERRUPTED;
            break;
        }
        if (stop_requested) stop_and_resume();
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(STDIN_FILENO, &readable);
        int ready = pselect(STDIN_FILENO + 1, &readable, nullptr, nullptr, nullptr, &during_wait);
        if (ready < 0 && errno != EINTR) {
            // The terminal went away: treat it as the end of input.
            rl_callback_handler_remove();
            line_finished = true;
            break;
        }
        if (ready > 0) rl_callback_read_char();
    }
    console_waiting = 0;
    sigaction(SIGTSTP, &stop_before, nullptr);
    stop_requested = 0;
    sigprocmask(SIG_SETMASK, &as_before, nullptr);

    if (result == TERMINAL_INTERRUPTED) {
        // The typed text is dropped; the next prompt starts on a fresh line.
        rl_free_line_state();
        rl_callback_sigcleanup();
        rl_echo_signal_char(SIGINT);
        rl_callback_handler_remove();
        fputs("\n", stdout);
    } else if (!finished_line) {
        fputs("\n", stdout);  // so that the shell prompt starts on its own line
        result = TERMINAL_END;
    } else {
        remember(finished_line);
        size_t n = strlen(finished_line);
        last_length = n;
        if (n > limit - 1) {
            buffer[0] = 0;  // refused whole by the caller
            result = TERMINAL_TOO_LONG;
        } else {
            memcpy(buffer, finished_line, n);
            buffer[n] = 0;
            result = int(n);
        }
        free(finished_line);
        finished_line = nullptr;
    }
    terminal_taken = 0;
    fflush(stdout);
    return result;
}

size_t terminal_last_length() { return last_length; }

void terminal_save_history() {
    if (!history_loaded) return;
    const char *path = history_path();
    if (!path) return;
    if (write_history(path) == 0) history_truncate_file(path, HISTORY_LINES);
}

void terminal_restore() {
    if (terminal_taken) tcsetattr(STDIN_FILENO, TCSANOW, &terminal_as_found);
}

#else  // built without the line editor: console lines are always read plainly

bool terminal_editing() { return false; }

int terminal_read_line(const char *, char *buffer, size_t) {
    buffer[0] = 0;
    return TERMINAL_END;
}

void terminal_restore() {}

size_t terminal_last_length() { return 0; }

void terminal_save_history() {}

#endif
