// Pieces of the kernels of real.cpp on which the inverse sine and cosine and
// the hyperbolic kernels of real_inverse.cpp are built. Internal to
// src/kernels: every value is a floating big number at cx.prec limbs.
#pragma once
#include <cstdint>

#include "real.h"
#include "real_flt.h"

// One computation for the kernels' retry loop: fills *v at cx.prec limbs
// from the exact argument x (`which` chooses among related functions) and
// returns the limb exponent of the absolute error bound of *v.
using KernelCompute = int64_t (*)(Context &cx, Fraction *x, int which, Flt *v);

// The retry loop of the kernels (statuses as in real.h): compute runs with
// more and more guard limbs until the truncation of its value to F fraction
// limbs is certain, which is then written into out. A value of exactly 0
// never counts as certain: the caller writes known zeros itself.
[[nodiscard]] Status kernel_run(Context &cx, KernelCompute compute, Fraction *x, int which, BigNum *out, int F);

Flt kernel_pi(Context &cx);  // pi, from the cache
// The exact value of a record (all its limbs, whatever cx.prec).
Flt kernel_from_bignum(Context &cx, BigNum *b);
// e^x for |x| within the room the caller checked.
Flt kernel_exp(Context &cx, const Flt &x);
// ln x for x > 0; *errpos receives the limb exponent of its absolute error.
Flt kernel_log(Context &cx, const Flt &x, int64_t *errpos);
// ln(p/q) for integers 0 < p, q below 2^40, with the same error exponent.
Flt kernel_log_ratio(Context &cx, int64_t p, int64_t q, int64_t *errpos);
// atan x for 0 < x <= 1, to a few units of the last of cx.prec limbs.
Flt kernel_atan_unit(Context &cx, const Flt &x);
// Whether x is an exact ratio p/q (q > 0) of integers below 2^40 in magnitude.
bool kernel_small_ratio(Fraction *x, int64_t *p, int64_t *q);
// A rough log10 of |x| for x != 0 (a few digits of it).
double kernel_log10(Context &cx, Fraction *x);
