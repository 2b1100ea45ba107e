// Dependencies over GF(2) for the quadratic sieve: the columns are pruned
// of rows met once, then a bit-packed Gaussian elimination (small matrices)
// or block Lanczos with 64-bit blocks (large ones) finds the sets of columns
// that sum to zero.
#include "siqs_matrix.h"

#include <cassert>
#include <cstddef>

long lanczos_fallbacks = 0;

namespace {

constexpr int EXCESS = 64;          // columns kept beyond the rows still in use
constexpr int DENSE_LIMIT = 4000;   // largest matrix eliminated densely
constexpr int LANCZOS_TRIES = 3;    // random starts before the dense fall-back

// Drops, again and again, every column holding a row that no other kept
// column holds (it can be in no dependency). Marks the columns kept in
// `keep` and numbers the rows still in use in `row_id` (-1 for the others).
// Returns the number of rows in use.
int prune(const SparseColumns &m, std::vector<char> &keep, std::vector<int> &row_id) {
    int cols = static_cast<int>(m.offsets.size()) - 1;
    std::vector<int> weight(m.rows, 0);
    keep.assign(cols, 1);
    for (uint32_t e : m.entries) weight[e]++;
    for (bool changed = true; changed;) {
        changed = false;
        for (int c = 0; c < cols; c++) {
            if (!keep[c]) continue;
            bool single = false;
            for (uint32_t k = m.offsets[c]; k < m.offsets[c + 1]; k++) single |= weight[m.entries[k]] == 1;
            if (!single) continue;
            keep[c] = 0;
            changed = true;
            for (uint32_t k = m.offsets[c]; k < m.offsets[c + 1]; k++) weight[m.entries[k]]--;
        }
    }
    row_id.assign(m.rows, -1);
    int used = 0;
    for (int r = 0; r < m.rows; r++)
        if (weight[r] > 0) row_id[r] = used++;
    return used;
}

// The chosen columns become the rows of a dense bit matrix (the used rows
// of the sparse one its columns) followed by an identity part that records
// which columns were added together; a row reduced to zero in its first
// part is a dependency.
int dense_dependencies(const SparseColumns &m, const std::vector<int> &chosen, const std::vector<int> &row_id,
                       int used, int wanted, std::vector<uint64_t> &deps, int *words, bool (*poll)()) {
    int cols = static_cast<int>(m.offsets.size()) - 1;
    int n = static_cast<int>(chosen.size());
    int w1 = (used + 63) / 64, w2 = (n + 63) / 64, w = w1 + w2;
    std::vector<uint64_t> mat(static_cast<size_t>(n) * w, 0);
    for (int r = 0; r < n; r++) {
        uint64_t *row = &mat[static_cast<size_t>(r) * w];
        int c = chosen[r];
        for (uint32_t k = m.offsets[c]; k < m.offsets[c + 1]; k++) {
            int b = row_id[m.entries[k]];
            assert(b >= 0);
            row[b / 64] ^= 1ULL << (b % 64);
        }
        row[w1 + r / 64] |= 1ULL << (r % 64);
    }
    std::vector<char> pivot(n, 0);
    for (int c = 0; c < used; c++) {
        if (c % 32 == 0 && poll()) return -1;
        int cw = c / 64;
        uint64_t bit = 1ULL << (c % 64);
        int p = -1;
        for (int r = 0; r < n && p < 0; r++)
            if (!pivot[r] && (mat[static_cast<size_t>(r) * w + cw] & bit)) p = r;
        if (p < 0) continue;
        pivot[p] = 1;
        const uint64_t *prow = &mat[static_cast<size_t>(p) * w];
        for (int r = 0; r < n; r++) {
            uint64_t *row = &mat[static_cast<size_t>(r) * w];
            if (pivot[r] || !(row[cw] & bit)) continue;
            for (int k = cw; k < w; k++) row[k] ^= prow[k];
        }
    }
    // Back to the numbering of all the columns.
    int out_words = (cols + 63) / 64, found = 0;
    deps.clear();
    for (int r = 0; r < n && found < wanted; r++) {
        if (pivot[r]) continue;
        const uint64_t *row = &mat[static_cast<size_t>(r) * w];
        size_t at = deps.size();
        deps.resize(at + out_words, 0);
        for (int j = 0; j < n; j++)
            if ((row[w1 + j / 64] >> (j % 64)) & 1) deps[at + chosen[j] / 64] |= 1ULL << (chosen[j] % 64);
        found++;
    }
    *words = out_words;
    return found;
}

// ------------------------------------------------------------ block Lanczos

// A 64 x 64 matrix over GF(2): row i in word i, column j in bit j.
struct Block {
    uint64_t row[64];
};

Block block_zero() {
    Block b;
    for (int i = 0; i < 64; i++) b.row[i] = 0;
    return b;
}

Block block_identity() {
    Block b;
    for (int i = 0; i < 64; i++) b.row[i] = 1ULL << i;
    return b;
}

Block block_mul(const Block &a, const Block &b) {
    Block r;
    for (int i = 0; i < 64; i++) {
        uint64_t acc = 0;
        for (uint64_t bits = a.row[i]; bits; bits &= bits - 1) acc ^= b.row[__builtin_ctzll(bits)];
        r.row[i] = acc;
    }
    return r;
}

Block block_add(const Block &a, const Block &b) {
    Block r;
    for (int i = 0; i < 64; i++) r.row[i] = a.row[i] ^ b.row[i];
    return r;
}

// a with the columns outside `mask` cleared (a times the projection).
Block block_mask(const Block &a, uint64_t mask) {
    Block r;
    for (int i = 0; i < 64; i++) r.row[i] = a.row[i] & mask;
    return r;
}

bool block_is_zero(const Block &a) {
    uint64_t any = 0;
    for (int i = 0; i < 64; i++) any |= a.row[i];
    return any == 0;
}

// v^T w for two n x 64 blocks of vectors, by tables of the bytes of v.
Block inner(const std::vector<uint64_t> &v, const std::vector<uint64_t> &w) {
    static thread_local uint64_t table[8][256];
    for (int b = 0; b < 8; b++)
        for (int t = 0; t < 256; t++) table[b][t] = 0;
    for (size_t k = 0; k < v.size(); k++) {
        uint64_t x = v[k], y = w[k];
        for (int b = 0; b < 8; b++) table[b][(x >> (8 * b)) & 255] ^= y;
    }
    Block r = block_zero();
    for (int b = 0; b < 8; b++)
        for (int t = 1; t < 256; t++)
            for (int bit = 0; bit < 8; bit++)
                if ((t >> bit) & 1) r.row[8 * b + bit] ^= table[b][t];
    return r;
}

// out = v m for an n x 64 block v, by tables of m's rows per byte; out may be v.
void times_block(const std::vector<uint64_t> &v, const Block &m, std::vector<uint64_t> &out, bool add) {
    static thread_local uint64_t table[8][256];
    for (int b = 0; b < 8; b++) {
        table[b][0] = 0;
        for (int t = 1; t < 256; t++) {
            int low = __builtin_ctz(t);
            table[b][t] = table[b][t & (t - 1)] ^ m.row[8 * b + low];
        }
    }
    out.resize(v.size());
    for (size_t k = 0; k < v.size(); k++) {
        uint64_t x = v[k], acc = 0;
        for (int b = 0; b < 8; b++) acc ^= table[b][(x >> (8 * b)) & 255];
        out[k] = add ? out[k] ^ acc : acc;
    }
}

// The chosen columns of the sparse matrix with their rows renumbered.
struct Sparse {
    int rows;
    std::vector<uint32_t> entries, offsets;
};

// u = B v (rows), then out = B^T u (columns): out = A v with A = B^T B.
void times_a(const Sparse &b, const std::vector<uint64_t> &v, std::vector<uint64_t> &u, std::vector<uint64_t> &out) {
    u.assign(b.rows, 0);
    size_t n = v.size();
    for (size_t c = 0; c < n; c++)
        for (uint32_t k = b.offsets[c]; k < b.offsets[c + 1]; k++) u[b.entries[k]] ^= v[c];
    out.resize(n);
    for (size_t c = 0; c < n; c++) {
        uint64_t acc = 0;
        for (uint32_t k = b.offsets[c]; k < b.offsets[c + 1]; k++) acc ^= u[b.entries[k]];
        out[c] = acc;
    }
}

// The choice of the columns S_i and W_i^-1 = S_i (S_i^T T S_i)^-1 S_i^T
// from T = V_i^T A V_i: elimination on [T | I], the columns left out of the
// previous S tried first. Returns false when T leaves no way on.
bool choose_columns(const Block &t, uint64_t previous, Block &winv, uint64_t &chosen) {
    Block left = t, right = block_identity();
    int order[64], count = 0;
    for (int i = 0; i < 64; i++)
        if (!((previous >> i) & 1)) order[count++] = i;
    for (int i = 0; i < 64; i++)
        if ((previous >> i) & 1) order[count++] = i;
    chosen = 0;
    for (int j = 0; j < 64; j++) {
        int cj = order[j];
        for (int half = 0; half < 2; half++) {
            Block &side = half == 0 ? left : right;
            int k = j;
            while (k < 64 && !((side.row[order[k]] >> cj) & 1)) k++;
            if (k == 64) {
                if (half == 1) return false;
                continue;
            }
            std::swap(left.row[cj], left.row[order[k]]);
            std::swap(right.row[cj], right.row[order[k]]);
            for (int r = 0; r < 64; r++) {
                if (r == cj || !((side.row[r] >> cj) & 1)) continue;
                left.row[r] ^= left.row[cj];
                right.row[r] ^= right.row[cj];
            }
            if (half == 0) {
                chosen |= 1ULL << cj;
            } else {
                left.row[cj] = right.row[cj] = 0;
            }
            break;
        }
    }
    winv = right;
    return true;
}

uint64_t next_random(uint64_t &state) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    uint64_t hi = state >> 32;
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return hi << 32 | (state >> 32);
}

// Block Lanczos on A = B^T B from V_0 = A Y: x = sum V_i W_i^-1 V_i^T V_0
// solves A x = A Y, so x - Y and the last V_m lie near the null space of B;
// `z` receives them, 128 bits per column. False when the iteration broke
// down or was stopped (`*stopped` then set).
bool lanczos(const Sparse &b, uint64_t seed, std::vector<uint64_t> &z, bool (*poll)(), bool *stopped) {
    size_t n = b.offsets.size() - 1;
    std::vector<uint64_t> y(n), v0, v(n), v1(n, 0), v2(n, 0), av, u, x(n, 0), next, tmp;
    for (size_t k = 0; k < n; k++) y[k] = next_random(seed);
    times_a(b, y, u, v0);
    v = v0;
    Block winv1 = block_zero(), winv2 = block_zero(), vav1 = block_zero(), vaav1 = block_zero();
    uint64_t s1 = ~0ULL;
    size_t limit = n / 60 + 100;
    for (size_t iter = 0;; iter++) {
        if (iter > limit) return false;
        if (iter % 4 == 0 && poll()) {
            *stopped = true;
            return false;
        }
        times_a(b, v, u, av);
        Block vav = inner(v, av), vaav = inner(av, av);
        if (block_is_zero(vav)) break;
        Block winv;
        uint64_t s;
        if (!choose_columns(vav, s1, winv, s)) return false;
        times_block(v, block_mul(winv, inner(v, v0)), x, true);
        Block d = block_add(block_identity(), block_mul(winv, block_add(block_mask(vaav, s), vav)));
        Block e = block_mul(winv1, block_mask(vav, s));
        Block f = block_mask(
            block_mul(winv2, block_mul(block_add(block_identity(), block_mul(vav1, winv1)),
                                       block_add(block_mask(vaav1, s1), vav1))),
            s);
        next.resize(n);
        for (size_t k = 0; k < n; k++) next[k] = av[k] & s;
        times_block(v, d, next, true);
        times_block(v1, e, next, true);
        times_block(v2, f, next, true);
        v2.swap(v1);
        v1.swap(v);
        v.swap(next);
        winv2 = winv1, winv1 = winv;
        vav1 = vav, vaav1 = vaav;
        s1 = s;
    }
    z.resize(2 * n);
    for (size_t k = 0; k < n; k++) z[2 * k] = x[k] ^ y[k], z[2 * k + 1] = v[k];
    return true;
}

// The combinations of the 128 columns of z that B maps to zero, applied to
// z: each nonzero result is a dependency (bit k of word k of `out`, 64 at
// most, one per bit position of the output words).
int combine_null(const Sparse &b, const std::vector<uint64_t> &z, std::vector<uint64_t> &out) {
    size_t n = b.offsets.size() - 1;
    std::vector<uint64_t> bz(2 * static_cast<size_t>(b.rows), 0);
    for (size_t c = 0; c < n; c++)
        for (uint32_t k = b.offsets[c]; k < b.offsets[c + 1]; k++) {
            bz[2 * b.entries[k]] ^= z[2 * c];
            bz[2 * b.entries[k] + 1] ^= z[2 * c + 1];
        }
    // Column echelon form of the rows x 128 matrix bz, each column carrying
    // the combination (128 bits) of z's columns it stands for.
    uint64_t comb[128][2];
    for (int j = 0; j < 128; j++) comb[j][0] = j < 64 ? 1ULL << j : 0, comb[j][1] = j < 64 ? 0 : 1ULL << (j - 64);
    bool pivoted[128] = {};
    for (int r = 0; r < b.rows; r++) {
        uint64_t *row = &bz[2 * static_cast<size_t>(r)];
        int p = -1;
        for (int j = 0; j < 128 && p < 0; j++)
            if (!pivoted[j] && ((row[j / 64] >> (j % 64)) & 1)) p = j;
        if (p < 0) continue;
        pivoted[p] = true;
        // Add column p to every other unpivoted column with a one in row r,
        // in all rows (the columns are bits of the row words).
        uint64_t targets[2] = {0, 0};
        for (int j = 0; j < 128; j++)
            if (j != p && !pivoted[j] && ((row[j / 64] >> (j % 64)) & 1)) targets[j / 64] |= 1ULL << (j % 64);
        for (int q = 0; q < b.rows; q++) {
            uint64_t *other = &bz[2 * static_cast<size_t>(q)];
            if ((other[p / 64] >> (p % 64)) & 1) other[0] ^= targets[0], other[1] ^= targets[1];
        }
        for (int j = 0; j < 128; j++)
            if ((targets[j / 64] >> (j % 64)) & 1) comb[j][0] ^= comb[p][0], comb[j][1] ^= comb[p][1];
    }
    out.assign(n, 0);
    int found = 0;
    for (int j = 0; j < 128 && found < 64; j++) {
        if (pivoted[j]) continue;
        uint64_t any = 0, bit = 1ULL << found;
        for (size_t c = 0; c < n; c++) {
            uint64_t parity = __builtin_popcountll(z[2 * c] & comb[j][0]) + __builtin_popcountll(z[2 * c + 1] & comb[j][1]);
            if (parity & 1) out[c] |= bit, any = 1;
        }
        if (any) found++;
        else
            for (size_t c = 0; c < n; c++) out[c] &= ~bit;
    }
    return found;
}

}  // namespace

int matrix_dependencies(const SparseColumns &m, int wanted, std::vector<uint64_t> &deps, int *words,
                        bool (*poll)()) {
    std::vector<char> keep;
    std::vector<int> row_id;
    int used = prune(m, keep, row_id);
    int cols = static_cast<int>(m.offsets.size()) - 1;
    std::vector<int> chosen;
    for (int c = 0; c < cols && static_cast<int>(chosen.size()) < used + EXCESS; c++)
        if (keep[c]) chosen.push_back(c);
    int n = static_cast<int>(chosen.size());
    if (n <= DENSE_LIMIT) return dense_dependencies(m, chosen, row_id, used, wanted, deps, words, poll);
    Sparse b;
    b.rows = used;
    b.offsets.assign(1, 0);
    for (int c : chosen) {
        for (uint32_t k = m.offsets[c]; k < m.offsets[c + 1]; k++) b.entries.push_back(static_cast<uint32_t>(row_id[m.entries[k]]));
        b.offsets.push_back(static_cast<uint32_t>(b.entries.size()));
    }
    std::vector<uint64_t> z, null;
    for (int attempt = 0; attempt < LANCZOS_TRIES; attempt++) {
        bool stopped = false;
        if (!lanczos(b, 0x1a2b3c4d5e6f7788ULL + attempt, z, poll, &stopped)) {
            if (stopped) return -1;
            continue;
        }
        int found = combine_null(b, z, null);
        if (found == 0) continue;
        if (found > wanted) found = wanted;
        int out_words = (cols + 63) / 64;
        deps.assign(static_cast<size_t>(found) * out_words, 0);
        for (int j = 0; j < n; j++)
            for (int d = 0; d < found; d++)
                if ((null[j] >> d) & 1) deps[static_cast<size_t>(d) * out_words + chosen[j] / 64] |= 1ULL << (chosen[j] % 64);
        *words = out_words;
        return found;
    }
    lanczos_fallbacks++;
    return dense_dependencies(m, chosen, row_id, used, wanted, deps, words, poll);
}
