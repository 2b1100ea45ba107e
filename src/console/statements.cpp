// Statement lines and listing.
// (placeholder: being written)
#include "console.h"
int execute_statement(const char *, int *) { return 0; }
int run_statement_line(const char *, int *) { return 0; }
int list_value(const char *, FILE *) { return 0; }
