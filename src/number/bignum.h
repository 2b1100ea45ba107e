// Number core: the BigNum and Fraction records, the process-wide settings that
// shape numbers, the fixed pool of records and registers, and every operation
// on big integers, fractions and number text.
#pragma once
#include <cassert>
#include <csignal>
#include <cstdint>
#include <cstdio>

#include "../engine/context.h"
#include "vocabulary.h"

constexpr int32_t LIMB_BASE = 100000000;  // eight decimal digits per limb

// A signed magnitude in base-100000000 limbs stored at the END of its array:
// limb k (k = 0 least significant) lives at index capacity - 1 - k.
struct BigNum {
    int32_t *limbs;        // not owned: slices of shared pool blocks
    int8_t sign;           // 1 positive or zero, -1 negative
    int32_t used;          // significant limbs; 0 means zero
    int32_t capacity;      // limbs in the array
    int32_t rem;           // remainder of the last division by a machine integer
    int32_t last_divisor;  // divisor of that division; 1 after a reset
    int32_t offset;        // limb offset of a partial product inside addition
    int32_t elem_top;      // end (in limbs) of the element stored last
    int64_t small_den;     // denominator of a variable A..Z as a machine integer
    int32_t dec_den;       // power of ten dividing a parsed literal's digits
    int32_t frac_limbs;    // value = integer * 100000000^-frac_limbs
    int32_t elem_width;    // limbs per array element
    int32_t defined;       // 1 once carved or reset
};

// The radius of an exact value (see ball.h): log2 of zero.
constexpr double RAD_ZERO = -__builtin_huge_val();

struct Fraction {
    BigNum *num;
    BigNum *den;
    int32_t num_only;  // non-zero: parsing a literal sets only the numerator
    // log2 of a bound on |true value - num/den|; RAD_ZERO when exact.
    double rad = RAD_ZERO;
};

// Debug and sanitizer builds check a limb index against the record's
// capacity, so an overrun inside a shared pool block is caught even where the
// sanitizer cannot see it.
inline void check_limb_index(const BigNum *n, int k) {
#ifdef VANTREL_BOUNDS_CHECK
    if (k < 0 || k >= n->capacity) {
        fprintf(stderr, "limb index %d outside capacity %d\n", k, n->capacity);
        __builtin_trap();
    }
#else
    (void)n;
    (void)k;
#endif
}

// Limb k of n (k = 0 least significant), index checked as above.
inline int32_t &limb(BigNum *n, int k) {
    check_limb_index(n, k);
    return n->limbs[n->capacity - 1 - k];
}

// The value of limb k of a record that is only read.
inline int32_t limb(const BigNum *n, int k) {
    check_limb_index(n, k);
    return n->limbs[n->capacity - 1 - k];
}

// For loops that walk limbs 0 .. count - 1 of n through a raw pointer: debug
// and sanitizer builds check once that they all lie inside n's array.
inline void check_limb_span(const BigNum *n, long count) {
#ifdef VANTREL_BOUNDS_CHECK
    if (count < 0 || count > n->capacity) {
        fprintf(stderr, "limb span %ld outside capacity %d\n", count, n->capacity);
        __builtin_trap();
    }
#else
    (void)n;
    (void)count;
#endif
}

// The number core's engine context, process-wide like the records: its
// scratch arena and product buffers are reserved when the pool is carved,
// and it polls interrupt_requested.
extern Context core;

// ---------------------------------------------------------------- settings
extern int precision;          // capacity of numerators and scratch integers, limbs
extern int fixed_point_limbs;  // fraction limbs of a fixed-point decimal (default 4)

// Raises fixed_point_limbs by `extra` guard limbs for the life of a scope and
// puts it back on leaving it, however the scope is left (a line stopped by
// Ctrl-C returns through it like any other).
struct FixedPointRaise {
    int saved;
    explicit FixedPointRaise(int extra) : saved(fixed_point_limbs) { fixed_point_limbs += extra; }
    ~FixedPointRaise() { fixed_point_limbs = saved; }
    FixedPointRaise(const FixedPointRaise &) = delete;
    FixedPointRaise &operator=(const FixedPointRaise &) = delete;
};

// For the life of a scope the input operand n is seen as an integer
// (frac_limbs 0) and, with `magnitude`, as its magnitude (sign 1); both are
// put back on leaving. Only for operands the call in the scope reads.
struct PlainOperand {
    BigNum *n;
    int32_t frac;
    int8_t sign;
    PlainOperand(BigNum *operand, bool magnitude)
        : n(operand), frac(operand->frac_limbs), sign(operand->sign) {
        n->frac_limbs = 0;
        if (magnitude) n->sign = 1;
    }
    ~PlainOperand() {
        n->frac_limbs = frac;
        n->sign = sign;
    }
    PlainOperand(const PlainOperand &) = delete;
    PlainOperand &operator=(const PlainOperand &) = delete;
};
extern int element_width;      // limbs per element given to the registers (default 6)
extern int display_mode;       // negative: list non-integers as fractions (default 16)

// Shared text buffer of 8 * precision bytes into which values, comparisons and
// factorisations are formatted before printing; allocated by the console.
extern char *output_text;
extern int output_text_size;

// ---------------------------------------------------------------- interrupt
// Set by the console's interrupt handler (Ctrl-C) and cleared only by the
// input loop once it has put the calculator back at the prompt. While it is
// set, any operation of the number core may stop early: its results are then
// well-formed records of no meaning, to be neither listed, stored nor
// compared; every layer hands the interruption up to the input loop.
extern volatile sig_atomic_t interrupt_requested;
inline bool interrupted() { return interrupt_requested != 0; }

// ------------------------------------------------------------- refusals
// The number core prints nothing. Its refusals and notices go, as statuses,
// to refusal_sink, which the layer that talks to the user installs at
// start-up and which holds the texts; while it is null nobody is told.
extern void (*refusal_sink)(Status);
// Operations that refuse (no room, a value out of reach) report it through
// report_refusal (STATUS_NO_ROOM for "the product does not fit"), which
// counts them: a statement evaluated again with more guard limbs can tell a
// refusal caused by the guard from a result.
extern int refusal_count;
inline void report_refusal(Status outcome) {
    if (interrupted()) return;  // an interrupted operation refuses for no reason of its own
    refusal_count++;
    if (refusal_sink) refusal_sink(outcome);
}
// A notice that is no refusal (STATUS_CROSS_SCALE, STATUS_NO_PERIOD): told
// as it happens, neither counted nor held back while interrupted.
inline void report_notice(Status outcome) {
    if (refusal_sink) refusal_sink(outcome);
}

// -------------------------------------------------------------------- pool
constexpr int POOL_SLOTS = 56;
constexpr int WORK_FRACTIONS = 16;
constexpr int REGISTERS = 30;
extern BigNum num_slots[POOL_SLOTS];  // numerator records
extern BigNum den_slots[POOL_SLOTS];  // denominator records
extern Fraction work_frac[WORK_FRACTIONS];  // work fraction k = slots k
extern BigNum *reg_num[REGISTERS];    // register numerators (slots 26..55)
extern BigNum *reg_den[REGISTERS];    // register denominators / element storage
// The denominator of variable A + i (i < 26) when it leaves the 64-bit
// window of small_den (whose area holds the elements): capacity P / 10,
// used 0 while the variable's denominator is small_den.
constexpr int VARIABLES = 26;
extern BigNum *var_den[VARIABLES];
extern Fraction reg_frac[REGISTERS];  // register i < 26 is variable 'A'+i
extern BigNum *work_ptr[46];          // work pointer table used by evaluator/functions

// Work BigNum k (k = 0..7) is numerator slot 16 + k; its fixed roles:
// 0 quotient of to_fixed, 1 partial product, 2 accumulator, 3 multiplier,
// 4 common divisor, 5..7 scratch of commands, evaluator, factor text.
inline BigNum *work_int(int k) { return &num_slots[16 + k]; }

void bn_reset(BigNum *n);     // used 0, sign 1, bookkeeping reset, defined 1; limbs untouched
void bn_clear(BigNum *n);     // zero used limbs (+1 above when room) then reset
void bn_set_one(BigNum *n);   // clear, then used 1 and limb 0 = 1
void fraction_init(Fraction *f);  // 0/1
bool bn_is_zero(const BigNum *n);   // both shapes of zero (used 0, or all used limbs 0)
// n is exactly 1: one limb 1, no fraction limbs (either sign).
inline bool bn_is_one(const BigNum *n) { return n->used == 1 && n->frac_limbs == 0 && limb(n, 0) == 1; }
void bn_normalise_zero(BigNum *n);  // all-zero limbs -> used 0, frac 0, sign 1
void bn_strip(BigNum *n);     // drop leading zero limbs from used
// Used count without leading zero limbs (n unchanged), so that a number left
// with zero limbs on top still compares and converts by its value.
inline int top_used(const BigNum *n) {
    int u = n->used;
    while (u > 0 && limb(n, u - 1) == 0) u--;
    return u;
}
// A record over cap limbs of the scratch arena, value 0; false when there is
// no room. Give the limbs back with scratch_release.
[[nodiscard]] bool bn_from_scratch(BigNum *n, int cap);

// Carve the work pool with work denominators of d limbs (P = precision).
// Returns 0, or -1 when the allocation failed (nothing is carved then).
[[nodiscard]] int build_work_pool(int d);
// Carve the 30 registers from one block of precision * 240 bytes; 0 or -1.
[[nodiscard]] int carve_registers();
// Copy element_width into elem_width of the 30 register numerators.
void apply_element_width();
// Start-up helper for tests and tools: set precision to p and carve everything.
[[nodiscard]] int pool_start(int p);

// --------------------------------------------------- integer arithmetic
// Every operation below that can refuse returns a Status: STATUS_OK when
// done, STATUS_NO_ROOM when a result would not fit (nothing changed) unless
// its contract says otherwise; none prints anything.

// d := s with s's bookkeeping fields; d keeps its storage, elem_top, dec_den,
// elem_width and defined. STATUS_OK (also when d is s), or STATUS_NO_ROOM
// when d's capacity cannot hold s's used limbs (d unchanged).
[[nodiscard]] Status copy(BigNum *d, const BigNum *s);
int compare_magnitude(const BigNum *a, const BigNum *b);
// Compares |a| * da with |b| * db (a and b aligned by their fraction limbs,
// da and db read as integers) for records of any length; the products are
// made in the scratch arena. STATUS_OK with *order 1, 0 or -1, or
// STATUS_NO_ROOM when the arena lacks room (*order 0). A numerator never
// defined counts as 0.
[[nodiscard]] Status compare_cross(const BigNum *a, const BigNum *da, const BigNum *b, const BigNum *db,
                                   int *order);
int compare(BigNum *a, BigNum *b);  // either may be null
// r := a + b (operands aligned by their limb offsets; unlike signs go to
// subtract_magnitudes). STATUS_OK, or STATUS_NO_ROOM when the result would
// not fit (r unchanged).
[[nodiscard]] Status add(BigNum *r, BigNum *a, BigNum *b);
// r := a + b for operands of unlike sign (a or b may be null): STATUS_OK, or
// STATUS_NO_ROOM when the operands or the result do not fit (r unchanged).
// Aligning a shorter-scaled b to a tells STATUS_CROSS_SCALE to the sink.
Status subtract_magnitudes(BigNum *r, BigNum *a, BigNum *b);
// r := a * m for a machine integer m (m = 0 sets r's used to 0). STATUS_OK,
// or STATUS_NO_ROOM when the product would not fit (r unchanged).
[[nodiscard]] Status mul_small(BigNum *r, BigNum *a, int32_t m);
// n := n / d truncated toward zero, the non-negative remainder into
// *remainder when it is given (and into n's rem field). STATUS_OK;
// STATUS_DIVISION_BY_ZERO for d = 0 and STATUS_TOO_LARGE for |d| beyond
// 92233720368 (n unchanged, *remainder 0 in both).
[[nodiscard]] Status div_small(BigNum *n, int64_t d, int64_t *remainder = nullptr);
// n := n * BASE^s, truncated for s < 0. STATUS_OK, or STATUS_NO_ROOM when a
// left shift would exceed the capacity (n unchanged).
[[nodiscard]] Status shift_limbs(BigNum *n, int32_t s);
// n := n * 10^s, truncated for s < 0. STATUS_OK, or STATUS_NO_ROOM when the
// capacity lacks used + s/8 + 1 limbs (n unchanged).
[[nodiscard]] Status shift_decimal(BigNum *n, int32_t s);
void set_int64(BigNum *n, int64_t v);
void set_int32(BigNum *n, int32_t v);
[[nodiscard]] bool get_int64(const BigNum *n, int64_t *out);  // true when n fits the 64-bit window
// *out := n as a signed 32-bit value (zero normalised first). STATUS_OK, or
// STATUS_TOO_LARGE when it does not fit (*out = 0).
[[nodiscard]] Status get_int32(BigNum *n, int32_t *out);

// r := a * b (fraction limbs added, signs multiplied; r may be a or b).
// STATUS_OK; STATUS_REFUSED when r has fewer than used(a) + used(b) limbs
// (reported: "the product does not fit"); STATUS_NO_ROOM, not reported, when
// it has exactly that many (r unchanged in both).
[[nodiscard]] Status multiply(BigNum *r, BigNum *a, BigNum *b);
// n := the positive integer in the limb vector v[0 .. len), least
// significant first (len <= n's capacity); leading zero limbs dropped and
// the other fields as after a reset. Long vectors are copied on the team.
void bn_from_vector(BigNum *n, const uint32_t *v, int len);
// Truncated division a / b into q (or over a when q is null), remainder into
// r when r is given. *short_remainder (when given) tells whether a
// machine-integer divisor left a remainder. STATUS_OK, or STATUS_NO_ROOM
// when q cannot hold the dividend or the arena lacks room (nothing changed).
[[nodiscard]] Status divide(BigNum *q, BigNum *r, BigNum *a, BigNum *b, bool *short_remainder = nullptr);
// divide(q, nullptr, n, d) for a divisor d that may carry fraction limbs: n
// is first raised by them and d read as an integer (its frac_limbs is put
// back after). divide's answer, or STATUS_NO_ROOM when n has no room to be
// raised (nothing changed then).
[[nodiscard]] Status divide_scaled(BigNum *q, BigNum *n, BigNum *d, bool *short_remainder = nullptr);
[[nodiscard]] int64_t gcd_lcm(BigNum *g, BigNum *l, BigNum *a, BigNum *b);  // g, l may be null
// g := gcd(|a|, |b|) with the limbs read as integers. STATUS_OK, or
// STATUS_NO_ROOM when g or the arena lacks room (g unchanged).
[[nodiscard]] Status gcd_magnitude(BigNum *g, BigNum *a, BigNum *b);

// ------------------------------------------------------------- fractions
int reduce_small(BigNum *n, BigNum *d);
[[nodiscard]] int common_denominator(Fraction *a, Fraction *b, BigNum *l);  // 1 found, 0 not
void to_fixed(Fraction *f, int s);
// r := a + b and r := x * y: STATUS_OK, or STATUS_REFUSED when the result did
// not fit (reported; r is 0/1).
Status fraction_add(Fraction *r, Fraction *a, Fraction *b);
// Recognises a repeating fixed-point decimal as the exact fraction: STATUS_OK
// when f became it (or nothing was left to do), STATUS_NO_PERIOD when f was
// left as it was.
Status to_fraction(Fraction *f);
int64_t find_period(BigNum *n, int b);
Status fraction_product(Fraction *r, Fraction *x, Fraction *y);

// ----------------------------------------------------------- number text
int parse_decimal(const char *text, BigNum *n);
int parse_literal(const char *text, Fraction *f);
int format_bignum(BigNum *n, char *out);
int format_decimal(Fraction *f, char *out);
