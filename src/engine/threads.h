// How many threads a computation may use: products, binary splitting and
// the factorisation's sieve split their work into at most this many pieces.
// Set once at start-up (the command line's --threads N); 1 runs everything
// on the calling thread.
#pragma once

// The number of threads, at least 1; by default the machine's cores.
int engine_threads();

// Sets the number of threads, clamped to 1..THREADS_MAX; call before any
// computation starts (the count sizes the per-thread scratch).
void set_engine_threads(int n);

constexpr int THREADS_MAX = 64;
