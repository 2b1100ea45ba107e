// Floating big numbers for the function kernels: a base-100000000 mantissa
// with a limb exponent, kept to a settable number of limbs, and the binary
// splitting of hypergeometric series on them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "../engine/context.h"

// value = sign * d[0 .. n) * BASE^e. Zero has n = 0. A normalised value has
// no zero limb at either end of its mantissa. The mantissa lives in the
// scratch arena (or is a view into another value's mantissa).
struct Flt {
    uint32_t *d;
    int n;
    int64_t e;
    int sign;
};

// Every operation taking a context keeps cx.prec mantissa limbs
// (truncation toward zero of the magnitude), so that its result has a
// relative error below BASE^-(cx.prec - 1); takes its storage from cx's
// arena; and once cx.status is not STATUS_OK, or cx's stop flag is raised,
// returns zero at once without touching the arena (cx.status then says
// why: STATUS_INTERRUPTED, or STATUS_NO_ROOM when the arena ran out).

Flt flt_zero();
Flt flt_int(Context &cx, int64_t v);
Flt flt_u128(Context &cx, unsigned __int128 v, int sign);
// Approximation of a long double v > 0 times BASE^shift (two limbs).
Flt flt_from_ld(Context &cx, long double v, int64_t shift);
// Leading value of |a| as m * BASE^*exp with m a long double in [1, BASE^2).
long double flt_lead(const Flt &a, int64_t *exp);
// Index one above the most significant limb: |a| < BASE^flt_top(a).
int64_t flt_top(const Flt &a);

// Results in new arena storage, rounded to cx.prec limbs (exact ones stay
// exact when they fit). Operands are never changed.
Flt flt_copy(Context &cx, const Flt &a);
// a without zero limbs at either end of its mantissa (a view).
Flt flt_normalise(const Flt &a);
// Signed floor of a as an exact integer value.
Flt flt_floor(Context &cx, const Flt &a);
Flt flt_neg(const Flt &a);
Flt flt_mul(Context &cx, const Flt &a, const Flt &b);
Flt flt_add(Context &cx, const Flt &a, const Flt &b);
Flt flt_sub(Context &cx, const Flt &a, const Flt &b);
Flt flt_mul_int(Context &cx, const Flt &a, int64_t m);
Flt flt_div(Context &cx, const Flt &a, const Flt &b);
Flt flt_div_int(Context &cx, const Flt &a, int64_t m);
Flt flt_pow_int(Context &cx, const Flt &a, uint64_t k);
// a^(-1/n) for a > 0 by Newton's iteration with precision doubling.
Flt flt_inv_root(Context &cx, const Flt &a, int n);
Flt flt_sqrt(Context &cx, const Flt &a);
// Truncated to `limbs` mantissa limbs (a view, no copy).
Flt flt_trunc(const Flt &a, int limbs);
// Integer part (toward zero) and the rest a - int, both exact views/copies.
Flt flt_floor_abs(const Flt &a);
int flt_cmp_abs(const Flt &a, const Flt &b);
int flt_cmp(const Flt &a, const Flt &b);
// Value as a double (for estimates only).
double flt_log10_abs(const Flt &a);

// Moves the given values down to the arena position `mark`, so that the
// space above them can be reused; the values stay valid (new mantissa
// pointers are stored back).
void flt_settle(Context &cx, size_t mark, Flt *a, Flt *b = nullptr, Flt *c = nullptr);

// Series sum_{k >= 0} a(k) prod_{j <= k} p(j) / q(j) with
// p(j) = ps(j) * pb, q(j) = qs(j) * qb for j >= 1 and p(0) = q(0) = 1,
// small integer factors ps, qs, a chosen by kind and constant floating
// factors pb, qb. Summed over k < terms by binary splitting.
enum SeriesKind {
    SERIES_EXP,        // ps = 1, qs = k: sum x^k / k! with pb/qb = x
    SERIES_SIN,        // ps = -1, qs = 2k(2k+1): sin(x) / x with pb/qb = x^2
    SERIES_COS,        // ps = -1, qs = (2k-1)2k: cos(x) with pb/qb = x^2
    SERIES_ATANH,      // ps = 2k-1, qs = 2k+1: atanh(x) / x with pb/qb = x^2
    SERIES_ATAN_EULER, // ps = 2k, qs = 2k+1: (1+x^2)/x atan(x) with pb/qb = x^2/(1+x^2)
    SERIES_CHUDNOVSKY  // pi's series; pb = qb = 1
};
struct Series {
    SeriesKind kind;
    Flt pb, qb;
};
// Sum of the first `terms` terms, to cx.prec limbs.
Flt series_sum(Context &cx, const Series &s, int64_t terms);
// The same sum as the quotient *t / *q, both to cx.prec + 2 limbs, for a
// caller that folds the division into one of its own.
void series_parts(Context &cx, const Series &s, int64_t terms, Flt *t, Flt *q);
