// Line text shared by the console and the statement executor: normalisation
// of an input line, the 26 text variables and their expansion, and the
// rewriting of a comparison into an expression (conditions and equations).
#include <cstdio>
#include <cstring>

#include "expr.h"
#include "messages.h"

char text_vars[26][STATEMENT_BUFFER];

// Punctuation that survives normalisation unchanged (besides digits,
// capitals, parentheses and the double quote, which are handled apart).
static bool kept_punctuation(unsigned char c) {
    return c != 0 && strchr("!%'*+,-./:<=>^{|}#$&[]~@", c) != nullptr;
}

// True when the normalised text[0..w) is a command whose file name follows:
// LC:, WC:, L:, #FW:, #FR:, #RUN:.
static bool file_command(const char *text, int w) {
    static const char *const COMMANDS[] = {"LC:", "WC:", "L:", "#FW:", "#FR:", "#RUN:"};
    for (const char *command : COMMANDS)
        if (int(strlen(command)) == w && strncmp(text, command, size_t(w)) == 0) return true;
    return false;
}

// Rewrites `text` in place: capitals, no spaces, the assignment arrow `<-`
// as `=` (only where a statement's target ends: outside parentheses and
// before any `=`, `<`, `>` or `:` of the statement, so that IF(A<-5) still
// compares with -5), comments after `;` cut, verbatim text from a double
// quote on, and the file name of a
// file command (LC:, WC:, L:, #FW:, #FR:, #RUN: at the start of the line)
// as typed, without the blanks around it. At most 8 * precision bytes
// are read. Returns the length including the terminator, 2 when the line was
// voided to ";" (bad character or unbalanced parentheses), 0 when no end was
// found within the limit (the text is then cut there). *fault tells why a
// line was voided: LINE_PARENTHESES, or LINE_CHARACTER with the byte in
// *bad; LINE_CLEAN otherwise.
int normalise_line_checked(char *text, int *fault, unsigned char *bad) {
    const int limit = 8 * precision;
    int r = 0, w = 0, depth = 0;
    bool verbatim = false;
    int name_start = -1;  // after a file command's colon: where its name starts
    int name_end = -1;    // and where it ends so far (trailing blanks excluded)
    *fault = LINE_CLEAN;
    *bad = 0;
    bool arrow_ok = true;  // a `<-` here would follow a statement's target
    while (r < limit) {
        unsigned char c = static_cast<unsigned char>(text[r]);
        if (c == 0 || c == '\n' || (c == ';' && !verbatim)) {
            if (name_end >= 0) w = name_end;
            text[w] = 0;
            if (depth != 0) {
                text[0] = ';';
                text[1] = 0;
                *fault = LINE_PARENTHESES;
                return 2;
            }
            return w + 1;
        }
        if (verbatim) {
            text[w++] = static_cast<char>(c);
            r++;
            continue;
        }
        if (name_end >= 0 && c >= 32 && c != 127) {
            if (c != ' ' || w > name_start) text[w++] = static_cast<char>(c);
            if (c != ' ') name_end = w;
            r++;
            continue;
        }
        if (c >= 'a' && c <= 'z') {
            text[w++] = static_cast<char>(c - 'a' + 'A');
        } else if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) {
            text[w++] = static_cast<char>(c);
        } else if (c == '<' && text[r + 1] == '-' && depth == 0 && arrow_ok) {
            text[w++] = '=';
            arrow_ok = false;
            r++;
        } else if (c == '(') {
            depth++;
            text[w++] = '(';
        } else if (c == ')') {
            depth--;
            text[w++] = ')';
            if (depth == 0) arrow_ok = true;  // after IF(...) a statement starts
        } else if (c == ' ') {
            // dropped
        } else if (c == '"') {
            verbatim = true;
            text[w++] = '"';
        } else if (kept_punctuation(c)) {
            text[w++] = static_cast<char>(c);
            if (c == ':' && depth == 0 && file_command(text, w)) name_start = name_end = w;
            if (depth == 0 && c == ',') arrow_ok = true;
            if (strchr("=<>:", c) != nullptr) arrow_ok = false;
        } else {
            text[0] = ';';
            text[1] = 0;
            *fault = LINE_CHARACTER;
            *bad = c;
            return 2;
        }
        r++;
    }
    // No end within the limit: cut, staying inside the bytes that were read.
    text[w < limit ? w : limit - 1] = 0;
    return 0;
}

// normalise_line_checked without the reason of a voided line.
int normalise_line(char *text) {
    int fault = LINE_CLEAN;
    unsigned char bad = 0;
    return normalise_line_checked(text, &fault, &bad);
}

// Normalises `text` (a STATEMENT_BUFFER buffer) and replaces each `X$` that is
// not an assignment (`X$=`, `X$~`) by the content of text variable X; inserted
// text is not expanded again. A result that would not fit the buffer voids
// the statement with a short message and returns -1; otherwise returns the
// final length.
int expand_text_variables(char *text) {
    normalise_line(text);
    int len = static_cast<int>(strnlen(text, STATEMENT_BUFFER - 1));
    text[len] = 0;
    for (int p = 0; p < len; p++) {
        char c = text[p];
        if (c < 'A' || c > 'Z' || text[p + 1] != '$') continue;
        char next = text[p + 2];
        if (next == '~' || next == '=') continue;
        const char *value = text_vars[c - 'A'];
        int vlen = static_cast<int>(strnlen(value, STATEMENT_BUFFER - 1));
        int tail = len - (p + 2);
        if (p + vlen + tail > STATEMENT_BUFFER - 1) {
            fputs(MSG_TEXT_OVF, stdout);
            text[0] = ';';
            text[1] = 0;
            return -1;
        }
        memmove(text + p + vlen, text + p + 2, static_cast<size_t>(tail) + 1);
        memcpy(text + p, value, static_cast<size_t>(vlen));
        len = p + vlen + tail;
        p += vlen - 1;  // the loop's step lands just after the inserted text
    }
    return len;
}

// Rewrites `left op right)...` into `left-(right),` in `target`, which must
// hold strlen(source) + 5 bytes. The right side ends at the `)` that takes the
// parenthesis depth below zero (not copied) or at the end of the text. `op`
// receives `=`, `<` or `>`, or 0 when the text holds no comparison. Returns
// the position in `source` where copying stopped.
int split_condition(const char *source, char *target, char *op) {
    int s = 0, t = 0, depth = 0;
    *op = 0;
    while (source[s] && source[s] != '<' && source[s] != '=' && source[s] != '>') {
        if (source[s] == '(') depth++;
        if (source[s] == ')') depth--;
        target[t++] = source[s++];
    }
    if (!source[s]) {
        target[t] = 0;
        return s;
    }
    *op = source[s++];
    if ((*op == '<' || *op == '>') && source[s] == '=') {
        *op = *op == '<' ? OP_AT_MOST : OP_AT_LEAST;
        s++;
    }
    target[t++] = '-';
    target[t++] = '(';
    while (source[s]) {
        if (source[s] == '(') depth++;
        if (source[s] == ')' && --depth < 0) break;
        target[t++] = source[s++];
    }
    target[t++] = ')';
    target[t++] = ',';
    target[t] = 0;
    return s;
}
