// Factorisation engine: one BigNum into a line of prime factors in the
// output text, by trial division for one-limb values and through the bound
// library for larger ones (trial division, perfect powers, rho, elliptic
// curves, quadratic sieve).
#pragma once
#include <cstdint>

#include "../number/bignum.h"
#include "../engine/gmp_api.h"

struct FactorEntry {
    mpz_t value;
    uint32_t count;
};

void factor_to_text(BigNum *n);  // writes into output_text (empty when not factorisable)
void factor_small(int64_t value, char *text);
void factor_integer(mpz_ptr working, char *text);
void split_factor(mpz_ptr m);
unsigned long perfect_power_root(mpz_ptr root_out, mpz_ptr m);
// Rho with Brent's cycle detection on a composite m that is not a perfect
// power: SEARCH_FOUND (1) with 1 < divisor_out < m, SEARCH_STOPPED (0), or
// SEARCH_EXHAUSTED (-1) after max_iterations steps (< 0: no bound).
int rho_search(mpz_ptr m, mpz_ptr divisor_out, long max_iterations);

// Rho iterations between two looks at the clock and the console, and the
// least time in milliseconds between two progress marks (1000000 and 2000;
// the other stages look at least every 50 ms; LONG_MAX: no marks, as the
// calculator runs under VANTREL_NO_PROGRESS_MARKS).
extern long rho_check_every;
extern long mark_interval_ms;
// Rho batches whose gcd was the number itself, walked again step by step
// (counted over the process, for the tests).
extern long rho_backtracks;
// Key poll of the searches: non-zero when a key was pressed (and consumed).
// Polls the console only when standard input is a terminal; replaceable so
// that a stop can be driven without one.
extern int (*factor_key_poll)();
