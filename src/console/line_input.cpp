// Line input: the next line from the running script's buffer or from the
// console, bounded by the room the caller actually has.
#include <cstring>

#include "console.h"
#include "messages.h"

volatile sig_atomic_t console_waiting = 0;

static bool is_control(unsigned char c) { return c < 32 || c == 127; }

// Refuses a line that does not fit its buffer: nothing of it is run.
static void refuse_line(char *buffer, size_t length, size_t limit) {
    buffer[0] = 0;
    calc.line_refused = true;
    printf(MSG_LINE_TOO_LONG, length, limit);
}

// Next script line: bytes up to the first control character (line feed, tab,
// carriage return, zero ...), of which exactly one is consumed. A line longer
// than `room` - 1 is refused whole (see refuse_line) and consumed, so no part
// of it runs. At or past the end of the script text the line is empty and
// nothing is consumed. Like a console line, a script line holds at most
// 8 * precision - 1 characters, so that no part of a longer one is run.
// Returns the bytes consumed.
static int read_script_line(char *buffer, size_t room) {
    size_t limit = size_t(8) * size_t(precision > 0 ? precision : 1);
    if (limit < room) room = limit;
    long offset = calc.script_cursor - calc.script_buffer;
    if (offset < 0) offset = 0;  // a cursor stepped back too far restarts the text
    const char *p = calc.script_buffer + offset;
    long left = calc.script_length - offset;
    if (left <= 0) {
        buffer[0] = 0;
        return 0;
    }
    long copied = 0, scanned = 0;
    while (scanned < left && !is_control(static_cast<unsigned char>(p[scanned]))) {
        if (size_t(copied) + 1 < room) buffer[copied++] = p[scanned];
        scanned++;
    }
    buffer[copied] = 0;
    if (size_t(scanned) >= room) refuse_line(buffer, size_t(scanned), room - 1);
    // The consumed control character may be the terminator just past the text.
    return int(offset - (calc.script_cursor - calc.script_buffer) + scanned + 1);
}

// Console line after the prompt "? ", at most min(8 * precision, room) - 1
// characters; a longer input line is read to its end and refused whole. At the
// end of standard input the calculator ends as the exit command would. At a
// terminal the line is edited; Ctrl-C there drops the typed text and prompts
// again. In fuzz builds the end of input returns an empty line with the
// session marked over (see session_ending).
static int read_console_line(char *buffer, size_t room) {
    size_t limit = size_t(8) * size_t(precision > 0 ? precision : 1);
    if (limit > room) limit = room;
    if (terminal_editing()) {
        int got;
        while ((got = terminal_read_line(MSG_PROMPT, buffer, limit)) == TERMINAL_INTERRUPTED)
            interrupt_requested = 0;
        if (termination_requested || got == TERMINAL_END) {
            exit_calculator(termination_requested ? 128 + termination_requested : 0);
            buffer[0] = 0;
            return 0;
        }
        if (got == TERMINAL_TOO_LONG) refuse_line(buffer, terminal_last_length(), limit - 1);
        return 0;
    }
    fputs(MSG_PROMPT, stdout);
    fflush(stdout);
    size_t n = 0;
    bool got_any = false;
    int ch;
    console_waiting = 1;
    while ((ch = getchar()) != EOF) {
        got_any = true;
        if (ch == '\n') break;
        if (n + 1 < limit) buffer[n] = char(ch);
        n++;
    }
    console_waiting = 0;
    // A Ctrl-C while waiting concerned the line the terminal dropped, not this one.
    interrupt_requested = 0;
    if (!got_any) {
        exit_calculator(0);
        buffer[0] = 0;
        return 0;
    }
    if (n + 1 > limit) {
        refuse_line(buffer, n, limit - 1);
        return 0;
    }
    buffer[n] = 0;
    return 0;
}

// Fills `buffer` (room bytes, at least 1) with one zero-terminated line
// without its line end: from the script while `calc.script_cursor` is set,
// else from the console. Returns the number of script bytes consumed (the
// caller advances the cursor by it), 0 for a console line.
int read_line(char *buffer, size_t room) {
    calc.line_refused = false;
    if (room == 0) return 0;
    if (calc.script_cursor) return read_script_line(buffer, room);
    return read_console_line(buffer, room);
}
