// Number text: decimal literals into numbers and fractions, numbers into
// plain decimal text (a blank or "-" first, no zero before the point).
#include <cstdio>

#include "bignum.h"

namespace {

const int32_t POW10[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Exactly eight digits of a limb (a limb outside 0..99999999 is reduced so
// that the text can never grow beyond eight characters).
char *put8(char *o, int32_t v) {
    uint32_t u = uint32_t(v) % uint32_t(LIMB_BASE);
    for (int i = 7; i >= 0; i--) {
        o[i] = char('0' + u % 10);
        u /= 10;
    }
    return o + 8;
}

// A limb without leading zeros (at most eight characters).
char *put_plain(char *o, int32_t v) {
    uint32_t u = uint32_t(v) % uint32_t(LIMB_BASE);
    char tmp[8];
    int k = 0;
    do {
        tmp[k++] = char('0' + u % 10);
        u /= 10;
    } while (u != 0);
    while (k > 0) *o++ = tmp[--k];
    return o;
}

// A literal too long for its record: n becomes zero (sign 1, dec_den 1) and
// rem = -1 marks the refusal; the characters still count as consumed.
int refuse_literal(BigNum *n, int consumed) {
    int lowest = n->capacity < 4 ? n->capacity : 4;
    for (int k = 0; k < lowest; k++) limb(n, k) = 0;
    bn_reset(n);
    n->dec_den = 1;
    n->rem = -1;
    return consumed;
}

}  // namespace

// Reads an unsigned decimal literal (digits, optionally "." and digits) into
// n: up to six places as an integer with dec_den = 10^places, seven or more
// as fixed point with fixed_point_limbs fraction limbs (places beyond those
// are consumed and ignored). A leading "-" (and blanks after it) sets the
// sign and is not counted. Returns the characters consumed; 0 when there is
// no digit. A literal that does not fit n is refused: its characters are
// consumed, n becomes 0 and n->rem is set to -1 so the caller can report it.
int parse_decimal(const char *text, BigNum *n) {
    assert(text && n);
    int lowest = n->capacity < 4 ? n->capacity : 4;
    for (int k = 0; k < lowest; k++) limb(n, k) = 0;
    bn_reset(n);
    n->dec_den = 1;

    const char *p = text;
    if (*p == '-') {
        n->sign = -1;
        p++;
        while (*p == ' ') p++;
    }
    int whole = 0;
    while (is_digit(p[whole])) whole++;
    const char *frac = nullptr;
    int places = 0;
    if (p[whole] == '.') {
        frac = p + whole + 1;
        while (is_digit(frac[places])) places++;
    }
    int f = fixed_point_limbs;
    int taken = (places > 4 && places > 8 * f) ? 8 * f : places;
    // The point belongs to the literal whenever a digit follows it, also when
    // none of the places is kept.
    int consumed = whole + places + (places >= 1 ? 1 : 0);

    int len = whole + taken;
    auto digit = [&](int i) { return i < whole ? p[i] - '0' : frac[i - whole] - '0'; };
    int first = 0;  // leading zeros make no limbs
    while (first < len && digit(first) == 0) first++;
    int significant = len - first;
    int limbs_needed = significant == 0 ? 1 : (significant + 7) / 8;
    if (limbs_needed > n->capacity) return refuse_literal(n, consumed);

    if (significant == 0) {
        if (len > 0) n->used = 1;  // limb 0 is already 0
    } else {
        for (int j = 0; j < limbs_needed; j++) {
            int end = len - 8 * j;
            int start = end - 8 < first ? first : end - 8;
            int32_t v = 0;
            for (int i = start; i < end; i++) v = v * 10 + digit(i);
            limb(n, j) = v;
        }
        n->used = limbs_needed;
    }
    if (taken <= 6) {
        n->frac_limbs = 0;
        n->dec_den = POW10[taken];
    } else {
        if (significant > 0 && shift_decimal(n, 8 * f - taken) != STATUS_OK)
            return refuse_literal(n, consumed);
        n->frac_limbs = f;
        n->dec_den = 1;
    }
    return consumed;
}

// Reads a literal into f: the numerator by parse_decimal, then (unless
// f->num_only) the denominator 10^places and the pair reduced, so 2.50 gives
// 5/2 and 0.1234567 a fixed-point numerator over 1. Returns the characters
// consumed; a refused literal leaves 0/1 with f->num->rem = -1.
int parse_literal(const char *text, Fraction *f) {
    assert(text && f);
    f->rad = RAD_ZERO;  // a literal is exact
    int consumed = parse_decimal(text, f->num);
    if (f->num_only) return consumed;
    BigNum *d = f->den;
    bn_clear(d);
    d->elem_width = element_width;
    bn_reset(d);
    limb(d, 0) = f->num->dec_den;
    d->used = 1;
    f->num->offset = 0;
    reduce_small(f->num, f->den);
    return consumed;
}

// Writes n as decimal text: "-" or a blank, the integer limbs without leading
// zeros, "." and the fraction limbs with trailing zeros removed; zero of any
// shape or sign is " 0". A most significant limb that has reached 10^8 is
// carried into a new limb (in the record when it has room). Writes at most
// 8 * max(used, frac_limbs) + 3 bytes (one more for a carry without room).
// Returns the length.
int format_bignum(BigNum *n, char *out) {
    assert(n && out);
    out[0] = ' ';
    out[1] = '0';
    out[2] = 0;
    int used = n->used;
    bool carry_one = false;
    if (used > 0 && limb(n, used - 1) >= LIMB_BASE) {
        if (used < n->capacity) {
            limb(n, used - 1) -= LIMB_BASE;
            limb(n, used) = 1;
            n->used = ++used;
        } else {
            carry_one = true;
        }
    }
    // Leading zero limbs print nothing, so a number below 1 never shows a
    // zero before the point.
    int top = used;
    while (top > 0 && limb(n, top - 1) == 0) top--;
    if (top == 0) return 2;

    char *o = out;
    *o++ = n->sign < 0 ? '-' : ' ';
    if (carry_one) *o++ = '1';
    int fl = n->frac_limbs > 0 ? n->frac_limbs : 0;
    int count = top > fl ? top : fl;
    for (int p = count; p >= 1; p--) {
        if (p == fl) *o++ = '.';
        int32_t v = p <= top ? limb(n, p - 1) : 0;
        if (carry_one && p == used) v -= LIMB_BASE;
        if (p > fl && p == top && !carry_one)
            o = put_plain(o, v);
        else
            o = put8(o, v);
    }
    if (fl > 0) {
        while (o[-1] == '0') o--;
        if (o[-1] == '.') o--;
    }
    *o = 0;
    return int(o - out);
}

// Converts f in place to fixed point with fixed_point_limbs fraction limbs
// over 1 (truncating; n->rem = 1 when a machine-integer denominator left a
// remainder, else 0) and writes it with format_bignum. A numerator without
// room for the fraction limbs keeps its own scale (fewer places shown); one
// without room for a denominator's fraction limbs reports STATUS_NO_ROOM
// ("prod_ovf") and f becomes 0/1. Returns the length written.
int format_decimal(Fraction *f, char *out) {
    assert(f && out);
    BigNum *n = f->num, *d = f->den;
    int s = fixed_point_limbs;
    if (n->frac_limbs != s) {
        int by = s - n->frac_limbs;  // a downward shift cannot fail
        // As in to_fixed: limbs the denominator's fraction limbs raise again
        // in divide_scaled are not cut first (d becomes 1 on every way out).
        int lift = by < 0 && d->frac_limbs > 0 ? (d->frac_limbs < -by ? d->frac_limbs : -by) : 0;
        by += lift;
        d->frac_limbs -= lift;
        if (shift_limbs(n, by) != STATUS_OK && by > 0)
            s = n->frac_limbs;
        else
            n->frac_limbs = s;
    }
    bool short_remainder = false;
    if (divide_scaled(nullptr, n, d, &short_remainder) != STATUS_OK) {
        report_refusal(STATUS_NO_ROOM);
        fraction_init(f);
        return format_bignum(n, out);
    }
    n->rem = short_remainder ? 1 : 0;
    n->frac_limbs = s;
    bn_set_one(d);
    return format_bignum(n, out);
}
