// Pi, arctangent, sine, cosine.
// (placeholder: being written)
#include "functions.h"
int compute_pi(Fraction *, int) { return 0; }
int compute_atan(Fraction *, int) { return 0; }
int compute_sin_cos(Fraction *, int, char, int) { return 0; }
