// The process-wide thread count of the engine (engine/threads.h).
#include "threads.h"

#include <thread>

namespace {
int thread_count = 0;  // 0: not set, the machine's cores
}

int engine_threads() {
    if (thread_count == 0) {
        unsigned cores = std::thread::hardware_concurrency();
        thread_count = cores == 0 ? 1 : cores > unsigned(THREADS_MAX) ? THREADS_MAX : int(cores);
    }
    return thread_count;
}

void set_engine_threads(int n) { thread_count = n < 1 ? 1 : n > THREADS_MAX ? THREADS_MAX : n; }
