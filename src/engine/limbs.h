// Limb-vector primitives: unsigned magnitudes as arrays of base-100000000
// limbs, least significant first. No signs, no scale, no allocation; carries
// and borrows come back as results. Also long division (division.cpp), the
// greatest common divisor (gcd.cpp) and that of two machine integers.
#pragma once
#include <cstdint>

#include "context.h"
#include "thresholds.h"  // DIV_NEWTON_LIMBS: where division switches method

constexpr uint32_t LV_BASE = 100000000;

// The limb t mod BASE (0 .. BASE - 1) of a signed column value t; *carry
// becomes floor(t / BASE), the carry into the next column.
inline uint32_t lv_split_signed(int64_t t, int64_t *carry) {
    int64_t c = t / int64_t(LV_BASE);
    t -= c * int64_t(LV_BASE);
    if (t < 0) {
        t += int64_t(LV_BASE);
        c--;
    }
    *carry = c;
    return uint32_t(t);
}

// Greatest common divisor of two machine integers by Euclid's algorithm; the
// divisor of x and 0 is x. Every layer's 64-bit divisors come from here.
inline uint64_t gcd_u64(uint64_t x, uint64_t y) {
    while (y != 0) {
        uint64_t t = x % y;
        x = y;
        y = t;
    }
    return x;
}

// r[0 .. n) := a[0 .. n) + b[0 .. m), m <= n; returns the carry (0 or 1).
// r may be a or b.
uint32_t lv_add(uint32_t *r, const uint32_t *a, int n, const uint32_t *b, int m);
// r[0 .. n) := a[0 .. n) - b[0 .. m), m <= n; returns the borrow (0 or 1).
// r may be a or b.
uint32_t lv_sub(uint32_t *r, const uint32_t *a, int n, const uint32_t *b, int m);
// r[0 .. n) := a[0 .. n) + c, c < LV_BASE; returns the carry. r may be a.
uint32_t lv_add_1(uint32_t *r, const uint32_t *a, int n, uint32_t c);
// r[0 .. n) := a[0 .. n) - c, c < LV_BASE; returns the borrow. r may be a.
uint32_t lv_sub_1(uint32_t *r, const uint32_t *a, int n, uint32_t c);
// r[0 .. n) := a[0 .. n) * m, m < 2^32; returns the limb carried out (which
// may exceed one limb's range only when m >= LV_BASE: then it is < 43 * BASE).
// r may be a.
uint64_t lv_mul_1(uint32_t *r, const uint32_t *a, int n, uint32_t m);
// r[0 .. n) += a[0 .. n) * m, m < LV_BASE; returns the carry out (< LV_BASE).
uint32_t lv_addmul_1(uint32_t *r, const uint32_t *a, int n, uint32_t m);
// q[0 .. n) := a[0 .. n) / d for 0 < d < 2^32; returns the remainder. q may be a.
uint32_t lv_div_1(uint32_t *q, const uint32_t *a, int n, uint32_t d);
// Sign of a[0 .. n) - b[0 .. n): -1, 0 or 1.
int lv_cmp(const uint32_t *a, const uint32_t *b, int n);
// Number of limbs of a[0 .. n) without the leading zero limbs (0 for zero).
int lv_top(const uint32_t *a, int n);
// a[0 .. n) := 0.
void lv_zero(uint32_t *a, int n);
// r[0 .. n) := a[0 .. n); the arrays may overlap.
void lv_copy(uint32_t *r, const uint32_t *a, int n);

// Truncated division of a[0 .. na) by b[0 .. nb), na >= nb >= 1,
// b[nb - 1] != 0 (a may have leading zero limbs):
//   q[0 .. na - nb] := floor(a / b)   (na - nb + 1 limbs, the top may be 0)
//   r[0 .. nb)      := a mod b
// q or r may be null when not wanted; neither may overlap a, b or the
// other. Divisors shorter than DIV_NEWTON_LIMBS take the schoolbook loop;
// longer ones a reciprocal built on mul_limbs, one block of up to nb
// quotient limbs at a time. Work space comes from cx's scratch arena (about
// na + 9 nb limbs at most) and is given back before returning. STATUS_OK;
// STATUS_NO_ROOM when the arena lacks room or cx's product buffers do not
// take products of na + 4 limbs; STATUS_INTERRUPTED. The outputs are
// undefined unless STATUS_OK.
[[nodiscard]] Status lv_divrem(Context &cx, uint32_t *q, uint32_t *r, const uint32_t *a, int na, const uint32_t *b,
                               int nb);

// Fixed-point reciprocal: y[0 .. n + 1] := floor(BASE^(nb + n) / b[0 .. nb)),
// n + 2 limbs (n >= 0, nb >= 1, b[nb - 1] != 0). y[n + 1] is 1 only when b
// is a power of BASE (the lower limbs are zero then), else 0. y must not
// overlap b. Scratch, cost and return codes as lv_divrem.
[[nodiscard]] Status lv_reciprocal(Context &cx, uint32_t *y, const uint32_t *b, int nb, int n);

// x[0 .. m] := an approximation of B^(2m) / d[0 .. m) within 4 of the true
// quotient, for d normalised (d[m - 1] >= B / 2): B^m - 4 <= x <= 2 B^m + 4.
// One Newton step on a reciprocal of half the length, without the
// remainder an exact division corrects by. x must not overlap d. Scratch
// and return codes as lv_divrem.
[[nodiscard]] Status lv_approx_reciprocal(Context &cx, uint32_t *x, const uint32_t *d, int m);

// g := gcd(a[0 .. na), b[0 .. nb)) (leading zero limbs allowed; the gcd of x
// and 0 is x) by Lehmer's method: the quotients of Euclid's algorithm are
// found on the leading limbs and applied to the whole numbers in one pass,
// with a long division whenever a quotient is too large to find that way.
// g needs room for max(na, nb) limbs and may be a or b. Work space (three
// vectors of max(na, nb) limbs, plus what lv_divrem takes) comes from cx's
// scratch arena. *length gets the length of the gcd without leading zero
// limbs (0 when both are zero). STATUS_OK, STATUS_NO_ROOM when the arena
// lacks room, or STATUS_INTERRUPTED (g undefined then).
[[nodiscard]] Status lv_gcd(Context &cx, uint32_t *g, int *length, const uint32_t *a, int na, const uint32_t *b,
                            int nb);
