// Elementary functions: the dispatcher of function names, formula templates
// and the series behind e, logarithms, roots, pi, trigonometry, statistics.
#pragma once
#include <cstdint>

#include "../number/bignum.h"

int evaluate_function(const char *text, Fraction *target, int level);

// True when a kernel's status says it wrote a value: STATUS_OK, or
// STATUS_UNCERTAIN, whose error bound is then kept for take_kernel_doubt.
bool kernel_wrote(Status rc);
// The radius (log2) that kernels which ran out of room before their last
// place was sure noted since the last call; RAD_ZERO when none.
double take_kernel_doubt();
// The i-th function name the language knows that is made of letters only
// (for completion at the terminal), or null past the last.
const char *function_name(int i);
bool starts_function_name(const char *text);  // a function name begins at text
int exp_log_series(Fraction *target, int mode, int level);
int nth_root(Fraction *target, int n, double p, int level);
int newton_root(Fraction *target, int n, int level);
void float_power(BigNum *num, int n, double p);
void leading_digits(BigNum *num, int64_t *m, int *e);
int compute_pi(Fraction *target, int level);
int compute_atan(Fraction *target, int level);

// Logarithm of the target in place (natural when base is 0, else to `base`),
// and sine or cosine of the target in place with unit letter 'D', 'R' or 'P';
// both are reached only through evaluate_function, argument already evaluated.
int compute_log(Fraction *target, int64_t base, int level);
int compute_exp(Fraction *target, int level);  // e^x, every digit right
int compute_sin_cos(Fraction *target, int cosine, char unit, int level);
// Tangent in place; returns 1, target unchanged, for the exact multiples
// of 15 degrees, which the caller computes as sine over cosine.
int compute_tan(Fraction *target, char unit, int level);

// The inverse sine and cosine (radians) and the hyperbolic functions with
// their inverses (hyperbolic.cpp), of the target in place, reached only
// through evaluate_function with the argument evaluated: the true value
// truncated to F fraction limbs; 0, 1 and the multiples of pi that the
// special arguments give are exact or taken from the cached pi. Outside a
// domain (|x| > 1 for ASIN and ACOS, x < 1 for ACOSH, |x| >= 1 for ATANH) a
// message and 0. Returns 0.
enum ArcHyperbolic { ARC_SIN, ARC_COS, HYP_SIN, HYP_COS, HYP_TAN, ARC_HSIN, ARC_HCOS, ARC_HTAN };
int compute_arc_hyperbolic(Fraction *target, ArcHyperbolic kind, int level);
// How far the argument x lies from the end of the function's domain, as
// log2 of a lower bound on 1 - |x| (ASIN, ACOS, ATANH) or x - 1 (ACOSH);
// RAD_ZERO for the functions defined everywhere. Taken before the function
// replaces x.
double arc_hyperbolic_edge(ArcHyperbolic kind, Fraction *x);
// The bound (log2) that the function carries an argument's radius r (log2)
// to, `edge` as above and `result` the function of the held value: the
// derivative's largest magnitude over the ball times r; RAD_INF when the
// ball reaches the end of the domain.
double arc_hyperbolic_radius(ArcHyperbolic kind, double r, double edge, const Fraction *result);

// Template constants written straight into element n of work register reg
// (26..29): a small integer k, or a fraction p/q.
void set_element_int(int reg, int n, int32_t k);
void set_element_frac(int reg, int n, int32_t p, int32_t q);

// Block statistics over elements of A..Z, entered by the dispatcher with the
// text just after the function name; return the characters consumed there.
enum BlockKind { BLOCK_SUM, BLOCK_AVG, BLOCK_QTY, BLOCK_VAR, BLOCK_SDV, BLOCK_COV, BLOCK_COR };
int block_statistics(int kind, const char *text, Fraction *target, int level);
// Index loop: sum (product = 0) or product (product = 1) of an expression over
// an integer range of a loop variable; text just after the three-letter name.
int index_loop(int product, const char *text, Fraction *target, int level);

// Copies the fraction src into dst for the series. A denominator that would
// not fit dst's denominator room (a work register keeps its template
// elements at the start of that array) turns src into a fixed-point decimal
// first; a numerator longer than dst's capacity loses its lowest fraction limbs.
void series_copy(Fraction *dst, Fraction *src);
// Guard limbs a series adds to F while it runs: every template result passes
// through to_fraction, which reads a fixed-point value whose upper F/6 or so
// fraction limbs are all zero as a run of zeros, so terms below that vanish
// early unless the precision is raised by about a fifth.
int series_guard_limbs();
// Drops fixed-point fraction limbs of f beyond `limbs` (truncating).
void series_trim(Fraction *f, int limbs);
