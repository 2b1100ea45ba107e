// Fast products of limb vectors: schoolbook for short operands, Karatsuba in
// the middle range and number-theoretic transforms modulo two or three
// primes near 2^62 for long ones, plus product trees of runs of machine
// integers.
#pragma once
#include <cstdint>

#include "thresholds.h"  // the lengths at which the product switches method

// Limb vectors here are plain arrays of base-100000000 limbs, least
// significant first, every limb in 0..99999999, no sign, no scale. Long
// products, trees and powers poll for Ctrl-C between their stages; a hook
// that abandons the line finds only scratch space and output vectors
// half-written, never a number record.

// Makes sure the scratch space for products of up to `limbs` limbs exists.
// Allocates only when a larger size than ever before is asked for (in
// practice once, sized from the precision). Returns 0, or -1 when the
// allocation failed (nothing changes then and the fast paths stay closed).
[[nodiscard]] int fastmul_reserve(int limbs);

// Largest product (in limbs) the reserved scratch space can take.
int fastmul_capacity();

// Staging area of 2 * fastmul_capacity() limbs for callers that convert
// their operands to limb vectors; the routines below never touch it.
uint32_t *fastmul_stage();

// r[0 .. na+nb) := a[0 .. na) * b[0 .. nb). r must not overlap a or b; a
// and b may be the same array. na, nb >= 1 and na + nb <= fastmul_capacity().
void mul_limbs(uint32_t *r, const uint32_t *a, int na, const uint32_t *b, int nb);

// r[0 .. 2n) := a[0 .. n)^2; same rules as mul_limbs.
void sqr_limbs(uint32_t *r, const uint32_t *a, int n);

// Product of the `count` machine integers first, first - step, ...,
// first - (count - 1) * step (each 1 .. 2^63 - 1, step >= 0) into r, at most
// `room` limbs, least significant first. Returns the limbs written (leading
// zero limbs removed, at least 1), or -1 when the product needs more than
// `room` limbs (r then holds nothing useful). Uses the reserved scratch and
// a product tree, so the cost is near that of a few full-size products.
[[nodiscard]] int falling_product_limbs(uint32_t *r, int room, int64_t first, int64_t count, int64_t step);

// r := a^e for a limb vector a of n limbs, at most `room` limbs, by
// repeated squaring. Returns the limbs written, or -1 when the power needs
// more than `room` limbs. e >= 1; r must not overlap a.
[[nodiscard]] int power_limbs(uint32_t *r, int room, const uint32_t *a, int n, uint64_t e);
