// Linear algebra of the quadratic sieve: dependencies over GF(2) among the
// exponent-parity vectors of the combined relations.
#pragma once
#include <cstdint>
#include <vector>

// A sparse matrix over GF(2) by columns: column c (a combined relation) has
// ones in the rows entries[offsets[c] .. offsets[c + 1]) (rows < `rows`,
// each listed once).
struct SparseColumns {
    int rows;
    std::vector<uint32_t> entries;
    std::vector<uint32_t> offsets;
};

// Finds up to `wanted` sets of columns that each sum to zero. Each set goes
// to `deps` as a bit set of `*words` 64-bit words over the columns. Columns
// that cannot take part (a row met only once) are dropped first; a dense
// elimination serves small matrices, block Lanczos larger ones. `poll` is
// called every few milliseconds and stops the work when it returns true.
// Returns the number of sets, or -1 when stopped.
int matrix_dependencies(const SparseColumns &m, int wanted, std::vector<uint64_t> &deps, int *words,
                        bool (*poll)());

// Times block Lanczos found nothing and the dense elimination took over
// (counted over the process, for the tests).
extern long lanczos_fallbacks;
