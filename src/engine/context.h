// The engine's explicit state: the scratch arena and product buffers of one
// computation, the working precision of the floating kernels, the outcome
// of the work so far and the flag polled for an interrupt. Nothing in the
// engine is shared between contexts except read-only tables.
#pragma once
#include <csignal>
#include <cstddef>
#include <cstdint>

// Outcomes of the engine, the number core and the kernels. Functions return
// them by name; callers never compare against numbers.
enum Status : int {
    STATUS_OK = 0,
    STATUS_NO_ROOM,           // a result or the work space does not fit
    STATUS_INTERRUPTED,       // the polled stop flag was raised (Ctrl-C)
    STATUS_DOMAIN,            // outside the function's domain
    STATUS_DIVISION_BY_ZERO,  // a divisor that is zero
    STATUS_TOO_LARGE,         // a value beyond what the operation takes
    STATUS_UNCERTAIN,         // the room ran out before the last place was sure
    // A result that does not fit, its refusal already reported (counted and
    // told through refusal_sink, number/bignum.h); STATUS_NO_ROOM is one
    // not yet reported, which the caller reports or passes over.
    STATUS_REFUSED,
    STATUS_NO_PERIOD,         // no repeating period recognised (value unchanged)
    // Told through refusal_sink only, never returned: a difference whose
    // operand with fewer fraction limbs was read at the other's scale.
    STATUS_CROSS_SCALE,
};

// Short lower-case name of a status, for tests and diagnostics.
const char *status_name(Status s);

struct ConstantCache;  // the kernels' cached constants (kernels/real.cpp)

struct Context {
    // Scratch arena: a bump allocator over `scratch_limbs` limbs.
    uint32_t *scratch = nullptr;
    size_t scratch_limbs = 0;
    size_t scratch_top = 0;
    size_t scratch_peak = 0;
    bool owns_scratch = false;  // mapped by scratch_reserve (else carved)

    // Product buffers (fastmul.cpp): the transform coefficients, the
    // partial products of trees and powers, the callers' staging area and
    // the Karatsuba scratch, for products of up to product_limbs limbs.
    int product_limbs = 0;
    size_t transform_max = 0;
    uint64_t *coef[4] = {};
    uint32_t *tree = nullptr;
    uint32_t *stage = nullptr;
    uint32_t *kara = nullptr;
    void *product_block = nullptr;  // mapped by fastmul_reserve (else carved)
    size_t product_bytes = 0;

    // Threads the long operations on this context may share their work
    // with: the slots team_first .. team_first + team_size - 1 of
    // engine/threads.h, the first being the thread that runs the context.
    // 1 keeps everything on that thread.
    int team_first = 0;
    int team_size = 1;

    // Mantissa limbs kept by every rounding operation of the floating
    // kernels (kernels/real_flt.h).
    int prec = 4;
    // Cached constants of the kernels, or null: then nothing is cached.
    ConstantCache *constants = nullptr;

    // The first failure of a kernel run: STATUS_INTERRUPTED once the stop
    // flag was seen raised, STATUS_NO_ROOM when the arena ran out. While it
    // is set the floating operations return zero at once and the kernels'
    // loops leave; the kernels clear it at each entry. The limb-vector
    // operations poll the flag itself and leave early once it is raised.
    Status status = STATUS_OK;
    const volatile sig_atomic_t *stop = nullptr;
    uint64_t polls = 0;  // polls of the stop flag so far (see stop_raised)
    // After a kernel returned STATUS_UNCERTAIN: its value is right within
    // BASE^error_exponent (an absolute bound, in limbs).
    int64_t error_exponent = 0;
};

// Counts a poll (a measure of work for tests) and tells whether the stop
// flag is raised; cx.status is left alone.
inline bool stop_raised(Context &cx) {
    cx.polls++;
    return cx.stop && *cx.stop;
}

// Polls the stop flag: true, and cx.status STATUS_INTERRUPTED, when it is
// raised. The status stays until the owner of the context clears it (the
// kernels at each entry), so that a computation that was stopped halfway
// never passes for a finished one.
inline bool stopped(Context &cx) {
    if (!stop_raised(cx)) return false;
    cx.status = STATUS_INTERRUPTED;
    return true;
}

// Sets the working precision of the kernels for the life of a scope and
// puts the previous one back on leaving it.
struct PrecisionScope {
    Context &cx;
    int saved;
    PrecisionScope(Context &c, int limbs) : cx(c), saved(c.prec) { c.prec = limbs; }
    ~PrecisionScope() { cx.prec = saved; }
    PrecisionScope(const PrecisionScope &) = delete;
    PrecisionScope &operator=(const PrecisionScope &) = delete;
};

// A context for another thread, carved from the scratch of `parent`: an
// arena of scratch_limbs limbs and product buffers for products of up to
// product_limbs limbs (at most the parent's). The child polls the parent's
// stop flag, starts at the parent's precision and caches no constants.
// Give the space back with scratch_release(parent, mark) once the child is
// done, mark taken before the carving. STATUS_OK, or STATUS_NO_ROOM when the
// parent lacks room.
[[nodiscard]] Status context_carve(Context &child, Context &parent, size_t scratch_limbs, int product_limbs);
