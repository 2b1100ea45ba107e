// State shared by the stages of one factorisation search (rho, elliptic
// curves, quadratic sieve): the stop flag, the progress marks, the key poll,
// and the stages' entry points with their common result codes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "../engine/gmp_api.h"

// Results of a stage: a divisor found, the search stopped by a key or
// Ctrl-C, or the stage's effort spent (or the stage failed) without one.
constexpr int SEARCH_FOUND = 1;
constexpr int SEARCH_STOPPED = 0;
constexpr int SEARCH_EXHAUSTED = -1;

extern bool stop_flag;  // a key or Ctrl-C stopped this factorisation
extern int mark_count;  // progress marks printed in this factorisation

// Milliseconds of a monotonic clock: the sieve runs in a child process, so
// the calculator's own processor time would not advance while it waits.
long monotonic_ms();
// Clears the flag, the mark counter and the mark clock for a new search.
void progress_start();
// One check point of a search: prints a progress mark when the last one is
// at least mark_interval_ms old, then polls Ctrl-C and the key. Sets and
// returns stop_flag.
bool progress_check();
// Gives the terminal back its line mode after a search that polled keys.
void key_poll_end();

// Rho on a number below 2^128 in machine words (Montgomery arithmetic);
// max_iterations < 0 means no bound. divisor_out gets 1 < d < n when found.
int rho_words(unsigned __int128 n, unsigned __int128 *divisor_out, long max_iterations);
// Elliptic curves through the bound library for at most `seconds` (< 0: no
// bound), B1 growing with the curves run.
int ecm_search(mpz_ptr m, mpz_ptr divisor_out, double seconds);
// Largest number the own quadratic sieve takes (96 digits): |A x + B| is
// kept in three 64-bit words.
constexpr size_t SIQS_MAX_BITS = 320;
// The self-initialising quadratic sieve in this process on a composite m of
// 40 to SIQS_MAX_BITS bits, on engine_threads() threads: SEARCH_FOUND with a
// proper divisor of m, SEARCH_STOPPED (the key polled at least every 5 ms
// by the calling thread, the others ending their polynomial), or
// SEARCH_EXHAUSTED when no dependency gave one. Deterministic on one
// thread: the same m gives the same divisor.
int siqs_search(mpz_srcptr m, mpz_ptr divisor_out);
// Whether the sieve uses the processor's vector units (512 and 256 bits)
// where they are there; off, it takes the plain paths throughout, which
// find the same relations (the tests compare the two).
extern bool siqs_vector_units;
// Relations (full and partial) the last sieving kept: on one thread the
// same for the same number, whatever paths found them.
extern long siqs_relations_kept;
// The Knuth–Schroeppel multiplier the sieve uses for m.
unsigned siqs_multiplier(mpz_srcptr m);
// The quadratic sieve of the bound library in a child process. Exhausted
// when the child fails or returns no proper divisor.
int sieve_search(mpz_ptr m, mpz_ptr divisor_out);
