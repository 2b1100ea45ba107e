// The expression evaluator: a single left-to-right pass over the text that
// keeps sums, terms and factors in the work fractions of its nesting level;
// powers, factorials, combinations, integer operators, groups, bars, bracket
// and range forms, computed element indices.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "../functions/functions.h"
#include "../functions/messages.h"
#include "../number/fastmul.h"
#include "../number/messages.h"
#include "expr.h"
#include "../number/real.h"
#include "../number/scratch.h"
#include "messages.h"

constexpr int64_t HUGE_EXPONENT = 100000000;  // integer exponents beyond this are refused
constexpr int BRACKET_STATEMENT_MAX = 100;

static int32_t limb_or_zero(BigNum *n, int k) { return k < n->used ? limb(n, k) : 0; }

static int64_t window_value(BigNum *n) {
    int64_t v = 0;
    return get_int64(n, &v) ? v : 0;
}

// Bounds on log10 |n| (scale included) from its two leading non-zero limbs:
// the low one never exceeds the true value, the high one is never below it.
// -1e300 for zero.
static double log10_bound(BigNum *n, bool high) {
    int k = n->used - 1;
    while (k >= 0 && limb(n, k) == 0) k--;
    if (k < 0) return -1e300;
    double lead = static_cast<double>(limb(n, k));
    int below = k;  // limbs under the leading one
    if (k >= 1) {
        lead = lead * LIMB_BASE + limb(n, k - 1);
        below = k - 1;
        if (high && k >= 2) lead += 1;  // the truncated lower limbs
    }
    return std::log10(lead) + 8.0 * (below - n->frac_limbs);
}

// True when a number of `digits` decimal digits surely needs more limbs than
// n can hold. The margin keeps every result the step-by-step products could
// still hold (they refuse one limb short of the capacity at the earliest)
// out of reach of this test, whatever the rounding of the estimate.
static bool surely_too_long(double digits, BigNum *n) {
    return digits > 8.0 * n->capacity + 16.0;
}

// d := s. Falls back to a product with one when a record of `d` is too small
// to take the limbs of `s`, which rounds to fixed point like any product.
static void frac_copy(Fraction *d, Fraction *s) {
    if (d == s) return;
    if (s->num->used <= d->num->capacity && s->den->used <= d->den->capacity) {
        copy(d->num, s->num);
        copy(d->den, s->den);
        return;
    }
    fraction_init(d);
    bn_set_one(d->num);
    fraction_product(d, d, s);
}

// Set once a division by zero has been reported in the current statement.
static bool division_by_zero_told = false;

void begin_statement() { division_by_zero_told = false; }

// Reports a division by zero, at most once per statement; the quotient the
// caller leaves is 0.
static void tell_division_by_zero() {
    if (division_by_zero_told) return;
    division_by_zero_told = true;
    fputs(MSG_DIV_ZERO, stdout);
}

// f := 1/f, the sign kept on the numerator; `spare` is scratch with the same
// capacities as f (its content is lost). The reciprocal of 0 is reported and
// gives 0.
static void frac_reciprocal(Fraction *f, Fraction *spare) {
    if (bn_is_zero(f->num)) {
        tell_division_by_zero();
        fraction_init(f);
        return;
    }
    frac_copy(spare, f);
    int8_t sign = spare->num->sign;
    spare->num->sign = 1;
    Fraction swapped = {spare->den, spare->num, 0, 1};
    fraction_init(f);
    bn_set_one(f->num);
    fraction_product(f, f, &swapped);
    f->num->sign = static_cast<int8_t>(bn_is_zero(f->num) ? 1 : sign);
    f->den->sign = 1;
}

// Greatest common divisor of |x| and |y| (Euclid on 64-bit integers); 1 when
// either is 0.
int64_t gcd64(int64_t x, int64_t y) {
    uint64_t a = x < 0 ? 0 - static_cast<uint64_t>(x) : static_cast<uint64_t>(x);
    uint64_t b = y < 0 ? 0 - static_cast<uint64_t>(y) : static_cast<uint64_t>(y);
    if (a == 0 || b == 0) return 1;
    while (b != 0) {
        uint64_t t = a % b;
        a = b;
        b = t;
    }
    return static_cast<int64_t>(a);
}

// Group at a level that is too deep: the text up to and including the `)`
// that balances it is skipped and reported.
static int skip_group(const char *text, int level) {
    int depth = 0, opens = 0, i = 0;
    for (; text[i]; i++) {
        if (text[i] == '(') {
            depth++;
            opens++;
        } else if (text[i] == ')') {
            if (depth == 0) {
                i++;
                break;
            }
            depth--;
        }
    }
    printf(MSG_GROUP_OVF, i, text, level, i, i, opens);
    return i;
}

// Evaluates a group (nested text, template or right-hand side) into `dest` and
// tidies a repeating decimal back into a fraction. At level 15 or more nothing
// is evaluated: the overflow line is printed and the text up to the `)` that
// balances the group is skipped, `dest` untouched. Returns characters consumed.
int eval_group(const char *text, Fraction *dest, int level) {
    if (level >= MAX_LEVEL) return skip_group(text, level);
    int n = eval_expression(text, dest, level);
    to_fraction(dest);
    return n;
}

// Bracket form at `text` (on the `[`): a statement, then the expression after
// `|` or `]`; with a range `name=lower~upper` the difference of the expression
// between the upper and the lower value.
static int read_bracket(const char *text, Fraction *dest, int level) {
    int stop = 1;
    while (text[stop] && text[stop] != '|' && text[stop] != ']') stop++;
    if (stop - 1 > BRACKET_STATEMENT_MAX || level >= MAX_LEVEL) {
        // Refused: skip to the `]` that closes the form; the operand reads 0.
        fputs(level >= MAX_LEVEL ? MSG_LEVEL_OVF : MSG_ERR, stdout);
        int depth = 0, i = 0;
        for (; text[i]; i++) {
            if (text[i] == '[') depth++;
            if (text[i] == ']' && --depth == 0) {
                i++;
                break;
            }
        }
        fraction_init(dest);
        return i;
    }
    int code = 0;
    int used = execute_one(text + 1, &code, level);
    int after = text[stop] ? stop + 1 : stop;
    int n = eval_group(text + after, dest, level + 1);
    if (used > 0 && used < stop - 1 && text[1 + used] == '~') {
        char statement[BRACKET_STATEMENT_MAX + 8];
        const char *part = text + 1;
        int eq = 0;
        while (eq < used && part[eq] != '=') eq++;
        int len = 0;
        for (int k = 0; k <= eq && k < used; k++) statement[len++] = part[k];
        for (int k = used + 1; k < stop - 1; k++) statement[len++] = part[k];
        statement[len] = 0;
        execute_one(statement, &code, level);
        Fraction *upper = &work_frac[level];
        eval_group(text + after, upper, level + 1);
        dest->num->sign = static_cast<int8_t>(-dest->num->sign);
        fraction_add(dest, dest, upper);
    }
    int total = after + n;
    int len = static_cast<int>(strlen(text));
    return total > len ? len : total;
}

// Reads one operand at `text` into `dest` at `level`: `&F` (dest unchanged),
// [-] group, bars, bracket form, computed element X[expr], function call,
// value reference. The result is reduced. Returns characters consumed, 0 when
// nothing could be read.
int read_operand(const char *text, Fraction *dest, int level) {
    if (text[0] == '&' && text[1] == 'F') return 2;
    int pos = 0;
    bool negative = text[0] == '-';
    if (negative) pos = 1;
    int len = static_cast<int>(strlen(text));
    char c = text[pos];
    int n = 0;
    if (c == '(' || c == '|') {
        n = 1 + eval_group(text + pos + 1, dest, level);
        if (c == '|') dest->num->sign = 1;
    } else if (c == '[') {
        n = read_bracket(text + pos, dest, level);
    } else if (c != 0 && text[pos + 1] == '[') {
        int k = eval_group(text + pos + 2, dest, level);
        char name[16];
        snprintf(name, sizeof name, "%c%d", c, static_cast<int>(limb_or_zero(dest->num, 0)));
        read_value(name, dest);
        n = 2 + k;
    } else {
        n = evaluate_function(text + pos, dest, level);
        if (n == 0) n = read_value(text + pos, dest);
        if (n == 0) return 0;
    }
    if (pos + n > len) n = len - pos;
    if (negative) dest->num->sign = static_cast<int8_t>(-dest->num->sign);
    reduce_small(dest->num, dest->den);
    return pos + n;
}

// ------------------------------------------- fast products of many factors

// Runs of more factors than this (and powers above this exponent) are
// multiplied by product trees or repeated squaring over the fast limb-vector
// products. Only the last one or two products still go through the
// step-by-step `multiply` calls, so the result's bookkeeping and every
// refusal are those of the plain loops: the partial products only grow, so
// if the last steps fit, every earlier one did.
constexpr int64_t TREE_FACTORS = 64;

// The scratch record `multiply` builds a product of a and b in.
static BigNum *accumulator_for(BigNum *a, BigNum *b) {
    for (int k : {2, 1, 3}) {
        BigNum *s = work_int(k);
        if (s != a && s != b) return s;
    }
    return work_int(2);
}

// Scratch limb vectors big enough for any product into n; null when the
// space cannot be had (callers then take the plain loops).
static uint32_t *fast_scratch(BigNum *n) {
    int room = precision > n->capacity ? precision : n->capacity;
    return fastmul_reserve(room) < 0 ? nullptr : fastmul_stage();
}

// n := the limb vector v of len limbs, a positive integer.
static void load_limbs(BigNum *n, const uint32_t *v, int len) {
    bn_clear(n);
    for (int k = 0; k < len; k++) limb(n, k) = static_cast<int32_t>(v[k]);
    n->used = len;
    bn_strip(n);
}

// N := first * (first - step) * ... (count factors, all >= 1) by a product
// tree. Returns 1 done, 0 when the product has more limbs than N can hold
// (N untouched), -1 when no scratch space could be had.
static int tree_product(BigNum *N, int64_t first, int64_t count, int64_t step) {
    uint32_t *v = fast_scratch(N);
    if (!v) return -1;
    int len = falling_product_limbs(v, N->capacity, first, count, step);
    if (len < 0) return 0;
    load_limbs(N, v, len);
    return 1;
}

// B := O^W for an integer O (denominator one, no fraction limbs, magnitude
// at least 2) with B = 1 on entry: O^(W-1) by repeated squaring, then the
// last product by fraction_product as the loop would. Returns false, with
// nothing changed, when the power lies so close to B's capacity that only
// the loop itself can tell whether one of its steps is refused.
static bool power_by_squaring(Fraction *B, Fraction *O, int64_t W) {
    BigNum *on = O->num, *od = O->den, *bn = B->num;
    if (W < TREE_FACTORS || on->frac_limbs != 0 || od->frac_limbs != 0 || od->used != 1 ||
        limb(od, 0) != 1 || on->used < 1 || (on->used == 1 && limb(on, 0) < 2))
        return false;
    uint32_t *v = fast_scratch(bn);
    if (!v || on->used > bn->capacity) return false;
    int cap_n = bn->capacity, cap_acc = accumulator_for(bn, on)->capacity;
    uint32_t *base = v + fastmul_capacity();
    for (int k = 0; k < on->used; k++) {
        int32_t x = limb(on, k);
        if (x < 0 || x >= LIMB_BASE) return false;
        base[k] = static_cast<uint32_t>(x);
    }
    int len = power_limbs(v, cap_n - 1, base, on->used, static_cast<uint64_t>(W - 1));
    if (len < 0) {
        // The last product needs at least cap_n + 1 limbs: the loop refuses
        // one of its products and goes on with zero.
        fputs(MSG_PROD_OVF, stdout);
        fraction_init(B);
        return true;
    }
    if (len + 2 > cap_n || len + 1 > cap_acc) return false;
    load_limbs(bn, v, len);
    fraction_product(B, B, O);
    return true;
}

// ------------------------------------------------------------------ power


// Fraction limbs an exponent carries beyond the working precision.
constexpr int EXPONENT_GUARD_LIMBS = 2;

// B := O^(W + m/o) for the base magnitude O > 0 and the exponent Y (the same
// value, every limb of it; W and m both negative for a negative one), the true value truncated to F
// fraction limbs: through the o-th root of O^(W o + m) when the exponent is
// an exact fraction, else (and for o = 0, an exponent whose denominator is
// outside the machine-integer window) through exp(Y ln O). A result that does not fit
// is reported and gives 0.
static void fractional_power(Fraction *B, Fraction *O, Fraction *Y, int64_t W, int64_t m, int64_t o) {
    int F = fixed_point_limbs;
    bool exact = o > 0 && Y->num->frac_limbs == 0 && Y->den->frac_limbs == 0;
    int rc;
    fraction_init(B);
    if (exact && (W < 0 ? -W : W) <= (INT64_MAX - (m < 0 ? -m : m)) / o)
        rc = real_power_ratio(B->num, O, W * o + m, o, F);
    else
        rc = real_power(B->num, O, Y, F);
    if (rc != 0) {
        fputs(MSG_PROD_OVF, stdout);
        fraction_init(B);
        return;
    }
    bn_set_one(B->den);
}

// B := B * X, one of the repeated products of a power. Fixed-point factors
// add up their fraction limbs, so a long run of them outgrows the numerator
// although the value itself is small: when this product could not fit any
// more, B (and if need be X) is first cut back to the usual fixed-point
// length, truncating like every fixed-point result. Products that fit are
// left exactly as they are.
static void power_step(Fraction *B, Fraction *X) {
    int F = fixed_point_limbs;
    BigNum *bn = B->num;
    if (F > 0 && bn->used + X->num->used >= bn->capacity) {
        if (bn->frac_limbs > F) to_fixed(B, F);
        if (X != B && X->num->frac_limbs > F && bn->used + X->num->used >= bn->capacity)
            to_fixed(X, F);
    }
    fraction_product(B, B, X);
}

// B := B ^ (operand at `text`), O and Q being the work fractions of the slot
// and the spare; `op` is the pending multiplicative operator, which the
// power may turn around; T is the term (target of the decimal shortcut).
// Returns the characters of the exponent, 0 when it could not be read.
static int apply_power(const char *text, Fraction *B, Fraction *T, int L, int K, char *op) {
    Fraction *O = &work_frac[L + K];
    int8_t base_sign = B->num->sign;
    int base_frac = B->num->frac_limbs;
    // The exponent is read with guard limbs, so that an inexact one (2^PI)
    // moves no printed digit of the power.
    int F = fixed_point_limbs;
    fixed_point_limbs = F + EXPONENT_GUARD_LIMBS;
    int n = read_operand(text, O, L + K + 1);
    fixed_point_limbs = F;
    if (n == 0) return 0;
    // The exponent as read, kept for a fractional power: the window below
    // sees only its leading limbs.
    ScratchScope scope;
    BigNum y_num = {}, y_den = {};
    Fraction Y;
    bool have_y = fraction_stash(&Y, &y_num, &y_den, O) == 0;
    if (have_y) {
        Y.num->sign = 1;
        Y.den->sign = 1;
    }

    // Exponent parts: integer W and fraction m / o.
    int64_t t = window_value(O->num);
    int64_t q = window_value(O->den);
    int s = O->num->sign < 0 ? -1 : 1;
    int64_t W, m, o;
    bool long_exponent = false;
    int Fo = O->num->frac_limbs;
    if (F != 0 && (Fo == F || Fo == F + EXPONENT_GUARD_LIMBS)) {
        W = limb_or_zero(O->num, Fo);
        m = static_cast<int64_t>(limb_or_zero(O->num, Fo - 1)) * LIMB_BASE +
            (Fo >= 2 ? limb_or_zero(O->num, Fo - 2) : 0);
        o = 10000000000000000LL;
    } else {
        if (q < 0) q = -q;
        if (q == 0 && !have_y) {  // denominator outside the window: no defined power, 0
            fputs(MSG_ERR, stdout);
            fraction_init(B);
            return n;
        }
        int64_t at = t < 0 ? -t : t;
        // A denominator outside the window leaves the whole power to the
        // exponential: a fraction m/o stands in for the exponent's fraction.
        W = q == 0 ? 0 : at / q;
        m = q == 0 ? 1 : at % q;
        o = q == 0 ? 2 : q;
        long_exponent = q == 0;
    }
    int64_t g = gcd64(m, o);
    m /= g;
    o /= g;
    if (m == 0) o = 1;
    // A negative base has a real power only when the reduced exponent
    // (W o + m)/o has an odd denominator: the odd root keeps the sign, and
    // the sign of the power follows the parity of W o + m. An even root, or
    // an exponent known only as a decimal, has no real value.
    if (base_sign < 0 && m != 0 && !bn_is_zero(B->num) && (long_exponent || o % 2 == 0)) {
        fputs(MSG_ROOT_NEG, stdout);
        fraction_init(B);
        return n;
    }
    const int8_t power_sign = ((W ^ m) & 1) ? base_sign : 1;

    // Orientation: exact powers run on a base whose numerator is at least
    // its denominator.
    char op_before = *op;
    int c, c_raw;
    bool inexact = B->num->frac_limbs != 0 || m != 0;
    if (inexact) {
        frac_copy(O, B);
        c = c_raw = 1;
        if (s == -1) *op = *op == '*' ? '/' : '*';
    } else {
        c_raw = compare_magnitude(B->num, B->den);
        c = c_raw == 0 ? 1 : c_raw;
        if (c * s == -1 && K == 2) *op = *op == '*' ? '/' : '*';
        if (c == 1) {
            frac_copy(O, B);
        } else {
            Fraction recip = {B->den, B->num, 0, 1};
            frac_copy(O, &recip);
            O->num->sign = 1;
            O->den->sign = 1;
        }
    }
    O->num->sign = 1;
    bool zero_base = bn_is_zero(B->num);

    // Decimal shortcut for powers of 10, 100, 1000, 10000.
    int64_t D = 0;
    bool negated = false;
    if (!zero_base && O->den->used == 1 && limb(O->den, 0) == 1 && O->den->frac_limbs == 0 &&
        B->num->used == 1 && m == 0 && O->num->used >= 1) {
        int32_t low = limb(O->num, 0);
        int d = low == 10 ? 1 : low == 100 ? 2 : low == 1000 ? 3 : low == 10000 ? 4 : 0;
        if (d != 0 && O->num->used == 1 && t > -HUGE_EXPONENT && t < HUGE_EXPONENT) {
            D = t * c_raw * d;
            if (op_before == '/') {
                D = -D;
                negated = true;
            }
            if (D == 0 || (D >= -6 && D <= -1)) {
                D = 0;
            } else if (negated) {
                *op = '*';
            }
        }
    }

    fraction_init(B);
    bn_set_one(B->num);

    if (D != 0) {
        BigNum *tn = T->num;
        int64_t e = 0, h = 0;
        if (tn->frac_limbs == 0 && D < 0) {
            tn->frac_limbs = F;
            e = 8 * static_cast<int64_t>(F);
        }
        if (D + e < 0) {
            h = 1 - (D + e) / 8;
            tn->frac_limbs += static_cast<int32_t>(h);
        }
        if (shift_decimal(tn, static_cast<int32_t>(e + 8 * h + D)) == -2) {
            // No room for the shifted value: refused, and 0 rather than the
            // unshifted term.
            fputs(MSG_ERR, stdout);
            fraction_init(T);
        }
    } else {
        if (zero_base) {
            // 0^x: 0 for any exponent but 0 (the repeated products would
            // divide by zero); a negative exponent is a division by zero.
            if ((W != 0 || m != 0) && s == -1) tell_division_by_zero();
            if (W != 0 || m != 0) bn_clear(B->num);
            return n;
        }
        O->num->frac_limbs = base_frac;
        if (m != 0 && have_y) {
            // A first factor with a negative exponent is computed as it
            // stands (2^-1000000.5 is a tiny value, not the reciprocal of
            // one too long to hold); otherwise the operator was turned.
            bool direct = K == 1 && s == -1;
            if (direct) Y.num->sign = -1;
            fractional_power(B, O, &Y, direct ? -W : W, direct ? -m : m, long_exponent ? 0 : o);
            if (!bn_is_zero(B->num)) B->num->sign = power_sign;
            return n;
        }
        // A power whose magnitude surely outgrows B's numerator ends, after
        // all its products, refused with 0: refuse it before doing them.
        double grows = log10_bound(O->num, false) - log10_bound(O->den, true);
        if (grows > 0 && surely_too_long(static_cast<double>(W) * grows, B->num)) {
            fputs(MSG_PROD_OVF, stdout);
            fraction_init(B);
            return n;
        }
        if (W > HUGE_EXPONENT) {
            if (c_raw == 0 && !inexact) {
                W = (W & 1) ? 1 : 2;  // a base of magnitude one: only the parity matters
            } else {
                // Out of reach of the products: refused, and 0 rather than
                // a plausible value.
                fputs(MSG_ERR, stdout);
                fraction_init(B);
                return n;
            }
        }
        if (!inexact && power_by_squaring(B, O, W)) {
            // done: same value, bookkeeping and refusals as the loops below
        } else if (W >= 12 && L + 3 < WORK_FRACTIONS) {
            Fraction *Q = &work_frac[L + 3];
            int64_t root = static_cast<int64_t>(std::sqrt(static_cast<double>(W)));
            while (root * root > W) root--;
            while ((root + 1) * (root + 1) <= W) root++;
            int64_t r = W - root * root;
            for (int64_t k = 0; k < root; k++) power_step(B, O);
            frac_copy(Q, B);
            for (int64_t k = 1; k < root; k++) power_step(B, Q);
            for (int64_t k = 0; k < r; k++) power_step(B, O);
        } else {
            for (int64_t k = 0; k < W; k++) power_step(B, O);
        }
        if (o >= 2) {
            while (o % 2 == 0) {
                nth_root(O, 2, 1.0, L + K + 1);
                o /= 2;
                while (m >= o) {
                    m -= o;
                    power_step(B, O);
                }
            }
            for (int j = 3; j <= 133; j += 2) {
                while (o % j == 0) {
                    nth_root(O, j, 1.0, L + K + 1);
                    o /= j;
                    while (m >= o) {
                        m -= o;
                        power_step(B, O);
                    }
                }
            }
            if (m != 0) {
                nth_root(O, 1, static_cast<double>(m) / static_cast<double>(o), L + K + 1);
                power_step(B, O);
            }
        }
        if (K == 1) {
            bool frac = B->num->frac_limbs != 0;
            if ((frac && s == -1) || (!frac && s * c == -1)) frac_reciprocal(B, O);
        }
    }
    B->num->sign = bn_is_zero(B->num) ? 1 : power_sign;
    return n;
}

// ------------------------------------------- factorials, C, P, integer ops

// A product that does not fit leaves 0 rather than a partial product; the
// silent refusal (one limb short) gets the notice too.
static void refuse_product(BigNum *N, int rc) {
    if (rc != -1) fputs(MSG_PROD_OVF, stdout);
    set_int32(N, 0);
}

// N := N! (step 1) or N!! (step 2) for a one-limb N; 0 when a product does
// not fit.
static void apply_factorial(BigNum *N, int step, BigNum *scratch) {
    if (N->used != 1) return;
    int64_t v = static_cast<int64_t>(limb(N, 0)) * N->sign;
    if (v > 1) {
        // Digits of the result (lgamma is accurate to far below a digit
        // here); one that surely cannot fit is refused before the products.
        const double ln10 = std::log(10.0), ln2 = std::log(2.0);
        double x = static_cast<double>(v), k = std::floor(x / 2), digits;
        if (step == 1)
            digits = std::lgamma(x + 1) / ln10;
        else if (v % 2 == 0)  // v!! = 2^k k!
            digits = (k * ln2 + std::lgamma(k + 1)) / ln10;
        else  // v!! = v! / (2^k k!)
            digits = (std::lgamma(x + 1) - k * ln2 - std::lgamma(k + 1)) / ln10;
        if (surely_too_long(digits, N)) {
            refuse_product(N, 0);
            return;
        }
    }
    set_int32(N, 1);
    int64_t count = v > 0 ? (v + step - 1) / step : 0;
    if (count > TREE_FACTORS) {
        // All but the last two factors by a product tree; the last two
        // (at least 2, then at least 1) by the loop below.
        int64_t head = count - 2;
        int rc = tree_product(N, v, head, step);
        if (rc == 0) {  // the loop's next product would not fit
            set_int32(scratch, static_cast<int32_t>(v - head * step));
            refuse_product(N, 0);
            return;
        }
        if (rc > 0) v -= head * step;
    }
    for (; v > 0; v -= step) {
        set_int32(scratch, static_cast<int32_t>(v));
        int rc = multiply(N, N, scratch);
        if (rc < 0) {
            refuse_product(N, rc);
            return;
        }
    }
}

// N := N / r! for an N that r! divides, by dividing by 2, 3, ..., r in
// turn; long runs divide once by (r-1)! (through `divide`) and then by r, so
// N's remainder fields end as after the step-by-step divisions.
static void divide_by_factorial(BigNum *N, int64_t r, BigNum *scratch) {
    int64_t j = 2;
    if (r - 1 > TREE_FACTORS && long_division_available() && N->frac_limbs == 0 &&
        tree_product(scratch, r - 1, r - 2, 1) > 0) {
        scratch->sign = 1;
        scratch->frac_limbs = 0;
        divide(nullptr, nullptr, N, scratch);
        j = r;
    }
    for (; j <= r; j++) div_small(N, j);
}

// N := N C r (combinations) or N P r (falling product) for N in the 64-bit
// window; 0 when a product does not fit.
static void apply_choose(BigNum *N, bool combinations, int64_t r, BigNum *scratch) {
    int64_t u = window_value(N);
    if (combinations && r > u / 2 && r <= u && N->used < 4) r = u - r;
    if (u <= 1 || u < r || r <= 1) {
        if (u < r) set_int32(N, 0);
        if (r == 0) set_int32(N, 1);
        return;
    }
    // The falling product has r factors, each at least u - r + 1 and the
    // j-th from the bottom at least j, so it has at least this many digits;
    // one that surely cannot fit is refused before the products.
    {
        double x = static_cast<double>(r);
        double digits = std::max(x * std::log10(static_cast<double>(u - r + 1)),
                                 std::lgamma(x + 1) / std::log(10.0));
        if (surely_too_long(digits, N)) {
            refuse_product(N, 0);
            return;
        }
    }
    int64_t j = 1;
    if (r - 1 > TREE_FACTORS && N->frac_limbs == 0 && N->sign > 0) {
        // u (already in N) and all but the last two factors by a product
        // tree; those two by the loop below.
        int rc = tree_product(N, u, r - 2, 1);
        if (rc == 0) {
            set_int64(scratch, u - (r - 2));
            refuse_product(N, 0);
            return;
        }
        if (rc > 0) j = r - 2;
    }
    for (; j < r; j++) {
        set_int64(scratch, u - j);
        scratch->frac_limbs = 0;
        scratch->sign = 1;
        int rc = multiply(N, N, scratch);
        if (rc < 0) {
            refuse_product(N, rc);
            return;
        }
    }
    if (combinations) divide_by_factorial(N, r, scratch);
}

// acc := acc op (operand at `text`) for op one of % M G L. Returns the
// characters of the operand, 0 when it could not be read.
static int apply_integer_op(const char *text, char op, Fraction *acc, int L, int K) {
    Fraction *O = &work_frac[L + K];
    int n = read_operand(text, O, L + K + 1);
    if (n == 0) return 0;
    int F = fixed_point_limbs;
    if (acc->num->frac_limbs == F) to_fraction(acc);
    if (O->num->frac_limbs == F) to_fraction(O);
    // The common denominator R, of any length the result's denominator holds.
    ScratchScope scope;
    BigNum R;
    bool found = bn_from_scratch(&R, acc->den->capacity) && common_denominator(acc, O, &R);
    BigNum *keep = work_int(6);
    if (op == '%' || op == 'M') {
        if (bn_is_zero(O->num)) {  // remainder by zero: refused, and 0
            fputs(MSG_ERR, stdout);
            fraction_init(acc);
            return n;
        }
        int rf = 0;
        if (!found || acc->num->frac_limbs != 0 || O->num->frac_limbs != 0) {
            if (found) {
                copy(acc->den, &R);
                copy(O->den, &R);
            }
            to_fixed(acc, F);
            to_fixed(O, F);
            acc->num->frac_limbs = 0;
            O->num->frac_limbs = 0;
            rf = F;
            found = false;  // the remainder stands over 1
        }
        copy(keep, acc->num);
        divide(work_int(4), acc->num, keep, O->num);
        acc->num->frac_limbs = rf;
    } else {
        if (!found) {  // no common denominator within reach
            fputs(MSG_ERR, stdout);
            return n;
        }
        copy(keep, acc->num);
        if (op == 'G')
            gcd_lcm(acc->num, work_int(4), keep, O->num);
        else
            gcd_lcm(work_int(4), acc->num, keep, O->num);
    }
    if (found) {
        copy(acc->den, &R);
    } else {
        bn_set_one(acc->den);
    }
    return n;
}

// ------------------------------------------------------------- main loop

static bool ends_factor(char c) {
    return c == 0 || strchr(")*+,-/]|~", c) != nullptr || (c >= 'A' && c <= 'Z');
}

// Evaluates the expression at `text` into `S` at level L (0..14), using work
// fractions L (term) and L + 1 (factor) and, for second operands, up to L + 3.
// `S` may be any fraction but those work fractions. Returns the index just
// past the terminator (`)` `,` `]` `|` `~` or the end), 0 after a syntax error
// or a level overflow (message printed).
int eval_expression(const char *text, Fraction *S, int L) {
    if (L >= MAX_LEVEL) {
        fputs(MSG_LEVEL_OVF, stdout);
        return 0;
    }
    Fraction *T = &work_frac[L];
    Fraction *Fr = &work_frac[L + 1];
    fraction_init(T);
    fraction_init(Fr);
    const int len = static_cast<int>(strlen(text));
    int pos = 0, K = 1;
    char op = '*', add_sign = '+';
    bool first = true;
    while (pos < len) {
        if (pos == 0 && text[0] == '-') {
            add_sign = '-';
            pos = 1;
        }
        int n;
        if (first && (text[0] == '(' || (text[0] == '&' && text[1] == 'F') ||
                      (text[0] == '/' && text[1] == '('))) {
            bool recip = text[0] == '/';
            n = read_operand(text + (recip ? 1 : 0), S, L);
            if (n == 0) {
                printf(MSG_SYNTAX, text + pos);
                return 0;
            }
            n += recip ? 1 : 0;
            if (recip)
                frac_reciprocal(S, Fr);
            frac_copy(T, S);
            fraction_init(S);
            K = 1;
        } else {
            if (first) {
                fraction_init(S);
                K = 1;
            }
            n = read_operand(text + pos, K == 1 ? T : Fr, L + K);
            if (n == 0) {
                printf(MSG_SYNTAX, text + pos);
                return 0;
            }
        }
        first = false;
        pos += n;
        if (pos > len) pos = len;
        Fraction *acc = K == 1 ? T : Fr;

        // Postfix: power, factorial, combinations, permutations.
        char c = text[pos];
        bool needs_slot = c == '^' || c == '!' || c == 'C' || c == 'P' || c == '%' || c == 'M' ||
                          c == 'G' || c == 'L';
        if (needs_slot && L + K >= WORK_FRACTIONS) {
            // The second operand would need a work fraction beyond the pool.
            fputs(MSG_LEVEL_OVF, stdout);
            return 0;
        }
        if (c == '^') {
            int k = apply_power(text + pos + 1, acc, T, L, K, &op);
            if (k == 0) {
                printf(MSG_SYNTAX, text + pos + 1);
                return 0;
            }
            pos += 1 + k;
        } else if (c == '!') {
            pos++;
            int step = 1;
            if (text[pos] == '!') {
                pos++;
                step = 2;
            }
            apply_factorial(acc->num, step, work_frac[L + K].num);
        } else if (c == 'C' || c == 'P') {
            pos++;
            int64_t r = 0;
            while (text[pos] >= '0' && text[pos] <= '9') {
                if (r < 1000000000) r = r * 10 + (text[pos] - '0');
                pos++;
            }
            apply_choose(acc->num, c == 'C', r, work_frac[L + K].num);
        }
        if (pos > len) pos = len;

        while (text[pos] == ' ') pos++;
        c = text[pos];
        if (c == '%' || c == 'M' || c == 'G' || c == 'L') {
            pos++;
            while (text[pos] == ' ') pos++;
            int k = apply_integer_op(text + pos, c, acc, L, K);
            if (k == 0) {
                printf(MSG_SYNTAX, text + pos);
                return 0;
            }
            pos += k;
            if (pos > len) pos = len;
        }

        while (text[pos] == ' ') pos++;
        c = text[pos];
        if (!ends_factor(c)) continue;  // the next operand replaces this one

        if (K == 2) {
            if (op == '*') {
                fraction_product(T, T, Fr);
            } else if (bn_is_zero(Fr->num)) {
                tell_division_by_zero();
                fraction_init(T);
            } else if (Fr->num->used >= precision - 5) {
                fputs(MSG_ERR, stdout);
            } else {
                int8_t sign = static_cast<int8_t>(T->num->sign * Fr->num->sign);
                Fr->num->sign = 1;
                Fraction recip = {Fr->den, Fr->num, 0, 1};
                fraction_product(T, T, &recip);
                T->num->sign = sign;
            }
            op = '*';
        }
        if (c == '*' || c == '/') {
            K = 2;
            op = c;
            pos++;
            continue;
        }
        if (c >= 'A' && c <= 'Z') {
            K = 2;
            op = '*';
            continue;
        }
        if (add_sign == '-') T->num->sign = static_cast<int8_t>(-T->num->sign);
        fraction_add(S, S, T);
        add_sign = c;
        pos++;
        if (c != '+' && c != '-') return pos;
        K = 1;
        op = '*';  // a new term starts with a plain product
    }
    return pos;
}
