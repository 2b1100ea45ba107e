// Console: start-up, the input loop with block capture and replay, line
// input, the command interpreter, file and setting commands, statement lines
// and value listing.
#pragma once
#include <csignal>
#include <cstdint>
#include <cstdio>

#include "../number/bignum.h"

constexpr int BLOCK_TABLE_SIZE = 708;
constexpr int BLOCK_LIMIT = 701;
constexpr int SCRIPT_MAX = 11216;

// Calculator state (one process-wide instance).
struct CalculatorState {
    char *input_buffers;  // block store | script buffer | line buffer
    size_t input_size;
    char *block_store;    // bytes 0 .. 8n
    char *script_buffer;  // 8n .. 16n (at least SCRIPT_MAX + 2 bytes)
    char *line_buffer;    // 16n .. 40n
    size_t block_store_size;
    size_t line_buffer_size;
    char *block_table[BLOCK_TABLE_SIZE];
    int block_count;
    int replay_position;
    int repeat_count;
    char *script_cursor;
    int script_length;
    bool script_opened;
    int last_line_length;
    char *current_line;
    int run_depth;  // nesting of L: runs
    size_t script_buffer_size;
    bool line_refused;  // the line just read was too long and is not run
    bool while_pending;  // a console WHILE(...)DO line runs again after the replay
};
extern CalculatorState calc;
extern FILE *output_file;
extern FILE *input_file;

int run_calculator(int mode, const char *text);
// The command-line help: the forms of the command line, the presets with
// their digit counts, and how to leave and get help.
void print_usage(FILE *out);
// Limbs of precision preset d (0..9); 0 for any other d.
int preset_limbs(int d);
// HELP: every command, setting and function, and the short messages.
void print_full_help();
// Loads the script file `name` whole (CR LF folded to LF) into the script
// buffer, sets script length, cursor and `script opened`. Returns 0; -1 when
// it could not be read (missing, a directory, a read error) and -2 when it
// does not fit the buffer (message printed); `script opened` is cleared then
// and the script being run, if any, is left as it was.
int load_script(const char *name);
int read_line(char *buffer, size_t room);
// Opens the file `name` for reading; when there is none of that name, the
// same name in capital letters (the name older versions wrote and read).
// Null when neither opens.
FILE *open_for_reading(const char *name);
// Keeps the console statement `text` (a WHILE(...)DO that held) to be run
// again once the replay it started has ended, as a script reads it again.
void repeat_while_line(const char *text);
// Runs one normalised line. Returns 0 or a statement's result code;
// CODE_INTERRUPTED (expr.h) when Ctrl-C stopped it: nothing computed after
// the flag was listed or stored, and the input loop recovers.
int run_command(char *line);
int execute_statement(const char *text, int *code);
int run_statement_line(const char *text, int *code);
int list_value(const char *text, FILE *file);
// Flushes and closes the output file and ends the process. In fuzz builds it
// marks the session over instead and returns: every caller then returns too,
// up to the input loops, which end the session (see session_ending).
#ifdef VANTREL_FUZZ
void exit_calculator(int status);
#else
[[noreturn]] void exit_calculator(int status);
#endif
// True once exit_calculator has ended a fuzz session; always false in other
// builds, where it ends the process.
bool session_ending();
// After a listing to the output file: flushes it; a failure is reported once.
void output_written();
// Flushes and closes the output file, if one is open; a failure is reported once.
void close_output_file();
// 1 while read_line waits for a plain console line (the interrupt handler
// then only prompts again), 2 while the line editor waits (it redraws itself).
extern volatile sig_atomic_t console_waiting;
// The number of a termination signal that arrived while the line editor
// waited (0: none); the editor then ends the calculator with 128 + it.
extern volatile sig_atomic_t termination_requested;

// Line editing at a terminal (absent from builds without the line editor).
// terminal_editing: whether console lines are edited, i.e. standard input
// and output are both terminals and the build has the editor.
// terminal_read_line: one edited line after `prompt`, with history, at most
// limit - 1 characters kept (limit >= 1); returns its length, TERMINAL_END at
// the end of input, or TERMINAL_INTERRUPTED when Ctrl-C dropped it (the flag
// interrupt_requested is then still set).
// terminal_restore: puts the terminal back as found if an edit is under way;
// safe in a signal handler.
// TERMINAL_TOO_LONG: the finished line had limit characters or more; the
// buffer is left empty and terminal_last_length tells its length.
constexpr int TERMINAL_END = -1;
constexpr int TERMINAL_INTERRUPTED = -2;
constexpr int TERMINAL_TOO_LONG = -3;
size_t terminal_last_length();
// Writes the lines edited in this session to the history file of the home
// directory (at most the last 1000 kept); nothing when no line was edited.
void terminal_save_history();
bool terminal_editing();
int terminal_read_line(const char *prompt, char *buffer, size_t limit);
void terminal_restore();

#ifdef VANTREL_FUZZ
// Fuzz builds only: one-time start-up at precision 200 without the input
// loop (0, or -1 without memory), then one whole console session per call on
// the current standard input, from fresh variables and settings to the end
// of input or the exit command, both of which return here.
// An interrupt (interrupt_requested) stops the line as Ctrl-C does; with
// fuzz_stop_session set as well it ends the session.
int fuzz_start();
void fuzz_session();
extern volatile sig_atomic_t fuzz_stop_session;
#endif
