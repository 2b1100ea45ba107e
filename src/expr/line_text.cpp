// Line text.
// (placeholder: being written)
#include "expr.h"
char text_vars[26][STATEMENT_BUFFER];
int normalise_line(char *text) { int n = 0; while (text[n]) n++; return n + 1; }
int expand_text_variables(char *text) { int n = 0; while (text[n]) n++; return n; }
int split_condition(const char *, char *target, char *op) { target[0] = 0; *op = 0; return 0; }
