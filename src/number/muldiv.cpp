// Multiplication, division and common divisors.
// (placeholder: being written)
#include "bignum.h"
int multiply(BigNum *, BigNum *, BigNum *) { return 0; }
int divide(BigNum *, BigNum *, BigNum *, BigNum *) { return 0; }
int64_t gcd_lcm(BigNum *, BigNum *, BigNum *, BigNum *) { return 1; }
