// The quadratic sieve's relations: full ones and partial ones with one or
// two large primes, the count of independent cycles in the graph of large
// primes as they arrive, and the cycles turned into combined relations.
#pragma once
#include <cstdint>
#include <unordered_map>
#include <vector>

constexpr int Y_WORDS = 3;  // |A x + B| in 64-bit words: numbers of up to 320 bits

// y^2 = (the listed factor-base primes) * l1 * l2 * sign (mod N); l1 and l2
// are 1 when absent (both 1: a full relation). The factor-base indices live
// in RelationSet::factors from `start`, `len` of them, repeats for powers.
struct Relation {
    uint64_t y[Y_WORDS];
    uint32_t l1, l2;
    uint32_t start;
    uint16_t len;
    bool negative;
};

// Every relation kept, with a union-find forest over the large primes (the
// vertex of "no prime" is 1) that counts the cycles: each cycle of partial
// relations multiplies into a relation without large primes.
struct RelationSet {
    std::vector<Relation> rels;
    std::vector<uint32_t> factors;
    std::unordered_map<uint32_t, int> vertex;  // large prime -> vertex id
    std::vector<int> parent;                   // union-find over vertex ids
    long fulls = 0, cycles = 0;
};

// Empties the set for a new search (the vectors keep their room).
void relations_clear(RelationSet &set);
// Adds a relation whose `len` factor-base indices are in `list`; l1 <= l2,
// either 1 when absent. Updates the counts of full relations and cycles.
void relations_add(RelationSet &set, const uint64_t *y, bool negative, uint32_t l1, uint32_t l2,
                   const uint32_t *list, int len);
// Relations usable by the matrix: the full ones and one per cycle.
inline long relations_usable(const RelationSet &set) { return set.fulls + set.cycles; }
// The combined relations: each a list of relation indices whose product has
// every large prime to an even power; the full relations first, one each,
// then one per fundamental cycle of a spanning forest of the large-prime
// graph. `members` receives the indices, `offsets` the start of each
// combination (offsets.size() = combinations + 1).
void relations_combine(const RelationSet &set, std::vector<uint32_t> &members, std::vector<uint32_t> &offsets);
