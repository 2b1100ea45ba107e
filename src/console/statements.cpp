// Statement lines and listing: copying and expanding a statement line, the
// IF(...)/WHILE(...) conditions with BREAK and DO, running comma-separated
// statements one by one, and listing a value as "text=value".
#include <cstring>

#include "../expr/expr.h"
#include "console.h"
#include "messages.h"


// Copies `text` into a statement buffer of its own (the stored line, e.g. a
// statement of the captured block, is never changed), expands the text
// variables and runs it. A line that does not fit the buffer, before or after
// the expansion, is refused with a message and runs nothing. Returns the characters consumed; *code as set by
// run_statement_line (0 when refused).
int execute_statement(const char *text, int *code) {
    char statement[STATEMENT_BUFFER];
    *code = 0;
    size_t len = strlen(text);
    if (len >= sizeof statement) {
        fputs(MSG_STATEMENT_TOO_LONG, stdout);
        return 0;
    }
    memcpy(statement, text, len + 1);
    if (expand_text_variables(statement) < 0) return 0;  // "txt-ovf" printed
    return run_statement_line(statement, code);
}

// Evaluates a rewritten condition (left - (right)) into work fraction 0 and
// tests it against the operator. Work fraction 0 belongs to level 0, which no
// evaluation at level 1 or deeper touches, whereas work register 26 (&B) is
// scratch of every series and would be overwritten by a function inside the
// condition while the evaluator still sums into it. A result of zero satisfies `=`, `<=` and
// `>=`, so that equal sides are neither `<` nor `>`. A condition without an
// operator is still evaluated (so its errors are reported) but never holds;
// one whose evaluation reported a failure does not hold either, nor one
// interrupted by Ctrl-C (its value is not compared).
static bool condition_holds(char *condition, char op) {
    normalise_line(condition);
    Fraction *value = &work_frac[0];
    fraction_init(value);
    const int failures = failure_count();
    eval_certain(condition, value, 1, false);
    if (interrupted()) return false;
    if (failure_count() != failures) return false;  // unreadable: its one message was printed
    BigNum *n = value->num;
    if (bn_is_zero(n)) {
        bn_normalise_zero(n);
        return op == '=' || op == OP_AT_MOST || op == OP_AT_LEAST;
    }
    if (op == '>' || op == OP_AT_LEAST) return n->sign > 0;
    if (op == '<' || op == OP_AT_MOST) return n->sign < 0;
    return false;
}

// Runs one statement line: an optional IF(...) or WHILE(...) condition, then
// comma-separated statements through execute_one until the end, a bare
// expression (code 71) or a statement that consumes nothing. After a true
// condition BREAK gives code -1, DO gives 29 (IF) or 59 (WHILE); other text is
// run as a statement line of its own. Ctrl-C ends the line with code
// CODE_INTERRUPTED. Returns the characters consumed.
int run_statement_line(const char *text, int *code) {
    *code = 0;
    int len = int(strlen(text));
    int p = 0;
    int s = 0;
    if (text[0] == 'I' && text[1] == 'F' && text[2] == '(') {
        s = 3;
    } else if (text[0] == 'W' && text[1] == 'H' && text[2] && text[3] && text[4] && text[5] == '(') {
        s = 6;
    }
    if (s > 0) {
        // The rewritten condition adds "-(" and ")," to at most the line itself.
        char condition[STATEMENT_BUFFER + 8];
        char op = 0;
        if (len - s + 5 > int(sizeof condition)) return len;  // cannot occur for buffered lines
        p = s + split_condition(text + s, condition, &op);
        if (p > len) p = len;
        while (text[p] == ')' || text[p] == ' ') p++;
        if (!condition_holds(condition, op)) {
            if (interrupted()) *code = CODE_INTERRUPTED;
            return p;
        }
        const char *rest = text + p;
        if (rest[0] == 'B' && rest[1] == 'R' && rest[2] == 'E' && rest[3] && rest[4] == 'K') {
            *code = CODE_BREAK;
            return p;
        }
        if (rest[0] == 'D' && rest[1] == 'O') {
            *code = s == 3 ? CODE_IF_DO : CODE_WHILE_DO;
            return p + 2;
        }
        return p + run_statement_line(rest, code);
    }
    // A bare expression (code 71) no longer ends the line: the statements
    // after it still run, and the input loop lists &E once the line is done,
    // so "2+3,B=7" sets B as well as listing 5.
    while (p < len) {
        begin_statement();
        int used = execute_one(text + p, code, 0);
        if (used <= 0) break;  // refused, or interrupted (*code says so)
        p += used;
        if (p > len) p = len;
        if (text[p] == ',') p++;
    }
    return p;
}

// Room a value needs when printed by format_bignum, terminator included; one
// more limb allows for the repair of an overflowing leading limb.
static long printed_size(const BigNum *n) {
    int limbs = n->used > n->frac_limbs ? n->used : n->frac_limbs;
    return 8L * (limbs + 1) + 3;
}

// Evaluates `text` into work fraction 0 (see condition_holds for why not
// work register 26) and prints "text=value \n" to `file`,
// or to the console when `file` is null. Integers and decimals are listed in
// decimal form ("..", when the decimal is inexact); other fractions as
// numerator/denominator when the display mode is negative and the pair fits
// the output text, in decimal form otherwise. An expression whose evaluation
// reported a failure is not listed, nor one interrupted by Ctrl-C. Returns 0,
// or CODE_INTERRUPTED when interrupted.
int list_value(const char *text, FILE *file) {
    output_text[0] = 0;
    Fraction *value = &work_frac[0];
    fraction_init(value);
    const int failures = failure_count();
    eval_certain(text, value, 1, false);
    if (interrupted()) return CODE_INTERRUPTED;
    if (failure_count() != failures) return 0;  // the failure was reported: no value to list
    BigNum *num = value->num;
    BigNum *den = value->den;
    bool integer_den = den->used == 1 && limb(den, 0) == 1;
    if (integer_den) {
        format_decimal(value, output_text);
    } else if (display_mode < 0 && printed_size(num) + printed_size(den) < output_text_size) {
        int k = format_bignum(num, output_text);
        output_text[k++] = '/';
        format_bignum(den, output_text + k);
    } else {
        int k = format_decimal(value, output_text);
        if (num->rem > 0 && k + 3 <= output_text_size) strcpy(output_text + k, MSG_INEXACT);
    }
    // Formatting a long value is long work too: text cut short is not listed.
    if (interrupted()) return CODE_INTERRUPTED;
    fprintf(file ? file : stdout, MSG_LISTING, text, output_text);
    return 0;
}
