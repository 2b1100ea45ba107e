// Floating big numbers for the function kernels: a base-100000000 mantissa
// with a limb exponent, kept to a settable number of limbs, and the binary
// splitting of hypergeometric series on them.
#pragma once
#include <cstddef>
#include <cstdint>

// value = sign * d[0 .. n) * BASE^e. Zero has n = 0. A normalised value has
// no zero limb at either end of its mantissa. The mantissa lives in the
// scratch arena (or is a view into another value's mantissa).
struct Flt {
    uint32_t *d;
    int n;
    int64_t e;
    int sign;
};

// Mantissa limbs kept by every rounding operation below (truncation toward
// zero of the magnitude). Each operation's result then has a relative error
// below BASE^-(flt_prec - 1).
extern int flt_prec;

Flt flt_zero();
Flt flt_int(int64_t v);
Flt flt_u128(unsigned __int128 v, int sign);
// Approximation of a long double v > 0 times BASE^shift (two limbs).
Flt flt_from_ld(long double v, int64_t shift);
// Leading value of |a| as m * BASE^*exp with m a long double in [1, BASE^2).
long double flt_lead(const Flt &a, int64_t *exp);
// Index one above the most significant limb: |a| < BASE^flt_top(a).
int64_t flt_top(const Flt &a);

// Results in new arena storage, rounded to flt_prec limbs (exact ones stay
// exact when they fit). Operands are never changed.
Flt flt_copy(const Flt &a);
// a without zero limbs at either end of its mantissa (a view).
Flt flt_normalise(const Flt &a);
// Signed floor of a as an exact integer value.
Flt flt_floor(const Flt &a);
Flt flt_neg(const Flt &a);
Flt flt_mul(const Flt &a, const Flt &b);
Flt flt_add(const Flt &a, const Flt &b);
Flt flt_sub(const Flt &a, const Flt &b);
Flt flt_mul_int(const Flt &a, int64_t m);
Flt flt_div(const Flt &a, const Flt &b);
Flt flt_div_int(const Flt &a, int64_t m);
Flt flt_pow_int(const Flt &a, uint64_t k);
// a^(-1/n) for a > 0 by Newton's iteration with precision doubling.
Flt flt_inv_root(const Flt &a, int n);
Flt flt_sqrt(const Flt &a);
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
void flt_settle(size_t mark, Flt *a, Flt *b = nullptr, Flt *c = nullptr);

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
// Sum of the first `terms` terms, to flt_prec limbs.
Flt series_sum(const Series &s, int64_t terms);
