// Function kernels of the number core: constants, roots, exponential,
// logarithm, arctangent, sine, cosine and tangent, each giving the true value
// of its exact argument truncated toward zero to F fraction limbs.
#pragma once
#include <cstdint>

#include "../number/bignum.h"

// Every kernel writes its result into the numerator record `out` as a
// fixed-point value with frac_limbs F (sign in out->sign, used limbs
// stripped) and leaves the caller to set the denominator to 1. Arguments are
// read as the exact fractions they hold (numerator and denominator with their
// own frac_limbs) and are never changed; `out` may be an argument's
// numerator. Return codes:
//   0  done;
//  -1  the result needs more limbs than out holds (out unchanged);
//  -2  outside the domain (logarithm of x <= 0, even root of x < 0; out
//      unchanged).
// Work space comes from the scratch arena and is given back before return.
// Ctrl-C is polled between the long steps.
constexpr int REAL_NO_ROOM = -1;
constexpr int REAL_DOMAIN = -2;

[[nodiscard]] int real_pi(BigNum *out, int F);
[[nodiscard]] int real_e(BigNum *out, int F);

// n-th root (n >= 2) of x; an odd root of a negative x is negative.
[[nodiscard]] int real_root(BigNum *out, Fraction *x, int n, int F);
// r := the n-th root (n >= 2) of the integer x >= 0 (no fraction limbs)
// when x is a perfect n-th power; r needs x->used + 2 limbs. 0, or -1 when
// the root is not an integer (r's content is then undefined).
[[nodiscard]] int exact_root(BigNum *r, BigNum *x, int n);
// x^(m/o) for x > 0 (x^0 = 1), as the o-th root of x^m when that is cheap,
// else through exp(m/o * ln x). o >= 1.
[[nodiscard]] int real_power_ratio(BigNum *out, Fraction *x, int64_t m, int64_t o, int F);
// x^y = exp(y ln x) for x > 0.
[[nodiscard]] int real_power(BigNum *out, Fraction *x, Fraction *y, int F);
[[nodiscard]] int real_exp(BigNum *out, Fraction *x, int F);
// Logarithm of x > 0: natural for base 0, else to the integer base >= 2.
[[nodiscard]] int real_log(BigNum *out, Fraction *x, int64_t base, int F);
[[nodiscard]] int real_atan(BigNum *out, Fraction *x, int F);
// Sine (cosine = 0) or cosine (cosine = 1) of x radians (half_turns 0), of
// x half-turns, pi x (half_turns 1), or of x degrees (half_turns 2).
[[nodiscard]] int real_sin_cos(BigNum *out, Fraction *x, int cosine, int half_turns, int F);
// Tangent of x in the same units; a cosine of exactly zero cannot occur
// for the arguments that reach here (odd multiples of a quarter turn are the
// caller's special values). Returns REAL_DOMAIN if it does.
[[nodiscard]] int real_tan(BigNum *out, Fraction *x, int half_turns, int F);

// x / pi, the angle x radians in half-turns.
[[nodiscard]] int real_over_pi(BigNum *out, Fraction *x, int F);

// Reserves the constant caches for precision p (called when the pool is
// carved); 0, or -1 when the address space cannot be had.
[[nodiscard]] int real_reserve(int p);

// Copies src into records whose limbs live in the scratch arena, so that a
// kernel can read an argument after the caller's records are reused; dst,
// num and den are the caller's (usually local) records. Give the arena back
// with scratch_release when done. Returns 0, or -1 when the arena is full.
[[nodiscard]] int fraction_stash(Fraction *dst, BigNum *num, BigNum *den, Fraction *src);
