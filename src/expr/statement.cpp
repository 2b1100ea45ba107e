// Single statements: assignments to variables, work registers and elements,
// text-variable assignments, bare expressions, and the numeric solution of
// linear and quadratic equations in one variable.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "../functions/functions.h"
#include "expr.h"
#include "messages.h"
#include "../kernels/real.h"
#include "../engine/scratch.h"


static bool is_letter(char c) { return c >= 'A' && c <= 'Z'; }
static bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits at `text` as an index, capped so that it cannot overflow.
static int read_index(const char *text, int64_t *index) {
    int k = 0;
    *index = 0;
    while (is_digit(text[k])) {
        if (*index <= 100000000) *index = *index * 10 + (text[k] - '0');
        k++;
    }
    return k;
}

// Work register `reg` := v, an integer.
static void set_register_int(int reg, int32_t v) {
    Fraction *f = &reg_frac[reg];
    fraction_init(f);
    set_int32(f->num, v);
}

// The solver evaluates the equation three levels below the statement's own:
// the functions in an equation use the work registers &B..&E as scratch, so
// its values are held in the statement's work fraction W and the two above
// it until every evaluation is done, and only then moved into the work
// registers for the templates (which call no function). The levels are
// passed down rather than kept in a variable, so a line stopped mid-solve
// (Ctrl-C) leaves nothing behind.
constexpr int SOLVER_LEVELS = 3;

// Evaluates `text` into register `reg` at level `sl`.
static void run_template(const char *text, int reg, int sl) { eval_group(text, &reg_frac[reg], sl); }

// into := f(v): v stored into the solve target, the equation evaluated at
// `sl`. False when a failure was reported or Ctrl-C stopped it.
static bool value_at(const char *equation, int target, int index, int32_t v, Fraction *into, int sl) {
    set_register_int(REG_B, v);
    (void)store_value(target, index, &reg_frac[REG_B]);  // store_value reports a refusal itself
    fraction_init(into);
    int before = failure_count();
    eval_group(equation, into, sl);
    return failure_count() == before && !interrupted();
}

// Quadratic coefficients from f(0), f(1) and f(-1) (held in work fractions
// level + 1, level + 2 and W): c into &C, b into &B and a into &E (&D is left
// holding f(1)). False, with nothing computed, when an evaluation failed.
static bool quadratic_coefficients(const char *equation, int target, int index, Fraction *W, int level) {
    const int sl = level + SOLVER_LEVELS;
    Fraction *f0 = &work_frac[level + 1], *f1 = &work_frac[level + 2];
    if (!value_at(equation, target, index, 0, f0, sl) || !value_at(equation, target, index, 1, f1, sl) ||
        !value_at(equation, target, index, -1, W, sl))
        return false;
    (void)store_value(REG_C, -1, f0);  // store_value reports a refusal itself
    (void)store_value(REG_D, -1, f1);  // store_value reports a refusal itself
    (void)store_value(REG_E, -1, W);  // store_value reports a refusal itself
    run_template("(&D-&E)/2", REG_B, sl);
    run_template("&D-&B-&C", REG_E, sl);
    return true;
}

// Index of an element computed as `f`: an integer from 0 to 99999999, else -1.
static int element_index(Fraction *f) {
    BigNum *n = f->num, *d = f->den;
    if (bn_is_zero(n)) return 0;
    bool whole = d->used == 1 && limb(d, 0) == 1 && d->frac_limbs == 0 && n->frac_limbs == 0;
    if (!whole || n->sign < 0 || n->used != 1) return -1;
    return limb(n, 0);
}

// Reports an assignment target made of several letters (RATE=5), which is
// no variable: `len` characters at `text`. Letters only, two or more.
static void tell_name_run(const char *text, int len) {
    for (int k = 0; k < len; k++)
        if (!is_letter(text[k])) return;
    if (len >= 2) printf(MSG_UNKNOWN_NAME, len, text);
}

// Integer square root of v >= 0 (floor), without overflow near the top.
static int64_t isqrt64(int64_t v) {
    int64_t r = static_cast<int64_t>(std::sqrt(static_cast<double>(v)));
    while (r > 0 && r > v / r) r--;
    while (r + 1 <= v / (r + 1)) r++;
    return r;
}

// Exact square root of a non-negative exact value whose numerator and
// denominator fit 64 bits and are both perfect squares; false otherwise.
static bool exact_square_root(Fraction *f) {
    int64_t n = 0, d = 0;
    if (f->num->frac_limbs != 0 || f->den->frac_limbs != 0) return false;
    if (!get_int64(f->num, &n) || !get_int64(f->den, &d) || n < 0 || d <= 0) return false;
    int64_t rn = isqrt64(n), rd = isqrt64(d);
    if (rn * rn != n || rd * rd != d) return false;
    bn_clear(f->num);
    set_int64(f->num, rn);
    bn_clear(f->den);
    set_int64(f->den, rd);
    return true;
}

// True when `gap`, the equation's value at a further point minus the value
// the fitted line or parabola gives there, is zero; when some value was
// inexact, also when it lies below the last half of the fraction limbs
// (truncation errors of the values, not a higher power).
static bool negligible_gap(Fraction *gap, bool inexact) {
    if (bn_is_zero(gap->num)) return true;
    if (!inexact && gap->num->frac_limbs == 0) return false;
    to_fixed(gap, fixed_point_limbs);
    bn_strip(gap->num);
    return bn_is_zero(gap->num) || gap->num->used <= fixed_point_limbs / 2;
}

// The solve target's value before the trial values, kept in the scratch
// arena so that a solve that finds no root can put it back.
struct SavedTarget {
    Fraction value;
    BigNum num, den;
    bool kept;
};

// Keeps the value of the solve target (`index` -1: the variable) in `saved`,
// reading it through `spare`.
static void save_target(int target, int index, Fraction *spare, SavedTarget *saved) {
    char name[16];
    if (index < 0)
        snprintf(name, sizeof name, "%c", 'A' + target);
    else
        snprintf(name, sizeof name, "%c%d", 'A' + target, index);
    int64_t end = (static_cast<int64_t>(index) + 1) * reg_num[target]->elem_width;
    if (index >= 0 && end > reg_den[target]->capacity)
        fraction_init(spare);  // an element never stored: 0, and no "valRR" for reading it
    else
        read_value(name, spare);
    saved->num = {};
    saved->den = {};
    saved->kept = fraction_stash(&saved->value, &saved->num, &saved->den, spare);
}

// Puts the kept value back into the solve target and returns `consumed`.
static int restore_target(int target, int index, SavedTarget *saved, int consumed) {
    if (saved->kept) (void)store_value(target, index, &saved->value);  // it was stored there before
    return consumed;
}

// Linear equation: f(0), f(1) and, as the check, f(2) on the line they fit;
// the root -f(0)/(f(1)-f(0)) into the solve target, f(0) and f(1) left in &D
// and &E. Returns `consumed`.
static int solve_linear(const char *equation, int target, int index, Fraction *W, int level,
                        SavedTarget *saved, int consumed) {
    const int sl = level + SOLVER_LEVELS;
    Fraction *f0 = &work_frac[level + 1], *f1 = &work_frac[level + 2];
    if (!value_at(equation, target, index, 0, f0, sl) || !value_at(equation, target, index, 1, f1, sl) ||
        !value_at(equation, target, index, 2, W, sl))
        return restore_target(target, index, saved, consumed);
    (void)store_value(REG_D, -1, f0);  // store_value reports a refusal itself
    (void)store_value(REG_E, -1, f1);  // store_value reports a refusal itself
    bool inexact = f0->num->frac_limbs != 0 || f1->num->frac_limbs != 0 || W->num->frac_limbs != 0;
    eval_group("&F-2*&E+&D", W, level + 1);  // f(2) - 2 f(1) + f(0), zero on a line
    if (interrupted()) return consumed;  // the target keeps its trial value, as stored before
    if (!negligible_gap(W, inexact)) {
        tell_failure(MSG_NOT_LINEAR);
        return restore_target(target, index, saved, consumed);
    }
    // Equal values of f(0) and f(1): no root (compared as values, not numerators).
    eval_group("&D-&E", W, level + 1);
    if (bn_is_zero(W->num)) {
        tell_notice(MSG_NO_SOLUTIONS);
        return restore_target(target, index, saved, consumed);
    }
    run_template("&D/(&D-&E)", REG_B, sl);
    (void)store_value(target, index, &reg_frac[REG_B]);  // store_value reports a refusal itself
    return consumed;
}

// Quadratic equation: the coefficients from f(0), f(1) and f(-1), checked
// against f(2); the root with the sign `sign` of the square root into the
// solve target, b, c and a left in &B, &C and &E. Returns `consumed`.
static int solve_quadratic(const char *equation, int target, int index, char sign, Fraction *W, int level,
                           SavedTarget *saved, int consumed) {
    const int sl = level + SOLVER_LEVELS;
    // f(2) waits in the scratch arena while the other three are evaluated.
    if (!value_at(equation, target, index, 2, W, sl)) return restore_target(target, index, saved, consumed);
    Fraction f2;
    BigNum f2n = {}, f2d = {};
    if (!fraction_stash(&f2, &f2n, &f2d, W) || !quadratic_coefficients(equation, target, index, W, level))
        return restore_target(target, index, saved, consumed);
    Fraction *f0 = &work_frac[level + 1], *f1 = &work_frac[level + 2];
    bool inexact = f0->num->frac_limbs != 0 || f1->num->frac_limbs != 0 || W->num->frac_limbs != 0 ||
                   f2.num->frac_limbs != 0;
    (void)copy(W->num, f2.num);  // it came from W
    (void)copy(W->den, f2.den);  // it came from W
    eval_group("&F-4*&E-2*&B-&C", W, level + 1);  // f(2) - (4a + 2b + c), zero on a parabola
    if (interrupted()) return consumed;  // the target keeps its trial value, as stored before
    if (!negligible_gap(W, inexact)) {
        tell_failure(MSG_NOT_QUADRATIC);
        return restore_target(target, index, saved, consumed);
    }
    if (bn_is_zero(reg_frac[REG_E].num)) {
        bn_normalise_zero(reg_frac[REG_E].num);
        if (bn_is_zero(reg_frac[REG_B].num)) {  // a = b = 0: no root to divide out
            tell_notice(MSG_NO_SOLUTIONS);
            return restore_target(target, index, saved, consumed);
        }
        run_template("-&C/&B", REG_D, sl);
        (void)store_value(target, index, &reg_frac[REG_D]);  // store_value reports a refusal itself
        return consumed;
    }
    run_template("&B^2-4*&E*&C", REG_D, sl);
    if (interrupted()) return consumed;
    Fraction *disc = &reg_frac[REG_D];
    bn_normalise_zero(disc->num);
    if (disc->num->sign < 0) {
        tell_notice(MSG_NO_SOLUTIONS);
        fraction_init(disc);
    } else if (!exact_square_root(disc)) {
        // The root is taken in W (the kernel leaves &B..&E alone).
        fraction_init(W);
        eval_group("&D", W, level + 1);
        nth_root(W, 2, 1.0, level + 1);
        if (store_value(REG_D, -1, W) != 0) fraction_init(disc);
    }
    if (sign == '-') disc->num->sign = static_cast<int8_t>(-disc->num->sign);
    eval_group("(-&B+&D)/(2*&E)", W, level + 1);
    (void)store_value(target, index, W);  // store_value reports a refusal itself
    return consumed;
}

// Solves the equation statement at `t` (`.X:`, `.+X:`, `.-X:`, `..X:`, with an
// element target `X5` or `X[expr]`). An equation that is not linear
// (quadratic), fails to evaluate or has no root leaves the solve target as
// it was. Returns the characters consumed.
static int solve_equation(const char *t, int p, Fraction *W, int level) {
    const int sl = level + SOLVER_LEVELS;
    if (sl >= MAX_LEVEL) {
        tell_failure(MSG_LEVEL_OVF);
        return 0;
    }
    char sign = t[1];
    char letter = t[p + 1];
    if (!is_letter(letter)) {
        tell_failure(MSG_ERR);
        return 0;
    }
    int target = letter - 'A';
    int q = p + 2;
    int index = -1;
    if (t[q] == '[') {
        int n = eval_group(t + q + 1, &reg_frac[REG_B], sl);
        index = element_index(&reg_frac[REG_B]);
        q += 1 + n;
        int len = static_cast<int>(strlen(t));
        if (q > len) q = len;
        if (index < 0) {  // not an integer from 0 to 99999999
            tell_failure(MSG_VAL_OVF);
            return 0;
        }
    } else if (is_digit(t[q]) || t[q] == '-') {
        bool negative = t[q] == '-';
        if (negative) q++;
        int64_t v = 0;
        q += read_index(t + q, &v);
        if (negative) {  // a negative element index is refused
            tell_failure(MSG_VAL_OVF);
            return 0;
        }
        index = static_cast<int>(v);
    }
    if (t[q] != ':') return q;
    const char *source = t + q + 1;
    char equation[STATEMENT_BUFFER + 8];
    if (strlen(source) + 5 > STATEMENT_BUFFER - 1) {
        tell_failure(MSG_TEXT_OVF);
        return q + 1 + static_cast<int>(strlen(source));
    }
    ScratchScope scope(core);
    SavedTarget saved;
    save_target(target, index, W, &saved);
    set_register_int(REG_B, 0);
    set_register_int(REG_D, 0);
    set_register_int(REG_E, 0);
    char op = 0;
    int consumed = q + 1 + split_condition(source, equation, &op);
    expand_text_variables(equation);
    if (p == 0) return solve_linear(equation, target, index, W, level, &saved, consumed);
    return solve_quadratic(equation, target, index, sign, W, level, &saved, consumed);
}

// Index of the `=` of the statement at `t`: the first one outside square
// brackets before the comma that ends the statement (outside brackets and
// parentheses); -1 when there is none.
static int find_assignment(const char *t) {
    int square = 0, round = 0;
    for (int i = 0; t[i]; i++) {
        char c = t[i];
        if (c == '[') square++;
        else if (c == ']') square--;
        else if (c == '(') round++;
        else if (c == ')') round--;
        else if (c == ',' && square <= 0 && round <= 0) return -1;
        else if (c == '=' && square <= 0) return i;
    }
    return -1;
}

// Stores the text after `X$=` / `X$~` (normalised, at most one buffer) into
// text variable X. Returns the characters consumed.
static int assign_text_variable(const char *t, int start) {
    char buffer[STATEMENT_BUFFER];
    const char *rest = t + start + 3;
    size_t len = strlen(rest);
    size_t take = len < STATEMENT_BUFFER - 1 ? len : STATEMENT_BUFFER - 1;
    memcpy(buffer, rest, take);
    buffer[take] = 0;
    normalise_line(buffer);
    char *slot = text_vars[t[start] - 'A'];
    size_t n = strnlen(buffer, STATEMENT_BUFFER - 1);
    memcpy(slot, buffer, n);
    slot[n] = 0;
    return start + 3 + static_cast<int>(len);
}

// coef := the decimal number at `text` as a reduced fraction. Returns the
// characters of the number, 0 when there is none.
static int parse_coefficient(const char *text, Fraction *coef) {
    fraction_init(coef);
    int n = parse_decimal(text, coef->num);
    bn_clear(coef->den);
    set_int64(coef->den, coef->num->dec_den > 0 ? coef->num->dec_den : 1);
    reduce_small(coef->num, coef->den);
    return n;
}

// The statement of execute_one, which hands an interruption up.
static int run_one(const char *text, int *code, int level) {
    if (level < 0 || level >= WORK_FRACTIONS) {
        tell_failure(MSG_LEVEL_OVF);
        return 0;
    }
    const char *t = text;
    Fraction *W = &work_frac[level];
    const int len = static_cast<int>(strlen(t));
    if (t[0] == '.' && (t[1] == '+' || t[1] == '-' || t[1] == '.')) return solve_equation(t, 1, W, level);
    if (t[0] == '.' && is_letter(t[1])) return solve_equation(t, 0, W, level);

    // Text variable, recognised before anything else: [number] X$= or X$~.
    int k = 0;
    if (t[k] == '-') k++;
    while (is_digit(t[k]) || t[k] == '.') k++;
    if (is_letter(t[k]) && t[k + 1] == '$' && (t[k + 2] == '=' || t[k + 2] == '~'))
        return assign_text_variable(t, k);

    // A statement whose evaluation reported a failure stores nothing: its
    // target keeps the value it had.
    const int failures = failure_count();
    int eq = find_assignment(t);
    if (eq < 0) {
        int n = eval_certain(t, W, level + 1, true);
        if (failure_count() != failures) return n > len ? len : n;
        (void)store_value(REG_E, -1, W);  // store_value reports a refusal itself
        *code = CODE_LISTED_E;
        return n > len ? len : n;
    }

    // Coefficient in front of the target (overwrites &B). It is parsed
    // again after the right-hand side, whose functions use &B as scratch.
    Fraction *coef = &reg_frac[REG_B];
    bool negative = t[0] == '-';
    int n = parse_coefficient(t + (negative ? 1 : 0), coef);
    int digits = n;
    n += negative ? 1 : 0;
    bool has_coef = n != 0 && (is_letter(t[n]) || t[n] == '&');
    int start = has_coef ? n : 0;

    int reg = -1, index = -1, name = 0;
    if (t[start] == '&') {
        reg = work_register_of(t[start + 1]);
        if (reg < 0) {  // not a work register name
            tell_failure(MSG_ERR);
            return 0;
        }
        name = 2;
    } else if (is_letter(t[start])) {
        reg = t[start] - 'A';
        name = 1;
    }
    if (reg >= 0) {
        int after = start + name;
        if (after == eq) {
            index = -1;
        } else if (is_digit(t[after])) {
            int64_t v = 0;
            read_index(t + after, &v);
            index = static_cast<int>(v);
        } else if (t[after] == '[') {
            eval_group(t + after + 1, &reg_frac[REG_C], level + 1);
            index = element_index(&reg_frac[REG_C]);
            if (index < 0) tell_failure(MSG_VAL_OVF);
        } else {
            if (name == 1) tell_name_run(t + start, eq - start);
            reg = -1;
        }
    }
    if (reg < 0) {
        reg = REG_E;
        index = -1;
    }

    int r = eval_certain(t + eq + 1, W, level + 1, true);
    if (interrupted()) return 0;  // nothing is stored: execute_one says why
    if (has_coef) {
        if (digits > 0) {
            parse_coefficient(t + (negative ? 1 : 0), coef);
            if (bn_is_zero(coef->num)) {  // 0A=5 divides by zero: the value is 0
                tell_division_by_zero();
                fraction_init(W);
                bn_set_one(coef->num);
            }
            int8_t sign = coef->num->sign;
            coef->num->sign = 1;
            coef->den->sign = sign;
            Fraction recip = {coef->den, coef->num, 0};
            fraction_product(W, W, &recip);
        }
        if (negative) W->num->sign = static_cast<int8_t>(-W->num->sign);
    }
    bool failed = failure_count() != failures;
    if (!failed) (void)store_value(reg, index, W);  // store_value reports a refusal itself
    if (reg == REG_E && !failed) *code = CODE_LISTED_E;
    if (r == 0) return 0;
    int end = eq + 1 + r;
    if (end > len) return len;
    if (strchr(",)]|~", t[end - 1]) != nullptr) return end - 1;
    return end;
}

// Executes the statement at the start of `text` at `level` (0..15; the value
// goes through work fraction `level`): equation, text-variable assignment,
// assignment with optional coefficient, or bare expression (value to &E).
// Sets *code to 71 when the value went to &E, to CODE_INTERRUPTED when
// Ctrl-C stopped the statement (nothing of it was stored or listed). Returns
// the index of the character that ended the statement, 0 when it was
// refused, interrupted, or its right-hand side could not be evaluated.
int execute_one(const char *text, int *code, int level) {
    int used = run_one(text, code, level);
    if (!interrupted()) return used;
    *code = CODE_INTERRUPTED;
    return 0;
}
