// Block statistics over array elements of the variables (SUM, AVG, QTY, VAR,
// SDV, COV, COR) and the index loops ITG and PRD, all accumulated exactly
// with fraction_add and fraction_product.
#include <cstdio>

#include "../expr/expr.h"
#include "functions.h"
#include "messages.h"
#include "templates.h"

namespace {

constexpr int MAX_BOUND_DIGITS = 9;  // loop bounds and indices stay within int32

bool is_letter(char c) { return c >= 'A' && c <= 'Z'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads an integer written as an optional '-' and at least one digit, at most
// MAX_BOUND_DIGITS of them. Returns the characters consumed, 0 when malformed.
int read_index(const char *text, int64_t *value) {
    int pos = 0;
    bool negative = false;
    if (text[pos] == '-') {
        negative = true;
        pos++;
    }
    int start = pos;
    int64_t v = 0;
    while (is_digit(text[pos])) {
        if (pos - start >= MAX_BOUND_DIGITS) return 0;
        v = v * 10 + (text[pos] - '0');
        pos++;
    }
    if (pos == start) return 0;
    *value = negative ? -v : v;
    return pos;
}

// dst := src; a denominator longer than dst's makes src a fixed-point
// decimal first (numerators share one capacity).
void copy_fraction(Fraction *dst, Fraction *src) {
    if (src->den->used > dst->den->capacity) to_fixed(src, fixed_point_limbs);
    (void)copy(dst->num, src->num);  // numerators share one capacity
    (void)copy(dst->den, src->den);  // room made above
}

// f := f / n for a count n >= 1 through the denominator; a denominator
// without room for the factor makes f a fixed-point decimal first.
void divide_by_count(Fraction *f, int32_t n) {
    if (mul_small(f->den, f->den, n) == STATUS_OK) return;
    to_fixed(f, fixed_point_limbs);
    (void)mul_small(f->den, f->den, n);  // the denominator is 1 now
}

// Cell letter+index read with the ordinary element syntax. A negative index
// names no element: it is reported like any other missing cell and reads 0.
void read_cell(char letter, int64_t index, Fraction *dest) {
    if (index < 0) {
        fraction_init(dest);
        tell_failure(MSG_VAL_RANGE);
        return;
    }
    char text[24];
    snprintf(text, sizeof text, "%c%d", letter, (int)index);
    read_value(text, dest);
}

struct Block {
    char first_letter, last_letter, paired_letter;
    int64_t first_index, last_index;
};

// Parses [L1 r1 : L2 r2 , L3] with brackets, colon and the pair optional.
// The pair is taken inside brackets, or for COV and COR, when a letter
// follows the comma. Returns the characters consumed, or 0 when malformed.
int parse_block(const char *text, int kind, Block *b) {
    int pos = 0;
    bool bracket = text[pos] == '[';
    if (bracket) pos++;
    if (!is_letter(text[pos])) return 0;
    b->first_letter = text[pos++];
    int n = read_index(text + pos, &b->first_index);
    if (n == 0) return 0;
    pos += n;
    if (text[pos] == ':') pos++;
    if (!is_letter(text[pos])) return 0;
    b->last_letter = text[pos++];
    n = read_index(text + pos, &b->last_index);
    if (n == 0) return 0;
    pos += n;
    b->paired_letter = b->last_letter;
    bool wants_pair = bracket || kind == BLOCK_COV || kind == BLOCK_COR;
    if (wants_pair && text[pos] == ',' && is_letter(text[pos + 1])) {
        b->paired_letter = text[pos + 1];
        pos += 2;
    }
    if (text[pos] == ']') pos++;
    return pos;
}

// Length of text up to and including the ')' that closes a group whose '('
// came just before text, or of the whole text when none closes it.
int skip_group(const char *text) {
    int depth = 0, pos = 0;
    for (; text[pos]; pos++) {
        if (text[pos] == '(') depth++;
        if (text[pos] == ')' && depth-- == 0) return pos + 1;
    }
    return pos;
}

// Length of text up to and including the ']' that closes a block opened with
// '[' at text[0], or of the whole text when none closes it.
int skip_bracket(const char *text) {
    int depth = 0, pos = 0;
    for (; text[pos]; pos++) {
        if (text[pos] == '[') depth++;
        if (text[pos] == ']' && --depth == 0) return pos + 1;
    }
    return pos;
}

// Length of an expression text up to and including its terminator, found by
// matching parentheses and bars: a ')' ',' ']' or '~' outside any group, or
// the end of the text. Used to step over an expression that is not evaluated.
int skip_expression(const char *text) {
    int depth = 0, pos = 0;
    bool in_bars = false;
    for (; text[pos]; pos++) {
        char c = text[pos];
        if (c == '(' || c == '[') depth++;
        else if (c == '|') in_bars = !in_bars;
        else if ((c == ')' || c == ']') && depth > 0) depth--;
        else if (depth == 0 && !in_bars && (c == ')' || c == ']' || c == ',' || c == '~'))
            return pos + 1;
    }
    return pos;
}

}  // namespace

// Statistics of a block of elements into target (already 0/1). kind is one
// of BlockKind; text starts at the block. Work fractions level+1..level+3 are
// the sums of the second pass; &B..&E are overwritten. Returns the characters
// of text consumed (a trailing '.' too, except for SUM, AVG and QTY); the
// loops stop at Ctrl-C, the target then meaning nothing.
int block_statistics(int kind, const char *text, Fraction *target, int level) {
    Block b;
    int pos = parse_block(text, kind, &b);
    if (pos == 0) {
        tell_syntax_error(text);
        if (text[0] == '[') return skip_bracket(text);
        return text[0] == '(' ? 1 + skip_group(text + 1) : 0;
    }
    // A reversed block covers the same cells as the block written the right
    // way round.
    if (b.first_letter > b.last_letter) {
        char t = b.first_letter;
        b.first_letter = b.last_letter;
        b.last_letter = t;
    }
    if (b.first_index > b.last_index) {
        int64_t t = b.first_index;
        b.first_index = b.last_index;
        b.last_index = t;
    }
    int64_t cells = (b.last_letter - b.first_letter + 1) * (b.last_index - b.first_index + 1);
    fraction_init(target);
    if (kind == BLOCK_QTY) {  // counts the cells without reading them
        set_int64(target->num, cells);
        return pos;
    }
    // No register can hold an element beyond this index, so a larger block
    // would only produce a message per cell.
    int w = reg_num[0]->elem_width > 0 ? reg_num[0]->elem_width : 1;
    int64_t max_index = (int64_t)(precision + precision / 10) / w - 1;
    if (b.last_index > max_index) {
        tell_failure(MSG_VAL_RANGE);
        return pos;
    }
    int32_t n = (int32_t)cells;
    bool swallow_point = !(kind == BLOCK_SUM || kind == BLOCK_AVG || kind == BLOCK_QTY);
    int end = pos + (swallow_point && text[pos] == '.' ? 1 : 0);
    int sums_needed = kind == BLOCK_COR ? 3 : (kind == BLOCK_SUM || kind == BLOCK_AVG ? 0 : 1);
    if (level + sums_needed >= WORK_FRACTIONS) {
        tell_failure(MSG_LEVEL_OVF);
        return end;
    }
    bool paired = kind == BLOCK_COV || kind == BLOCK_COR;
    Fraction *cell = &reg_frac[REG_B];
    Fraction *pair_sum = &reg_frac[REG_C];

    fraction_init(pair_sum);
    for (char letter = b.first_letter; letter <= b.last_letter; letter++) {
        for (int64_t i = b.first_index; i <= b.last_index; i++) {
            if (interrupted()) return end;  // the sums mean nothing: the caller hands it up
            read_cell(letter, i, cell);
            fraction_add(target, target, cell);
            if (paired) {
                read_cell(b.paired_letter, i, cell);
                fraction_add(pair_sum, pair_sum, cell);
            }
        }
    }
    if (kind == BLOCK_SUM || interrupted()) return end;
    divide_by_count(target, n);
    if (paired) divide_by_count(pair_sum, n);
    if (kind == BLOCK_AVG) return pos;

    // Second pass: deviations from the means held in &B and &C.
    Fraction *s1 = &work_frac[level + 1];
    Fraction *s2 = kind == BLOCK_COR ? &work_frac[level + 2] : nullptr;
    Fraction *s3 = kind == BLOCK_COR ? &work_frac[level + 3] : nullptr;
    copy_fraction(&reg_frac[REG_B], target);
    fraction_init(target);
    if (s2) fraction_init(s2);
    if (s3) fraction_init(s3);
    Fraction *x = &reg_frac[REG_E], *y = &reg_frac[REG_D];
    for (char letter = b.first_letter; letter <= b.last_letter; letter++) {
        for (int64_t i = b.first_index; i <= b.last_index; i++) {
            if (interrupted()) return end;
            read_cell(letter, i, x);
            if (paired) {
                read_cell(b.paired_letter, i, y);
                eval_group(template_text(TPL_CROSS_DEV), s1, level + 4);
                fraction_add(target, target, s1);
                if (kind == BLOCK_COR) {
                    eval_group(template_text(TPL_SQ_DEV), s1, level + 4);
                    fraction_add(s2, s2, s1);
                    eval_group(template_text(TPL_SQ_DEV_PAIRED), s1, level + 4);
                    fraction_add(s3, s3, s1);
                }
            } else {
                eval_group(template_text(TPL_SQ_DEV), s1, level + 2);
                fraction_add(target, target, s1);
            }
        }
    }

    if (interrupted()) return end;  // no root of sums of no meaning
    if (kind == BLOCK_COR) {
        // Square of the coefficient, then its root; the sign comes from the
        // covariance sum. The root must not run in &B..&E (its own scratch).
        fraction_product(&reg_frac[REG_D], s2, s3);
        copy_fraction(&reg_frac[REG_C], target);
        int8_t sign = target->num->sign;
        // The square of a small coefficient loses digits at F limbs that its
        // root would spread over the result: both run with guard limbs.
        int F0 = fixed_point_limbs;
        {
            FixedPointRaise guard(series_guard_limbs());
            eval_group(template_text(TPL_COR_SQUARE), target, level + 1);
            nth_root(target, 2, 1.0, level + 1);
        }
        series_trim(target, F0);
        target->num->sign = sign;
    } else {
        divide_by_count(target, n);
        if (kind == BLOCK_SDV) nth_root(target, 2, 1.0, level + 1);
    }
    return end;
}

// ITG (product = 0) or PRD (product = 1) written (V,from,to,expression) or
// (Vk,from,to,expression), text starting just after the name. The loop
// variable takes each integer value j/1 in turn (element k when an index is
// given); the expression runs into work fraction level+1 at level+2 so that
// its destination is not also the evaluator's running product. Returns the
// characters of text consumed, a closing ')' and a trailing '.' included;
// Ctrl-C ends the loop, the target then meaning nothing.
int index_loop(int product, const char *text, Fraction *target, int level) {
    int pos = 0;
    bool paren = text[pos] == '(';
    if (paren) pos++;
    int64_t element = -1, lower = 0, upper = 0;
    bool ok = is_letter(text[pos]);
    int reg = ok ? text[pos++] - 'A' : 0;
    if (ok && (is_digit(text[pos]) || text[pos] == '-')) {
        int n = read_index(text + pos, &element);
        ok = n > 0 && element >= 0;
        pos += n;
    }
    int n = 0;
    if (ok) ok = text[pos++] == ',';
    if (ok) ok = (n = read_index(text + pos, &lower)) > 0;
    if (ok) {
        pos += n;
        ok = text[pos++] == ',';
    }
    if (ok) ok = (n = read_index(text + pos, &upper)) > 0;
    if (ok) {
        pos += n;
        ok = text[pos++] == ',';
    }
    if (!ok) {
        tell_syntax_error(text);
        // Step over the whole call when it is parenthesised.
        return paren ? 1 + skip_group(text + 1) : 0;
    }

    fraction_init(target);
    if (product) set_int32(target->num, 1);

    const char *expression = text + pos;
    int consumed = 0;
    if (level + 1 >= WORK_FRACTIONS) {
        tell_failure(MSG_LEVEL_OVF);
    } else {
        Fraction *s1 = &work_frac[level + 1];
        for (int64_t j = lower; j <= upper; j++) {
            if (interrupted()) break;  // up to 2 * 10^9 passes: Ctrl-C ends them
            if (element < 0) {
                set_int32(reg_num[reg], (int32_t)j);
                reg_den[reg]->small_den = 1;
                if (reg < VARIABLES) var_den[reg]->used = 0;
            } else {
                fraction_init(s1);
                set_int32(s1->num, (int32_t)j);
                if (store_value(reg, (int)element, s1) != 0) break;
            }
            consumed = eval_group(expression, s1, level + 2);
            if (consumed == 0) break;
            if (product)
                fraction_product(target, target, s1);
            else
                fraction_add(target, target, s1);
        }
    }
    // An empty range, a refused store or a failed evaluation measured nothing.
    if (consumed == 0) consumed = skip_expression(expression);
    pos += consumed;
    // The expression's terminator normally is the call's ')'.
    if (paren && text[pos - 1] != ')' && text[pos] == ')') pos++;
    if (text[pos] == '.') pos++;
    return pos;
}
