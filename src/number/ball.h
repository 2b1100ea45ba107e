// Error bounds of inexact values: every Fraction carries a radius, a rigorous
// upper bound of |true value - held value|, kept as its base-2 logarithm
// (RAD_ZERO for an exact value); the rules that combine radii, and the test
// that decides whether a value is certain to a number of fraction limbs.
#pragma once
#include "bignum.h"

constexpr double RAD_INF = __builtin_huge_val();
// log2 of the limb base 100000000: a bound of BASE^k is a radius of k * LOG2_LIMB.
constexpr double LOG2_LIMB = 26.575424759098897;

inline bool rad_is_zero(double r) { return r == RAD_ZERO; }

// log2 bounds on a sum and a product of two bounds given as log2; each
// rounds upward, so the result is never below the true combination.
double rad_add(double a, double b);
double rad_mul(double a, double b);
// k units of the last place of s fraction limbs (k >= 0), as log2.
double rad_ulps(double k, int s);
// log2 of the positive double v, rounded upward (RAD_ZERO for v <= 0).
double rad_of(double v);
// Upper and lower bounds on log2 |f| (RAD_ZERO for 0; an infinite upper
// bound for a zero denominator).
double mag_up(const Fraction *f);
double mag_lo(const Fraction *f);
// A lower bound on log2(2^a - 2^b) for b < a; RAD_ZERO when b is too close
// to a for the difference to be bounded away from 0.
double lg_sub_lower(double a, double b);

// Certainty of a value to s fraction limbs, truncated toward zero:
// CERTAIN_YES when every value within the radius truncates alike (f is then
// that truncation, exact, with s fraction limbs over 1); CERTAIN_NO when not
// (f is left in fixed point at its own scale); CERTAIN_ROOM when the arena
// lacked room (nothing changed).
enum Certainty { CERTAIN_YES, CERTAIN_NO, CERTAIN_ROOM };
Certainty ball_truncate(Fraction *f, int s);
// The largest number of decimal places, at most 8 s, to which f (fixed point
// over 1 with a finite radius) is certain; f becomes its truncation there,
// exact. -1 when not even the integer part is certain (f unchanged).
int ball_certain_places(Fraction *f, int s);
// Recovers the simple fraction a repeating decimal stands for when it lies
// inside f's ball: f becomes it, exact, and the answer is true; else f is
// unchanged and the answer false.
// Only for a ball narrower than one unit of the s-th fraction limb: the
// value is then known but for the side of a cut it lies on.
bool ball_recover(Fraction *f, int s);

// A bound on |x/y - x'/y'| for held values x', y' with radii rx, ry, from
// log2 |x'| <= mx and 2^ly <= |y'| <= 2^my: (rx |y'| + |x'| ry) / (|y'| (|y'| - ry)).
// RAD_INF when the ball of y reaches 0.
double rad_quotient(double mx, double rx, double my, double ly, double ry);
// log2 of sup xi^q over xi in [2^a, 2^b] and q in [q1, q2] (a convex
// function of both: the largest corner), rounded upward.
double lg_pow_sup(double a, double b, double q1, double q2);
// A bound on |x^p - x'^p| for x in the ball (x', rx), x' > 0, and p in the
// ball (p', rp): sup |q| xi^(q-1) rx + sup |xi^q ln xi| rp over both balls.
// RAD_INF when the ball of x reaches 0.
double rad_power(const Fraction *x, double p, double rp);
// An approximation of f as a double (0 for 0; huge magnitudes saturate).
double fraction_to_double(const Fraction *f);
