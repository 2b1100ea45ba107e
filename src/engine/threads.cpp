// The process-wide thread count of the engine and its workers
// (engine/threads.h): one slot per worker, each with a mailbox for one job
// at a time and the context reserved for it at start-up.
#include "threads.h"

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "fastmul.h"
#include "scratch.h"

namespace {

int thread_count = 0;  // 0: not set, the machine's cores
int ready_count = 1;

// Polls of a flag before a waiting thread sleeps: a few microseconds, so
// that the barriers of a product and a burst of products rarely pay for a
// sleep and a wake-up, while a thread left waiting soon stops taking time
// from the others on a shared machine.
constexpr int SPINS = 1 << 13;

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// The system's wait on (or wake of the waiters on) a 32-bit word.
void futex(std::atomic<unsigned> *word, int op, int value) {
    static_assert(sizeof(std::atomic<unsigned>) == sizeof(int), "the kernel reads the word as an int");
    syscall(SYS_futex, reinterpret_cast<int *>(word), op, value, nullptr, nullptr, 0);
}

enum SlotState : int { SLOT_IDLE, SLOT_POSTED, SLOT_DONE };

struct Slot {
    std::mutex lock;
    std::condition_variable wake;  // a job posted, or a job done
    std::atomic<int> state{SLOT_IDLE};
    void (*job)(void *) = nullptr;
    void *arg = nullptr;
    Context cx;
    bool started = false;
};

// Made once and never destroyed: the workers outlive every static
// destructor and block on these mutexes until the process ends.
Slot *slots = nullptr;

// Waits until slot's state is `want`: spins a while, then sleeps on the
// slot's condition variable (the other side notifies under the lock).
void wait_for(Slot &s, int want) {
    for (int i = 0; i < SPINS; i++) {
        if (s.state.load(std::memory_order_acquire) == want) return;
        relax();
    }
    std::unique_lock<std::mutex> hold(s.lock);
    s.wake.wait(hold, [&] { return s.state.load(std::memory_order_acquire) == want; });
}

void set_state(Slot &s, int to) {
    {
        std::lock_guard<std::mutex> hold(s.lock);
        s.state.store(to, std::memory_order_release);
    }
    s.wake.notify_all();
}

void *worker_main(void *p) {
    Slot &s = *static_cast<Slot *>(p);
    for (;;) {
        wait_for(s, SLOT_POSTED);
        s.job(s.arg);
        set_state(s, SLOT_DONE);
    }
    return nullptr;
}

// Starts the worker of slot s; false when the system refuses a thread.
bool start_worker(Slot &s) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t id;
    bool ok = pthread_create(&id, &attr, worker_main, &s) == 0;
    pthread_attr_destroy(&attr);
    return ok;
}

struct MemberCall {
    void (*job)(void *, int);
    void *arg;
    int member;
};

void run_member(void *p) {
    MemberCall &c = *static_cast<MemberCall *>(p);
    c.job(c.arg, c.member);
}

}  // namespace

int engine_threads() {
    if (thread_count == 0) {
        unsigned cores = std::thread::hardware_concurrency();
        thread_count = cores == 0 ? 1 : cores > unsigned(THREADS_MAX) ? THREADS_MAX : int(cores);
    }
    return thread_count;
}

void set_engine_threads(int n) { thread_count = n < 1 ? 1 : n > THREADS_MAX ? THREADS_MAX : n; }

int threads_reserve(size_t scratch_limbs, int product_limbs, const volatile sig_atomic_t *stop) {
    const int want = engine_threads();
    if (want > 1 && !slots) slots = new Slot[THREADS_MAX];
    int ready = 1;
    for (int s = 1; s < want; s++) {
        Slot &w = slots[s];
        if (scratch_reserve(w.cx, scratch_limbs) != STATUS_OK || fastmul_reserve(w.cx, product_limbs) != STATUS_OK)
            break;
        w.cx.stop = stop;
        if (!w.started && !(w.started = start_worker(w))) break;
        ready++;
    }
    ready_count = ready;
    return ready;
}

int threads_ready() { return ready_count; }

Context &thread_context(int slot) { return slots[slot].cx; }

void thread_post(int slot, void (*job)(void *), void *arg) {
    Slot &s = slots[slot];
    s.job = job;
    s.arg = arg;
    set_state(s, SLOT_POSTED);
}

void thread_wait(int slot) {
    Slot &s = slots[slot];
    wait_for(s, SLOT_DONE);
    s.state.store(SLOT_IDLE, std::memory_order_relaxed);
}

void barrier_wait(Barrier &b) {
    unsigned phase = b.phase.load(std::memory_order_acquire);
    if (b.arrived.fetch_add(1, std::memory_order_acq_rel) + 1 == b.size) {
        b.arrived.store(0, std::memory_order_relaxed);
        // Sequentially consistent with the sleepers' count below: either
        // this sees a sleeper coming, or the sleeper sees the new phase.
        b.phase.store(phase + 1);
        if (b.sleepers.load() != 0) futex(&b.phase, FUTEX_WAKE_PRIVATE, INT_MAX);
        return;
    }
    for (int i = 0; i < SPINS; i++) {
        if (b.phase.load(std::memory_order_acquire) != phase) return;
        relax();
    }
    b.sleepers.fetch_add(1);
    // The kernel sleeps only while the phase is still the one read.
    while (b.phase.load() == phase) futex(&b.phase, FUTEX_WAIT_PRIVATE, int(phase));
    b.sleepers.fetch_sub(1);
}

void team_run(int first, int size, void (*job)(void *, int), void *arg) {
    MemberCall calls[THREADS_MAX];
    for (int m = 1; m < size; m++) {
        calls[m] = MemberCall{job, arg, m};
        thread_post(first + m, run_member, &calls[m]);
    }
    job(arg, 0);
    for (int m = 1; m < size; m++) thread_wait(first + m);
}

namespace {

struct ForJob {
    size_t n;
    int members;
    void (*body)(void *, size_t, size_t);
    void *arg;
};

void for_member(void *arg, int m) {
    const ForJob &j = *static_cast<const ForJob *>(arg);
    size_t lo = j.n * size_t(m) / size_t(j.members), hi = j.n * size_t(m + 1) / size_t(j.members);
    if (lo < hi) j.body(j.arg, lo, hi);
}

}  // namespace

void team_for(Context &cx, size_t n, void (*body)(void *, size_t, size_t), void *arg) {
    if (n < TEAM_FOR_MIN || cx.team_size <= 1) {
        if (n > 0) body(arg, 0, n);
        return;
    }
    ForJob j{n, cx.team_size, body, arg};
    team_run(cx.team_first, cx.team_size, for_member, &j);
}
