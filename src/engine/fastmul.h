// Fast products of limb vectors: schoolbook for short operands, Karatsuba in
// the middle range and number-theoretic transforms modulo two or three
// primes near 2^62 for long ones, plus product trees of runs of machine
// integers.
#pragma once
#include "context.h"
#include <cstdint>

#include "thresholds.h"  // the lengths at which the product switches method

// Limb vectors here are plain arrays of base-100000000 limbs, least
// significant first, every limb in 0..99999999, no sign, no scale. Long
// products, trees and powers poll the context's stop flag between their
// stages and leave early once it is raised.

// Makes sure cx's product buffers take products of up to `limbs` limbs (and
// the shared root tables transforms that long). Maps new buffers only when a
// larger size than ever before is asked for, which the calculator does once,
// at start-up, sized from the precision. STATUS_OK, or STATUS_NO_ROOM when
// the address space cannot be had (nothing changes then).
[[nodiscard]] Status fastmul_reserve(Context &cx, int limbs);

// Lets the transforms use the processor's 512-bit vectors when it has them
// (on) or only scalar arithmetic (off), which gives the same limbs; returns
// whether they were used before. For tests; set while no product runs.
bool fastmul_use_vectors(bool on);

// Largest product (in limbs) cx's product buffers take.
int fastmul_capacity(const Context &cx);

// Staging area of 2 * fastmul_capacity(cx) limbs for callers that convert
// their operands to limb vectors; the routines below never touch it.
uint32_t *fastmul_stage(Context &cx);

// r[0 .. na+nb) := a[0 .. na) * b[0 .. nb). r must not overlap a or b; a
// and b may be the same array. na, nb >= 1 and na + nb <= fastmul_capacity.
// Interrupted (stopped(cx)), r is left all zeros.
void mul_limbs(Context &cx, uint32_t *r, const uint32_t *a, int na, const uint32_t *b, int nb);

// r[0 .. 2n) := a[0 .. n)^2; same rules as mul_limbs.
void sqr_limbs(Context &cx, uint32_t *r, const uint32_t *a, int n);

// Product of the `count` machine integers first, first - step, ...,
// first - (count - 1) * step (each 1 .. 2^63 - 1, step >= 0) into r, at most
// `room` limbs, least significant first; *written gets the limbs written
// (leading zero limbs removed, at least 1). Uses cx's product buffers and a
// product tree, so the cost is near that of a few full-size products.
// STATUS_OK, STATUS_NO_ROOM when the product needs more than `room` limbs,
// or STATUS_INTERRUPTED (r then holds nothing useful).
[[nodiscard]] Status falling_product_limbs(Context &cx, uint32_t *r, int room, int *written, int64_t first,
                                           int64_t count, int64_t step);

// r := a^e for a limb vector a of n limbs, at most `room` limbs, by
// repeated squaring; *written gets the limbs written. e >= 1; r must not
// overlap a. STATUS_OK, STATUS_NO_ROOM when the power needs more than
// `room` limbs, or STATUS_INTERRUPTED.
[[nodiscard]] Status power_limbs(Context &cx, uint32_t *r, int room, int *written, const uint32_t *a, int n,
                                 uint64_t e);
