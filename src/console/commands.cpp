// Command interpreter.
// (placeholder: being written)
#include "console.h"
int run_command(char *) { return 0; }
