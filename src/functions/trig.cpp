// Pi (cached in work fraction 12), the arctangent and the sine and cosine,
// each as formula templates on the work registers &B..&E.
#include <cstdio>

#include "../expr/expr.h"
#include "functions.h"
#include "messages.h"
#include "templates.h"

namespace {

constexpr int REG_B = 26, REG_C = 27, REG_D = 28, REG_E = 29;
constexpr int PI_CACHE = 12;
constexpr int64_t DIV_SMALL_LIMIT = 92233720368LL;  // largest divisor of div_small

Fraction *work_reg(int r) { return &reg_frac[r]; }

int run(const char *tpl, Fraction *dest, int level) { return eval_group(tpl, dest, level); }

// The work fraction an evaluation at this level may use as scratch.
Fraction *level_fraction(int level) {
    if (level < 0) level = 0;
    if (level >= WORK_FRACTIONS) level = WORK_FRACTIONS - 1;
    return &work_frac[level];
}

bool is_exactly_one(BigNum *n) {
    return n->used == 1 && limb(n, 0) == 1 && n->frac_limbs == 0;
}

bool pi_cache_valid() {
    BigNum *n = work_frac[PI_CACHE].num;
    int F = fixed_point_limbs;
    return F >= 1 && n->frac_limbs == F && n->used == F + 1 && limb(n, F) == 3 &&
           limb(n, F - 1) == 14159265;
}

// Integer part of a non-negative fixed-point or integer numerator, below 10^8.
int32_t integer_limb(BigNum *n) {
    return n->used > n->frac_limbs ? limb(n, n->frac_limbs) : 0;
}

// n := num / den as a fixed-point decimal with F fraction limbs, for
// |num| < 8 * den and 0 < den < 2^63 (long division on 128-bit integers).
void set_ratio(Fraction *f, __int128 num, __int128 den) {
    int F = fixed_point_limbs;
    BigNum *n = f->num;
    fraction_init(f);
    int sign = num < 0 ? -1 : 1;
    if (num < 0) num = -num;
    __int128 r = num % den;
    limb(n, F) = (int32_t)(num / den);
    for (int k = F - 1; k >= 0; k--) {
        r *= LIMB_BASE;
        limb(n, k) = (int32_t)(r / den);
        r %= den;
    }
    n->used = F + 1;
    n->frac_limbs = F;
    n->sign = (int8_t)sign;
    bn_strip(n);
}

}  // namespace

// target := pi to F fraction limbs, by Euler's accelerated series for
// 20 arctan(1/7) + 8 arctan(3/79) with a guard factor 10^8, and cached in
// work fraction 12 until F changes. Returns F, or 0 when refused at level 15
// or deeper ("{pi-ovf}", target unchanged).
int compute_pi(Fraction *target, int level) {
    int F = fixed_point_limbs;
    Fraction *cache = &work_frac[PI_CACHE];
    if (pi_cache_valid()) {
        series_copy(target, cache);
        return F;
    }
    if (level >= 15) {
        fputs(MSG_PI_OVF, stdout);
        return 0;
    }
    Fraction *B = work_reg(REG_B), *C = work_reg(REG_C), *D = work_reg(REG_D), *E = work_reg(REG_E);
    fraction_init(B);
    fraction_init(C);
    fraction_init(D);
    fraction_init(E);
    fraction_init(target);
    fixed_point_limbs += series_guard_limbs();
    int Fg = fixed_point_limbs;
    set_element_frac(REG_B, 1, 1, 50);
    set_element_frac(REG_D, 1, 9, 6250);
    set_element_int(REG_C, 0, 8);
    run_into_register(TPL_GUARD_ONE, REG_B, level);
    run_into_register(TPL_GUARD_ONE, REG_C, level);
    run_into_register(TPL_GUARD_ONE, REG_D, level);
    run_into_register(TPL_GUARD_ONE, REG_E, level);
    for (int i = 2; i < 12 * Fg && !bn_is_zero(B->num); i += 2) {
        set_element_int(REG_E, 0, i);
        set_element_int(REG_E, 1, i + 1);
        run(TPL_PI_TERM_7, target, level);
        series_copy(B, target);
        run(TPL_PI_SUM_7, target, level);
        series_copy(C, target);
        run(TPL_PI_TERM_79, target, level);
        series_copy(D, target);
        run(TPL_PI_SUM_79, target, level);
        series_copy(E, target);
    }
    run(TPL_PI_TOTAL, target, level);
    shift_limbs(target->num, -1);  // the guard factor 10^8
    fixed_point_limbs = F;
    series_trim(target, F);
    series_copy(cache, target);
    return F;
}

// target := arctan(target) in radians. 1 gives pi/4 from the cached pi,
// above 1 pi/2 - arctan(1/x), below 1 Euler's series, after one halving of the
// angle when x > 1/2 so that the series converges within its passes; a
// negative x gives -arctan(-x). Returns 0.
int compute_atan(Fraction *target, int level) {
    if (bn_is_zero(target->num)) {
        fraction_init(target);
        return 0;
    }
    Fraction *B = work_reg(REG_B), *C = work_reg(REG_C), *D = work_reg(REG_D);
    Fraction *W = level_fraction(level);
    int negative = target->num->sign * target->den->sign < 0;
    target->num->sign = 1;
    target->den->sign = 1;

    int c = compare(target->num, target->den);
    if (c == 0) {
        run(TPL_PI_QUARTER, target, level);
    } else if (c > 0) {
        // pi/2 and the arctangent of 1/x each truncate: with guard limbs
        // their difference keeps its last digit.
        int F = fixed_point_limbs;
        fixed_point_limbs += series_guard_limbs();
        run(TPL_PI_HALF, W, level + 1);  // fills the pi cache before the template needs it
        series_copy(D, target);
        run(TPL_ATAN_RECIPROCAL, target, level);
        fixed_point_limbs = F;
        series_trim(target, F);
    } else {
        int halved = 0;
        // The guard limbs cover the half angle and the ratio too: their
        // truncation errors are doubled and divided by x below.
        int F = fixed_point_limbs;
        fixed_point_limbs += series_guard_limbs();
        series_copy(D, target);
        run(TPL_ATAN_ABOVE_HALF, W, level + 1);
        if (!bn_is_zero(W->num) && W->num->sign * W->den->sign > 0) {
            run(TPL_ATAN_HALF_ANGLE, target, level);
            halved = 1;
        }
        series_copy(B, target);
        run_into_register(TPL_ATAN_RATIO, REG_E, level);
        set_element_int(REG_C, 0, 8);
        run_into_register(TPL_GUARD_ONE, REG_B, level + 1);
        run_into_register(TPL_GUARD_ONE, REG_C, level + 1);
        for (int i = 2; i < 24 * fixed_point_limbs && !bn_is_zero(B->num); i += 2) {
            set_element_int(REG_E, 0, i);
            run(TPL_ATAN_TERM, W, level + 1);
            series_copy(B, W);
            run(TPL_ATAN_SUM, W, level + 1);
            series_copy(C, W);
        }
        series_copy(B, target);
        run(TPL_ATAN_TOTAL, target, level + 1);
        if (halved) run(TPL_DOUBLE, target, level);
        fixed_point_limbs = F;
        series_trim(target, F);
    }
    if (negative && !bn_is_zero(target->num)) target->num->sign = (int8_t)-target->num->sign;
    return 0;
}

// target := sine (cosine = 0) or cosine (cosine = 1) of the angle in the
// target, unit 'D' degrees, 'R' radians, 'P' half-turns. Exact fractions of a
// half-turn are counted in twelfths (15 degrees): multiples of 30 and 45
// degrees give their exact values, other angles a theta of at most 45 degrees
// for the paired Taylor series. A decimal angle keeps all its digits: only
// its whole half-turns are counted off. Returns 0; at level 14 or deeper
// "{cos-ovf}" and the target keeps its intermediate value.
int compute_sin_cos(Fraction *target, int cosine, char unit, int level) {
    Fraction *B = work_reg(REG_B), *C = work_reg(REG_C), *D = work_reg(REG_D);
    int F = fixed_point_limbs;
    // Theta and the series carry guard limbs: theta truncated to F limbs
    // would already cost the last digit of the result.
    int guarded = F + series_guard_limbs();

    // t, the angle in half-turns (of the sine: cos(pi t) = sin(pi (t + 1/2))).
    series_copy(B, target);
    run(unit == 'R' ? TPL_RADIANS : unit == 'P' ? TPL_HALF_TURNS : TPL_DEGREES, target, level);
    if (cosine) run(TPL_QUARTER_TURN, target, level);
    int s = 1;
    if (target->num->sign < 0) {
        target->num->sign = 1;
        s = -1;
    }
    if (target->den->sign < 0) {
        target->den->sign = 1;
        s = -s;
    }
    // Whole half-turns: only their parity matters, and 10^8 is even.
    int64_t H = 0;
    BigNum *n = target->num;
    if (F >= 1 && n->frac_limbs == F && n->used > F) {
        H = limb(n, F);
        limb(n, F) = 0;
        n->used = F;
    }
    series_copy(B, target);
    run(TPL_QUT_B, target, level);
    n = target->num;

    enum { SPECIAL, SERIES_READY, DECIMAL } path = DECIMAL;
    int series_cos = 0;
    int64_t K = 0, Q = 0;
    if (n->frac_limbs == 0 && get_int64(n, &K) && get_int64(target->den, &Q) && Q != 0) {
        if (Q < 0) {
            Q = -Q;
            K = -K;
        }
        if (K < 0) {
            K = -K;
            s = -s;
        }
        // t = K' / (12 P), P the unit of 1/P of fifteen degrees.
        __int128 Kp, P;
        if (Q % 12 != 0) {
            Kp = (__int128)K * 12;
            P = Q;
        } else {
            Kp = K;
            P = Q / 12;
        }
        H += (int64_t)((Kp / (12 * P)) & 1);
        __int128 R = Kp % (12 * P);
        __int128 O = R / P <= 6 ? R : 12 * P - R;  // sin(pi - a) = sin a
        if (O % P == 0 && O / P != 1 && O / P != 5) {
            path = SPECIAL;
            fraction_init(target);
            switch ((int)(O / P)) {
                case 0: break;
                case 2:
                    set_int32(target->num, 1);
                    set_int64(target->den, 2);
                    break;
                case 3: run(TPL_SQRT2_HALF, target, level); break;
                case 4: run(TPL_SQRT3_HALF, target, level); break;
                default: set_int32(target->num, 1); break;  // 6: ninety degrees
            }
        } else {
            if (O >= 3 * P) {
                series_cos = 1;
                O = 6 * P - O;  // may be negative between 90 and 105 degrees
            }
            fixed_point_limbs = guarded;
            if (P <= DIV_SMALL_LIMIT) {
                // theta = pi * O / (12 P) on pi's limbs.
                fraction_init(B);
                run_into_register(TPL_PI, REG_B, level);
                BigNum *o = work_int(3);
                set_int64(o, (int64_t)O);
                multiply(B->num, B->num, o);
                div_small(B->num, 12);
                int64_t p = (int64_t)P;
                if (p % LIMB_BASE == 0) {
                    B->num->frac_limbs += 1;
                    p /= LIMB_BASE;
                }
                div_small(B->num, p);
            } else {
                // A unit too large for div_small: O/P as a decimal first.
                set_ratio(C, O, P);
                run_into_register(TPL_THETA, REG_B, level);
            }
            path = SERIES_READY;
        }
    } else if (F >= 1) {
        // A decimal angle (or an exact one outside the 64-bit window): count
        // its whole half-turns off and work on its fraction in fifteen-degree
        // units with every digit kept.
        if (!is_exactly_one(target->den) || n->frac_limbs != F) to_fixed(target, F);
        n = target->num;
        if (n->used > F) {
            H += limb(n, F) & 1;
            n->used = F;
        }
        bn_strip(n);
        mul_small(n, n, 12);
        fixed_point_limbs = guarded;
        series_copy(C, target);
        // The templates read &C, so they cannot also write it.
        if (integer_limb(C->num) > 6) {
            run(TPL_FOLD, target, level);
            series_copy(C, target);
        }
        if (integer_limb(C->num) >= 3) {
            series_cos = 1;
            run(TPL_COMPLEMENT, target, level);
            series_copy(C, target);
        }
        run_into_register(TPL_THETA, REG_B, level);
        path = SERIES_READY;
    } else {
        // Without fraction limbs no decimal angle exists: only its
        // half-turns can be counted, and the sine is 0.
        fraction_init(target);
        path = SPECIAL;
    }

    fixed_point_limbs = F;
    if (level >= 14) {
        fputs(MSG_COS_OVF, stdout);
        return 0;
    }

    if (path == SERIES_READY) {
        int N = 4 * F;
        fixed_point_limbs = guarded;
        fraction_init(target);
        if (series_cos) {
            fraction_init(D);
            set_int32(D->num, 1);
        } else {
            series_copy(D, B);
        }
        run_into_register(TPL_SQUARE_B, REG_E, level);  // theta^2
        run_into_register(TPL_SQUARE_E, REG_B, level);  // theta^4
        int32_t a = series_cos ? 2 : 3;
        for (int j = 1; j <= N && !bn_is_zero(D->num); j++) {
            set_element_int(REG_E, 0, a);
            run(TPL_TAYLOR_PAIR, target, level);  // += D (1 - theta^2 / (a (a - 1)))
            int32_t up = (a + 2) * (a + 1), down = a * (a - 1);
            set_element_int(REG_E, 0, up);
            run_into_register(TPL_TIMES_B, REG_D, level);
            set_element_int(REG_E, 1, down);
            div_small(D->num, up);
            div_small(D->num, down);
            a += 4;
        }
        if (bn_is_zero(D->num)) bn_normalise_zero(D->num);
        fixed_point_limbs = F;
        series_trim(target, F);
    }

    if (!bn_is_zero(target->num)) {
        if (H & 1) target->num->sign = -1;
        target->num->sign = (int8_t)(target->num->sign * s);
    }
    return 0;
}
