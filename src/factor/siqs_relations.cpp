// The quadratic sieve's relation store: full and partial relations, the
// cycle count of the large-prime graph kept by union-find while relations
// arrive, and the fundamental cycles of a spanning forest at the end.
#include "siqs_relations.h"

#include <cassert>
#include <cstddef>

namespace {

int vertex_of(RelationSet &set, uint32_t prime) {
    auto it = set.vertex.find(prime);
    if (it != set.vertex.end()) return it->second;
    int id = static_cast<int>(set.parent.size());
    set.vertex.emplace(prime, id);
    set.parent.push_back(id);
    return id;
}

int root_of(std::vector<int> &parent, int v) {
    while (parent[v] != v) {
        parent[v] = parent[parent[v]];  // path halving
        v = parent[v];
    }
    return v;
}

}  // namespace

void relations_clear(RelationSet &set) {
    set.rels.clear();
    set.factors.clear();
    set.vertex.clear();
    set.parent.clear();
    set.fulls = set.cycles = 0;
}

void relations_add(RelationSet &set, const uint64_t *y, bool negative, uint32_t l1, uint32_t l2,
                   const uint32_t *list, int len) {
    assert(l1 <= l2 && len < 65536);
    Relation r;
    for (int i = 0; i < Y_WORDS; i++) r.y[i] = y[i];
    r.l1 = l1;
    r.l2 = l2;
    r.start = static_cast<uint32_t>(set.factors.size());
    r.len = static_cast<uint16_t>(len);
    r.negative = negative;
    set.factors.insert(set.factors.end(), list, list + len);
    set.rels.push_back(r);
    if (l2 == 1) {
        set.fulls++;
        return;
    }
    // An edge between the vertices of its two primes (1 for a single one):
    // one joining a component with itself closes a new independent cycle.
    int u = root_of(set.parent, vertex_of(set, l1)), v = root_of(set.parent, vertex_of(set, l2));
    if (u == v) set.cycles++;
    else set.parent[u] = v;
}

// The spanning forest is grown breadth first from each unvisited vertex;
// every edge outside it closes one cycle: itself and the two tree paths from
// its ends up to their common ancestor.
void relations_combine(const RelationSet &set, std::vector<uint32_t> &members, std::vector<uint32_t> &offsets) {
    members.clear();
    offsets.assign(1, 0);
    int relations = static_cast<int>(set.rels.size()), vertices = static_cast<int>(set.parent.size());
    std::vector<int> head(vertices, -1), next, to, edge_rel;
    for (int r = 0; r < relations; r++) {
        const Relation &rel = set.rels[r];
        if (rel.l2 == 1) {
            members.push_back(static_cast<uint32_t>(r));
            offsets.push_back(static_cast<uint32_t>(members.size()));
            continue;
        }
        int u = set.vertex.at(rel.l1), v = set.vertex.at(rel.l2);
        for (int side = 0; side < 2; side++) {
            int from = side ? v : u, other = side ? u : v;
            next.push_back(head[from]);
            to.push_back(other);
            edge_rel.push_back(r);
            head[from] = static_cast<int>(to.size()) - 1;
        }
    }
    std::vector<int> up(vertices, -2), up_rel(vertices, -1), depth(vertices, 0), queue;
    std::vector<char> tree_rel(relations, 0);
    for (int s = 0; s < vertices; s++) {
        if (up[s] != -2) continue;
        up[s] = -1;
        queue.assign(1, s);
        for (size_t qi = 0; qi < queue.size(); qi++) {
            int u = queue[qi];
            for (int e = head[u]; e >= 0; e = next[e]) {
                int v = to[e];
                if (up[v] != -2) continue;
                up[v] = u;
                up_rel[v] = edge_rel[e];
                depth[v] = depth[u] + 1;
                tree_rel[edge_rel[e]] = 1;
                queue.push_back(v);
            }
        }
    }
    for (int r = 0; r < relations; r++) {
        const Relation &rel = set.rels[r];
        if (rel.l2 == 1 || tree_rel[r]) continue;
        members.push_back(static_cast<uint32_t>(r));
        int u = set.vertex.at(rel.l1), v = set.vertex.at(rel.l2);
        while (u != v) {
            if (depth[u] < depth[v]) std::swap(u, v);
            members.push_back(static_cast<uint32_t>(up_rel[u]));
            u = up[u];
        }
        offsets.push_back(static_cast<uint32_t>(members.size()));
    }
}
