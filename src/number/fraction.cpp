// Fractions.
// (placeholder: being written)
#include "bignum.h"
int reduce_small(BigNum *, BigNum *) { return 0; }
int64_t common_denominator(Fraction *, Fraction *) { return 0; }
void to_fixed(Fraction *, int) {}
int fraction_add(Fraction *, Fraction *, Fraction *) { return 1; }
int to_fraction(Fraction *) { return 0; }
int64_t find_period(BigNum *, int) { return 0; }
