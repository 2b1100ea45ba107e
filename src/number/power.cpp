// Products of many factors for the evaluator's operators: integer powers by
// repeated squaring and the steps of a fraction's power, factorials, double
// factorials, falling products and combinations over product trees.
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "../engine/fastmul.h"
#include "power.h"

int64_t window_value(BigNum *n) {
    int64_t v = 0;
    return get_int64(n, &v) ? v : 0;
}

// Bounds on log10 |n| (scale included) from its two leading non-zero limbs:
// the low one never exceeds the true value, the high one is never below it.
// -1e300 for zero.
double log10_bound(BigNum *n, bool high) {
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
bool surely_too_long(double digits, BigNum *n) {
    return digits > 8.0 * n->capacity + 16.0;
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
    return room <= fastmul_capacity(core) ? fastmul_stage(core) : nullptr;
}

// N := first * (first - step) * ... (count factors, all >= 1) by a product
// tree. Returns 1 done, 0 when the product has more limbs than N can hold
// (N untouched), -1 when no scratch space could be had.
static int tree_product(BigNum *N, int64_t first, int64_t count, int64_t step) {
    uint32_t *v = fast_scratch(N);
    if (!v) return -1;
    int len = 0;
    if (falling_product_limbs(core, v, N->capacity, &len, first, count, step) != STATUS_OK) return 0;
    bn_from_vector(N, v, len);
    return 1;
}

// B := O^W for an integer O (denominator one, no fraction limbs, magnitude
// at least 2) with B = 1 on entry: O^(W-1) by repeated squaring, then the
// last product by fraction_product as the loop would. Returns false, with
// nothing changed, when the power lies so close to B's capacity that only
// the loop itself can tell whether one of its steps is refused.
bool power_by_squaring(Fraction *B, Fraction *O, int64_t W) {
    BigNum *on = O->num, *od = O->den, *bn = B->num;
    if (W < TREE_FACTORS || on->frac_limbs != 0 || od->frac_limbs != 0 || od->used != 1 ||
        limb(od, 0) != 1 || on->used < 1 || (on->used == 1 && limb(on, 0) < 2))
        return false;
    uint32_t *v = fast_scratch(bn);
    if (!v || on->used > bn->capacity) return false;
    int cap_n = bn->capacity, cap_acc = accumulator_for(bn, on)->capacity;
    uint32_t *base = v + fastmul_capacity(core);
    for (int k = 0; k < on->used; k++) {
        int32_t x = limb(on, k);
        if (x < 0 || x >= LIMB_BASE) return false;
        base[k] = static_cast<uint32_t>(x);
    }
    int len = 0;
    Status st = power_limbs(core, v, cap_n - 1, &len, base, on->used, static_cast<uint64_t>(W - 1));
    if (st == STATUS_INTERRUPTED) {
        fraction_init(B);
        return true;
    }
    if (st != STATUS_OK) {
        // The last product needs at least cap_n + 1 limbs: the loop refuses
        // one of its products and goes on with zero.
        report_refusal(STATUS_NO_ROOM);
        fraction_init(B);
        return true;
    }
    if (len + 2 > cap_n || len + 1 > cap_acc) return false;
    bn_from_vector(bn, v, len);
    // The squares were of |O|: O^(W-1) is negative for a negative O and an
    // odd W - 1 (the last product then gives a positive O^W for an even W).
    if ((on->sign < 0) != (od->sign < 0) && (W - 1) % 2 == 1) bn->sign = -1;
    fraction_product(B, B, O);
    return true;
}

// B := B * X, one of the repeated products of a power. Fixed-point factors
// add up their fraction limbs, so a long run of them outgrows the numerator
// although the value itself is small: when this product could not fit any
// more, B (and if need be X) is first cut back to the usual fixed-point
// length, truncating like every fixed-point result. Products that fit are
// left exactly as they are.
void power_step(Fraction *B, Fraction *X) {
    int F = fixed_point_limbs;
    BigNum *bn = B->num;
    if (F > 0 && bn->used + X->num->used >= bn->capacity) {
        if (bn->frac_limbs > F) to_fixed(B, F);
        if (X != B && X->num->frac_limbs > F && bn->used + X->num->used >= bn->capacity)
            to_fixed(X, F);
    }
    fraction_product(B, B, X);
}

// ------------------------------------------------ factorials, C and P

// A product that does not fit leaves 0 rather than a partial product; a
// refusal not yet reported (one limb short, or foreseen) is reported too.
static void refuse_product(BigNum *N, Status rc) {
    if (rc != STATUS_REFUSED) report_refusal(STATUS_NO_ROOM);
    set_int32(N, 0);
}

// N := N! (step 1) or N!! (step 2) for a one-limb N; 0 when a product does
// not fit.
void factorial_in_place(BigNum *N, int step, BigNum *scratch) {
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
            refuse_product(N, STATUS_NO_ROOM);
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
            refuse_product(N, STATUS_NO_ROOM);
            return;
        }
        if (rc > 0) v -= head * step;
    }
    for (; v > 0; v -= step) {
        set_int32(scratch, static_cast<int32_t>(v));
        Status rc = multiply(N, N, scratch);
        if (rc != STATUS_OK) {
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
    if (r - 1 > TREE_FACTORS && N->frac_limbs == 0 &&
        tree_product(scratch, r - 1, r - 2, 1) > 0) {
        scratch->sign = 1;
        scratch->frac_limbs = 0;
        // Without room for the long division the short ones do all of it.
        if (divide(nullptr, nullptr, N, scratch) == STATUS_OK) j = r;
    }
    for (; j <= r; j++) (void)div_small(N, j);  // exact, and j is far below the divisor limit
}

// N := N C r (combinations) or N P r (falling product) for N in the 64-bit
// window; 0 when a product does not fit.
void choose_in_place(BigNum *N, bool combinations, int64_t r, BigNum *scratch) {
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
            refuse_product(N, STATUS_NO_ROOM);
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
            refuse_product(N, STATUS_NO_ROOM);
            return;
        }
        if (rc > 0) j = r - 2;
    }
    for (; j < r; j++) {
        set_int64(scratch, u - j);
        scratch->frac_limbs = 0;
        scratch->sign = 1;
        Status rc = multiply(N, N, scratch);
        if (rc != STATUS_OK) {
            refuse_product(N, rc);
            return;
        }
    }
    if (combinations) divide_by_factorial(N, r, scratch);
}
