// Exp, log, roots, powers.
// (placeholder: being written)
#include "functions.h"
int exp_log_series(Fraction *, int, int) { return 0; }
int nth_root(Fraction *, int, double, int) { return 0; }
int newton_root(Fraction *, int, int) { return -1; }
void float_power(BigNum *, int, double) {}
void leading_digits(BigNum *, int64_t *m, int *e) { *m = 0; *e = 0; }
int compute_log(Fraction *, int64_t, int) { return 0; }
