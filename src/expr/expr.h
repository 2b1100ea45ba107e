// Expressions: the evaluator, variables and their packed array elements,
// single statements with the equation solver, and the line-text routines
// (normalisation, text variables, condition splitting) they share with the console.
#pragma once
#include <cstdint>

#include "../number/bignum.h"

constexpr int STATEMENT_BUFFER = 4096;  // statement and text-variable size, bytes

// Result code of a statement line, and of the command that ran it, stopped by
// Ctrl-C (interrupted() in bignum.h): nothing computed after the flag was set
// has been listed, stored or compared, and the input loop puts the
// calculator back at the prompt. Next to the codes of number/vocabulary.h,
// whose values it does not share.
constexpr int CODE_INTERRUPTED = -2;

// ---- line text (normalisation and text variables)
extern char text_vars[26][STATEMENT_BUFFER];
int normalise_line(char *text);          // length incl. terminator, 2 when voided to ";", 0 no end
// Why normalise_line_checked voided a line.
enum LineFault { LINE_CLEAN = 0, LINE_PARENTHESES = 1, LINE_CHARACTER = 2 };
int normalise_line_checked(char *text, int *fault, unsigned char *bad);
int expand_text_variables(char *text);   // text is a STATEMENT_BUFFER buffer; final length, -1 refused
int split_condition(const char *source, char *target, char *op);
constexpr char OP_AT_MOST = 'l';   // the operator `<=` as split_condition gives it
constexpr char OP_AT_LEAST = 'g';  // the operator `>=`

// ---- evaluator
int eval_expression(const char *text, Fraction *dest, int level);
int eval_group(const char *text, Fraction *dest, int level);
int read_operand(const char *text, Fraction *dest, int level);
int64_t gcd64(int64_t x, int64_t y);
// Starts a statement: notices given at most once per statement may be given again.
void begin_statement();
// Failures: a statement whose evaluation reported one stores nothing.
void note_failure();                      // counts a failure printed by the caller
void tell_failure(const char *message);   // prints a failure message and counts it
void tell_syntax_error(const char *rest); // "syntax_error_" with the text, counted
int failure_count();                      // failures so far (compare two readings)
void tell_division_by_zero();             // "{div0}", at most once per statement
// The tell_ functions print nothing while interrupted(): a message caused by
// an interrupted computation would be about a value of no meaning.
// tell_notice prints a notice that is no failure ("{log-neg}", "no solutions");
// tell_refusal prints a refusal and counts it in refusal_count, as the core's
// report_refusal does, for the layers above the core.
void tell_notice(const char *message);
void tell_refusal(const char *message);
// The failures counted before a statement's repeated attempts, put back
// after them: only the first attempt's messages were shown.
void restore_failure_count(int count);

// ---- values with every kept place certain (certify.cpp)
// Evaluates `text` (as a group when `group`, else as an expression) into
// dest at `level` with guard limbs, and again with twice as many while its
// radius leaves any of the F places of a statement uncertain. The value left
// is exact: an exact result as computed, else the true value truncated to F
// places; at the end of the room a simple fraction inside the ball, or the
// places that are certain with a notice. Returns the characters consumed;
// once interrupted() dest means nothing and nothing more was printed.
int eval_certain(const char *text, Fraction *dest, int level, bool group);
// A divisor held as 0 within a non-zero radius was met: the last attempt
// reports a division by zero if the doubt remains.
void note_divisor_doubt();
// True during the last attempt a statement's room allows: a function whose
// argument is still uncertain may then take the simple fraction inside it.
bool final_attempt();
// After a line stopped by Ctrl-C: the console's output back if muted, no
// certain evaluation in progress.
void certify_reset();

// ---- variables and elements
int read_value(const char *text, Fraction *dest);
// Refuses, silently, while interrupted(): no value computed after Ctrl-C is
// kept (and the operations of storing may themselves stop early then).
[[nodiscard]] int store_value(int reg, int index, Fraction *value);  // 0 stored, -1 refused

// ---- statements
// Sets *code to CODE_INTERRUPTED (and returns 0) when Ctrl-C stopped it.
int execute_one(const char *text, int *code, int level);
