// Pi (cached in work fraction 12), the arctangent and the sine and cosine,
// each as formula templates on the work registers &B..&E.
#include <cstdio>

#include "../expr/expr.h"
#include "functions.h"
#include "messages.h"
#include "templates.h"
#include "../expr/messages.h"
#include "../number/ball.h"
#include "../kernels/real.h"
#include "../engine/scratch.h"

namespace {

constexpr int PI_CACHE = 12;

Fraction *work_reg(int r) { return &reg_frac[r]; }

int run(const char *tpl, Fraction *dest, int level) { return eval_group(tpl, dest, level); }

// The target (an angle in the unit) := the angle in half-turns: x / 180 for
// degrees, x / pi for radians (by the kernel: the template's quotient by a
// long pi would not keep its denominator), x itself for half-turns.
void half_turns(Fraction *target, char unit, int level) {
    if (unit == 'P') return;
    if (unit == 'R') {
        if (!kernel_wrote(real_over_pi(core, target->num, target, fixed_point_limbs))) fraction_init(target);
        bn_set_one(target->den);
        return;
    }
    series_copy(work_reg(REG_B), target);
    run(template_text(TPL_DEGREES), target, level);
}

bool pi_cache_valid() {
    BigNum *n = work_frac[PI_CACHE].num;
    int F = fixed_point_limbs;
    return F >= 1 && n->frac_limbs == F && n->used == F + 1 && limb(n, F) == 3 &&
           limb(n, F - 1) == 14159265;
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
    if (level >= PI_LEVEL_LIMIT) {
        tell_failure(MSG_PI_OVF);
        return 0;
    }
    fraction_init(target);
    if (!kernel_wrote(real_pi(core, target->num, F))) {
        tell_refusal(MSG_PROD_OVF);
        fraction_init(target);
        return 0;
    }
    // A kernel stopped by Ctrl-C leaves digits of no meaning: never cached.
    if (!interrupted()) series_copy(cache, target);
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
    int negative = target->num->sign * target->den->sign < 0;
    target->num->sign = 1;
    target->den->sign = 1;
    if (compare(target->num, target->den) == 0) {
        run(template_text(TPL_PI_QUARTER), target, level);
    } else if (!kernel_wrote(real_atan(core, target->num, target, fixed_point_limbs))) {
        tell_refusal(MSG_PROD_OVF);
        fraction_init(target);
    } else {
        bn_set_one(target->den);
    }
    if (negative && !bn_is_zero(target->num)) target->num->sign = (int8_t)-target->num->sign;
    return 0;
}

// target := sine (cosine = 0) or cosine (cosine = 1) of the angle in the
// target, unit 'D' degrees, 'R' radians, 'P' half-turns. Exact fractions of a
// half-turn are counted in twelfths (15 degrees): multiples of 30 and 45
// degrees give their exact values; every other angle goes to the kernel,
// which gives the true value truncated to F fraction limbs. Returns 0; at
// level 14 or deeper "{cos-ovf}" and the target keeps its intermediate value.
int compute_sin_cos(Fraction *target, int cosine, char unit, int level) {
    Fraction *B = work_reg(REG_B);
    int F = fixed_point_limbs;
    // The angle as given, for the kernel: the half-turn count below is only
    // an exact test for the special values.
    size_t mark = scratch_mark(core);
    BigNum arg_num = {}, arg_den = {};
    Fraction arg;
    bool stashed = fraction_stash(&arg, &arg_num, &arg_den, target);

    // t, the angle in half-turns (of the sine: cos(pi t) = sin(pi (t + 1/2))).
    half_turns(target, unit, level);
    if (cosine) run(template_text(TPL_QUARTER_TURN), target, level);
    series_copy(B, target);
    run(template_text(TPL_QUT_B), target, level);
    BigNum *n = target->num;

    bool special = false;
    int s = 1;
    int64_t K = 0, Q = 0;
    // In radians the half-turn count is x / pi truncated, which is a simple
    // fraction only by its truncation (COSR(10^-52) made 1/2 of a half-turn
    // and listed 1): no radian angle but 0 has an exact value, and the
    // kernel takes 0 itself.
    bool exact_turns = unit != 'R';
    if (exact_turns && n->frac_limbs == 0 && get_int64(n, &K) && get_int64(target->den, &Q) && Q != 0) {
        if (Q < 0) {
            Q = -Q;
            K = -K;
        }
        if (K < 0) {
            K = -K;
            s = -1;
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
        int64_t H = (int64_t)((Kp / (12 * P)) & 1);
        __int128 R = Kp % (12 * P);
        __int128 O = R / P <= 6 ? R : 12 * P - R;  // sin(pi - a) = sin a
        if (O % P == 0 && O / P != 1 && O / P != 5) {
            special = true;
            fraction_init(target);
            switch ((int)(O / P)) {
                case 0: break;
                case 2:
                    set_int32(target->num, 1);
                    set_int64(target->den, 2);
                    break;
                case 3: run(template_text(TPL_SQRT2_HALF), target, level); break;
                case 4: run(template_text(TPL_SQRT3_HALF), target, level); break;
                default: set_int32(target->num, 1); break;  // 6: ninety degrees
            }
            if (!bn_is_zero(target->num)) {
                if (H & 1) target->num->sign = -1;
                target->num->sign = (int8_t)(target->num->sign * s);
            }
        }
    } else if (F < 1) {
        // Without fraction limbs no decimal angle exists: the sine is 0.
        fraction_init(target);
        special = true;
    }

    if (level >= COS_LEVEL_LIMIT) {
        tell_failure(MSG_COS_OVF);
        scratch_release(core, mark);
        return 0;
    }
    if (!special) {
        int mode = unit == 'R' ? 0 : unit == 'P' ? 1 : 2;
        fraction_init(target);
        Status rc = stashed ? real_sin_cos(core, target->num, &arg, cosine, mode, F) : STATUS_NO_ROOM;
        if (!kernel_wrote(rc)) {
            tell_refusal(MSG_PROD_OVF);
            fraction_init(target);
        }
    }
    scratch_release(core, mark);
    return 0;
}

// target := tan(j * 15 degrees) for j = 0 .. 11 but 6, truncated to F
// fraction limbs: 0, +-1, +-sqrt(1/3), +-sqrt(3), +-(2 + sqrt 3) and
// +-(2 - sqrt 3). Returns 0.
int tangent_special(Fraction *target, int j) {
    int F = fixed_point_limbs;
    int k = j < 6 ? j : 12 - j;  // tan(pi - a) = -tan a
    fraction_init(target);
    if (k == 0) return 0;
    if (k == 3) {
        set_int32(target->num, 1);
    } else {
        set_int32(target->num, k == 2 ? 1 : 3);
        set_int32(target->den, k == 2 ? 3 : 1);
        if (!kernel_wrote(real_root(core, target->num, target, 2, F))) {
            tell_refusal(MSG_PROD_OVF);
            fraction_init(target);
            return 0;
        }
        bn_set_one(target->den);
        BigNum *n = target->num;
        if (k == 5) {
            limb(n, F) += 2;
        } else if (k == 1 && F >= 1) {
            // 2 - sqrt 3 truncated: sqrt 3 is irrational, so this is one unit
            // below 2 - (sqrt 3 truncated): the fraction limbs' complement.
            for (int i = 0; i < F; i++) limb(n, i) = LIMB_BASE - 1 - limb(n, i);
            limb(n, F) = 0;
            bn_strip(n);
        }
    }
    if (j > 6) target->num->sign = -1;
    return 0;
}

// Whether the exact angle h (in half-turns) is a whole number of twelfths
// of a half-turn (15 degrees), of any size: then *j is that number modulo
// 12. Tested as 12 N mod Q = 0 for h = N / Q (a numerator's fraction limbs
// moved into Q), in the arena; false when h is no exact fraction or the
// arena lacks room.
bool whole_twelfths(Fraction *h, int *j) {
    BigNum *n = h->num, *d = h->den;
    if (d->frac_limbs != 0 || bn_is_zero(d) || !rad_is_zero(h->rad)) return false;
    if (bn_is_zero(n)) {
        *j = 0;
        return true;
    }
    ScratchScope scope(core);
    BigNum t, q, r, den;
    int k = n->frac_limbs;
    if (!bn_from_scratch(&t, n->used + 3) || !bn_from_scratch(&q, n->used + 3) ||
        !bn_from_scratch(&r, d->used + k + 3) || !bn_from_scratch(&den, d->used + k + 3))
        return false;
    (void)copy(&den, d);  // den was taken with room for d
    den.sign = 1;
    if (k > 0 && shift_limbs(&den, k) != STATUS_OK) return false;
    {
        PlainOperand plain(n, true);
        if (mul_small(&t, n, 12) != STATUS_OK) return false;
    }
    t.sign = 1;
    t.frac_limbs = 0;
    if (divide(&q, &r, &t, &den) != STATUS_OK || !bn_is_zero(&r)) return false;
    int64_t m = 0;
    if (div_small(&q, 12, &m) != STATUS_OK) return false;
    bool negative = (n->sign < 0) != (d->sign < 0);
    *j = negative ? int((12 - m) % 12) : int(m);
    return true;
}

// target := tangent of the angle in the target, truncated to F fraction
// limbs, with the unit letter of the sine. Exact multiples of 15 degrees, of
// any size, take their exact values (45 degrees gives 1) and odd multiples
// of 90 degrees report a division by zero and give 0; other angles go
// through the kernel. Returns 0, or 1 when the caller is to compute sine
// over cosine.
int compute_tan(Fraction *target, char unit, int level) {
    Fraction *B = work_reg(REG_B);
    size_t mark = scratch_mark(core);
    BigNum arg_num = {}, arg_den = {};
    Fraction arg;
    bool stashed = fraction_stash(&arg, &arg_num, &arg_den, target);
    half_turns(target, unit, level);
    series_copy(B, target);
    run(template_text(TPL_QUT_B), target, level);
    // Twelfths of a half-turn, 0 .. 11, of an exact angle of any size (a
    // pole among them must never reach the kernel, which would divide by
    // its zero cosine).
    int j = 0;
    bool fifteen = unit != 'R' && whole_twelfths(target, &j);
    int rc = 0;
    if (fifteen && j == 6) {
        // An odd multiple of 90 degrees, of any size: a pole.
        tell_division_by_zero();
        fraction_init(target);
    } else if (fifteen) {
        rc = tangent_special(target, j);
    } else if (!stashed) {
        rc = 1;
    } else {
        int mode = unit == 'R' ? 0 : unit == 'P' ? 1 : 2;
        fraction_init(target);
        Status st = real_tan(core, target->num, &arg, mode, fixed_point_limbs);
        if (!kernel_wrote(st)) {
            if (st == STATUS_NO_ROOM) tell_refusal(MSG_PROD_OVF);
            fraction_init(target);
        }
    }
    if (rc == 0) bn_set_one(target->den);
    // rc 1: the angle could not be kept for the kernel; the target keeps it
    // in half-turns for sine over cosine.
    scratch_release(core, mark);
    return rc == 1 ? 1 : 0;
}
