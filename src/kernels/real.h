// Function kernels of the number core: constants, roots, exponential,
// logarithm, arctangent, sine, cosine and tangent, the inverse sine and
// cosine, the hyperbolic functions and their inverses, each giving the true value
// of its exact argument truncated toward zero to F fraction limbs, or, when
// its room ran out first, a value with the bound of its error.
#pragma once
#include <cstdint>

#include "../number/bignum.h"

// Every kernel writes its result into the numerator record `out` as a
// fixed-point value with frac_limbs F (sign in out->sign, used limbs
// stripped) and leaves the caller to set the denominator to 1. Arguments are
// read as the exact fractions they hold (numerator and denominator with their
// own frac_limbs) and are never changed; `out` may be an argument's
// numerator. Work space comes from cx's arena and is given back before
// return; cx's precision is put back. Statuses:
//   STATUS_OK          done;
//   STATUS_NO_ROOM     the result needs more limbs than out holds, or the
//                      arena ran out (out unchanged);
//   STATUS_DOMAIN      outside the domain (logarithm of x <= 0, even root of
//                      x < 0; out unchanged);
//   STATUS_INTERRUPTED cx's stop flag was raised (out unchanged);
//   STATUS_UNCERTAIN   the guard limbs reached the room (twice out's
//                      capacity) before the truncation was sure: out holds
//                      the value found, right within BASE^cx.error_exponent.

[[nodiscard]] Status real_pi(Context &cx, BigNum *out, int F);
[[nodiscard]] Status real_e(Context &cx, BigNum *out, int F);

// n-th root (n >= 2) of x; an odd root of a negative x is negative.
[[nodiscard]] Status real_root(Context &cx, BigNum *out, Fraction *x, int n, int F);
// r := the n-th root (n >= 2) of the integer record x >= 0 (no fraction
// limbs) when x is a perfect n-th power; r needs x->used + 2 limbs. True
// when it is (r's content is undefined otherwise). Works in the number
// core's context, like the records.
[[nodiscard]] bool exact_root(BigNum *r, BigNum *x, int n);
// x^(m/o) for x > 0 (x^0 = 1), as the o-th root of x^m when that is cheap,
// else through exp(m/o * ln x). o >= 1.
[[nodiscard]] Status real_power_ratio(Context &cx, BigNum *out, Fraction *x, int64_t m, int64_t o, int F);
// x^y = exp(y ln x) for x > 0.
[[nodiscard]] Status real_power(Context &cx, BigNum *out, Fraction *x, Fraction *y, int F);
[[nodiscard]] Status real_exp(Context &cx, BigNum *out, Fraction *x, int F);
// Logarithm of x > 0: natural for base 0, else to the integer base >= 2.
[[nodiscard]] Status real_log(Context &cx, BigNum *out, Fraction *x, int64_t base, int F);
[[nodiscard]] Status real_atan(Context &cx, BigNum *out, Fraction *x, int F);
// Sine (cosine = 0) or cosine (cosine = 1) of x radians (half_turns 0), of
// x half-turns, pi x (half_turns 1), or of x degrees (half_turns 2).
[[nodiscard]] Status real_sin_cos(Context &cx, BigNum *out, Fraction *x, int cosine, int half_turns, int F);
// Tangent of x in the same units; a cosine of exactly zero cannot occur
// for the arguments that reach here (odd multiples of a quarter turn are the
// caller's special values). Returns STATUS_DOMAIN if it does.
[[nodiscard]] Status real_tan(Context &cx, BigNum *out, Fraction *x, int half_turns, int F);

// Inverse sine and cosine of x in radians (STATUS_DOMAIN for |x| > 1); the
// hyperbolic sine, cosine and tangent; the inverse hyperbolic sine, cosine
// (STATUS_DOMAIN for x < 1) and tangent (STATUS_DOMAIN for |x| >= 1).
// real_inverse.cpp.
[[nodiscard]] Status real_asin(Context &cx, BigNum *out, Fraction *x, int F);
[[nodiscard]] Status real_acos(Context &cx, BigNum *out, Fraction *x, int F);
[[nodiscard]] Status real_sinh(Context &cx, BigNum *out, Fraction *x, int F);
[[nodiscard]] Status real_cosh(Context &cx, BigNum *out, Fraction *x, int F);
[[nodiscard]] Status real_tanh(Context &cx, BigNum *out, Fraction *x, int F);
[[nodiscard]] Status real_asinh(Context &cx, BigNum *out, Fraction *x, int F);
[[nodiscard]] Status real_acosh(Context &cx, BigNum *out, Fraction *x, int F);
[[nodiscard]] Status real_atanh(Context &cx, BigNum *out, Fraction *x, int F);
// log2 | 1 - |x| |, to a few digits (minus infinity at |x| = 1): how far an
// argument lies from the end of the domain of those functions.
double real_distance_to_one(Context &cx, Fraction *x);

// True when the logarithm of x > 0 to the integer base >= 2 is exactly p/q
// (1 <= q <= 64): (x's numerator / denominator)^q = base^p, tested on exact
// integers in cx's arena. False as well when those powers would be too long
// to test, or when cx's stop flag is raised.
[[nodiscard]] bool log_is_ratio(Context &cx, Fraction *x, int64_t base, int64_t p, int64_t q);

// x / pi, the angle x radians in half-turns.
[[nodiscard]] Status real_over_pi(Context &cx, BigNum *out, Fraction *x, int F);

// Reserves the constant caches for precision p and gives them to cx (the
// start-up context; one cache exists). STATUS_OK, or STATUS_NO_ROOM when
// the address space cannot be had.
[[nodiscard]] Status kernels_reserve(Context &cx, int p);

// Start-up of the whole number core for tests and tools: pool_start(p), then
// the kernels' caches for the core context. 0, or -1 on failure.
[[nodiscard]] int core_start(int p);

// Copies src into records whose limbs live in the number core's arena, so
// that a kernel can read an argument after the caller's records are reused;
// dst, num and den are the caller's (usually local) records. Give the arena
// back with scratch_release(core, mark) when done. False when the arena is
// full.
[[nodiscard]] bool fraction_stash(Fraction *dst, BigNum *num, BigNum *den, Fraction *src);
