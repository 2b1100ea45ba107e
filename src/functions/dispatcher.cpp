// Function dispatcher.
// (placeholder: being written)
#include "functions.h"
int evaluate_function(const char *, Fraction *, int) { return 0; }
