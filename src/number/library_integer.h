// Exchange of number records with the multiple precision library's
// integers, for the stages that hand a number to the library.
#pragma once
#include <gmp.h>  // for the library integer type only; nothing is linked

#include "bignum.h"

// z := |n| read from n's used limbs (sign and scale ignored), splitting the
// number in halves so that long values convert in a few library products.
// The library must be bound.
void load_library_integer(mpz_ptr z, BigNum *n);
