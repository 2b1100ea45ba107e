// The constant e and the logarithm by series, n-th roots by Newton's
// iteration, and the floating-point power step of fractional exponents.
// Everything runs as formula templates on the work registers &B..&E.
#include <cmath>
#include <cstdio>

#include "../expr/expr.h"
#include "functions.h"
#include "messages.h"
#include "templates.h"

namespace {

constexpr int REG_B = 26, REG_C = 27, REG_D = 28, REG_E = 29;

Fraction *work_reg(int r) { return &reg_frac[r]; }

int run(const char *tpl, Fraction *dest, int level) { return eval_group(tpl, dest, level); }

bool is_exactly_one(BigNum *n) {
    return n->used == 1 && limb(n, 0) == 1 && n->frac_limbs == 0;
}

int decimal_digits(int32_t v) {
    int d = 1;
    while (v >= 10) {
        v /= 10;
        d++;
    }
    return d;
}

// Limbs of the denominator array of work register r that its own denominator
// may use without reaching the template elements stored at the array's start
// (elements 0 and 1 everywhere, element 3 of &E when it fits the array).
int den_room(int r) {
    BigNum *den = reg_den[r];
    int w = reg_num[r]->elem_width;
    int top = 2 * w;
    if (r == REG_E && 4 * w <= den->capacity) top = 4 * w;
    int room = den->capacity - top - 1;  // clearing also zeroes the limb above
    return room < 1 ? 1 : room;
}

// Turns f into a fixed-point decimal over 1: an integer numerator is scaled
// up by F limbs first; a denominator with fraction limbs is handled by
// scaling the numerator for the division. A numerator without room for the
// scaling is divided as it stands.
void make_fixed(Fraction *f) {
    BigNum *n = f->num, *d = f->den;
    int F = fixed_point_limbs;
    if (n->frac_limbs == 0) {
        if (n->used + F < n->capacity) shift_limbs(n, F);
        n->frac_limbs = F;
    }
    int e = d->frac_limbs;
    if (e > 0 && n->used + e < n->capacity) {
        shift_limbs(n, e);
        d->frac_limbs = 0;
    }
    divide(nullptr, nullptr, n, d);
    bn_set_one(d);
}

// Whether the value in f (at least 1) is 5/4 or more.
bool at_least_five_quarters(Fraction *f) {
    BigNum *n = f->num;
    if (n->frac_limbs == 0) {
        int64_t a, b;
        if (get_int64(n, &a) && get_int64(f->den, &b) && b > 0 && a < INT64_MAX / 4)
            return 4 * a >= 5 * b;
        make_fixed(f);
    }
    int k = n->frac_limbs;
    int int_limb = n->used > k ? limb(n, k) : 0;
    if (n->used > k + 1 || int_limb >= 2) return true;
    if (int_limb < 1) return false;
    return k >= 1 && limb(n, k - 1) >= 25000000;
}

// Whether the exact fraction f (numerator without fraction limbs) lies below
// 2 in magnitude. Uses scratch integer 5.
bool below_two(Fraction *f) {
    BigNum *twice = work_int(5);
    if (f->den->used + 1 > twice->capacity) return false;
    bn_clear(twice);
    mul_small(twice, f->den, 2);
    twice->frac_limbs = f->den->frac_limbs;
    return compare_magnitude(f->num, twice) < 0;
}

// target += k ln(1 + p/q), the logarithm summed into &E by the series.
void add_log_multiple(Fraction *target, int p, int q, int k, int level) {
    if (k == 0) return;
    Fraction *E = work_reg(REG_E);
    fraction_init(E);
    set_int64(E->num, p);
    set_int64(E->den, q);
    exp_log_series(E, 1, level);
    BigNum *factor = work_int(3);  // k may exceed what mul_small takes
    set_int64(factor, k);
    multiply(E->num, E->num, factor);
    run(TPL_ADD_E, target, level);
}

}  // namespace

// Denominator room of the fraction f: its capacity, less the element area
// when f is a work register.
int fraction_den_room(Fraction *f) {
    for (int r = REG_B; r <= REG_E; r++)
        if (f->den == reg_den[r]) return den_room(r);
    return f->den->capacity;
}

int run_into_register(const char *tpl, int r, int level) {
    Fraction *f = work_reg(r);
    int n = eval_group(tpl, f, level);
    if (f->den->used > den_room(r)) to_fixed(f, fixed_point_limbs);
    return n;
}

void series_copy(Fraction *dst, Fraction *src) {
    if (dst == src) return;
    if (src->den->used > fraction_den_room(dst)) to_fixed(src, fixed_point_limbs);
    BigNum *n = src->num;
    if (n->used > dst->num->capacity) {
        int cut = n->used - dst->num->capacity;
        if (cut <= n->frac_limbs) {
            shift_limbs(n, -cut);
            n->frac_limbs -= cut;
        } else {
            fraction_init(dst);  // no sensible partial value: give 0
            return;
        }
    }
    copy(dst->num, n);
    copy(dst->den, src->den);
}

int series_guard_limbs() { return fixed_point_limbs / 5 + 3; }

void series_trim(Fraction *f, int limbs) {
    BigNum *n = f->num;
    if (n->frac_limbs > limbs && is_exactly_one(f->den)) {
        shift_limbs(n, limbs - n->frac_limbs);
        n->frac_limbs = limbs;
        if (bn_is_zero(n)) bn_normalise_zero(n);
    }
}

// mode 0: target := e. mode 1: target := ln(1 + x) for the target's x,
// -1 < x < 1. Works with guard limbs (the result keeps F fraction limbs);
// returns the restored F, or 0 when refused at too deep a level (target
// unchanged).
int exp_log_series(Fraction *target, int mode, int level) {
    Fraction *B = work_reg(REG_B), *C = work_reg(REG_C), *D = work_reg(REG_D);
    fraction_init(B);
    fraction_init(C);
    fraction_init(D);
    int F0 = fixed_point_limbs;
    fixed_point_limbs += series_guard_limbs();
    if (level + 1 >= 16) {
        fputs(MSG_EXP_OVF, stdout);
        fixed_point_limbs = F0;
        return 0;
    }
    if (mode == 0) {
        set_int32(B->num, 1);
        set_int32(C->num, 1);
        set_int32(D->num, 1);
    } else {
        set_int32(C->num, 1);
        series_copy(D, target);
    }
    for (int i = 1; i < 192 * fixed_point_limbs; i++) {
        set_element_int(REG_C, 1, i);
        run_into_register(mode == 0 ? TPL_EXP_TERM : TPL_LOG_TERM, REG_C, level);
        // Even terms of ln(1 + x) subtract; the true sign comes back below so
        // that the next power is formed from it.
        if (mode == 1 && i % 2 == 0) C->num->sign = -1;
        if (C->num->frac_limbs != fixed_point_limbs) to_fixed(C, fixed_point_limbs);
        if (bn_is_zero(C->num)) break;
        set_element_int(REG_C, 1, i);  // a long denominator may have reached it
        run_into_register(mode == 0 ? TPL_EXP_ADD : TPL_LOG_ADD, REG_B, level);
        if (mode == 1 && i % 2 == 0) C->num->sign = (int8_t)-C->num->sign;
    }
    series_copy(target, B);
    fixed_point_limbs = F0;
    series_trim(target, F0);
    return fixed_point_limbs;
}

// target := logarithm of the target (natural for base 0, else to that base).
// The argument is brought to [1, 5/4) by powers of ten, halvings and factors
// 4/5, whose logarithms come from ln 2 and ln(5/4) computed afresh by the
// series. Zero gives "{log0}", a negative value "{log-neg}"; both give 0.
// Returns 0.
int compute_log(Fraction *target, int64_t base, int level) {
    BigNum *n = target->num;
    Fraction *E = work_reg(REG_E);
    Fraction *scratch = &work_frac[level < WORK_FRACTIONS ? level : WORK_FRACTIONS - 1];
    // Guard limbs for the whole reduction: the multiples of ln 2 and ln(5/4)
    // multiply the truncation error of each constant.
    int F0 = fixed_point_limbs;
    fixed_point_limbs += series_guard_limbs();

    if (n->frac_limbs == 0 && !is_exactly_one(target->den) && !bn_is_zero(n)) make_fixed(target);
    bn_strip(n);
    int64_t m16;
    int e10;
    leading_digits(n, &m16, &e10);
    bool negative = !bn_is_zero(n) && n->sign * target->den->sign < 0;
    if ((m16 == 0 && n->used < 2) || bn_is_zero(n) || negative) {
        fputs(negative ? MSG_LOG_NEG : MSG_LOG_ZERO, stdout);
        fraction_init(target);
    } else {
        // One integer limb: value = x / 10^A.
        int u = n->used, f = n->frac_limbs;
        int A = 0;
        if (u != f + 1) {
            n->frac_limbs = u - 1;
            A = 8 * (u - f) - 8;
        }

        // Into [1, 10).
        int k = decimal_digits(limb(n, n->used - 1)) - 1;
        if (k > 0) {
            shift_decimal(n, 8 - k);
            n->frac_limbs += 1;
            A += k;
        }
        // Into [1, 2) by halving.
        int halvings = 0;
        for (int guard = 0; guard < 64; guard++) {
            n = target->num;
            if (n->frac_limbs == 0) {
                // A halving may come back as an exact fraction such as
                // 1958997935/10^9: its value is below 2 when the numerator
                // is below twice the denominator, whatever their lowest limbs.
                if (below_two(target)) break;
            } else {
                int int_limb = n->used > n->frac_limbs ? limb(n, n->frac_limbs) : 0;
                if (n->used <= n->frac_limbs + 1 && int_limb < 2) break;
            }
            run(TPL_HALVE, target, level);
            halvings++;
        }
        // Into [1, 5/4): the series for ln(1 + u) needs many more passes than
        // its cap allows when u comes close to 1. ln(5/4) = ln 10 - 3 ln 2.
        int fifths = 0;
        while (fifths < 3 && at_least_five_quarters(target)) {
            run(TPL_FOUR_FIFTHS, target, level);
            fifths++;
        }
        run(TPL_MINUS_ONE, target, level);
        exp_log_series(target, 1, level);

        // x = (1 + u) 2^H (5/4)^m 10^A and ln 10 = 3 ln 2 + ln(5/4), so
        // ln x = ln(1 + u) + (H + 3A) ln 2 + (A + m) ln(5/4). Each constant is
        // summed into &E and added at once, so that no value has to wait in
        // a work fraction that a deeply nested evaluation may be using.
        add_log_multiple(target, -1, 2, -(halvings + 3 * A), level);  // ln(1/2) = -ln 2
        add_log_multiple(target, 1, 4, A + fifths, level);
    }

    if (!is_exactly_one(target->den)) {
        if (target->num->frac_limbs == 0) make_fixed(target);
        bn_set_one(target->den);
    }
    if (base != 0) {
        // The base goes into &E0 through the element store, which takes any
        // value that fits an element.
        fraction_init(scratch);
        set_int64(scratch->num, base);
        store_value(REG_E, 0, scratch);
        run(TPL_BY_LOG_BASE, target, level);
    }
    fixed_point_limbs = F0;
    series_trim(target, F0);
    series_copy(E, target);
    run(TPL_QUT_E, target, level);
    return 0;
}

// n >= 2: target := its n-th root. n <= 1: target := target^p in double
// precision. The target is first made an integer or fixed-point decimal over 1.
int nth_root(Fraction *target, int n, double p, int level) {
    // A root spreads the truncation of a fractional radicand (1/79 to F
    // limbs) over several last digits, so the conversion keeps guard limbs.
    int F0 = fixed_point_limbs;
    if (n >= 2) fixed_point_limbs += series_guard_limbs();
    if (!is_exactly_one(target->den)) {
        if (target->num->frac_limbs > 0) {
            BigNum *d = target->den;
            int e = d->frac_limbs;
            if (e > 0 && target->num->used + e < target->num->capacity) {
                shift_limbs(target->num, e);
                d->frac_limbs = 0;
            }
            divide(nullptr, nullptr, target->num, d);
            bn_set_one(d);
        } else {
            make_fixed(target);
        }
    }
    fixed_point_limbs = F0;
    target->num->dec_den = 1;
    if (n >= 2) {
        int done = newton_root(target, n, level);
        if (done < 0) series_trim(target, F0);  // refused: the radicand at F limbs
        return done;
    }
    float_power(target->num, n, p);
    bn_set_one(target->den);
    return 1;
}

// target := n-th root of the radicand x in the target (an integer or a
// fixed-point decimal over 1) by Newton's iteration on &B..&E, with the
// precision raised while it runs. Returns 1, or -1 when refused at level 12
// or deeper ("q-ovf"). Zero gives 0; an even root of a negative number prints
// "q-neg" and gives 0; an odd root of a negative number is minus the root of
// its magnitude.
int newton_root(Fraction *target, int n, int level) {
    if (level >= 12) {
        fputs(MSG_ROOT_OVF, stdout);
        return -1;
    }
    BigNum *x = target->num;
    if (bn_is_zero(x)) {
        fraction_init(target);
        return 1;
    }
    int negative = 0;
    if (x->sign < 0) {
        if (n % 2 == 0) {
            fputs(MSG_ROOT_NEG, stdout);
            fraction_init(target);
            return 1;
        }
        negative = 1;
        x->sign = 1;
    }
    bn_strip(x);
    Fraction *B = work_reg(REG_B), *C = work_reg(REG_C), *E = work_reg(REG_E);
    set_element_int(REG_E, 0, n);
    set_element_int(REG_E, 1, n - 1);
    fraction_init(B);
    set_int32(B->num, 2);
    int F0 = fixed_point_limbs;

    // Scale x so that it has at least one and fewer than n integer limbs.
    int e = x->used - x->frac_limbs;
    int K = 0;
    while (e <= 0 && x->used + n < x->capacity) {
        shift_limbs(x, n);
        e += n;
        K++;
    }
    e -= e % n;
    // Guard limbs keep the last corrections from vanishing (see
    // series_guard_limbs); the result is cut back to F0 limbs.
    int guard = series_guard_limbs();
    fixed_point_limbs = F0 + guard + (e > 0 ? K + e : 0);
    x->frac_limbs += e;

    // First approximation 2 * 10^g, g about a 1/n of x's integer digits.
    int digits = 8 * (x->used - x->frac_limbs) - 8 + decimal_digits(limb(x, x->used - 1));
    int g = (digits + n - 2) / n;
    if (g > 0) shift_decimal(B->num, g);

    Fraction *scratch = &work_frac[level];
    for (int i = 0;; i++) {
        copy(E->num, x);
        bn_set_one(E->den);
        run(TPL_ROOT_RESIDUAL, scratch, level + 1);
        series_copy(E, scratch);
        run_into_register(TPL_ROOT_SLOPE, REG_D, level + 1);
        run_into_register(TPL_ROOT_STEP, REG_C, level + 1);
        BigNum *c = C->num;
        if (i > 3 && c->used <= 1 && (c->used == 0 || limb(c, 0) <= 100)) break;
        run(TPL_ROOT_UPDATE, scratch, level + 1);
        BigNum *s = scratch->num;
        if (s->frac_limbs == 0) {
            if (s->used + fixed_point_limbs < s->capacity) shift_limbs(s, fixed_point_limbs);
            s->frac_limbs = fixed_point_limbs;
            divide(nullptr, nullptr, s, scratch->den);
            bn_set_one(scratch->den);
        }
        series_copy(B, scratch);
        if (i >= 550) break;
    }
    fixed_point_limbs = F0;

    // Undo the scaling: multiply by 100000000^(e/n - K).
    BigNum *b = B->num;
    int m = b->frac_limbs + K - e / n;
    if (m > F0) b->frac_limbs = m;
    else shift_limbs(b, e / n - K);
    // The guard limbs of the raised precision go, so that the result has the
    // ordinary fixed-point shape.
    if (b->frac_limbs > F0) {
        shift_limbs(b, F0 - b->frac_limbs);
        b->frac_limbs = F0;
    }
    to_fraction(B);
    series_copy(target, B);
    if (negative) target->num->sign = -1;
    return 1;
}

// num := num^p (n <= 1) in double precision from its 16 leading digits; about
// 16 significant digits, the rest zero, F fraction limbs. n >= 2 gives 0.
void float_power(BigNum *num, int n, double p) {
    int64_t M;
    int E;
    leading_digits(num, &M, &E);
    double r = 0;
    if (n <= 1 && p != 1.0) {
        double dd = num->dec_den > 0 ? (double)num->dec_den : 1.0;
        r = pow((double)M / dd, p) * pow(10.0, (double)E * p);
    }
    double a = fabs(r);
    // Results beyond the 64-bit window are outside what this step handles;
    // they are held at its edge rather than converted with undefined effect.
    if (!(a < 9.2e18)) a = 9.2e18;
    int F = fixed_point_limbs;
    bn_clear(num);
    set_int64(num, (int64_t)a);
    double q = a - floor(a);
    int64_t m = (int64_t)(q * 100000000.0);
    int64_t o = (int64_t)((q * 100000000.0 - (double)m) * 100000000.0);
    if ((m != 0 || o != 0) && F >= 1 && num->used + F < num->capacity) {
        if (num->used == 0) {
            for (int k = 0; k < F; k++) limb(num, k) = 0;
            num->used = F;
        } else {
            shift_limbs(num, F);
        }
        num->frac_limbs = F;
        limb(num, F - 1) = (int32_t)m;
        if (F >= 2) limb(num, F - 2) = (int32_t)o;
    } else {
        num->frac_limbs = 0;
    }
    num->dec_den = 1;
    num->sign = r < 0 ? -1 : 1;
    if (num->used + F - num->frac_limbs < num->capacity) shift_decimal(num, 8 * F - 8 * num->frac_limbs);
    num->frac_limbs = F;
}

// |value of num| ~ m * 10^e with m holding the 16 leading decimal digits
// (fewer when the number has fewer than three significant limbs).
void leading_digits(BigNum *num, int64_t *m, int *e) {
    int c = num->used;
    while (c > 2 && limb(num, c - 1) == 0) c--;
    int64_t T = c >= 1 ? limb(num, c - 1) : 0;
    if (c <= 1) {
        *m = T;
        *e = -8 * num->frac_limbs;
        return;
    }
    int64_t T2 = limb(num, c - 2);
    if (c == 2) {
        *m = T * 100000000 + T2;
        *e = -8 * num->frac_limbs;
        return;
    }
    int64_t T3 = limb(num, c - 3);
    int t = decimal_digits((int32_t)T);
    if (t == 8) {
        *m = T * 100000000 + T2;
        *e = 8 * c - 16;
    } else {
        int64_t scale = 1, lead = 1;
        for (int i = 0; i < 8 - t; i++) scale *= 10;
        for (int i = 0; i < t; i++) lead *= 10;
        *m = (T * 100000000 + T2) * scale + T3 / lead;
        *e = 8 * c - 24 + t;
    }
    *e -= 8 * num->frac_limbs;
}


