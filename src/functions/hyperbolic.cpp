// The inverse sine and cosine (in radians) and the hyperbolic functions with
// their inverses: exact values at the arguments that have them, the kernels
// of real_inverse.cpp otherwise, the domain messages, and the bound by which
// each carries the radius of an inexact argument.
#include <cmath>
#include <initializer_list>

#include "../expr/expr.h"
#include "../kernels/real.h"
#include "../number/ball.h"
#include "functions.h"
#include "messages.h"

namespace {

// Whether the held value of f is exactly p/q (q > 0): an exact fraction of
// machine integers, sign included.
bool equals_ratio(Fraction *f, int64_t p, int64_t q) {
    if (f->num->frac_limbs != 0 || f->den->frac_limbs != 0) return false;
    int64_t a, b;
    if (!get_int64(f->num, &a) || !get_int64(f->den, &b) || b == 0) return false;
    if (b < 0) {
        a = -a;
        b = -b;
    }
    return (__int128)a * q == (__int128)b * p;
}

// target := sign * pi / m truncated toward zero, from the cached pi: the
// truncation of the truncated pi divided by m is that of pi / m itself.
void pi_over(Fraction *target, int sign, int m, int level) {
    if (compute_pi(target, level) == 0) {  // refused; the message is out
        fraction_init(target);
        return;
    }
    if (m > 1) (void)div_small(target->num, m);  // a division by a small positive integer cannot fail
    bn_strip(target->num);
    target->num->sign = int8_t(sign);
    bn_normalise_zero(target->num);
}

// Values exactly known at 0, +-1 and +-1/2 (true when the target holds one,
// or the domain message given for it).
bool special_value(Fraction *target, ArcHyperbolic kind, int level) {
    if (bn_is_zero(target->num)) {
        fraction_init(target);
        if (kind == ARC_COS) pi_over(target, 1, 2, level);
        if (kind == HYP_COS) bn_set_one(target->num);
        if (kind == ARC_HCOS) tell_notice(MSG_ACOSH_DOMAIN);
        return true;
    }
    bool at_one = kind == ARC_SIN || kind == ARC_COS || kind == ARC_HCOS || kind == ARC_HTAN;
    bool at_half = kind == ARC_SIN || kind == ARC_COS;
    for (int s : {1, -1}) {
        if (at_one && equals_ratio(target, s, 1)) {
            fraction_init(target);
            if (kind == ARC_SIN) pi_over(target, s, 2, level);
            if (kind == ARC_COS && s < 0) pi_over(target, 1, 1, level);
            if (kind == ARC_HCOS && s < 0) tell_notice(MSG_ACOSH_DOMAIN);
            if (kind == ARC_HTAN) tell_notice(MSG_ATANH_DOMAIN);
            return true;
        }
        // acos(-1/2) = 2 pi / 3 is left to the kernel: twice the truncated
        // pi over 3 may differ in its last place.
        if (at_half && (kind == ARC_SIN || s > 0) && equals_ratio(target, s, 2)) {
            fraction_init(target);
            pi_over(target, s, kind == ARC_SIN ? 6 : 3, level);
            return true;
        }
    }
    return false;
}

const char *domain_message(ArcHyperbolic kind) {
    switch (kind) {
        case ARC_SIN: return MSG_ASIN_DOMAIN;
        case ARC_COS: return MSG_ACOS_DOMAIN;
        case ARC_HCOS: return MSG_ACOSH_DOMAIN;
        default: return MSG_ATANH_DOMAIN;
    }
}

Status run_kernel(ArcHyperbolic kind, BigNum *out, Fraction *x, int F) {
    switch (kind) {
        case ARC_SIN: return real_asin(core, out, x, F);
        case ARC_COS: return real_acos(core, out, x, F);
        case HYP_SIN: return real_sinh(core, out, x, F);
        case HYP_COS: return real_cosh(core, out, x, F);
        case HYP_TAN: return real_tanh(core, out, x, F);
        case ARC_HSIN: return real_asinh(core, out, x, F);
        case ARC_HCOS: return real_acosh(core, out, x, F);
        default: return real_atanh(core, out, x, F);
    }
}

}  // namespace

int compute_arc_hyperbolic(Fraction *target, ArcHyperbolic kind, int level) {
    if (special_value(target, kind, level)) return 0;
    Status rc = run_kernel(kind, target->num, target, fixed_point_limbs);
    if (rc == STATUS_DOMAIN) {
        tell_notice(domain_message(kind));
        fraction_init(target);
        return 0;
    }
    if (!kernel_wrote(rc)) {
        tell_refusal(MSG_PROD_OVF);
        fraction_init(target);
        return 0;
    }
    bn_set_one(target->den);
    return 0;
}

double arc_hyperbolic_edge(ArcHyperbolic kind, Fraction *x) {
    if (kind != ARC_SIN && kind != ARC_COS && kind != ARC_HCOS && kind != ARC_HTAN) return RAD_ZERO;
    double l = real_distance_to_one(core, x);
    // The estimate is good to far better than a thousandth of its value.
    return l - 1e-3 * (l < 0 ? -l : l) - 1e-3;
}

double arc_hyperbolic_radius(ArcHyperbolic kind, double r, double edge, const Fraction *result) {
    if (rad_is_zero(r)) return RAD_ZERO;
    switch (kind) {
        case HYP_TAN:
        case ARC_HSIN: return r;  // derivatives at most 1
        case HYP_SIN:
        case HYP_COS: {
            // |f'| = cosh or |sinh| <= cosh(|x| + h) <= cosh(x) e^h, and cosh x
            // is at most |held value| + 1 + its two units.
            double grow = std::exp2(r) * 1.4426950408889634;
            if (grow > 1e6) return RAD_INF;
            double f = rad_add(rad_add(mag_up(result), 0.0), rad_ulps(2, fixed_point_limbs));
            return rad_mul(f + grow + 1e-9, r);
        }
        default: {
            // Over the ball the distance g to the end of the domain (1 - |x|,
            // or x - 1 for acosh) stays above 2^edge - 2^r. Then 1 - x^2 >= g
            // and x^2 - 1 >= 2g: asin', acos' and acosh' are at most
            // 1 / sqrt(g), atanh' at most 1 / g.
            double g = lg_sub_lower(edge, r);
            if (rad_is_zero(g)) return RAD_INF;
            double d = kind == ARC_HTAN ? -g : -g / 2;
            return rad_mul(d > 0 ? d + 1e-9 : 1e-9, r);
        }
    }
}
