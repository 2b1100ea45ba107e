// The elliptic curve stage: curves of the bound library on every engine
// thread, with a first-stage bound B1 that grows level by level with the
// curves run, polled for the key and Ctrl-C from inside each curve.
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "../engine/threads.h"
#include "factor_libs.h"
#include "search.h"

namespace {

// B1 and the number of curves that find most factors of about 15, 20, ...
// 60 digits; the last level repeats for as long as the search runs.
struct EcmLevel {
    double b1;
    int curves;
};
const EcmLevel LEVELS[] = {
    {2000, 25},       {11000, 90},      {50000, 300},     {250000, 700},     {1000000, 1800},
    {3000000, 5100},  {11000000, 10600}, {43000000, 19300}, {110000000, 49000}, {260000000, 124000},
};
constexpr int LEVEL_COUNT = sizeof LEVELS / sizeof LEVELS[0];
constexpr long POLL_MS = 10;  // least time between two check points inside a curve

// The curves of one search, shared by the threads that run them: the next
// curve's number (its level follows from it), the end of the time allowed,
// and whether the search is over (found, stopped, failed or out of time).
struct CurveRun {
    std::atomic<long> next_curve{0};
    std::atomic<bool> over{false};
    std::atomic<int> outcome{SEARCH_EXHAUSTED};
    long deadline_ms = -1;  // < 0: none
    std::mutex found_lock;
    mpz_ptr divisor_out = nullptr;
};

CurveRun *run;
long last_poll_ms;
thread_local bool polling_thread;  // the caller of ecm_search: polls the key

// Called by the library many times per curve. The polling thread consults
// the check point at most every POLL_MS; every thread ends its curve at
// once when the search is over. Non-zero tells the curve to end.
int stop_asap() {
    if (run->over.load(std::memory_order_relaxed)) return 1;
    if (!polling_thread) return 0;
    long now = monotonic_ms();
    if (now - last_poll_ms < POLL_MS) return 0;
    last_poll_ms = now;
    if (!progress_check()) return 0;
    run->outcome = SEARCH_STOPPED;
    run->over = true;
    return 1;
}

// B1 of curve number c: the levels' curves one after another, the last
// level repeating.
double b1_of_curve(long c) {
    for (int level = 0; level < LEVEL_COUNT - 1; level++) {
        if (c < LEVELS[level].curves) return LEVELS[level].b1;
        c -= LEVELS[level].curves;
    }
    return LEVELS[LEVEL_COUNT - 1].b1;
}

// Curves on m, taking numbers from `run`, until the search is over; the
// first divisor found ends it. m is this thread's own copy.
void run_curves(mpz_ptr m, bool polls) {
    polling_thread = polls;
    mpz_t divisor;
    gmp.init(divisor);
    while (!run->over) {
        double b1 = b1_of_curve(run->next_curve++);
        ecm_params p;
        ecm_lib.init(p);
        p->stop_asap = stop_asap;
        int r = ecm_lib.factor(divisor, m, b1, p);
        ecm_lib.clear(p);
        bool stopped = polls && !run->over && progress_check();  // a check point after each curve
        std::lock_guard<std::mutex> hold(run->found_lock);
        if (run->over) break;
        if (stopped) {
            run->outcome = SEARCH_STOPPED;
            run->over = true;
            break;
        }
        if (r < 0) {
            run->over = true;  // the library failed: the stage gives up
        } else if (r > 0 && gmp.cmp_ui(divisor, 1) > 0 && gmp.cmp(divisor, m) < 0) {
            gmp.set(run->divisor_out, divisor);
            run->outcome = SEARCH_FOUND;
            run->over = true;
        } else if (run->deadline_ms >= 0 && monotonic_ms() >= run->deadline_ms) {
            run->over = true;
        }
    }
    gmp.clear(divisor);
}

void curve_worker(mpz_srcptr m) {
    mpz_t own;
    gmp.init_set(own, m);
    run_curves(own, false);
    gmp.clear(own);
}

}  // namespace

// Elliptic curves on a composite m that is not a perfect power, for at least
// `seconds` of wall time (< 0: until found or stopped), level by level, on
// engine_threads() threads: each takes the next curve of the levels'
// sequence, so n threads run in a given time the curves one thread runs in
// n times that. The calling thread polls the key and Ctrl-C between and
// inside its curves; the others end theirs as soon as the search is over.
int ecm_search(mpz_ptr m, mpz_ptr divisor_out, double seconds) {
    CurveRun shared;
    long start = monotonic_ms();
    // A share of a sieve's time on a large number can exceed any clock
    // (10^80 s and more): from a million years on it is no bound at all.
    shared.deadline_ms = seconds >= 0 && seconds < 3e13 ? start + long(seconds * 1000) : -1;
    shared.divisor_out = divisor_out;
    run = &shared;
    last_poll_ms = start;
    std::vector<std::thread> others;
    for (int t = 1; t < engine_threads(); t++) others.emplace_back(curve_worker, m);
    run_curves(m, true);
    for (std::thread &t : others) t.join();
    run = nullptr;
    return stop_flag ? SEARCH_STOPPED : shared.outcome.load();
}
