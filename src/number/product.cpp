// Fraction multiplication.
// (placeholder: being written)
#include "bignum.h"
int fraction_product(Fraction *, Fraction *, Fraction *) { return 1; }
