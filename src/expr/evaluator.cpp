// The expression evaluator: a single left-to-right pass over the text that
// keeps sums, terms and factors in the work fractions of its nesting level;
// powers, factorials, combinations, integer operators, groups, bars, bracket
// and range forms, computed element indices.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "../functions/functions.h"
#include "../functions/messages.h"
#include "../number/ball.h"
#include "../engine/fastmul.h"
#include "../engine/limbs.h"
#include "../number/power.h"
#include "expr.h"
#include "../kernels/real.h"
#include "../engine/scratch.h"
#include "messages.h"

constexpr int64_t HUGE_EXPONENT = 100000000;  // integer exponents beyond this are refused
constexpr int BRACKET_STATEMENT_MAX = 100;

static int32_t limb_or_zero(BigNum *n, int k) { return k < n->used ? limb(n, k) : 0; }

// d := s. Falls back to a product with one when a record of `d` is too small
// to take the limbs of `s`, which rounds to fixed point like any product.
static void frac_copy(Fraction *d, Fraction *s) {
    if (d == s) return;
    if (s->num->used <= d->num->capacity && s->den->used <= d->den->capacity) {
        (void)copy(d->num, s->num);  // room checked above
        (void)copy(d->den, s->den);  // room checked above
        d->rad = s->rad;
        return;
    }
    fraction_init(d);
    bn_set_one(d->num);
    fraction_product(d, d, s);
}

// Set once a division by zero has been reported in the current statement.
static bool division_by_zero_told = false;
// Set once an unknown name has been reported in the current statement.
static bool unknown_name_told = false;
// Failures reported so far (syntax errors, "err ", refused stores, level
// refusals); a statement compares the count before and after its evaluation.
static int failures_told = 0;

// Starts a statement: the notices given at most once per statement may be
// given again.
void begin_statement() {
    division_by_zero_told = false;
    unknown_name_told = false;
}

// Counts a failure whose message the caller prints itself.
void note_failure() { failures_told++; }

// Prints a failure message and counts it.
void tell_failure(const char *message) {
    tell_refusal(message);
    failures_told++;
}

// Prints the syntax error for the unreadable text `rest` and counts it.
void tell_syntax_error(const char *rest) {
    if (!interrupted()) printf(MSG_SYNTAX, rest);
    failures_told++;
    refusal_count++;
}

void tell_notice(const char *message) {
    if (!interrupted()) fputs(message, stdout);
}

void tell_refusal(const char *message) {
    refusal_count++;
    if (!interrupted()) fputs(message, stdout);
}

// Failures reported since start-up; only differences of it mean anything.
int failure_count() { return failures_told; }

void restore_failure_count(int count) { failures_told = count; }

// Reports a division by zero, at most once per statement; the quotient the
// caller leaves is 0.
void tell_division_by_zero() {
    if (division_by_zero_told || interrupted()) return;
    division_by_zero_told = true;
    fputs(MSG_DIV_ZERO, stdout);
}

// A divisor held as 0 whose radius is not 0 may or may not be zero: the
// quotient becomes 0 with an infinite radius, so that the statement is
// evaluated again with more places, and the doubt is noted for the last
// attempt. True when that was the case.
static bool divisor_in_doubt(Fraction *divisor) {
    if (rad_is_zero(divisor->rad)) return false;
    note_divisor_doubt();
    return true;
}

// f := 1/f, the sign kept on the numerator; `spare` is scratch with the same
// capacities as f (its content is lost). The reciprocal of 0 is reported and
// gives 0.
static void frac_reciprocal(Fraction *f, Fraction *spare) {
    if (bn_is_zero(f->num)) {
        if (divisor_in_doubt(f)) return;
        tell_division_by_zero();
        fraction_init(f);
        return;
    }
    double rad = rad_quotient(RAD_ZERO, RAD_ZERO, mag_up(f), mag_lo(f), f->rad);
    frac_copy(spare, f);
    int8_t sign = spare->num->sign;
    spare->num->sign = 1;
    Fraction swapped = {spare->den, spare->num, 0};
    fraction_init(f);
    bn_set_one(f->num);
    fraction_product(f, f, &swapped);
    f->num->sign = static_cast<int8_t>(bn_is_zero(f->num) ? 1 : sign);
    f->den->sign = 1;
    f->rad = rad_add(f->rad, rad);
}

// Greatest common divisor of |x| and |y| (Euclid on 64-bit integers); 1 when
// either is 0.
int64_t gcd64(int64_t x, int64_t y) {
    uint64_t a = x < 0 ? 0 - static_cast<uint64_t>(x) : static_cast<uint64_t>(x);
    uint64_t b = y < 0 ? 0 - static_cast<uint64_t>(y) : static_cast<uint64_t>(y);
    if (a == 0 || b == 0) return 1;
    return static_cast<int64_t>(gcd_u64(a, b));
}

// Group at a level that is too deep: the text up to and including the `)`
// that balances it is skipped and reported.
static int skip_group(const char *text, int level) {
    int depth = 0, opens = 0, i = 0;
    for (; text[i]; i++) {
        if (text[i] == '(') {
            depth++;
            opens++;
        } else if (text[i] == ')') {
            if (depth == 0) {
                i++;
                break;
            }
            depth--;
        }
    }
    printf(MSG_GROUP_OVF, i, text, level, i, i, opens);
    note_failure();
    return i;
}

// Evaluates a group (nested text, template or right-hand side) into `dest`,
// its radius with it. At level 15 or more nothing
// is evaluated: the overflow line is printed and the text up to the `)` that
// balances the group is skipped, `dest` untouched. Returns characters consumed.
int eval_group(const char *text, Fraction *dest, int level) {
    if (level >= MAX_LEVEL) return skip_group(text, level);
    return eval_expression(text, dest, level);
}

// Bracket form at `text` (on the `[`): a statement, then the expression after
// `|` or `]`; with a range `name=lower~upper` the difference of the expression
// between the upper and the lower value.
static int read_bracket(const char *text, Fraction *dest, int level) {
    int stop = 1;
    while (text[stop] && text[stop] != '|' && text[stop] != ']') stop++;
    if (stop - 1 > BRACKET_STATEMENT_MAX || level >= MAX_LEVEL) {
        // Refused: skip to the `]` that closes the form; the operand reads 0.
        tell_failure(level >= MAX_LEVEL ? MSG_LEVEL_OVF : MSG_ERR);
        int depth = 0, i = 0;
        for (; text[i]; i++) {
            if (text[i] == '[') depth++;
            if (text[i] == ']' && --depth == 0) {
                i++;
                break;
            }
        }
        fraction_init(dest);
        return i;
    }
    int code = 0;
    int used = execute_one(text + 1, &code, level);
    int after = text[stop] ? stop + 1 : stop;
    int n = eval_group(text + after, dest, level + 1);
    // Interrupted: the range's second statement is not run (its value
    // would not be stored anyway); the caller hands the status up.
    if (used > 0 && used < stop - 1 && text[1 + used] == '~' && !interrupted()) {
        char statement[BRACKET_STATEMENT_MAX + 8];
        const char *part = text + 1;
        int eq = 0;
        while (eq < used && part[eq] != '=') eq++;
        int len = 0;
        for (int k = 0; k <= eq && k < used; k++) statement[len++] = part[k];
        for (int k = used + 1; k < stop - 1; k++) statement[len++] = part[k];
        statement[len] = 0;
        execute_one(statement, &code, level);
        Fraction *upper = &work_frac[level];
        eval_group(text + after, upper, level + 1);
        dest->num->sign = static_cast<int8_t>(-dest->num->sign);
        fraction_add(dest, dest, upper);
    }
    int total = after + n;
    int len = static_cast<int>(strlen(text));
    return total > len ? len : total;
}

// Characters of `text` up to and including the `close` that ends the group
// it starts inside (a `)` at depth zero, or the next bar), or all of it.
static int closed_length(const char *text, char close) {
    int depth = 0, i = 0;
    for (; text[i]; i++) {
        if (close == ')' && text[i] == '(') depth++;
        if (text[i] == close && depth-- == 0) return i + 1;
    }
    return i;
}

// Reads one operand at `text` into `dest` at `level`: `&F` (dest unchanged),
// [-] group, bars, bracket form, computed element X[expr], function call,
// value reference. The result is reduced. Returns characters consumed, 0 when
// nothing could be read.
int read_operand(const char *text, Fraction *dest, int level) {
    if (text[0] == '&' && text[1] == 'F') return 2;
    int pos = 0;
    bool negative = text[0] == '-';
    if (negative) pos = 1;
    int len = static_cast<int>(strlen(text));
    char c = text[pos];
    int n = 0;
    if (c == '(' || c == '|') {
        int k = eval_group(text + pos + 1, dest, level);
        // A group that failed (its message printed) is stepped over whole,
        // so that its rest is not read again as a second error.
        if (k == 0) k = closed_length(text + pos + 1, c == '(' ? ')' : '|');
        n = 1 + k;
        if (c == '|') dest->num->sign = 1;
    } else if (c == '[') {
        n = read_bracket(text + pos, dest, level);
    } else if (c != 0 && text[pos + 1] == '[') {
        int k = eval_group(text + pos + 2, dest, level);
        // The index must be an integer from 0 to 99999999.
        BigNum *in = dest->num, *id = dest->den;
        bool whole = id->used == 1 && limb(id, 0) == 1 && id->frac_limbs == 0 && in->frac_limbs == 0;
        if (bn_is_zero(in) || (whole && in->sign > 0 && in->used == 1)) {
            char name[16];
            snprintf(name, sizeof name, "%c%d", c, static_cast<int>(limb_or_zero(in, 0)));
            read_value(name, dest);
        } else {
            tell_failure(MSG_VAL_RANGE);
            fraction_init(dest);
        }
        n = 2 + k;
    } else {
        n = evaluate_function(text + pos, dest, level);
        if (n == 0) n = read_value(text + pos, dest);
        if (n == 0) return 0;
    }
    if (pos + n > len) n = len - pos;
    if (negative) dest->num->sign = static_cast<int8_t>(-dest->num->sign);
    reduce_small(dest->num, dest->den);
    return pos + n;
}

// ------------------------------------------------------------------ power


// Fraction limbs an exponent carries beyond the working precision.
constexpr int EXPONENT_GUARD_LIMBS = 2;

// Largest exponent numerator an exact root is raised to by repeated products.
constexpr int64_t EXACT_ROOT_POWER_MAX = 1000;

// B := O^(k/o) exactly when the numerator and the denominator of the exact
// base O > 0 are both perfect o-th powers ((4/9)^(3/2) is 8/27); O is then
// replaced by the root. False, with B and O unchanged, otherwise.
static bool exact_root_power(Fraction *B, Fraction *O, int64_t k, int64_t o) {
    if (o < 2 || o > 133 || k == 0 || k > EXACT_ROOT_POWER_MAX || k < -EXACT_ROOT_POWER_MAX) return false;
    if (O->num->frac_limbs != 0 || O->den->frac_limbs != 0) return false;
    ScratchScope scope(core);
    BigNum rn, rd;
    if (!bn_from_scratch(&rn, O->num->used + 2) || !bn_from_scratch(&rd, O->den->used + 2)) return false;
    if (!exact_root(&rn, O->num, static_cast<int>(o)) || !exact_root(&rd, O->den, static_cast<int>(o)))
        return false;
    (void)copy(O->num, &rn);  // a root is no longer than its radicand
    (void)copy(O->den, &rd);  // a root is no longer than its radicand
    fraction_init(B);
    bn_set_one(B->num);
    for (int64_t j = 0; j < (k < 0 ? -k : k) && !interrupted(); j++) power_step(B, O);
    if (k < 0) frac_reciprocal(B, O);
    return true;
}

// B := O^(W + m/o) for the base magnitude O > 0 and the exponent Y (the same
// value, every limb of it; W and m both negative for a negative one), the true value truncated to F
// fraction limbs: through the o-th root of O^(W o + m) when the exponent is
// an exact fraction, else (and for o = 0, an exponent whose denominator is
// outside the machine-integer window) through exp(Y ln O). A result that does not fit
// is reported and gives 0.
static void fractional_power(Fraction *B, Fraction *O, Fraction *Y, int64_t W, int64_t m, int64_t o) {
    int F = fixed_point_limbs;
    bool exact = o > 0 && Y->num->frac_limbs == 0 && Y->den->frac_limbs == 0;
    Status rc;
    bool in_range = exact && (W < 0 ? -W : W) <= (INT64_MAX - (m < 0 ? -m : m)) / o;
    if (in_range && exact_root_power(B, O, W * o + m, o)) return;
    fraction_init(B);
    if (in_range)
        rc = real_power_ratio(core, B->num, O, W * o + m, o, F);
    else
        rc = real_power(core, B->num, O, Y, F);
    if (!kernel_wrote(rc)) {
        tell_refusal(MSG_PROD_OVF);
        fraction_init(B);
        return;
    }
    bn_set_one(B->den);
    // The kernel's truncation, and the radii of base and exponent carried
    // through the derivatives of x^y.
    double p = static_cast<double>(W) + (o > 0 ? static_cast<double>(m) / static_cast<double>(o)
                                                 : fraction_to_double(Y));
    B->rad = rad_add(rad_add(rad_ulps(2, F), rad_power(O, p, Y->rad)), take_kernel_doubt());
}

// B := O^n (O > 0 held in fixed point or inexact, n an integer of either
// sign) by the power kernel: the true power of the held value truncated to
// F fraction limbs, the radius of O carried through n x^(n-1). A result that
// does not fit is reported and gives 0.
static void kernel_integer_power(Fraction *B, Fraction *O, int64_t n) {
    int F = fixed_point_limbs;
    fraction_init(B);
    if (n == 0) {
        bn_set_one(B->num);
        return;
    }
    if (!kernel_wrote(real_power_ratio(core, B->num, O, n, 1, F))) {
        tell_refusal(MSG_PROD_OVF);
        fraction_init(B);
        return;
    }
    bn_set_one(B->den);
    B->rad = rad_add(rad_add(rad_ulps(2, F), rad_power(O, static_cast<double>(n), RAD_ZERO)), take_kernel_doubt());
}

// The exponent of a power: its value Y (every limb, when it could be kept),
// its sign s, and the parts W + m/o of its magnitude (o = 0 stands for a
// denominator outside the 64-bit window, then m/o = 1/2 stands in).
struct Exponent {
    Fraction Y;
    bool have_y;
    int s;
    int64_t t, W, m, o;
    bool long_exponent;
};

// Splits the exponent read into O (F fraction limbs before the guard) into
// e's parts. False when it has no defined power (message printed).
static bool exponent_parts(Fraction *O, int F, Exponent *e) {
    e->t = window_value(O->num);
    int64_t q = window_value(O->den);
    e->s = O->num->sign < 0 ? -1 : 1;
    e->long_exponent = false;
    int Fo = O->num->frac_limbs;
    // A decimal exponent with more than one integer limb or more than two
    // fraction limbs, or in another scale, is used whole (through the
    // exponential): W + m/o = 1/2 only stands in for it.
    bool decimal = Fo != 0 && !bn_is_zero(O->num);
    bool two_limbs = F != 0 && (Fo == F || Fo == F + EXPONENT_GUARD_LIMBS) && O->num->used <= Fo + 1;
    for (int k = 0; two_limbs && k < Fo - 2; k++) two_limbs = limb_or_zero(O->num, k) == 0;
    if (decimal && !two_limbs) {
        if (!e->have_y) {
            tell_refusal(MSG_ERR);
            return false;
        }
        e->W = 0;
        e->m = 1;
        e->o = 2;
        e->long_exponent = true;
    } else if (decimal) {
        e->W = limb_or_zero(O->num, Fo);
        e->m = static_cast<int64_t>(limb_or_zero(O->num, Fo - 1)) * LIMB_BASE +
               (Fo >= 2 ? limb_or_zero(O->num, Fo - 2) : 0);
        e->o = 10000000000000000LL;
    } else {
        if (q < 0) q = -q;
        if (q == 0 && !e->have_y) {  // denominator outside the window: no defined power
            tell_failure(MSG_ERR);
            return false;
        }
        int64_t at = e->t < 0 ? -e->t : e->t;
        // A denominator outside the window leaves the whole power to the
        // exponential: a fraction m/o stands in for the exponent's fraction.
        e->W = q == 0 ? 0 : at / q;
        e->m = q == 0 ? 1 : at % q;
        e->o = q == 0 ? 2 : q;
        e->long_exponent = q == 0;
    }
    int64_t g = gcd64(e->m, e->o);
    e->m /= g;
    e->o /= g;
    if (e->m == 0) e->o = 1;
    return true;
}

// O := the base B oriented for the power: exact powers run on a base whose
// numerator is at least its denominator (the pending operator `op` turns
// instead), inexact ones on B as it is. Sets *c (orientation, 1 or -1) and
// *c_raw (the comparison of |numerator| and denominator, 0 for magnitude one).
static void orient_base(Fraction *B, Fraction *O, const Exponent &e, bool inexact, int K, char *op,
                        int *c, int *c_raw) {
    if (inexact) {
        frac_copy(O, B);
        *c = *c_raw = 1;
        if (e.s == -1) *op = *op == '*' ? '/' : '*';
    } else {
        *c_raw = compare_magnitude(B->num, B->den);
        *c = *c_raw == 0 ? 1 : *c_raw;
        if (*c * e.s == -1 && K == 2) *op = *op == '*' ? '/' : '*';
        if (*c == 1) {
            frac_copy(O, B);
        } else {
            Fraction recip = {B->den, B->num, 0};
            frac_copy(O, &recip);
            O->num->sign = 1;
            O->den->sign = 1;
        }
    }
    O->num->sign = 1;
}

// Decimal places a power of 10, 100, 1000 or 10000 shifts the term by
// (0: no shortcut); `op_before` is the operator before the power, which the
// shortcut may turn back to `*`. base_frac is the fraction limbs the base
// was held with: a base such as 10^-44 (10^4 at 6 fraction limbs) is no
// power of 10..10000 and takes the exact decimal power instead.
static int64_t decimal_shortcut(Fraction *O, const Exponent &e, int c_raw, int base_limbs, int base_frac,
                                char op_before, char *op) {
    if (O->den->used != 1 || limb(O->den, 0) != 1 || O->den->frac_limbs != 0 || base_limbs != 1 || e.m != 0 ||
        O->num->used != 1 || base_frac != 0)
        return 0;
    int32_t low = limb(O->num, 0);
    int d = low == 10 ? 1 : low == 100 ? 2 : low == 1000 ? 3 : low == 10000 ? 4 : 0;
    if (d == 0 || e.t <= -HUGE_EXPONENT || e.t >= HUGE_EXPONENT) return 0;
    int64_t D = e.t * c_raw * d;
    bool negated = op_before == '/';
    if (negated) D = -D;
    if (D == 0 || (D >= -6 && D <= -1)) return 0;
    if (negated) *op = '*';
    return D;
}

// The term T shifted by D decimal places (the decimal shortcut); refused with
// "err " and 0 when the shifted value has no room.
static void shift_term(Fraction *T, int64_t D, int F) {
    BigNum *tn = T->num;
    int64_t e = 0, h = 0;
    if (tn->frac_limbs == 0 && D < 0) {
        tn->frac_limbs = F;
        e = 8 * static_cast<int64_t>(F);
    }
    if (D + e < 0) {
        h = 1 - (D + e) / 8;
        tn->frac_limbs += static_cast<int32_t>(h);
    }
    if (shift_decimal(tn, static_cast<int32_t>(e + 8 * h + D)) != STATUS_OK) {
        tell_failure(MSG_ERR);
        fraction_init(T);
        return;
    }
    if (!rad_is_zero(T->rad)) T->rad += static_cast<double>(D) * 3.3219280948873623 + 1e-9 * (1 + std::fabs(double(D)));
}

// B := O^W (B = 1 on entry) by squaring or by the repeated products, with
// the spare Q = work fraction L + 3 when the pool has it. False, B = 0, when
// refused (message printed).
static bool integer_power(Fraction *B, Fraction *O, int64_t W, int L, bool exact, int c_raw) {
    // A power whose magnitude surely outgrows B's numerator ends, after all
    // its products, refused with 0: refuse it before doing them.
    double grows = log10_bound(O->num, false) - log10_bound(O->den, true);
    if (grows > 0 && surely_too_long(static_cast<double>(W) * grows, B->num)) {
        tell_refusal(MSG_PROD_OVF);
        fraction_init(B);
        return false;
    }
    if (W > HUGE_EXPONENT) {
        if (c_raw != 0 || !exact) {
            // Out of reach of the products: refused, and 0 rather than a
            // plausible value.
            tell_failure(MSG_ERR);
            fraction_init(B);
            return false;
        }
        W = (W & 1) ? 1 : 2;  // a base of magnitude one: only the parity matters
    }
    if (exact && power_by_squaring(B, O, W)) return true;
    if (W >= 12 && L + 3 < WORK_FRACTIONS) {
        Fraction *Q = &work_frac[L + 3];
        int64_t root = static_cast<int64_t>(std::sqrt(static_cast<double>(W)));
        while (root * root > W) root--;
        while ((root + 1) * (root + 1) <= W) root++;
        // Up to 10^8 products: each loop stops at Ctrl-C, B then means
        // nothing and the evaluator hands the interruption up.
        for (int64_t k = 0; k < root && !interrupted(); k++) power_step(B, O);
        frac_copy(Q, B);
        for (int64_t k = 1; k < root && !interrupted(); k++) power_step(B, Q);
        for (int64_t k = 0; k < W - root * root && !interrupted(); k++) power_step(B, O);
    } else {
        for (int64_t k = 0; k < W && !interrupted(); k++) power_step(B, O);
    }
    return true;
}

// B := B * O^(m/o) through roots of O (its prime factors up to 133 in o,
// the rest by the floating step), for an exponent that could not be kept.
static void root_steps(Fraction *B, Fraction *O, int64_t m, int64_t o, int level) {
    if (o < 2) return;
    for (int j = 2; j <= 133; j += j == 2 ? 1 : 2) {
        while (o % j == 0) {
            if (interrupted()) return;
            nth_root(O, j, 1.0, level);
            o /= j;
            while (m >= o) {
                m -= o;
                power_step(B, O);
            }
        }
    }
    if (m != 0) {
        nth_root(O, 1, static_cast<double>(m) / static_cast<double>(o), level);
        power_step(B, O);
    }
}

// B := B ^ (operand at `text`), O and Q being the work fractions of the slot
// and the spare; `op` is the pending multiplicative operator, which the
// power may turn around; T is the term (target of the decimal shortcut).
// Returns the characters of the exponent, 0 when it could not be read.
static int apply_power(const char *text, Fraction *B, Fraction *T, int L, int K, char *op) {
    Fraction *O = &work_frac[L + K];
    int8_t base_sign = B->num->sign;
    int base_frac = B->num->frac_limbs;
    // The exponent is read with guard limbs, so that an inexact one (2^PI)
    // moves no printed digit of the power.
    int F = fixed_point_limbs;
    int n;
    {
        FixedPointRaise guard(EXPONENT_GUARD_LIMBS);
        n = read_operand(text, O, L + K + 1);
    }
    // An exponent read after Ctrl-C means nothing: no power of it is taken.
    if (n == 0 || interrupted()) return n;
    // The exponent as read, kept for a fractional power: the parts below see
    // only its leading limbs.
    ScratchScope scope(core);
    BigNum y_num = {}, y_den = {};
    Exponent e;
    e.have_y = fraction_stash(&e.Y, &y_num, &y_den, O);
    e.Y.rad = O->rad;
    if (e.have_y) {
        e.Y.num->sign = 1;
        e.Y.den->sign = 1;
    }
    if (!exponent_parts(O, F, &e)) {
        fraction_init(B);
        return n;
    }
    // A negative base has a real power only when the reduced exponent
    // (W o + m)/o has an odd denominator: the odd root keeps the sign, and
    // the sign of the power follows the parity of W o + m. An even root, or
    // an exponent known only as a decimal, has no real value.
    if (base_sign < 0 && e.m != 0 && !bn_is_zero(B->num) && (e.long_exponent || e.o % 2 == 0)) {
        tell_notice(MSG_ROOT_NEG);
        fraction_init(B);
        return n;
    }
    const int8_t power_sign = ((e.W ^ e.m) & 1) ? base_sign : 1;

    char op_before = *op;
    int c, c_raw;
    bool inexact = B->num->frac_limbs != 0 || B->den->frac_limbs != 0 || !rad_is_zero(B->rad) || e.m != 0;
    orient_base(B, O, e, inexact, K, op, &c, &c_raw);
    bool zero_base = bn_is_zero(B->num);
    int64_t D = zero_base ? 0 : decimal_shortcut(O, e, c_raw, B->num->used, base_frac, op_before, op);

    fraction_init(B);
    bn_set_one(B->num);
    if (D != 0) {
        shift_term(T, D, F);
    } else if (zero_base) {
        // 0^x: 0 for any exponent but 0 (the repeated products would divide
        // by zero); a negative exponent is a division by zero. The operator
        // stays as written: 2*0^2 is 0, 2/0^2 divides by zero. A base held
        // as 0 within a radius r gives 0 within r^x.
        *op = op_before;
        double r0 = O->rad;
        if (!rad_is_zero(r0) && (e.W != 0 || e.m != 0)) {
            bn_clear(B->num);
            double x = static_cast<double>(e.W) + static_cast<double>(e.m) / static_cast<double>(e.o);
            B->rad = e.s == -1 || r0 > 0 ? RAD_INF : x * r0 + 1e-9;
            if (e.s == -1) note_divisor_doubt();
            return n;
        }
        if ((e.W != 0 || e.m != 0) && e.s == -1) tell_division_by_zero();
        if (e.W != 0 || e.m != 0) bn_clear(B->num);
        return n;
    } else if (e.m == 0 && ((rad_is_zero(O->rad) && (base_frac != 0 || O->den->frac_limbs != 0)) ||
                            (!rad_is_zero(O->rad) && e.W > HUGE_EXPONENT))) {
        // An exact decimal base: its power straight to F places (the repeated
        // products would carry ever more fraction limbs). The first factor
        // takes a negative exponent itself; a later one turned the operator
        // instead. An inexact base goes through the repeated products below
        // (each carries the radius and keeps F fraction limbs), unless the
        // exponent is beyond their reach.
        O->num->frac_limbs = base_frac;
        bool direct = K == 1 && e.s == -1;
        kernel_integer_power(B, O, direct ? -e.W : e.W);
        B->num->sign = bn_is_zero(B->num) ? 1 : power_sign;
        return n;
    } else {
        O->num->frac_limbs = base_frac;
        if (e.m != 0 && e.have_y) {
            // A first factor with a negative exponent is computed as it
            // stands (2^-1000000.5 is a tiny value, not the reciprocal of
            // one too long to hold); otherwise the operator was turned.
            bool direct = K == 1 && e.s == -1;
            if (direct) e.Y.num->sign = -1;
            fractional_power(B, O, &e.Y, direct ? -e.W : e.W, direct ? -e.m : e.m, e.long_exponent ? 0 : e.o);
            if (!bn_is_zero(B->num)) B->num->sign = power_sign;
            return n;
        }
        if (!integer_power(B, O, e.W, L, !inexact, c_raw)) return n;
        root_steps(B, O, e.m, e.o, L + K + 1);
        // The first factor takes its reciprocal when the oriented power is
        // the wrong way up: whether the base was turned (c) decides, not
        // whether the power fell back to a decimal on the way ((1/8 -
        // 10^-30)^40 listed 8^40).
        if (K == 1 && e.s * c == -1) frac_reciprocal(B, O);
    }
    B->num->sign = bn_is_zero(B->num) ? 1 : power_sign;
    return n;
}

// ------------------------------------------------------- integer operators

// Divides the integer numerator and denominator of f by their greatest
// common divisor, whatever their lengths; f is left as it is when it has
// fraction limbs or the scratch arena lacks room.
static void lowest_terms(Fraction *f) {
    BigNum *n = f->num, *d = f->den;
    if (n->frac_limbs != 0 || d->frac_limbs != 0 || bn_is_zero(n) || bn_is_zero(d)) return;
    ScratchScope scope(core);
    BigNum g, qd;
    int shorter = n->used < d->used ? n->used : d->used;
    if (!bn_from_scratch(&g, shorter + 2) || gcd_magnitude(&g, n, d) != STATUS_OK) return;
    if (g.used == 1 && limb(&g, 0) == 1) return;
    g.sign = 1;
    // The denominator's quotient is written back only once both divisions
    // have succeeded, so that a refusal never leaves one of them divided.
    if (!bn_from_scratch(&qd, d->used + 2) || divide(&qd, nullptr, d, &g) != STATUS_OK) return;
    if (divide(nullptr, nullptr, n, &g) != STATUS_OK) return;
    int old_used = d->used;
    qd.sign = d->sign;
    (void)copy(d, &qd);  // the quotient is no longer than d
    for (int k = d->used; k < old_used; k++) limb(d, k) = 0;
}

// On leaving the integer operator, an inexact operand (or one truncated on
// the way) leaves the result uncertain: an infinite radius.
// A remainder stays continuous while the quotient's integer part holds
// over both balls: then it is within rx + |q| ry of the true one, and it
// holds when the remainder keeps clear of 0 and of |y| by that much.
struct ApplyDoubt {
    Fraction *acc, *operand;
    bool inexact;
    bool remainder = false;
    double mx = 0, my = 0, ly = 0;  // log2 |x| <= mx, 2^ly <= |y| <= 2^my
    ~ApplyDoubt() {
        if (!inexact && rad_is_zero(acc->rad) && rad_is_zero(operand->rad)) return;
        if (!remainder) {
            acc->rad = RAD_INF;
            return;
        }
        double q = mx - ly + 1e-9;  // |q| <= |x| / |y|
        double r = rad_add(acc->rad, rad_mul(rad_add(q, 0.0), operand->rad));
        double clear_low = mag_lo(acc), room = lg_sub_lower(ly, operand->rad);
        bool holds = !bn_is_zero(acc->num) && !rad_is_zero(room) && clear_low > r + 1e-6 &&
                     rad_add(mag_up(acc), r) < room - 1e-6;
        acc->rad = holds ? r : RAD_INF;
    }
};

// acc := acc op (operand at `text`) for op one of % M G L; a remainder has
// the sign of the dividend; the result is in lowest terms. Returns the
// characters of the operand, 0 when it could not be read.
static int apply_integer_op(const char *text, char op, Fraction *acc, int L, int K) {
    Fraction *O = &work_frac[L + K];
    int n = read_operand(text, O, L + K + 1);
    if (n == 0 || interrupted()) return n;  // interrupted: acc is left alone
    int F = fixed_point_limbs;
    // Remainders, divisors and multiples jump where a quotient crosses an
    // integer: of an inexact operand the result is not certain.
    // On the last attempt an operand still uncertain takes the simple
    // fraction inside its ball, if there is one (SQR2^2%1 is 2%1).
    for (Fraction *x : {acc, O})
        if (!rad_is_zero(x->rad) && final_attempt()) (void)ball_recover(x, 0);
    bool inexact = !rad_is_zero(acc->rad) || !rad_is_zero(O->rad);
    ApplyDoubt doubt{acc, O, inexact};
    if (op == '%' || op == 'M') {
        doubt.remainder = true;
        doubt.mx = mag_up(acc);
        doubt.my = mag_up(O);
        doubt.ly = mag_lo(O);
    }
    // The common denominator R, of any length both denominators hold (so
    // that it can be written into either).
    ScratchScope scope(core);
    BigNum R;
    int room = acc->den->capacity < O->den->capacity ? acc->den->capacity : O->den->capacity;
    bool found = bn_from_scratch(&R, room) && common_denominator(acc, O, &R);
    BigNum *keep = work_int(6);
    if (op == '%' || op == 'M') {
        if (bn_is_zero(O->num)) {  // remainder by zero: refused, and 0
            tell_failure(MSG_ERR);
            fraction_init(acc);
            return n;
        }
        int rf = 0;
        if (!found || acc->num->frac_limbs != 0 || O->num->frac_limbs != 0) {
            if (found) {
                (void)copy(acc->den, &R);  // R was sized to fit both denominators
                (void)copy(O->den, &R);  // R was sized to fit both denominators
            }
            to_fixed(acc, F);
            to_fixed(O, F);
            acc->num->frac_limbs = 0;
            O->num->frac_limbs = 0;
            rf = F;
            found = false;  // the remainder stands over 1
        }
        (void)copy(keep, acc->num);  // numerators and work integers share one capacity
        if (divide(work_int(4), acc->num, keep, O->num) != STATUS_OK) {  // no room for the division
            tell_failure(MSG_ERR);
            fraction_init(acc);
            return n;
        }
        acc->num->frac_limbs = rf;
        // The remainder takes the dividend's sign: (-7)%3 is -1, 7%(-3) is 1.
        acc->num->sign = bn_is_zero(acc->num) ? 1 : keep->sign;
    } else {
        if (!found) {  // no common denominator within reach
            tell_failure(MSG_ERR);
            return n;
        }
        (void)copy(keep, acc->num);  // numerators and work integers share one capacity
        if (op == 'G')
            (void)gcd_lcm(acc->num, work_int(4), keep, O->num);  // the results are in the records
        else
            (void)gcd_lcm(work_int(4), acc->num, keep, O->num);  // the results are in the records
    }
    if (found) {
        (void)copy(acc->den, &R);  // R was sized to fit both denominators
        lowest_terms(acc);  // numerator and R may share a factor: 2/3^40 L 4/3^41 is 4/3^40
    } else {
        bn_set_one(acc->den);
    }
    return n;
}

// ------------------------------------------------------------- main loop

static bool ends_factor(char c) {
    return c == 0 || strchr(")*+,-/]|~", c) != nullptr || (c >= 'A' && c <= 'Z');
}

// True when the operator letter at `text` (C P M G L) starts a function name
// instead (2PI, 2COS0, 2LN8): the letter then begins an implied product.
static bool letter_starts_call(const char *text) {
    return text[0] >= 'A' && text[0] <= 'Z' && starts_function_name(text);
}

// True when acc is an exact integer of at least 0 (a factorial, C and P
// operand); otherwise "err " is printed.
static bool whole_operand(Fraction *acc) {
    BigNum *n = acc->num, *d = acc->den;
    bool one = d->used == 1 && limb(d, 0) == 1 && d->frac_limbs == 0;
    if (one && n->frac_limbs == 0 && (n->sign > 0 || bn_is_zero(n))) return true;
    tell_failure(MSG_ERR);
    return false;
}

// acc := acc! or acc!! (step 2) for an integer acc >= 0; "err " for any
// other operand, "prod_ovf" and 0 for one whose factorial cannot fit.
static void apply_factorial(Fraction *acc, int step, BigNum *scratch) {
    if (!whole_operand(acc)) return;
    BigNum *n = acc->num;
    if (bn_is_zero(n)) {
        bn_set_one(n);  // 0! = 0!! = 1, whichever shape the zero has
        return;
    }
    if (n->used > 1) {
        tell_notice(MSG_PROD_OVF);  // 100000000! has more digits than any precision
        fraction_init(acc);
        return;
    }
    factorial_in_place(n, step, scratch);
}

// acc := acc C r or acc P r for an integer acc >= 0 within the 64-bit
// window; "err " for any other operand.
static void apply_choose(Fraction *acc, bool combinations, int64_t r, BigNum *scratch) {
    if (!whole_operand(acc)) return;
    BigNum *n = acc->num;
    if (n->used > 3 || (n->used == 3 && limb(n, 2) >= 922)) {
        tell_failure(MSG_ERR);  // beyond the machine-integer window
        return;
    }
    choose_in_place(n, combinations, r, scratch);
}

// The postfix operators after the operand that ends at `pos` in acc (the
// term T or the factor): power, factorial, double factorial, combinations
// and permutations, then integer operators, left to right. A letter that
// starts a function name is no operator (2PI is 2 times PI). Returns the
// position after them, -1 after a syntax error or a level overflow (message
// printed) and once interrupted().
static int apply_postfix(const char *text, int pos, int len, Fraction *acc, Fraction *T, int L, int K, char *op) {
    char c = text[pos];
    bool call = letter_starts_call(text + pos);
    bool needs_slot = c == '^' || c == '!' || (!call && (c == 'C' || c == 'P' || c == '%' || c == 'M' ||
                                                        c == 'G' || c == 'L'));
    if (needs_slot && L + K >= WORK_FRACTIONS) {
        // The second operand would need a work fraction beyond the pool.
        tell_failure(MSG_LEVEL_OVF);
        return -1;
    }
    if (c == '^') {
        int k = apply_power(text + pos + 1, acc, T, L, K, op);
        if (k == 0) {
            tell_syntax_error(text + pos + 1);
            return -1;
        }
        pos += 1 + k;
    } else if (c == '!') {
        pos++;
        int step = 1;
        if (text[pos] == '!') {
            pos++;
            step = 2;
        }
        apply_factorial(acc, step, work_frac[L + K].num);
    } else if ((c == 'C' || c == 'P') && !call) {
        pos++;
        int64_t r = 0;
        while (text[pos] >= '0' && text[pos] <= '9') {
            if (r < 1000000000) r = r * 10 + (text[pos] - '0');
            pos++;
        }
        apply_choose(acc, c == 'C', r, work_frac[L + K].num);
    }
    if (pos > len) pos = len;

    for (;;) {
        if (interrupted()) return -1;  // the operand so far means nothing
        while (text[pos] == ' ') pos++;
        c = text[pos];
        if (!(c == '%' || c == 'M' || c == 'G' || c == 'L') || letter_starts_call(text + pos)) break;
        pos++;
        while (text[pos] == ' ') pos++;
        int k = apply_integer_op(text + pos, c, acc, L, K);
        if (k == 0) {
            tell_syntax_error(text + pos);
            return -1;
        }
        pos += k;
        if (pos > len) pos = len;
    }
    return pos;
}

// T := T * Fr or T / Fr (op); a division by zero is reported and gives 0.
static void apply_factor(Fraction *T, Fraction *Fr, char op) {
    if (op == '*') {
        fraction_product(T, T, Fr);
    } else if (bn_is_zero(Fr->num)) {
        if (divisor_in_doubt(Fr)) {
            fraction_init(T);
            T->rad = RAD_INF;
            return;
        }
        tell_division_by_zero();
        fraction_init(T);
    } else if (Fr->num->used >= precision - 5) {
        tell_failure(MSG_ERR);
    } else {
        double rad = rad_quotient(mag_up(T), T->rad, mag_up(Fr), mag_lo(Fr), Fr->rad);
        int8_t sign = static_cast<int8_t>(T->num->sign * Fr->num->sign);
        Fr->num->sign = 1;
        Fraction recip = {Fr->den, Fr->num, 0};
        T->rad = RAD_ZERO;  // the quotient's own bound replaces the product's
        fraction_product(T, T, &recip);
        T->num->sign = sign;
        T->rad = rad_add(T->rad, rad);
    }
}

// Reports, once per statement, a run of three or more letters read as a
// product of variables up to a `(` (ABS(-3) is A*B*S*(-3)): the operand of
// `n` characters at `pos` is its last letter when it is one plain letter
// before a `(`.
static void check_name_run(const char *text, int pos, int n) {
    if (unknown_name_told || n != 1 || text[pos] < 'A' || text[pos] > 'Z' || text[pos + 1] != '(') return;
    int start = pos;
    while (start > 0 && text[start - 1] >= 'A' && text[start - 1] <= 'Z') start--;
    if (pos + 1 - start < 3) return;
    unknown_name_told = true;
    printf(MSG_UNKNOWN_NAME, pos + 1 - start, text + start);
}

// Evaluates the expression at `text` into `S` at level L (0..14), using work
// fractions L (term) and L + 1 (factor) and, for second operands, up to L + 3.
// `S` may be any fraction but those work fractions. Returns the index just
// past the terminator (`)` `,` `]` `|` `~` or the end), 0 after a syntax error
// or a level overflow (message printed), and 0 once interrupted(): S then
// holds no meaning, and every caller hands the interruption up.
int eval_expression(const char *text, Fraction *S, int L) {
    if (interrupted()) return 0;
    if (L >= MAX_LEVEL) {
        tell_failure(MSG_LEVEL_OVF);
        return 0;
    }
    Fraction *T = &work_frac[L];
    Fraction *Fr = &work_frac[L + 1];
    fraction_init(T);
    fraction_init(Fr);
    const int len = static_cast<int>(strlen(text));
    int pos = 0, K = 1;
    char op = '*', add_sign = '+';
    bool first = true;
    while (pos < len) {
        // Between operands: the products and sums of the last one ran.
        if (interrupted()) return 0;
        if (pos == 0 && text[0] == '-') {
            add_sign = '-';
            pos = 1;
        }
        int n;
        if (first && (text[0] == '(' || (text[0] == '&' && text[1] == 'F') ||
                      (text[0] == '/' && text[1] == '('))) {
            bool recip = text[0] == '/';
            n = read_operand(text + (recip ? 1 : 0), S, L);
            if (interrupted()) return 0;
            if (n == 0) {
                tell_syntax_error(text + pos);
                return 0;
            }
            n += recip ? 1 : 0;
            if (recip)
                frac_reciprocal(S, Fr);
            frac_copy(T, S);
            fraction_init(S);
            K = 1;
        } else {
            if (first) {
                fraction_init(S);
                K = 1;
            }
            n = read_operand(text + pos, K == 1 ? T : Fr, L + K);
            if (interrupted()) return 0;
            if (n == 0) {
                tell_syntax_error(text + pos);
                return 0;
            }
        }
        first = false;
        check_name_run(text, pos, n);
        pos += n;
        if (pos > len) pos = len;
        Fraction *acc = K == 1 ? T : Fr;

        pos = apply_postfix(text, pos, len, acc, T, L, K, &op);
        if (pos < 0 || interrupted()) return 0;

        while (text[pos] == ' ') pos++;
        char c = text[pos];
        // A group or a work register after a complete operand is multiplied
        // in, as a letter is: 3(X+1), (2)(3), 2&B.
        bool implied = c == '(' || c == '&' || (c >= 'A' && c <= 'Z');
        if (!implied && !ends_factor(c)) {
            tell_syntax_error(text + pos);  // 2^3^2, (2)3, 5!!!
            return 0;
        }

        if (K == 2) {
            apply_factor(T, Fr, op);
            op = '*';
        }
        if (c == '*' || c == '/') {
            K = 2;
            op = c;
            pos++;
            if (pos >= len) {  // an operator with nothing after it
                tell_syntax_error(text + pos);
                return 0;
            }
            continue;
        }
        if (implied) {
            K = 2;
            op = '*';
            continue;
        }
        if (add_sign == '-') T->num->sign = static_cast<int8_t>(-T->num->sign);
        fraction_add(S, S, T);
        add_sign = c;
        pos++;
        if (c != '+' && c != '-') return interrupted() ? 0 : pos;
        if (pos >= len) {  // 1+ : the sum has no last term
            tell_syntax_error(text + pos);
            return 0;
        }
        K = 1;
        op = '*';  // a new term starts with a plain product
    }
    return interrupted() ? 0 : pos;
}
