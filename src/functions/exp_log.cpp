// The constant e and the logarithm by series, n-th roots by Newton's
// iteration, and the floating-point power step of fractional exponents.
// Everything runs as formula templates on the work registers &B..&E.
#include <cmath>
#include <cstdio>

#include "../expr/expr.h"
#include "functions.h"
#include "../engine/scratch.h"
#include "../number/ball.h"
#include "messages.h"
#include "templates.h"
#include "../kernels/real.h"
#include "../expr/messages.h"

namespace {


Fraction *work_reg(int r) { return &reg_frac[r]; }

int run(const char *tpl, Fraction *dest, int level) { return eval_group(tpl, dest, level); }

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
// scaling is divided as it stands; without room for the division itself,
// "prod_ovf" and 0.
void make_fixed(Fraction *f) {
    BigNum *n = f->num, *d = f->den;
    int F = fixed_point_limbs;
    if (n->frac_limbs == 0) {
        if (n->used + F < n->capacity) (void)shift_limbs(n, F);  // room checked
        n->frac_limbs = F;
    }
    int e = d->frac_limbs;
    bool scaled = e > 0 && n->used + e < n->capacity;
    if ((scaled ? divide_scaled(nullptr, n, d) : divide(nullptr, nullptr, n, d)) != STATUS_OK) {
        tell_refusal(MSG_PROD_OVF);
        fraction_init(f);
        return;
    }
    bn_set_one(d);
}

}  // namespace

// Denominator room of the fraction f: its capacity, less the element area
// when f is a work register.
int fraction_den_room(Fraction *f) {
    for (int r = REG_B; r <= REG_E; r++)
        if (f->den == reg_den[r]) return den_room(r);
    return f->den->capacity;
}

void series_copy(Fraction *dst, Fraction *src) {
    if (dst == src) return;
    if (src->den->used > fraction_den_room(dst)) to_fixed(src, fixed_point_limbs);
    BigNum *n = src->num;
    if (n->used > dst->num->capacity) {
        int cut = n->used - dst->num->capacity;
        if (cut <= n->frac_limbs) {
            (void)shift_limbs(n, -cut);  // a downward shift cannot fail
            n->frac_limbs -= cut;
        } else {
            fraction_init(dst);  // no sensible partial value: give 0
            return;
        }
    }
    (void)copy(dst->num, n);  // the numerator was cut to fit above
    (void)copy(dst->den, src->den);  // a longer denominator was made 1 above
}

int series_guard_limbs() { return fixed_point_limbs / 5 + 3; }

void series_trim(Fraction *f, int limbs) {
    BigNum *n = f->num;
    if (n->frac_limbs > limbs && bn_is_one(f->den)) {
        (void)shift_limbs(n, limbs - n->frac_limbs);  // a downward shift cannot fail
        n->frac_limbs = limbs;
        if (bn_is_zero(n)) bn_normalise_zero(n);
    }
}

static double kernel_doubt = RAD_ZERO;

bool kernel_wrote(Status rc) {
    if (rc == STATUS_UNCERTAIN) {
        kernel_doubt = rad_add(kernel_doubt, double(core.error_exponent) * LOG2_LIMB + 1e-9);
        return true;
    }
    return rc == STATUS_OK;
}

double take_kernel_doubt() {
    double d = kernel_doubt;
    kernel_doubt = RAD_ZERO;
    return d;
}

// Writes a kernel's result: the numerator already holds it, the target
// becomes that fixed-point value over 1. A result that does not fit its
// record is reported and gives 0.
void finish_kernel(Fraction *target, Status rc) {
    if (!kernel_wrote(rc)) {
        tell_refusal(MSG_PROD_OVF);
        fraction_init(target);
        return;
    }
    bn_set_one(target->den);
}

// mode 0: target := e. mode 1: target := ln(1 + x) for the target's x > -1.
// Every digit is the true value truncated to F fraction limbs. Returns F,
// or 0 when refused at too deep a level (target unchanged).
int exp_log_series(Fraction *target, int mode, int level) {
    if (level + 1 >= WORK_FRACTIONS) {
        tell_failure(MSG_EXP_OVF);
        return 0;
    }
    int F = fixed_point_limbs;
    if (mode == 0) {
        finish_kernel(target, real_e(core, target->num, F));
        return F;
    }
    // 1 + x as the fraction (num + den) / den, on scratch integer 5: a
    // template would run in the work fraction of this level, which may be
    // the target itself.
    BigNum *one = work_int(5);
    BigNum *num = target->num, *den = target->den;
    if (num->frac_limbs != den->frac_limbs) make_fixed(target);
    (void)copy(one, den);  // no denominator is longer than a work integer
    one->frac_limbs = num->frac_limbs;
    int32_t f = num->frac_limbs;
    if (add(num, num, one) != STATUS_OK) {
        tell_refusal(MSG_PROD_OVF);
        fraction_init(target);
        return F;
    }
    num->frac_limbs = f;
    // The kernel directly: the repeating-decimal step of compute_log runs a
    // template at this level, whose work fraction may be the target.
    Status rc = real_log(core, target->num, target, 0, F);
    if (rc == STATUS_DOMAIN) {
        tell_notice(bn_is_zero(num) ? MSG_LOG_ZERO : MSG_LOG_NEG);
        fraction_init(target);
        return F;
    }
    finish_kernel(target, rc);
    return F;
}

// target := e to the power of the target, the true value truncated to F
// fraction limbs (an exact result such as e^0 = 1 comes back as the
// integer). A result too large for its record gives "prod_ovf" and 0.
// Returns F, or 0 when refused at too deep a level (target unchanged).
int compute_exp(Fraction *target, int level) {
    if (level + 1 >= WORK_FRACTIONS) {
        tell_failure(MSG_EXP_OVF);
        return 0;
    }
    int F = fixed_point_limbs;
    if (bn_is_zero(target->num)) {  // e^0 = 1 exactly
        fraction_init(target);
        bn_set_one(target->num);
        return F;
    }
    finish_kernel(target, real_exp(core, target->num, target, F));
    return F;
}

// target := logarithm of the target (natural for base 0, else to that base),
// the true value truncated to F fraction limbs. Zero gives "{log0}", a
// negative value "{log-neg}"; both give 0, as does the base 1 ("{div0}"). A result that
// is an exact fraction (LOG10(1000), LN2(8)) comes back as that fraction.
// Returns 0.
int compute_log(Fraction *target, int64_t base, int level) {
    BigNum *n = target->num;
    Fraction *E = work_reg(REG_E);
    bool zero = bn_is_zero(n);
    bool negative = !zero && n->sign * target->den->sign < 0;
    if (zero || negative) {
        tell_notice(negative ? MSG_LOG_NEG : MSG_LOG_ZERO);
        fraction_init(target);
        return 0;
    }
    if (base == 1) {  // ln x / ln 1: a division by zero, which gives 0
        tell_division_by_zero();
        fraction_init(target);
        return 0;
    }
    // A logarithm to an integer base may be a simple fraction (LOG8(2) is
    // 1/3): the repeating-decimal step reads one from the places, and it
    // stands only when the argument confirms it exactly. A natural logarithm
    // of a rational is never one but at 1, which the kernel gives as 0; the
    // step would read 10^-16 from ln(1 + 10^-16) = .0000000000000000999...
    ScratchScope scope(core);
    BigNum xn = {}, xd = {};
    Fraction x;
    bool kept = base != 0 && fraction_stash(&x, &xn, &xd, target);
    finish_kernel(target, real_log(core, target->num, target, base, fixed_point_limbs));
    if (!kept || interrupted()) return 0;
    series_copy(E, target);
    run(template_text(TPL_QUT_E), target, level);
    int64_t p = 0, q = 0;
    bool fraction = target->num->frac_limbs == 0 && target->den->frac_limbs == 0 && get_int64(target->num, &p) &&
                    get_int64(target->den, &q);
    if (q < 0) {
        p = -p;
        q = -q;
    }
    if (fraction && !log_is_ratio(core, &x, base, p, q)) series_copy(target, E);
    return 0;
}

// n >= 2: target := its n-th root, truncated to F fraction limbs (an exact
// root such as that of 1/4 comes back as the fraction). n <= 1: target :=
// target^p in double precision.
int nth_root(Fraction *target, int n, double p, int level) {
    if (n >= 2) return newton_root(target, n, level);
    if (!bn_is_one(target->den)) make_fixed(target);
    target->num->dec_den = 1;
    float_power(target->num, n, p);
    bn_set_one(target->den);
    return 1;
}

// target := its n-th root when it is an exact fraction whose numerator and
// denominator are perfect n-th powers (an odd root keeps a negative sign);
// false, target unchanged, otherwise.
bool exact_fraction_root(Fraction *target, int n) {
    BigNum *num = target->num, *den = target->den;
    if (!rad_is_zero(target->rad) || num->frac_limbs != 0 || den->frac_limbs != 0 || bn_is_zero(den)) return false;
    bool negative = (num->sign < 0) != (den->sign < 0) && !bn_is_zero(num);
    if (negative && n % 2 == 0) return false;
    ScratchScope scope(core);
    BigNum rn, rd;
    if (!bn_from_scratch(&rn, num->used + 2) || !bn_from_scratch(&rd, den->used + 2)) return false;
    {
        PlainOperand pn(num, true), pd(den, true);
        if (!exact_root(&rn, num, n) || !exact_root(&rd, den, n)) return false;
    }
    (void)copy(num, &rn);  // a root is no longer than its radicand
    (void)copy(den, &rd);  // a root is no longer than its radicand
    num->sign = negative ? -1 : 1;
    den->sign = 1;
    return true;
}

// target := n-th root of the target's value, truncated to F fraction limbs,
// by Newton's iteration on the fast products. Returns 1, or -1 when refused
// at level 12 or deeper ("q-ovf", target at F limbs). Zero gives 0; an even
// root of a negative number prints "q-neg" and gives 0; an odd root of a
// negative number is minus the root of its magnitude.
int newton_root(Fraction *target, int n, int level) {
    if (level >= ROOT_LEVEL_LIMIT) {
        tell_failure(MSG_ROOT_OVF);
        if (!bn_is_one(target->den)) make_fixed(target);
        return -1;
    }
    // SQR(4) and SQR(1/9) are exact: no kernel.
    if (exact_fraction_root(target, n)) return 1;
    Status rc = real_root(core, target->num, target, n, fixed_point_limbs);
    if (rc == STATUS_DOMAIN) {
        tell_notice(MSG_ROOT_NEG);
        fraction_init(target);
        return 1;
    }
    finish_kernel(target, rc);
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
            (void)shift_limbs(num, F);  // room checked above
        }
        num->frac_limbs = F;
        limb(num, F - 1) = (int32_t)m;
        if (F >= 2) limb(num, F - 2) = (int32_t)o;
    } else {
        num->frac_limbs = 0;
    }
    num->dec_den = 1;
    num->sign = r < 0 ? -1 : 1;
    // The shift needs used + F - frac_limbs + 1 limbs: room checked.
    if (num->used + F - num->frac_limbs < num->capacity) (void)shift_decimal(num, 8 * F - 8 * num->frac_limbs);
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


