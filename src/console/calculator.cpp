// Start-up and input loop.
// (placeholder: being written)
#include "console.h"
#include <cstdlib>
CalculatorState calc;
FILE *output_file;
FILE *input_file;
int run_calculator(int, const char *) { exit_calculator(0); }
void exit_calculator(int status) { if (output_file) fclose(output_file); fflush(stdout); exit(status); }
