// Binary splitting of series whose terms carry the powers of one value:
// the powers depend only on the length of a range of terms, so they come
// from a table made once instead of a product at every join.
#pragma once
#include <cstdint>

#include "real_flt.h"

// S = sum_{0 <= j < terms} (u / v)^j / (2j + 1) for integers 0 < u < v,
// returned as the quotient *t / *d, both to cx.prec + 2 limbs (arena
// storage, like the results of real_flt.h); atanh(x) = x S(x^2) to the
// precision the terms reach. Zero values once cx.status is not STATUS_OK.
void odd_series(Context &cx, unsigned __int128 u, unsigned __int128 v, int64_t terms, Flt *t, Flt *d);

// The small factors of the series of power_series.
enum PowerKind {
    POWER_EXP,  // sum x^k / k!
    POWER_SIN,  // sum x^k / (2k + 1)!   (sin(c) / c with x = -c^2)
};
// sum_{0 <= k <= terms} x^k / (q(1) ... q(k)) to cx.prec limbs, q(k) = k
// or 2k (2k + 1) by kind.
Flt power_series(Context &cx, PowerKind kind, const Flt &x, int64_t terms);
