// Products of many factors for the evaluator's operators (power.cpp): the
// contracts are written above each definition there.
#pragma once
#include <cstdint>

#include "bignum.h"

int64_t window_value(BigNum *n);                 // n in the 64-bit window, else 0
double log10_bound(BigNum *n, bool high);        // a bound on log10 |n|
bool surely_too_long(double digits, BigNum *n);  // digits that n surely cannot hold
bool power_by_squaring(Fraction *B, Fraction *O, int64_t W);  // B := O^W
void power_step(Fraction *B, Fraction *X);                    // B := B * X
void factorial_in_place(BigNum *N, int step, BigNum *scratch);  // N! or N!!
void choose_in_place(BigNum *N, bool combinations, int64_t r, BigNum *scratch);  // NCr, NPr
