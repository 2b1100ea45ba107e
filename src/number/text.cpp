// Number text.
// (placeholder: being written)
#include "bignum.h"
int parse_decimal(const char *, BigNum *) { return 0; }
int parse_literal(const char *, Fraction *) { return 0; }
int format_bignum(BigNum *, char *out) { out[0] = ' '; out[1] = '0'; out[2] = 0; return 2; }
int format_decimal(Fraction *f, char *out) { return format_bignum(f->num, out); }
