// Function dispatcher: recognises the function names of the calculator
// language, reads their argument forms and computes the small functions that
// need no series (TAN, INT, ROU, QUT, DSUM, TIME, POL); writes template constants.
#include <cmath>
#include <cstring>
#include <ctime>

#include "../expr/expr.h"
#include "../number/ball.h"
#include "functions.h"
#include "templates.h"
#include "../expr/messages.h"

namespace {

enum FunctionId {
    FN_SIN, FN_COS, FN_TAN, FN_ATAN, FN_LOG, FN_SQR, FN_EXP, FN_PI, FN_TIME, FN_POL,
    FN_PRD, FN_INT, FN_ITG, FN_QUT, FN_QTY, FN_ROU, FN_DSUM, FN_SUM, FN_SDV, FN_AVG,
    FN_VAR, FN_COV, FN_COR, FN_ASIN, FN_ACOS, FN_SINH, FN_COSH, FN_TANH, FN_ASINH, FN_ACOSH, FN_ATANH
};

struct FunctionName {
    const char *name;
    FunctionId id;
};

// Compared in this order; the first match wins and a name need not be
// followed by a non-letter (SQRT must come before SQR, ASINH before ASIN,
// SINH before SIN, and so on).
const FunctionName function_names[] = {
    {"ASINH", FN_ASINH}, {"ACOSH", FN_ACOSH}, {"ATANH", FN_ATANH}, {"ASIN", FN_ASIN},
    {"ACOS", FN_ACOS},   {"SINH", FN_SINH},   {"COSH", FN_COSH},   {"TANH", FN_TANH},
    {"SIN", FN_SIN},   {"COS", FN_COS},   {"TAN", FN_TAN},   {"ATAN", FN_ATAN},
    {"LN", FN_LOG},    {"LOG", FN_LOG},   {"SQRT", FN_SQR},  {"SQR", FN_SQR},
    {"EXP", FN_EXP},   {"E'", FN_EXP},    {"PI", FN_PI},     {"TIME", FN_TIME},
    {"POL", FN_POL},   {"PRD", FN_PRD},   {"INT", FN_INT},   {"ITG", FN_ITG},
    {"QUT", FN_QUT},   {"QTY", FN_QTY},   {"ROU", FN_ROU},   {"DSUM", FN_DSUM},
    {"SUM", FN_SUM},   {"SDV", FN_SDV},   {"AVG", FN_AVG},   {"VAR", FN_VAR},
    {"COV", FN_COV},   {"COR", FN_COR},
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Index of the name starting at text in function_names, or -1.
int match_name(const char *text) {
    for (int i = 0; i < (int)(sizeof function_names / sizeof function_names[0]); i++) {
        size_t n = strlen(function_names[i].name);
        if (strncmp(text, function_names[i].name, n) == 0) return i;
    }
    return -1;
}

}  // namespace

// True when a function name begins at `text`, as evaluate_function would
// recognise it; the evaluator tells an operator letter (2PI, 2LN8) apart
// from the start of a call with it.
bool starts_function_name(const char *text) { return match_name(text) >= 0; }

// The i-th function name made of letters only (for completion), or null past
// the last one.
const char *function_name(int i) {
    const int count = int(sizeof function_names / sizeof function_names[0]);
    for (int k = 0; k < count; k++) {
        const char *name = function_names[k].name;
        if (strspn(name, "ABCDEFGHIJKLMNOPQRSTUVWXYZ") != strlen(name)) continue;
        if (i-- == 0) return name;
    }
    return nullptr;
}

namespace {

// Integer part of the target, truncated toward zero; the target becomes an
// integer over 1. A denominator carrying fraction limbs is handled by
// shifting the numerator up by as many limbs for the division. Without room
// for that shift or for the division, "prod_ovf" and 0.
void integer_part(Fraction *f) {
    BigNum *num = f->num, *den = f->den;
    int8_t sign = num->sign;
    num->sign = 1;
    if (divide_scaled(nullptr, num, den) != STATUS_OK) {
        tell_refusal(MSG_PROD_OVF);
        fraction_init(f);
        return;
    }
    bn_set_one(den);
    // Drop the fraction limbs of a fixed-point quotient, whatever their count.
    if (num->frac_limbs > 0) {
        (void)shift_limbs(num, -num->frac_limbs);  // a downward shift cannot fail
        num->frac_limbs = 0;
    }
    num->sign = sign;
    bn_strip(num);
    bn_normalise_zero(num);
}

// Sum of the decimal digits of every used limb of the numerator.
void digit_sum(Fraction *f) {
    int32_t sum = 0;
    for (int k = 0; k < f->num->used; k++) {
        int32_t v = limb(f->num, k);
        if (v < 0) v = -v;
        while (v > 0) {
            sum += v % 10;
            v /= 10;
        }
    }
    set_int32(f->num, sum);
}

// Tangent through the sine and cosine template with the unit letter in place
// of both P; the argument travels in element &E3.
void tangent(Fraction *target, char unit, int level) {
    // The special angles come back in half-turns.
    if (compute_tan(target, unit, level) == 0) return;
    const char *text = template_text(TPL_TAN);
    // An element keeps only the lowest limb of a denominator, so a longer
    // one (199615329/10^9) goes in as the fixed-point decimal it equals.
    bn_strip(target->den);
    if (target->num->frac_limbs == 0 && target->den->used > 1) to_fixed(target, fixed_point_limbs);
    (void)store_value(29, 3, target);  // store_value reports a refusal itself
    // The quotient of two truncated values can exceed the true tangent in
    // its last digit: sine, cosine and quotient run with guard limbs.
    int F0 = fixed_point_limbs;
    {
        FixedPointRaise guard(series_guard_limbs());
        eval_group(text, target, level);
    }
    series_trim(target, F0);
}

// A block statistic; a decimal result (a root, a quotient that left the
// fractions) is known to two units of its last place.
int statistics_with_radius(BlockKind kind, const char *text, Fraction *target, int level) {
    int n = block_statistics(kind, text, target, level);
    bool decimal = target->num->frac_limbs != 0 || target->den->frac_limbs != 0;
    if (decimal) target->rad = rad_add(target->rad, rad_ulps(2, fixed_point_limbs));
    return n;
}

// Points at the limb array slot of element n of work register reg when the
// whole element lies inside the register's denominator array, else null.
int32_t *element_slot(int reg, int n) {
    if (reg < 26 || reg >= REGISTERS || n < 0) return nullptr;
    BigNum *den = reg_den[reg];
    int w = reg_num[reg]->elem_width;
    if (w < 2 || den == nullptr || den->limbs == nullptr) return nullptr;
    if ((int64_t)(n + 1) * w > den->capacity) return nullptr;
    return den->limbs + (int64_t)n * w;
}

// log2 of the largest factor by which an angle in `unit` moves the sine,
// cosine or tangent per radian: pi/180 for degrees, pi for half-turns.
double unit_factor(char unit) { return unit == 'R' ? 0.0 : unit == 'P' ? 1.6514961294723187 : -5.8403 + 1e-4; }

// The inverse or hyperbolic function of id, for those.
ArcHyperbolic arc_hyperbolic_kind(FunctionId id) {
    switch (id) {
        case FN_ASIN: return ARC_SIN;
        case FN_ACOS: return ARC_COS;
        case FN_SINH: return HYP_SIN;
        case FN_COSH: return HYP_COS;
        case FN_TANH: return HYP_TAN;
        case FN_ASINH: return ARC_HSIN;
        case FN_ACOSH: return ARC_HCOS;
        default: return ARC_HTAN;
    }
}

bool is_arc_hyperbolic(FunctionId id) { return id >= FN_ASIN && id <= FN_ATANH; }

// The bound carried through f = id for an argument held within radius r,
// with log2 |argument| at least lo (and, for the inverse and hyperbolic
// functions, `edge` as arc_hyperbolic_edge gives it); `result` is f of the
// held value.
// The derivative's largest magnitude over the ball times r; RAD_INF where
// the ball reaches a point where f is not smooth.
double propagated_radius(FunctionId id, double r, double lo, double edge, char unit, int64_t base, Fraction *result) {
    if (rad_is_zero(r)) return RAD_ZERO;
    if (is_arc_hyperbolic(id)) return arc_hyperbolic_radius(arc_hyperbolic_kind(id), r, edge, result);
    switch (id) {
        case FN_SIN:
        case FN_COS: return rad_mul(unit_factor(unit), r);
        case FN_ATAN: return rad_mul(5.8404, r);  // at most 180/pi per unit of the argument
        case FN_TAN: {
            // Over an angle step h <= 1/(4 (T + 1)) from tan = T, |tan| stays
            // below 2T + 1, so the derivative 1 + tan^2 below 1 + (2T + 1)^2.
            double t = mag_up(result);
            if (t > 500) return RAD_INF;
            double T = rad_is_zero(t) ? 0.0 : std::exp2(t);
            double h = std::exp2(rad_mul(unit_factor(unit), r));
            if (h > 1.0 / (4.0 * (T + 1.0))) return RAD_INF;
            return rad_mul(rad_mul(unit_factor(unit), rad_of(1.0 + (2.0 * T + 1.0) * (2.0 * T + 1.0))), r);
        }
        case FN_LOG: {
            double x = lg_sub_lower(lo, r);  // log2 of the smallest argument in the ball
            if (rad_is_zero(x)) return RAD_INF;
            double scale = base >= 2 ? -std::log2(std::log(double(base))) + 1e-9 : 0.0;
            return rad_mul(r, scale - x + 1e-9);
        }
        case FN_SQR: {
            double x = lg_sub_lower(lo, r);
            if (rad_is_zero(x)) return RAD_INF;
            return rad_mul(r, -1.0 - x / 2.0 + 1e-9);
        }
        case FN_EXP: {
            // e^xi <= (e^x' + ulp) e^r.
            double grow = std::exp2(r) * 1.4426950408889634;
            if (grow > 1e6) return RAD_INF;
            return rad_mul(rad_add(mag_up(result), rad_ulps(1, fixed_point_limbs)) + grow + 1e-9, r);
        }
        default: return RAD_INF;
    }
}

// The target's radius after f: the truncation of a decimal result (two
// units of the last place, which covers every kernel and template), the
// error bound of a kernel that ran out of room before its last place was
// sure, and the argument's radius carried through f.
void set_function_radius(FunctionId id, Fraction *target, double r, double lo, double edge, char unit,
                         int64_t base) {
    bool decimal = target->num->frac_limbs != 0 || target->den->frac_limbs != 0;
    double own = rad_add(decimal ? rad_ulps(2, fixed_point_limbs) : RAD_ZERO, take_kernel_doubt());
    target->rad = rad_add(own, propagated_radius(id, r, lo, edge, unit, base, target));
}

// INT of an argument known only within a radius: certain when the whole
// ball truncates to the same integer (the target is then that integer).
// False when the caller is to take the integer part of an exact target.
bool certain_integer_part(Fraction *target) {
    if (rad_is_zero(target->rad)) return false;
    if (ball_truncate(target, 0) == CERTAIN_YES) return true;
    // On the last attempt a simple fraction inside the ball stands for the
    // argument (INT(SQR2^2) is INT(2)).
    if (final_attempt() && ball_recover(target, 0)) return false;
    integer_part(target);
    target->rad = RAD_INF;
    return true;
}

}  // namespace

// Element n of work register reg (26..29) := k. The whole slot is zeroed first
// so that the element reads as exactly k whatever was stored there before.
// An element outside the register's storage is left alone.
void set_element_int(int reg, int n, int32_t k) {
    int32_t *slot = element_slot(reg, n);
    if (!slot) return;
    int w = reg_num[reg]->elem_width;
    for (int i = 0; i < w; i++) slot[i] = 0;
    slot[w - 1] = k;
}

// Element n of work register reg (26..29) := p / q, p in the least significant
// limb and -q in the first slot, which the element format reads as the
// denominator. q between 2 and 99999999; same guards as set_element_int.
void set_element_frac(int reg, int n, int32_t p, int32_t q) {
    int32_t *slot = element_slot(reg, n);
    if (!slot) return;
    int w = reg_num[reg]->elem_width;
    for (int i = 0; i < w; i++) slot[i] = 0;
    slot[w - 1] = p;
    slot[0] = -q;
}

// Recognises a function name at the start of text (an operand starting with
// a letter, its sign already taken by the caller), reads the argument into
// target, computes the function there and returns the characters consumed;
// 0, with nothing changed, when no function name starts at text. level is the
// caller's evaluation level; argument groups run one level deeper. Once
// interrupted() the target means nothing (the caller tests the flag).
int evaluate_function(const char *text, Fraction *target, int level) {
    int index = match_name(text);
    if (index < 0) return 0;
    FunctionId id = function_names[index].id;
    int pos = (int)strlen(function_names[index].name);

    fraction_init(target);

    // Index loops parse their own head from just after the name.
    if (id == FN_ITG || id == FN_PRD)
        return pos + index_loop(id == FN_PRD, text + pos, target, level);

    char unit = 'D';
    // A unit letter after the inverse functions is read and ignored: they
    // answer in radians.
    if (id == FN_SIN || id == FN_COS || id == FN_TAN || id == FN_ATAN || id == FN_ASIN || id == FN_ACOS) {
        char c = text[pos];
        if (c == 'D' || c == 'R' || c == 'P') {
            unit = c;
            pos++;
        }
    }
    int64_t base = 0;
    if (id == FN_LOG) {
        for (int digits = 0; is_digit(text[pos]); pos++, digits++)
            if (digits < 18) base = base * 10 + (text[pos] - '0');
    }

    if (text[pos] == '.') pos++;

    switch (id) {
        case FN_SUM: return pos + statistics_with_radius(BLOCK_SUM, text + pos, target, level);
        case FN_AVG: return pos + statistics_with_radius(BLOCK_AVG, text + pos, target, level);
        case FN_QTY: return pos + statistics_with_radius(BLOCK_QTY, text + pos, target, level);
        case FN_VAR: return pos + statistics_with_radius(BLOCK_VAR, text + pos, target, level);
        case FN_SDV: return pos + statistics_with_radius(BLOCK_SDV, text + pos, target, level);
        case FN_COV: return pos + statistics_with_radius(BLOCK_COV, text + pos, target, level);
        case FN_COR: return pos + statistics_with_radius(BLOCK_COR, text + pos, target, level);
        default: break;
    }

    // The argument: a group, an unreduced decimal literal (SQR2.5 is the root
    // of 25/10), or nothing (the target stays 0).
    bool has_argument = text[pos] == '(' || is_digit(text[pos]);
    if (text[pos] == '(') {
        pos += 1 + eval_group(text + pos + 1, target, level + 1);
    } else if (is_digit(text[pos])) {
        pos += parse_decimal(text + pos, target->num);
        set_int64(target->den, target->num->dec_den);
    }

    // An argument evaluated after Ctrl-C means nothing: no function of it
    // is computed (nor a domain message given); the evaluator hands the
    // interruption up.
    if (interrupted()) return pos;
    double arg_rad = target->rad, arg_lo = mag_lo(target);
    // For the inverse and hyperbolic functions: how far the argument lies
    // from the end of the domain, which bounds the derivative there.
    double arg_edge = rad_is_zero(arg_rad) || !is_arc_hyperbolic(id) ? RAD_ZERO
                                                                        : arc_hyperbolic_edge(arc_hyperbolic_kind(id), target);
    switch (id) {
        case FN_SIN: compute_sin_cos(target, 0, unit, level); break;
        case FN_COS: compute_sin_cos(target, 1, unit, level); break;
        case FN_TAN: tangent(target, unit, level); break;
        case FN_ATAN: compute_atan(target, level + 1); break;
        case FN_LOG: compute_log(target, base, level); break;
        case FN_SQR: nth_root(target, 2, 1.0, level + 1); break;
        case FN_EXP:  // EXP(x) is e^x; EXP alone and the constant E' are e
            if (has_argument && text[0] == 'E' && text[1] == 'X')
                compute_exp(target, level);
            else
                exp_log_series(target, 0, level);
            break;
        case FN_PI: compute_pi(target, level); break;
        case FN_ASIN: case FN_ACOS: case FN_SINH: case FN_COSH: case FN_TANH: case FN_ASINH: case FN_ACOSH:
        case FN_ATANH:
            compute_arc_hyperbolic(target, arc_hyperbolic_kind(id), level + 1);
            break;
        case FN_TIME:
            fraction_init(target);
            set_int64(target->num, (int64_t)time(nullptr));
            break;
        case FN_POL:
            // Recognised for compatibility; computes nothing and records
            // nothing outside the target's storage.
            break;
        case FN_INT:
            if (!certain_integer_part(target)) integer_part(target);
            break;
        case FN_ROU: {
            int8_t sign = target->num->sign;
            target->num->sign = 1;
            eval_group(template_text(TPL_ROUND_HALF), target, level + 1);
            target->num->sign = sign;
            if (interrupted()) break;
            if (!certain_integer_part(target)) integer_part(target);
            break;
        }
        case FN_QUT:
            // The fraction asked for, read from the places of a statement
            // (zero guard limbs dropped); when one is recognised it stands as exact.
            while (target->num->frac_limbs > 4 && target->num->used > 0 && limb(target->num, 0) == 0 &&
                   bn_is_one(target->den)) {
                (void)shift_limbs(target->num, -1);  // a downward shift cannot fail
                target->num->frac_limbs--;
            }
            if (to_fraction(target) == STATUS_OK && target->num->frac_limbs == 0) target->rad = RAD_ZERO;
            break;
        case FN_DSUM:
            digit_sum(target);
            if (!rad_is_zero(arg_rad)) target->rad = RAD_INF;
            break;
        default: break;
    }
    switch (id) {
        case FN_SIN: case FN_COS: case FN_TAN: case FN_ATAN: case FN_LOG: case FN_SQR: case FN_EXP:
        case FN_ASIN: case FN_ACOS: case FN_SINH: case FN_COSH: case FN_TANH: case FN_ASINH: case FN_ACOSH:
        case FN_ATANH:
            set_function_radius(id, target, arg_rad, arg_lo, arg_edge, unit, base);
            break;
        case FN_PI: set_function_radius(id, target, RAD_ZERO, 0, 0, unit, base); break;
        default: break;
    }

    if (text[pos] == '.') pos++;
    return pos;
}
