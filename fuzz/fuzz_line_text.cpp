// Fuzz target: line normalisation, text-variable expansion and the rewriting
// of conditions. The input is split at line feeds: the first three lines
// become text variables A, B and C, the rest one statement line held in a
// buffer of exactly its size (so that any read past it is reported).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "expr/expr.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (!freopen("/dev/null", "w", stdout)) abort();
    if (pool_start(200) != 0) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const char *p = reinterpret_cast<const char *>(data);
    const char *end = p + size;
    for (int v = 0; v < 3; v++) {
        const char *nl = static_cast<const char *>(memchr(p, '\n', size_t(end - p)));
        const char *stop = nl ? nl : end;
        size_t n = size_t(stop - p);
        if (n > STATEMENT_BUFFER - 1) n = STATEMENT_BUFFER - 1;
        memcpy(text_vars[v], p, n);
        text_vars[v][n] = 0;
        normalise_line(text_vars[v]);
        p = nl ? nl + 1 : end;
    }
    size_t len = size_t(end - p);

    // The console's own use: a normalised line of exactly its size.
    char *line = static_cast<char *>(malloc(len + 1));
    memcpy(line, p, len);
    line[len] = 0;
    int got = normalise_line(line);
    if (got > 0 && size_t(got) > len + 1) abort();

    // The statement executor's: a STATEMENT_BUFFER copy, expanded in place.
    if (len < STATEMENT_BUFFER) {
        char statement[STATEMENT_BUFFER];
        memcpy(statement, p, len);
        statement[len] = 0;
        int n = expand_text_variables(statement);
        // -1: the expansion would not fit, and the statement is voided.
        if (n == -1 && strcmp(statement, ";") != 0) abort();
        if (n < -1 || n >= STATEMENT_BUFFER || strlen(statement) >= size_t(STATEMENT_BUFFER)) abort();
        size_t sl = strlen(statement);
        char *condition = static_cast<char *>(malloc(sl + 5 + 1));
        char op = 0;
        int stop = split_condition(statement, condition, &op);
        if (stop < 0 || size_t(stop) > sl) abort();
        free(condition);
    }
    free(line);
    for (int v = 0; v < 3; v++) text_vars[v][0] = 0;
    return 0;
}
