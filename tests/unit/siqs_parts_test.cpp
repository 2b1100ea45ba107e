// The quadratic sieve's parts on their own: cycles in the graph of large
// primes turned into combined relations, and dependencies of sparse GF(2)
// matrices by dense elimination and by block Lanczos.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "factor/siqs_matrix.h"
#include "factor/siqs_relations.h"

namespace {

void add(RelationSet &set, uint64_t y, uint32_t l1, uint32_t l2) {
    uint64_t words[Y_WORDS] = {y, 0, 0};
    uint32_t list[1] = {static_cast<uint32_t>(y)};
    relations_add(set, words, false, l1, l2, list, 1);
}

// The combinations of a set, each as a list of relation indices.
std::vector<std::vector<uint32_t>> combinations(const RelationSet &set) {
    std::vector<uint32_t> members, offsets;
    relations_combine(set, members, offsets);
    std::vector<std::vector<uint32_t>> out;
    for (size_t c = 0; c + 1 < offsets.size(); c++)
        out.emplace_back(members.begin() + offsets[c], members.begin() + offsets[c + 1]);
    return out;
}

// One full relation; two partials on the same prime (a pair); a triangle
// 1 - 101 - 103 - 1 closed by a third edge; a pair of double partials on
// the same two primes; a square of a large prime (a loop); a tree edge
// that closes nothing. Five usable relations, and each combination has
// every large prime to an even power, uses distinct relations and its
// factor-base lists are those of its members.
TEST(SiqsCycles, HandMadeGraph) {
    RelationSet set;
    add(set, 0, 1, 1);      // full
    add(set, 1, 1, 101);
    add(set, 2, 1, 101);    // pair with relation 1
    add(set, 3, 101, 103);
    add(set, 4, 1, 103);    // triangle 1 - 101 - 103
    add(set, 5, 107, 109);
    add(set, 6, 107, 109);  // pair of double partials
    add(set, 7, 113, 113);  // a loop
    add(set, 8, 109, 127);  // a tree edge only
    EXPECT_EQ(set.fulls, 1);
    EXPECT_EQ(set.cycles, 4);
    EXPECT_EQ(relations_usable(set), 5);
    std::vector<std::vector<uint32_t>> combos = combinations(set);
    ASSERT_EQ(combos.size(), 5u);
    EXPECT_EQ(combos[0], std::vector<uint32_t>{0});
    std::multiset<size_t> lengths;
    for (size_t c = 1; c < combos.size(); c++) {
        std::map<uint32_t, int> large;
        std::set<uint32_t> distinct(combos[c].begin(), combos[c].end());
        EXPECT_EQ(distinct.size(), combos[c].size());
        for (uint32_t r : combos[c]) {
            const Relation &rel = set.rels[r];
            EXPECT_NE(rel.l2, 1u);
            EXPECT_EQ(set.factors[rel.start], static_cast<uint32_t>(rel.y[0]));
            if (rel.l1 > 1) large[rel.l1]++;
            large[rel.l2]++;
        }
        for (auto &e : large) EXPECT_EQ(e.second % 2, 0) << "prime " << e.first << " in combination " << c;
        EXPECT_EQ(distinct.count(8), 0u);
        lengths.insert(combos[c].size());
    }
    EXPECT_EQ(lengths, (std::multiset<size_t>{1, 2, 2, 3}));
    relations_clear(set);
    EXPECT_EQ(relations_usable(set), 0);
    EXPECT_TRUE(combinations(set).empty());
}

// A long cycle through a chain of double partials: 1 - p1 - p2 - ... - p9 - 1.
TEST(SiqsCycles, LongChain) {
    RelationSet set;
    add(set, 0, 1, 1000);
    for (uint32_t i = 0; i < 9; i++) add(set, i + 1, 1000 + i, 1001 + i);
    EXPECT_EQ(set.cycles, 0);
    add(set, 10, 1, 1009);
    EXPECT_EQ(set.cycles, 1);
    std::vector<std::vector<uint32_t>> combos = combinations(set);
    ASSERT_EQ(combos.size(), 1u);
    EXPECT_EQ(combos[0].size(), 11u);
}

// ---------------------------------------------------------------- matrices

uint64_t next(uint64_t &state) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 33;
}

// Columns of about `weight` ones, drawn mostly from the low rows as the
// small primes are, with a few rows no column holds and one column
// holding a row no other holds (it cannot be in any dependency).
SparseColumns random_matrix(int rows, int cols, int weight, uint64_t seed) {
    SparseColumns m;
    m.rows = rows;
    m.offsets.assign(1, 0);
    for (int c = 0; c < cols; c++) {
        std::set<uint32_t> picked;
        for (int k = 0; k < weight; k++) {
            uint32_t r = static_cast<uint32_t>(next(seed) % (rows - 3));
            if (k % 2) r = static_cast<uint32_t>(r % 40);
            picked.insert(r);
        }
        if (c == 0) picked.insert(static_cast<uint32_t>(rows - 1));
        m.entries.insert(m.entries.end(), picked.begin(), picked.end());
        m.offsets.push_back(static_cast<uint32_t>(m.entries.size()));
    }
    return m;
}

bool never_stop() { return false; }

// Every set found is non-empty, distinct from the others, sums to zero,
// and leaves out the column with the lonely row.
void expect_dependencies(const SparseColumns &m, int at_least) {
    std::vector<uint64_t> deps;
    int words = 0, found = matrix_dependencies(m, 64, deps, &words, never_stop);
    ASSERT_GE(found, at_least);
    int cols = static_cast<int>(m.offsets.size()) - 1;
    ASSERT_EQ(words, (cols + 63) / 64);
    std::set<std::vector<uint64_t>> seen;
    for (int d = 0; d < found; d++) {
        std::vector<uint64_t> set(deps.begin() + d * words, deps.begin() + (d + 1) * words);
        EXPECT_TRUE(seen.insert(set).second) << "dependency " << d << " repeats";
        std::vector<char> sum(m.rows, 0);
        int members = 0;
        for (int c = 0; c < cols; c++) {
            if (!((set[c / 64] >> (c % 64)) & 1)) continue;
            members++;
            for (uint32_t k = m.offsets[c]; k < m.offsets[c + 1]; k++) sum[m.entries[k]] ^= 1;
        }
        EXPECT_GT(members, 0);
        EXPECT_EQ(set[0] & 1, 0u) << "the column of the lonely row";
        for (int r = 0; r < m.rows; r++) EXPECT_EQ(sum[r], 0) << "dependency " << d << " row " << r;
    }
}

TEST(SiqsMatrix, DenseElimination) { expect_dependencies(random_matrix(300, 340, 12, 7), 30); }

// Large enough for block Lanczos, which finds them without the dense
// elimination's help.
TEST(SiqsMatrix, BlockLanczos) {
    long before = lanczos_fallbacks;
    expect_dependencies(random_matrix(4600, 4700, 14, 11), 30);
    EXPECT_EQ(lanczos_fallbacks, before);
}

bool stop_now() { return true; }

TEST(SiqsMatrix, StopsWhenPolled) {
    std::vector<uint64_t> deps;
    int words = 0;
    EXPECT_EQ(matrix_dependencies(random_matrix(300, 340, 12, 7), 64, deps, &words, stop_now), -1);
    EXPECT_EQ(matrix_dependencies(random_matrix(4600, 4700, 14, 11), 64, deps, &words, stop_now), -1);
}

}  // namespace
