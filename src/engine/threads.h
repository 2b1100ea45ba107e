// How many threads a computation may use, and the engine's workers: a
// small pool of threads started once at start-up, each with a context of
// its own reserved then, which long products and binary splittings hand
// parts of their work to. The calculator's state stays on the thread that
// started it; a worker only ever runs the part of an engine or kernel
// operation it was given, on its own context or on buffers the caller
// shares out.
#pragma once
#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdint>

#include "context.h"

constexpr int THREADS_MAX = 64;

// The number of threads asked for, at least 1; by default the machine's
// cores. Products, binary splitting and the factorisation's sieve split
// their work into at most this many pieces; 1 runs everything on the
// calling thread.
int engine_threads();

// Sets the number of threads, clamped to 1..THREADS_MAX; call before
// threads_reserve (the count sizes the per-thread space).
void set_engine_threads(int n);

// Starts the workers (once) and reserves their contexts: engine_threads()
// - 1 of them, each with an arena of scratch_limbs limbs and product
// buffers for products of up to product_limbs limbs, polling `stop`. Space
// is only ever grown, as the core's is, and costs nothing until touched.
// Returns the number of threads ready to work (the caller included), which
// is smaller than engine_threads() when a worker's space cannot be had.
int threads_reserve(size_t scratch_limbs, int product_limbs, const volatile sig_atomic_t *stop);

// Threads ready to work, the caller included (1 before threads_reserve).
int threads_ready();

// The context of the worker in slot s, 1 <= s < threads_ready(). Slot 0 is
// the thread that started the calculator, whose context is its own.
Context &thread_context(int slot);

// Has the worker in slot s run job(arg) and returns at once; the slot must
// be idle (every post is followed by a thread_wait before the next).
void thread_post(int slot, void (*job)(void *), void *arg);
// Waits until the job posted to slot s has finished; everything it wrote
// is then visible to the caller.
void thread_wait(int slot);

// A barrier for the `size` members of a team (see team_run).
struct Barrier {
    std::atomic<unsigned> arrived{0};
    std::atomic<unsigned> phase{0};  // passes so far; sleepers wait on it
    std::atomic<unsigned> sleepers{0};
    unsigned size = 1;
};

// Waits until every member of the team has arrived; what each wrote
// before arriving is then visible to all. Spins briefly, then sleeps: on a
// busy machine a member may wait for another's turn on a core, and
// spinning would only spend the process's share of it.
void barrier_wait(Barrier &b);

// Work a team shares out in phases: each phase is a number of chunks that
// the members take one at a time, whichever is free, so that a member the
// system holds back (other processes on the cores) delays the rest by the
// chunk it holds rather than by a fixed share. Every member goes through
// the same phases and ends each at the barrier.
struct TeamWork {
    std::atomic<uint64_t> ticket{0};
    Barrier barrier;
};

// One member's place in the phases of a TeamWork.
struct Turn {
    TeamWork &work;
    uint64_t base = 0;  // the first ticket of the current phase
    explicit Turn(TeamWork &w) : work(w) {}
};

// The next chunk of the current phase of `count` chunks into *chunk, or
// false once the phase has no more: the member then waits at the barrier
// (end_phase) before the next. Each member's last take overshoots by one
// ticket, so the next phase starts count + members tickets on.
inline bool take_chunk(Turn &turn, size_t count, size_t *chunk) {
    uint64_t t = turn.work.ticket.fetch_add(1, std::memory_order_relaxed) - turn.base;
    if (t < count) {
        *chunk = size_t(t);
        return true;
    }
    turn.base += count + turn.work.barrier.size;
    return false;
}

// Runs job(arg, m) for members m = 0 .. size - 1 at once, member 0 on the
// calling thread (slot `first`) and member m on the worker of slot first +
// m, which must be idle; returns when all have finished. Members meet at
// barriers of their own (a Barrier of `size` members in arg).
void team_run(int first, int size, void (*job)(void *arg, int member), void *arg);

// Streaming passes (copies, conversions) shorter than this many elements
// run on the calling thread: below it handing out the halves costs more
// than they save.
constexpr size_t TEAM_FOR_MIN = size_t(1) << 18;

// body(arg, lo, hi) over [0, n) cut into one range per member of cx's team
// (cx.team_first .., cx.team_size of them, workers idle), or whole on the
// calling thread when n < TEAM_FOR_MIN or the team is one thread. The
// ranges are disjoint and in order; returns when every range is done.
void team_for(Context &cx, size_t n, void (*body)(void *arg, size_t lo, size_t hi), void *arg);
