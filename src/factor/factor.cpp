// Factorisation.
// (placeholder: being written)
#include "factor.h"
void factor_to_text(BigNum *) { if (output_text) output_text[0] = 0; }
void factor_small(int64_t, char *text) { text[0] = 0; }
void factor_integer(mpz_ptr, char *text) { text[0] = 0; }
void split_factor(mpz_ptr) {}
unsigned long perfect_power_root(mpz_ptr, mpz_ptr) { return 1; }
int rho_search(mpz_ptr, mpz_ptr) { return 0; }
