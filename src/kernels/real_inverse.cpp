// Inverse sine and cosine, the hyperbolic sine, cosine and tangent and their
// inverses, built on the exponential, logarithm and arctangent of real.cpp.
// Each result is the true value truncated toward zero to F fraction limbs,
// made certain by the kernels' retry loop. Near the ends of a domain the
// differences 1 - x, 1 + x and x - 1 are taken exactly from the argument's
// numerator and denominator, so that no digit is lost to cancellation there;
// near 0 the odd functions take two terms of their series, which keeps
// exp(x) - exp(-x) and the like from cancelling to nothing.
#include <algorithm>
#include <climits>
#include <cmath>

#include "real_parts.h"
#include "../engine/scratch.h"

namespace {

enum Which { ASIN, ACOS, SINH, COSH, TANH, ASINH, ACOSH, ATANH };

constexpr uint32_t BASE = 100000000;

int64_t top_of(const Flt &v) { return v.n ? flt_top(v) : 0; }

// The argument's numerator and denominator as exact magnitudes, and the
// sign of their quotient.
struct Parts {
    Flt n, d;
    int sign;
};

Parts exact_parts(Context &cx, Fraction *x) {
    Parts p{kernel_from_bignum(cx, x->num), kernel_from_bignum(cx, x->den), 1};
    p.sign = p.n.sign * p.d.sign;
    p.n.sign = p.d.sign = 1;
    return p;
}

// a + b and a - b held whole, whatever cx.prec.
Flt exact_add(Context &cx, const Flt &a, const Flt &b) {
    PrecisionScope whole(cx, INT_MAX / 4);
    return flt_add(cx, a, b);
}
Flt exact_sub(Context &cx, const Flt &a, const Flt &b) {
    PrecisionScope whole(cx, INT_MAX / 4);
    return flt_sub(cx, a, b);
}

Flt half_pi(Context &cx) { return flt_div_int(cx, kernel_pi(cx), 2); }

// x + c x^3 with c = num / den, for |x| so small that x^2 lies below the
// working precision: the odd functions' series to two terms. The terms left
// out are below 2 |x|^5 for each function here; returns the error exponent.
int64_t two_terms(Context &cx, const Flt &x, int64_t num, int64_t den, Flt *v) {
    Flt cube = flt_mul(cx, flt_mul(cx, x, x), x);
    *v = flt_add(cx, x, flt_div_int(cx, flt_mul_int(cx, cube, num), den));
    return std::max<int64_t>(5 * top_of(x) + 1, top_of(*v) - cx.prec + 3);
}

// The odd function's two series terms when x (the magnitude x of the parts)
// is small enough, with the sign put back: true, *v and *err set.
bool small_argument(Context &cx, const Flt &x, int sign, int64_t num, int64_t den, Flt *v, int64_t *err) {
    if (2 * (top_of(x) - 1) >= -int64_t(cx.prec)) return false;
    *err = two_terms(cx, x, num, den, v);
    if (sign < 0) *v = flt_neg(*v);
    return true;
}

// sum_k (2k)!! / (2k + 1)!! z^k for z = u / w < 1 (integers): asin y =
// y sqrt(1 - y^2) times this sum at z = y^2, and acos y the same at
// z = 1 - y^2 (Euler's series of the arctangent of y / sqrt(1 - y^2)).
Flt arcsine_series(Context &cx, int64_t u, int64_t w) {
    int64_t terms = int64_t(8.0 * (cx.prec + 1) / std::log10(double(w) / double(u))) + 2;
    Series s{SERIES_ATAN_EULER, flt_int(cx, u), flt_int(cx, w)};
    return series_sum(cx, s, terms);
}

// asin x (which ASIN) or acos x (ACOS) for 0 < |x| <= 1. With A = D - |N| and
// B = D + |N| exact, D sqrt(1 - x^2) = sqrt(A B). The arcsine takes the
// arctangent of whichever of |N| / sqrt(A B) and its inverse is at most 1:
// the first is asin |x|, the second acos |x|, and asin |x| follows from pi/2
// without cancelling (both lie between pi/4 and pi/2 there). The arccosine
// is 2 atan sqrt(A / B), and pi - that for x < 0. An exact ratio of small
// integers takes a series of its own instead of the arctangent.
int64_t inverse_sine(Context &cx, Fraction *x, int which, Flt *v) {
    int keep = cx.prec;
    cx.prec = keep + 2;
    Parts p = exact_parts(cx, x);
    Flt X = flt_div(cx, p.n, p.d);
    int64_t err = 4 - keep;
    if (which == ASIN && small_argument(cx, X, p.sign, 1, 6, v, &err)) {
        cx.prec = keep;
        *v = flt_trunc(*v, keep + 1);
        return std::max(err, 3 - int64_t(keep));
    }
    Flt A = exact_sub(cx, p.d, p.n), B = exact_add(cx, p.d, p.n);
    Flt as = flt_zero(), ac = flt_zero();  // asin |x| and acos |x| (ACOS needs only ac)
    int64_t a, b;
    if (A.n == 0) {
        as = half_pi(cx);
        ac = flt_zero();
    } else if (kernel_small_ratio(x, &a, &b) && b < (int64_t(1) << 31)) {
        // |x| = m/b: the series in x^2 for asin |x| up to x^2 = 1/2, that in
        // 1 - x^2 for acos |x| beyond, the other from pi/2.
        int64_t m = a < 0 ? -a : a;
        Flt root = flt_div(cx, flt_sqrt(cx, flt_int(cx, b * b - m * m)), flt_int(cx, b));
        Flt scale = flt_div_int(cx, flt_mul_int(cx, root, m), b);  // |x| sqrt(1 - x^2)
        if (2 * m * m <= b * b) {
            as = flt_mul(cx, scale, arcsine_series(cx, m * m, b * b));
            ac = flt_sub(cx, half_pi(cx), as);
        } else {
            ac = flt_mul(cx, scale, arcsine_series(cx, b * b - m * m, b * b));
            as = flt_sub(cx, half_pi(cx), ac);
        }
    } else if (which == ACOS) {
        // acos |x| = 2 atan sqrt((1 - |x|) / (1 + |x|)), no pi needed for x > 0.
        ac = flt_mul_int(cx, kernel_atan_unit(cx, flt_sqrt(cx, flt_div(cx, A, B))), 2);
    } else {
        Flt R = flt_sqrt(cx, flt_mul(cx, A, B));
        if (flt_cmp_abs(R, p.n) < 0) {
            ac = kernel_atan_unit(cx, flt_div(cx, R, p.n));
            as = flt_sub(cx, half_pi(cx), ac);
        } else {
            as = kernel_atan_unit(cx, flt_div(cx, p.n, R));
            ac = flt_sub(cx, half_pi(cx), as);
        }
    }
    Flt r;
    if (which == ASIN)
        r = p.sign < 0 ? flt_neg(as) : as;
    else
        r = p.sign < 0 ? flt_sub(cx, kernel_pi(cx), ac) : ac;
    cx.prec = keep;
    *v = flt_trunc(r, keep + 1);
    return err;
}

// sinh, cosh or tanh of x from one exponential of |x|: (E - 1/E) / 2,
// (E + 1/E) / 2 and 1 - 2 / (exp(2|x|) + 1); the odd ones take their series
// near 0. The caller has ruled out values beyond the room and a cosh or
// tanh whose truncation is decided without computing.
int64_t hyperbolic(Context &cx, Fraction *x, int which, Flt *v) {
    int keep = cx.prec;
    cx.prec = keep + 2;
    Parts p = exact_parts(cx, x);
    Flt X = flt_div(cx, p.n, p.d);
    int64_t err;
    if (which != COSH && small_argument(cx, X, p.sign, which == SINH ? 1 : -1, which == SINH ? 6 : 3, v, &err)) {
        cx.prec = keep;
        *v = flt_trunc(*v, keep + 1);
        return err;
    }
    // |x| read to as many more limbs as its integer part has: its error
    // becomes the relative error of the exponential.
    int64_t tx = std::max<int64_t>(0, top_of(X));
    cx.prec = keep + 2 + int(tx);
    X = flt_div(cx, p.n, p.d);
    Flt one = flt_int(cx, 1), r;
    if (which == TANH) {
        Flt E2 = kernel_exp(cx, flt_mul_int(cx, X, 2));
        r = flt_sub(cx, one, flt_div(cx, flt_int(cx, 2), flt_add(cx, E2, one)));
        err = 4 - int64_t(keep);
    } else {
        Flt E = kernel_exp(cx, X);
        Flt I = flt_div(cx, one, E);
        r = flt_div_int(cx, which == SINH ? flt_sub(cx, E, I) : flt_add(cx, E, I), 2);
        err = top_of(E) + 4 - int64_t(keep);
    }
    if (which != COSH && p.sign < 0) r = flt_neg(r);
    cx.prec = keep;
    *v = flt_trunc(r, keep + 1 + int(tx));
    return err;
}

// ln y with the error of y (relative, a few units of cx.prec) added to the
// logarithm's own.
int64_t log_of(Context &cx, const Flt &y, Flt *v) {
    int64_t err;
    *v = kernel_log(cx, y, &err);
    return std::max<int64_t>(err, 3 - int64_t(cx.prec)) + 1;
}

// atanh(m/b) for integers 0 < 3m <= b < 2^31 by its own series,
// (m/b) sum (m/b)^2k / (2k + 1), summed by binary splitting.
Flt atanh_ratio(Context &cx, int64_t m, int64_t b) {
    int64_t terms = int64_t(8.0 * (cx.prec + 1) / (2 * std::log10(double(b) / double(m)))) + 2;
    Series s{SERIES_ATANH, flt_int(cx, m * m), flt_int(cx, b * b)};
    return flt_div_int(cx, flt_mul_int(cx, series_sum(cx, s, terms), m), b);
}

// Whether n > 0 has no prime factor above 7: the logarithm of a ratio of
// such numbers is made from the cached logarithms of 2, 3, 5 and 7
// (ATANH(1/3) = ln 2 / 2), sooner than by its own series.
bool smooth_by_7(int64_t n) {
    for (int64_t p : {2, 3, 5, 7})
        while (n % p == 0) n /= p;
    return n == 1;
}

// asinh, acosh or atanh of x: ln(|x| + sqrt(x^2 + 1)), ln((N + sqrt((N - D)
// (N + D))) / D) and ln((D + |N|) / (D - |N|)) / 2, the differences exact.
// An exact atanh of a small ratio p/q is half the logarithm of the ratio
// (q + p) / (q - p), which the logarithm sums as a series.
int64_t inverse_hyperbolic(Context &cx, Fraction *x, int which, Flt *v) {
    int keep = cx.prec;
    cx.prec = keep + 2;
    Parts p = exact_parts(cx, x);
    Flt X = flt_div(cx, p.n, p.d);
    int64_t err;
    if (which != ACOSH &&
        small_argument(cx, X, p.sign, which == ASINH ? -1 : 1, which == ASINH ? 6 : 3, v, &err)) {
        cx.prec = keep;
        *v = flt_trunc(*v, keep + 1);
        return err;
    }
    int64_t a, b;
    if (which == ATANH && kernel_small_ratio(x, &a, &b) && b + (a < 0 ? -a : a) < (int64_t(1) << 40)) {
        int64_t m = a < 0 ? -a : a;
        if (b < (int64_t(1) << 31) && b >= 3 * m && !(smooth_by_7(b + m) && smooth_by_7(b - m))) {
            *v = atanh_ratio(cx, m, b);
            err = top_of(*v) - keep;
        } else {
            *v = flt_div_int(cx, kernel_log_ratio(cx, b + m, b - m, &err), 2);
            err += 1;
        }
    } else if (which == ASINH) {
        Flt one = flt_int(cx, 1);
        err = log_of(cx, flt_add(cx, X, flt_sqrt(cx, flt_add(cx, flt_mul(cx, X, X), one))), v);
    } else if (which == ACOSH) {
        Flt R = flt_sqrt(cx, flt_mul(cx, exact_sub(cx, p.n, p.d), exact_add(cx, p.n, p.d)));
        err = log_of(cx, flt_div(cx, flt_add(cx, p.n, R), p.d), v);
    } else {
        Flt A = exact_sub(cx, p.d, p.n), B = exact_add(cx, p.d, p.n);
        err = log_of(cx, flt_div(cx, B, A), v);
        *v = flt_div_int(cx, *v, 2);
    }
    if (p.sign < 0) *v = flt_neg(*v);
    cx.prec = keep;
    *v = flt_trunc(*v, keep + 1);
    return err;
}

// Where |x| stands against 1 (-1, 0, 1), and whether x < 0. x != 0.
int against_one(Context &cx, Fraction *x, bool *negative) {
    size_t mark = scratch_mark(cx);
    Parts p = exact_parts(cx, x);
    int c = flt_cmp_abs(p.n, p.d);
    *negative = p.sign < 0;
    scratch_release(cx, mark);
    return c;
}

bool is_zero(Fraction *x) { return bn_is_zero(x->num); }

// out := 0 or (one) 1 at F fraction limbs.
Status write_small(BigNum *out, int F, bool one) {
    if (F + 1 >= out->capacity) return STATUS_NO_ROOM;
    bn_clear(out);
    out->frac_limbs = F;
    if (!one) return STATUS_OK;
    for (int k = 0; k < F; k++) limb(out, k) = 0;
    limb(out, F) = 1;
    out->used = F + 1;
    return STATUS_OK;
}

// out := the largest value below 1 at F fraction limbs (every fraction limb
// 99999999), negative when asked: a tanh within BASE^-F of +-1.
Status write_below_one(BigNum *out, int F, bool negative) {
    if (F + 1 >= out->capacity) return STATUS_NO_ROOM;
    bn_clear(out);
    out->frac_limbs = F;
    if (F == 0) return STATUS_OK;
    for (int k = 0; k < F; k++) limb(out, k) = int32_t(BASE - 1);
    out->used = F;
    out->sign = int8_t(negative ? -1 : 1);
    return STATUS_OK;
}

// |x| roughly, from its log10 (0 for x = 0); large values saturate.
double magnitude(Context &cx, Fraction *x) {
    double l = kernel_log10(cx, x);
    return l > 300 ? 1e300 : std::pow(10.0, l);
}

}  // namespace

Status real_asin(Context &cx, BigNum *out, Fraction *x, int F) {
    cx.status = STATUS_OK;
    if (is_zero(x)) return write_small(out, F, false);
    bool negative;
    if (against_one(cx, x, &negative) > 0) return STATUS_DOMAIN;
    return kernel_run(cx, inverse_sine, x, ASIN, out, F);
}

Status real_acos(Context &cx, BigNum *out, Fraction *x, int F) {
    cx.status = STATUS_OK;
    bool negative = false;
    int c = is_zero(x) ? -1 : against_one(cx, x, &negative);
    if (c > 0) return STATUS_DOMAIN;
    if (c == 0 && !negative) return write_small(out, F, false);  // acos 1 = 0
    return kernel_run(cx, inverse_sine, x, ACOS, out, F);
}

Status real_sinh(Context &cx, BigNum *out, Fraction *x, int F) {
    cx.status = STATUS_OK;
    if (is_zero(x)) return write_small(out, F, false);
    if (magnitude(cx, x) * 0.4342944819 > 8.0 * out->capacity + 16) return STATUS_NO_ROOM;
    return kernel_run(cx, hyperbolic, x, SINH, out, F);
}

Status real_cosh(Context &cx, BigNum *out, Fraction *x, int F) {
    cx.status = STATUS_OK;
    if (is_zero(x)) return write_small(out, F, true);
    double a = magnitude(cx, x);
    if (a * 0.4342944819 > 8.0 * out->capacity + 16) return STATUS_NO_ROOM;
    // 0 < cosh x - 1 < x^2 for |x| < 1: below one unit of the F-th limb the
    // truncation is 1.
    if (a < 1 && 2.0 * std::log10(a) < -8.0 * F - 0.1) return write_small(out, F, true);
    return kernel_run(cx, hyperbolic, x, COSH, out, F);
}

Status real_tanh(Context &cx, BigNum *out, Fraction *x, int F) {
    cx.status = STATUS_OK;
    if (is_zero(x)) return write_small(out, F, false);
    // 0 < 1 - tanh |x| < 2 exp(-2|x|): below one unit of the F-th limb the
    // truncation is 0.99999999... to F limbs.
    double a = magnitude(cx, x) * (1 - 1e-9);
    if (a * 0.8685889638 > 8.0 * F + 0.302 + 1e-6) {
        bool negative = (x->num->sign < 0) != (x->den->sign < 0);
        return write_below_one(out, F, negative);
    }
    return kernel_run(cx, hyperbolic, x, TANH, out, F);
}

Status real_asinh(Context &cx, BigNum *out, Fraction *x, int F) {
    cx.status = STATUS_OK;
    if (is_zero(x)) return write_small(out, F, false);
    return kernel_run(cx, inverse_hyperbolic, x, ASINH, out, F);
}

Status real_acosh(Context &cx, BigNum *out, Fraction *x, int F) {
    cx.status = STATUS_OK;
    bool negative = false;
    int c = is_zero(x) ? -1 : against_one(cx, x, &negative);
    if (c < 0 || negative) return STATUS_DOMAIN;
    if (c == 0) return write_small(out, F, false);  // acosh 1 = 0
    return kernel_run(cx, inverse_hyperbolic, x, ACOSH, out, F);
}

Status real_atanh(Context &cx, BigNum *out, Fraction *x, int F) {
    cx.status = STATUS_OK;
    if (is_zero(x)) return write_small(out, F, false);
    bool negative;
    if (against_one(cx, x, &negative) >= 0) return STATUS_DOMAIN;
    return kernel_run(cx, inverse_hyperbolic, x, ATANH, out, F);
}

double real_distance_to_one(Context &cx, Fraction *x) {
    cx.status = STATUS_OK;
    size_t mark = scratch_mark(cx);
    Parts p = exact_parts(cx, x);
    Flt gap = exact_sub(cx, p.d, p.n);
    // Two leading limbs of each are plenty for a bound of this kind.
    double l = gap.n == 0 ? -HUGE_VAL : (flt_log10_abs(gap) - flt_log10_abs(p.d)) * 3.321928094887362;
    scratch_release(cx, mark);
    return l;
}
