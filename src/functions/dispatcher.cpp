// Function dispatcher.
// (placeholder: being written)
#include "functions.h"
int evaluate_function(const char *, Fraction *, int) { return 0; }
void set_element_int(int, int, int32_t) {}
void set_element_frac(int, int, int32_t, int32_t) {}
