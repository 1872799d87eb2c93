// Grid graphs for the solver tests and benchmarks: adjacency of 2-D (5-point) and 3-D
// (7-point) grids, build patterns under any numbering, and the Dirichlet Laplacian's
// stored symmetric values. All vectors are 1-based with element 0 unused, so that
// .data() is the handle the solvers expect.
#pragma once

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "solvers/sparse-mat.h"

namespace vexlar_test {

using Adjacency = std::vector<std::vector<int>>;   // adj[1..n], neighbours 1-based

inline void connect(Adjacency& adj, int a, int b)
{
    adj[a].push_back(b);
    adj[b].push_back(a);
}

inline Adjacency grid_adjacency(int nx, int ny, int nz)
{
    Adjacency adj(nx * ny * nz + 1);
    auto id = [&](int x, int y, int z) { return 1 + x + nx * (y + ny * z); };
    for (int z = 0; z < nz; z++)
        for (int y = 0; y < ny; y++)
            for (int x = 0; x < nx; x++) {
                if (x + 1 < nx) connect(adj, id(x, y, z), id(x + 1, y, z));
                if (y + 1 < ny) connect(adj, id(x, y, z), id(x, y + 1, z));
                if (z + 1 < nz) connect(adj, id(x, y, z), id(x, y, z + 1));
            }
    return adj;
}

inline std::vector<int> identity_numbering(int n)
{
    std::vector<int> num(n + 1);
    std::iota(num.begin(), num.end(), 0);
    return num;
}

inline std::vector<int> random_numbering(int n, unsigned seed)
{
    std::vector<int> num = identity_numbering(n);
    std::mt19937 rng(seed);
    std::shuffle(num.begin() + 1, num.end(), rng);
    return num;
}

// Row-indexed layout of the given rows (rows[1..n]), each row's columns sorted.
inline std::vector<int> rows_to_pattern(std::vector<std::vector<int>> rows)
{
    int n = (int)rows.size() - 1;
    std::vector<int> ijf(n + 2);
    for (int r = 1; r <= n; r++) {
        std::sort(rows[r].begin(), rows[r].end());
        ijf[r] = (int)ijf.size();
        ijf.insert(ijf.end(), rows[r].begin(), rows[r].end());
    }
    ijf[n + 1] = (int)ijf.size();
    return ijf;
}

// Build pattern of the graph renumbered by num (num[old] = new): row num[i] lists num[i]
// and the new numbers of i's neighbours, ascending.
inline std::vector<int> build_pattern(const Adjacency& adj, const std::vector<int>& num)
{
    int n = (int)adj.size() - 1;
    std::vector<std::vector<int>> rows(n + 1);
    for (int i = 1; i <= n; i++) {
        rows[num[i]].push_back(num[i]);
        for (int j : adj[i]) rows[num[i]].push_back(num[j]);
    }
    return rows_to_pattern(rows);
}

// Stored symmetric pattern and values of the Laplacian with Dirichlet borders: every
// diagonal 2 x dimension, every connection -1.
struct SymSystem {
    int n = 0;
    std::vector<int> ijf, ija;
    std::vector<double> sa;
};

inline SymSystem laplacian(const Adjacency& adj, const std::vector<int>& num, int dim)
{
    SymSystem s;
    s.n = (int)adj.size() - 1;
    s.ijf = build_pattern(adj, num);
    s.ija.assign(vexlar::ija_minset_count(s.ijf.data(), s.n, 1) + 1, 0);
    vexlar::ija_minset(s.ijf.data(), s.ija.data(), s.n, 1);
    s.sa.assign(s.ija.size(), -1.0);
    for (int i = 1; i <= s.n; i++) s.sa[i] = 2.0 * dim;
    return s;
}

// Sum over rows of the distance from the diagonal to the row's leftmost entry.
inline long long profile_sum(const std::vector<int>& ijf, int n)
{
    long long sum = 0;
    for (int i = 1; i <= n; i++) {
        int e = 0;
        for (int k = ijf[i]; k < ijf[i + 1]; k++) e = std::max(e, i - ijf[k]);
        sum += e;
    }
    return sum;
}

}  // namespace vexlar_test
