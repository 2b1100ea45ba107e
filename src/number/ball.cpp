// Error bounds of inexact values: the arithmetic of radii kept as base-2
// logarithms, magnitude bounds of fractions, and the certainty test that
// decides which printed places of a value within its radius are sure.
#include "ball.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "../engine/limbs.h"
#include "power.h"
#include "../engine/scratch.h"

namespace {

constexpr double LOG2_10 = 3.3219280948873623;

// Room for the rounding of the double computations behind a bound: the
// logarithms of values of up to a few times 10^8 are off by far less.
double slack(double v) { return 1e-9 + 1e-12 * std::fabs(v); }

// A record over `cap` arena limbs holding |n| read as an integer.
bool magnitude_copy(BigNum *d, const BigNum *n, int cap) {
    if (!bn_from_scratch(d, cap)) return false;
    (void)copy(d, n);  // cap was chosen to hold n
    d->sign = 1;
    d->frac_limbs = 0;
    d->offset = 0;
    return true;
}

// R := the radius rad in units of the last of s fraction limbs, rounded up,
// plus one: 15 leading digits, one more, then zeros (R needs `cap` limbs at
// most). False when it would not fit.
bool radius_ulps(double rad, int s, BigNum *R, int cap) {
    double t = rad + 8.0 * s * LOG2_10;
    t += slack(t);
    if (!bn_from_scratch(R, cap)) return false;
    if (t < 62) {
        set_int64(R, static_cast<int64_t>(std::ceil(std::exp2(t))) + 1);
        return true;
    }
    double d = t / LOG2_10;  // decimal logarithm of the radius
    long e = static_cast<long>(std::floor(d)) - 14;
    if (e + 16 > 8L * (cap - 2)) return false;
    double lead = std::pow(10.0, d - static_cast<double>(e));  // below 10^15, rounded
    set_int64(R, static_cast<int64_t>(std::ceil(lead * (1 + 1e-12))) + 2);
    return shift_decimal(R, static_cast<int32_t>(e)) == STATUS_OK;
}

// lo := |C| - R and hi := |C| + R for the numerator C of f (read as an
// integer); false without arena room.
bool ball_ends(const BigNum *c, BigNum *r, BigNum *lo, BigNum *hi) {
    int cap = (c->used > r->used ? c->used : r->used) + 3;
    if (!magnitude_copy(lo, c, cap) || !magnitude_copy(hi, c, cap)) return false;
    r->sign = 1;
    if (add(hi, hi, r) != STATUS_OK) return false;
    r->sign = -1;
    if (add(lo, lo, r) != STATUS_OK) return false;
    r->sign = 1;
    if (bn_is_zero(lo)) lo->sign = 1;
    return true;
}

// Decimal digit at position p (0 = least significant) of the magnitude of n.
int digit_at(const BigNum *n, long p) {
    long k = p / 8;
    if (k >= n->used) return 0;
    int32_t v = limb(n, static_cast<int>(k));
    for (long i = p % 8; i > 0; i--) v /= 10;
    return v % 10;
}

// Position of the highest decimal digit in which a and b differ, -1 when
// they are equal.
long highest_difference(const BigNum *a, const BigNum *b) {
    int top = a->used > b->used ? a->used : b->used;
    for (int k = top - 1; k >= 0; k--) {
        int32_t x = k < a->used ? limb(a, k) : 0, y = k < b->used ? limb(b, k) : 0;
        if (x == y) continue;
        for (int d = 7; d >= 0; d--)
            if (digit_at(a, 8L * k + d) != digit_at(b, 8L * k + d)) return 8L * k + d;
    }
    return -1;
}

// Brings f to fixed point over 1 with `s` fraction limbs or the working
// precision when that is more, the rounding added to its radius. (Digits
// beyond the working precision, as a product of two decimals leaves them,
// carry nothing the radius does not already cover.)
void fix_at_working_scale(Fraction *f, int s) {
    int S = s > fixed_point_limbs ? s : fixed_point_limbs;
    if (bn_is_one(f->den) && f->num->frac_limbs == S) return;
    to_fixed(f, S);
}

}  // namespace

double rad_add(double a, double b) {
    if (rad_is_zero(a)) return b;
    if (rad_is_zero(b)) return a;
    double m = a > b ? a : b, d = (a > b ? b : a) - m;
    if (std::isinf(m)) return RAD_INF;
    double v = m + std::log2(1.0 + std::exp2(d));
    return v + slack(v);
}

double rad_mul(double a, double b) {
    if (rad_is_zero(a) || rad_is_zero(b)) return RAD_ZERO;
    double v = a + b;
    if (std::isinf(v)) return RAD_INF;
    return v + slack(v);
}

double rad_ulps(double k, int s) {
    if (k <= 0) return RAD_ZERO;
    double v = std::log2(k) - 8.0 * s * LOG2_10;
    return v + slack(v);
}

double rad_of(double v) {
    if (!(v > 0)) return RAD_ZERO;
    double l = std::log2(v);
    return l + slack(l);
}

double mag_up(const Fraction *f) {
    double n = log10_bound(f->num, true);
    if (n < -1e299) return RAD_ZERO;
    double d = log10_bound(f->den, false);
    if (d < -1e299) return RAD_INF;
    double v = (n - d) * LOG2_10;
    return v + slack(v);
}

double mag_lo(const Fraction *f) {
    double n = log10_bound(f->num, false);
    if (n < -1e299) return RAD_ZERO;
    double d = log10_bound(f->den, true);
    double v = (n - d) * LOG2_10;
    return v - slack(v);
}

double lg_sub_lower(double a, double b) {
    if (rad_is_zero(b)) return a - slack(a);
    double d = b - a;
    if (d > -1e-6 || std::isinf(a)) return RAD_ZERO;
    double v = a + std::log1p(-std::exp2(d)) / std::log(2.0);
    return v - slack(v) - 1e-9;
}

Certainty ball_truncate(Fraction *f, int s) {
    if (rad_is_zero(f->rad)) return CERTAIN_YES;
    if (std::isinf(f->rad)) return CERTAIN_NO;
    fix_at_working_scale(f, s);
    int S = f->num->frac_limbs, k = S - s;
    if (k <= 0) return CERTAIN_NO;
    ScratchScope scope(core);
    BigNum lo, hi, R;
    if (!radius_ulps(f->rad, S, &R, f->num->used + 4)) return CERTAIN_NO;
    if (!ball_ends(f->num, &R, &lo, &hi)) return CERTAIN_ROOM;
    bool same;
    if (lo.sign < 0) {
        // The ball reaches both signs: certain only as 0.
        same = true;
        for (int j = k; j < hi.used; j++) same = same && limb(&hi, j) == 0;
    } else {
        same = true;
        int top = lo.used > hi.used ? lo.used : hi.used;
        for (int j = k; j < top && same; j++)
            same = (j < lo.used ? limb(&lo, j) : 0) == (j < hi.used ? limb(&hi, j) : 0);
    }
    if (!same) return CERTAIN_NO;
    (void)shift_limbs(f->num, -k);  // a downward shift cannot fail
    f->num->frac_limbs = s;
    bn_normalise_zero(f->num);
    if (bn_is_zero(f->num)) f->num->frac_limbs = 0;
    f->rad = RAD_ZERO;
    return CERTAIN_YES;
}

int ball_certain_places(Fraction *f, int s) {
    if (std::isinf(f->rad)) return -1;
    fix_at_working_scale(f, s);
    int S = f->num->frac_limbs;
    ScratchScope scope(core);
    BigNum lo, hi, R;
    if (!radius_ulps(f->rad, S, &R, f->num->used + 4)) return -1;
    if (!ball_ends(f->num, &R, &lo, &hi)) return -1;
    long diff;
    if (lo.sign < 0) {
        diff = -1;
        for (long p = 8L * hi.used - 1; p >= 0 && diff < 0; p--)
            if (digit_at(&hi, p) != 0) diff = p;
    } else {
        diff = highest_difference(&lo, &hi);
    }
    long places = 8L * S - diff - 1;
    if (places > 8L * s) places = 8L * s;
    if (places < 0) return -1;
    int32_t drop = static_cast<int32_t>(8L * S - places);
    (void)shift_decimal(f->num, -drop);  // a downward shift cannot fail
    if (shift_decimal(f->num, drop) != STATUS_OK) return -1;  // the digits were there before
    if (S > s) {
        (void)shift_limbs(f->num, s - S);  // only zero limbs go
        f->num->frac_limbs = s;
    }
    bn_normalise_zero(f->num);
    f->rad = RAD_ZERO;
    return static_cast<int>(places);
}

bool ball_recover(Fraction *f, int s) {
    if (std::isinf(f->rad) || f->rad >= rad_ulps(1, s) - 1e-6) return false;
    fix_at_working_scale(f, 0);
    int S = f->num->frac_limbs;
    if (S < 4) return false;
    ScratchScope scope(core);
    BigNum R;
    if (!radius_ulps(f->rad, S, &R, f->num->used + 4)) return false;
    BigNum cn, cd;
    if (!bn_from_scratch(&cn, f->num->used + 3) || !bn_from_scratch(&cd, S + 6)) return false;
    (void)copy(&cn, f->num);  // cn was taken with room for it
    bn_set_one(&cd);
    Fraction c = {&cn, &cd, 0};
    if (to_fraction(&c) != STATUS_OK || cn.frac_limbs != 0 || cd.frac_limbs != 0) return false;
    // Inside the ball when |p 10^(8S) - C q| <= R q for c = p / q.
    BigNum x, y, z;
    int len = cn.used + S + 2, ylen = f->num->used + cd.used + 2;
    if (!bn_from_scratch(&x, (len > ylen ? len : ylen) + 2) || !bn_from_scratch(&y, ylen + 2) ||
        !bn_from_scratch(&z, cd.used + R.used + 4))
        return false;
    (void)copy(&x, &cn);  // x was taken with room for it
    if (shift_limbs(&x, S) != STATUS_OK) return false;
    {
        PlainOperand pc(f->num, false), pq(&cd, true);
        if (multiply(&y, f->num, &cd) != STATUS_OK) return false;
    }
    y.frac_limbs = 0;
    y.sign = static_cast<int8_t>(-y.sign);
    if (add(&x, &x, &y) != STATUS_OK) return false;
    x.sign = 1;
    {
        PlainOperand pq(&cd, true);
        if (multiply(&z, &cd, &R) != STATUS_OK) return false;
    }
    if (compare_magnitude(&x, &z) > 0) return false;
    if (cn.used > f->num->capacity || cd.used > f->den->capacity) return false;
    (void)copy(f->num, &cn);  // room checked above
    (void)copy(f->den, &cd);  // room checked above
    reduce_small(f->num, f->den);
    f->rad = RAD_ZERO;
    return true;
}

double rad_quotient(double mx, double rx, double my, double ly, double ry) {
    double num = rad_add(rad_mul(rx, my), rad_mul(mx, ry));
    if (rad_is_zero(num)) return RAD_ZERO;
    double gap = lg_sub_lower(ly, ry);
    if (rad_is_zero(gap) || rad_is_zero(ly)) return RAD_INF;
    double v = num - ly - gap;
    return v + slack(v);
}

double lg_pow_sup(double a, double b, double q1, double q2) {
    double m = q1 * a;
    for (double v : {q1 * b, q2 * a, q2 * b}) m = v > m ? v : m;
    return m + slack(m) + 1e-9 * (std::fabs(a) + std::fabs(b)) * (std::fabs(q1) + std::fabs(q2));
}

double rad_power(const Fraction *x, double p, double rp) {
    double rx = x->rad;
    if (rad_is_zero(rx) && rad_is_zero(rp)) return RAD_ZERO;
    double hi = rad_add(mag_up(x), rx), lo = lg_sub_lower(mag_lo(x), rx);
    if (rad_is_zero(lo) || std::isinf(hi)) return RAD_INF;
    double dp = rad_is_zero(rp) ? 0.0 : std::exp2(rp) * (1 + 1e-12);
    double q1 = p - dp, q2 = p + dp;
    double out = RAD_ZERO;
    if (!rad_is_zero(rx)) {
        double ap = std::fabs(q1) > std::fabs(q2) ? std::fabs(q1) : std::fabs(q2);
        out = rad_mul(rad_mul(rad_of(ap), lg_pow_sup(lo, hi, q1 - 1, q2 - 1)), rx);
    }
    if (!rad_is_zero(rp)) {
        // |d/dq xi^q| = xi^q |ln xi| <= sup xi^q * max |log2 xi| ln 2.
        double l2 = std::fabs(lo) > std::fabs(hi) ? std::fabs(lo) : std::fabs(hi);
        double ln = rad_of(l2 * 0.6931471805599453 + 1e-300);
        out = rad_add(out, rad_mul(rad_mul(lg_pow_sup(lo, hi, q1, q2), ln), rp));
    }
    return out;
}

double fraction_to_double(const Fraction *f) {
    double n = log10_bound(f->num, false), d = log10_bound(f->den, false);
    if (n < -1e299) return 0;
    double v = std::pow(10.0, n - d);
    return (f->num->sign < 0) != (f->den->sign < 0) ? -v : v;
}
