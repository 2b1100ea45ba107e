// Elementary functions: the dispatcher of function names, formula templates
// and the series behind e, logarithms, roots, pi, trigonometry, statistics.
#pragma once
#include <cstdint>

#include "../number/bignum.h"

int evaluate_function(const char *text, Fraction *target, int level);
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
int compute_sin_cos(Fraction *target, int cosine, char unit, int level);

// Template constants written straight into element n of work register reg
// (26..29): a small integer k, or a fraction p/q.
void set_element_int(int reg, int n, int32_t k);
void set_element_frac(int reg, int n, int32_t p, int32_t q);
