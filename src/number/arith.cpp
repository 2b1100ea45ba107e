// Linear big-integer operations.
// (placeholder: being written)
#include "bignum.h"
int copy(BigNum *, BigNum *) { return 0; }
int compare_magnitude(BigNum *, BigNum *) { return 0; }
int compare(BigNum *, BigNum *) { return 0; }
int add(BigNum *, BigNum *, BigNum *) { return 0; }
int subtract_magnitudes(BigNum *, BigNum *, BigNum *) { return 0; }
int mul_small(BigNum *, BigNum *, int32_t) { return 0; }
int64_t div_small(BigNum *, int64_t) { return 0; }
int shift_limbs(BigNum *, int32_t) { return 0; }
int shift_decimal(BigNum *, int32_t) { return 0; }
void set_int64(BigNum *, int64_t) {}
void set_int32(BigNum *, int32_t) {}
bool get_int64(BigNum *, int64_t *o) { *o = 0; return false; }
int get_int32(BigNum *, int32_t *o) { *o = 0; return 0; }
