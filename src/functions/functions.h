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
