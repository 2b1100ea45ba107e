// Named storage: reading value references (variables, work registers, their
// packed array elements, number literals) and storing values into registers
// and elements, including the one-way exchange of a register's two areas.
#include <cstdio>

#include "expr.h"
#include "messages.h"


// Register of a name at `text`: a letter A..Z, or & followed by B..E. Sets
// *len to the characters of the name; -1 when there is no register name.
static int register_of(const char *text, int *len) {
    char c = text[0];
    if (c >= 'A' && c <= 'Z') {
        *len = 1;
        return c - 'A';
    }
    if (c == '&' && work_register_of(text[1]) >= 0) {
        *len = 2;
        return work_register_of(text[1]);
    }
    return -1;
}

// Reads a value reference at `text` into `dest` (numerator capacity precision):
// [-] variable, element (name and decimal index), work register, or a number
// literal. Returns the characters consumed (0 when nothing could be read).
int read_value(const char *text, Fraction *dest) {
    fraction_init(dest);
    int pos = 0;
    bool negative = text[0] == '-';
    if (negative) pos = 1;
    int name_len = 0;
    int reg = register_of(text + pos, &name_len);
    if (reg < 0) {
        int n = parse_literal(text + pos, dest);
        if (n == 0) return 0;
        // A literal longer than the numerator reads as 0 and is marked by the
        // parser; say so rather than go on with a silent zero.
        if (dest->num->rem == -1) {
            dest->num->rem = 0;
            tell_failure(MSG_VAL_OVF);
        }
        if (negative) dest->num->sign = static_cast<int8_t>(-dest->num->sign);
        return pos + n;
    }
    pos += name_len;
    BigNum *N = reg_num[reg];
    BigNum *E = reg_den[reg];
    char next = text[pos];
    if (!(next >= '0' && next <= '9') && next != '[') {
        if (N->defined == 1) {
            (void)copy(dest->num, N);  // numerators share one capacity
            if (reg < VARIABLES) {
                BigNum *L = var_den[reg];
                if (L && L->used > 0 && L->used <= dest->den->capacity) {
                    (void)copy(dest->den, L);  // room checked above
                } else {
                    // A zero small_den (never stored) reads as 1.
                    set_int64(dest->den, E->small_den != 0 ? E->small_den : 1);
                }
            } else if (E->used <= dest->den->capacity) {
                (void)copy(dest->den, E);  // room checked above
            }
        }
        if (negative) dest->num->sign = static_cast<int8_t>(-dest->num->sign);
        return pos;
    }
    // Element: decimal index, capped so that it cannot overflow.
    int64_t index = 0;
    while (text[pos] >= '0' && text[pos] <= '9') {
        if (index <= 1000000000) index = index * 10 + (text[pos] - '0');
        pos++;
    }
    int w = N->elem_width;
    BigNum *num = dest->num;
    int cap = num->capacity;
    if (index > 100000000 || w < 2 || w > cap || (index + 1) * w > E->capacity) {
        tell_failure(MSG_VAL_RANGE);
        return pos;
    }
    check_limb_span(E, (index + 1) * w);
    check_limb_span(num, w);
    const int32_t *slot = E->limbs + index * w;
    for (int j = 0; j < w; j++) num->limbs[cap - w + j] = slot[j];
    bool has_den = slot[0] >= -199999999 && slot[0] <= -1;
    if (has_den) {
        bn_clear(dest->den);
        dest->den->used = 1;
        limb(dest->den, 0) = -slot[0];
        limb(num, w - 1) = 0;
    }
    int used = w;
    while (used > 0 && limb(num, used - 1) == 0) used--;
    num->used = used;
    num->sign = 1;
    if (limb(num, 0) >= NEG_MARK) {
        limb(num, 0) -= NEG_MARK;
        num->sign = -1;
    }
    if (!has_den) {
        uint32_t mark = static_cast<uint32_t>(slot[w - 2]);
        uint32_t f = mark >> 27;
        if (f != 0) {
            num->frac_limbs = static_cast<int32_t>(f);
            limb(num, 1) = static_cast<int32_t>(mark - f * FRAC_UNIT);
        }
    }
    bn_strip(num);
    if (negative) num->sign = static_cast<int8_t>(-num->sign);
    return pos;
}

// Gives register `reg`'s denominator area the numerator's capacity and the
// numerator the denominator's: the numerator's limbs stay where they are (at
// the end of the slice); a work register's own denominator is moved to the
// end of the enlarged area so that its value survives.
static void exchange_areas(int reg) {
    BigNum *N = reg_num[reg];
    BigNum *E = reg_den[reg];
    int ecap = E->capacity, ncap = N->capacity;
    assert(N->limbs == E->limbs + ecap);
    int kept = 0;  // limbs at the end of the enlarged area that hold a value
    if (reg >= 26) {
        for (int k = 0; k < E->used; k++) E->limbs[ncap - 1 - k] = E->limbs[ecap - 1 - k];
        kept = E->used;
    }
    // The part the area gains held the numerator's old limbs: as elements
    // never stored they must read 0, not those limbs. So must the area's last
    // limb, which held the record's own value one (no element reaches it
    // before the exchange: a store ending there exchanges first).
    for (int k = ecap; k < ncap - kept; k++) E->limbs[k] = 0;
    if (reg < VARIABLES && ecap > 0) E->limbs[ecap - 1] = 0;
    E->capacity = ncap;
    N->capacity = ecap;
    N->limbs = E->limbs + ncap;
}

// Stores `value` into register `reg` (0..29): index -1 the register itself,
// index >= 0 that element. `value` is reduced in place first. A variable
// keeps a denominator within the 64-bit window in small_den and a longer one
// of up to P / 10 limbs in var_den; a work register keeps one of its own
// area's length; a longer denominator is the value's room outgrown, and the
// value turns into fixed point.
// Returns 0 when stored, -1 when refused (message printed, nothing written;
// no message while interrupted(), when every store is refused).
int store_value(int reg, int index, Fraction *value) {
    if (interrupted()) return -1;
    if (reg < 0 || reg >= REGISTERS || index < -1) {
        tell_failure(MSG_VAL_OVF);
        return -1;
    }
    reduce_small(value->num, value->den);
    BigNum *N = reg_num[reg];
    BigNum *E = reg_den[reg];
    if (index == -1) {
        // A work register holds a denominator of its own area's length; a
        // longer one is the value's room outgrown: it becomes fixed point.
        if (reg >= 26 && value->den->used > E->capacity) to_fixed(value, fixed_point_limbs);
        if (value->num->used > N->capacity) {
            tell_failure(MSG_VAL_LARGE);
            return -1;
        }
        int64_t den = 0;
        bool small = reg < VARIABLES && get_int64(value->den, &den);
        if (reg < VARIABLES && !small && value->den->used > var_den[reg]->capacity) {
            to_fixed(value, fixed_point_limbs);
            den = 1;
            small = true;
            if (value->num->used > N->capacity) {
                tell_failure(MSG_VAL_LARGE);
                return -1;
            }
        }
        (void)copy(N, value->num);  // room checked above
        if (reg >= VARIABLES) {
            (void)copy(E, value->den);  // a longer denominator was made 1 above
        } else if (small) {
            E->small_den = den;
            var_den[reg]->used = 0;
        } else {
            (void)copy(var_den[reg], value->den);  // a longer denominator was made 1 above
            E->small_den = 0;
        }
        if (N->used == 0 && N->rem == 0) N->used = 1;
        return 0;
    }
    int w = N->elem_width;
    // An element holds one denominator limb; a longer denominator would be
    // cut to its lowest limb and read back as another value, so such a
    // fraction is stored as a fixed-point decimal instead.
    bn_strip(value->den);
    if (value->num->frac_limbs == 0 && value->den->used > 1) to_fixed(value, fixed_point_limbs);
    BigNum *num = value->num;
    if (w < 2 || num->frac_limbs > MAX_FRAC_MARK || num->frac_limbs < 0) {
        tell_failure(MSG_VAL_OVF);
        return -1;
    }
    if (w == 2 && num->frac_limbs > 0) {
        // With two slots the fraction-limb mark shares slot 0 with the
        // denominator mark; a mark that would read back as a denominator is
        // refused rather than stored as a different value.
        uint32_t top = num->used > 1 ? static_cast<uint32_t>(limb(num, 1)) : 0;
        int32_t first = static_cast<int32_t>(top + static_cast<uint32_t>(num->frac_limbs) * FRAC_UNIT);
        if (first >= -199999999 && first <= -1) {
            tell_failure(MSG_VAL_OVF);
            return -1;
        }
    }
    // A numerator wider than the element (one slot less beside a
    // denominator) would lose its leading limbs: refused.
    int32_t low_den = value->den->used > 0 ? limb(value->den, 0) : 0;
    int room = num->frac_limbs == 0 && low_den > 1 ? w - 1 : w;
    if (num->used > room) {
        tell_failure(MSG_VAL_OVF);
        return -1;
    }
    int64_t i = index;
    int64_t end = (i + 1) * w;
    if (end >= E->capacity) {
        int64_t ncap = N->capacity, ecap = E->capacity;
        if (!(i < ncap && N->used < ecap && N->used + i < ncap + ecap && end < ncap)) {
            tell_failure(MSG_VAL_OVF);
            return -1;
        }
        exchange_areas(reg);
    }
    check_limb_span(E, end);
    int32_t *slot = E->limbs + i * w;
    for (int k = 0; k < w; k++) slot[w - 1 - k] = k < num->used ? limb(num, k) : 0;
    int32_t g = value->den->used > 0 ? limb(value->den, 0) : 0;
    if (num->frac_limbs > 0) {
        uint32_t mark = static_cast<uint32_t>(slot[w - 2]) +
                        static_cast<uint32_t>(num->frac_limbs) * FRAC_UNIT;
        slot[w - 2] = static_cast<int32_t>(mark);
    } else if (g > 1) {
        slot[0] = -g;
    }
    if (num->sign < 0) slot[w - 1] += NEG_MARK;
    E->elem_top = static_cast<int32_t>(end);
    return 0;
}
