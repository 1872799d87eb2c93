// Timings of the linear solvers on grid Laplacians of 10^3 to 10^5 unknowns: skyline
// L D L' factorisation and solution, incomplete-Cholesky conjugate gradients, and the
// profile-reducing reordering of randomly numbered grids (average profile before and
// after as counters). Built with -DVEXLAR_BENCH=ON (make bench); not part of the tests.
#include <benchmark/benchmark.h>

#include <cmath>

#include "solvers/gpskc.h"
#include "solvers/sky-mat.h"
#include "solvers/solv-se.h"
#include "tests/solvers/grid-systems.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

// Grid of `side` nodes along each of `dim` axes.
Adjacency grid(int dim, int side) { return grid_adjacency(side, side, dim == 3 ? side : 1); }

std::vector<double> ones_rhs(int n) { return std::vector<double>(n + 1, 1.0); }

void grid_counters(benchmark::State& state, int n)
{
    state.counters["n"] = n;
    state.SetComplexityN(n);
}

// Skyline L D L' on the grid, numbered naturally (arg 2 = 0) or by the reordering (1).
void BM_SkylineLDLt(benchmark::State& state)
{
    int dim = (int)state.range(0), side = (int)state.range(1);
    Adjacency adj = grid(dim, side);
    int n = (int)adj.size() - 1;
    std::vector<int> num = identity_numbering(n);
    if (state.range(2)) {
        std::vector<int> ijf = build_pattern(adj, num);
        ija_optord(ijf.data(), num.data(), (int)ijf.size() - 1, n, n);
    }
    SymSystem s = laplacian(adj, num, dim);
    SKY_MAT sky{};
    sky.sym = 1;
    sky_alc(n, s.ija.data(), &sky, nullptr);
    std::vector<double> b;
    for (auto _ : state) {
        b = ones_rhs(n);
        fill_sky_s(s.sa.data(), s.ija.data(), &sky);
        luf_sky_s(&sky);
        lus_sky_s(&sky, b.data());
        benchmark::DoNotOptimize(b.data());
    }
    grid_counters(state, n);
    state.counters["avg_profile"] = (double)sky.nal / n;
    sky_fre(&sky);
}

// A strip `width` nodes wide and 1000 / width long, numbered across the strip: every row
// has a profile of `width`, the shape of a building's airflow and transport systems
// (floors of rooms numbered floor by floor). One fill, factorisation and solution per
// iteration, L D L' of the Laplacian (symmetric) or L U of an upwinded transport-like
// system (nonsymmetric: -1.2 left of the diagonal, -0.8 right of it).
void BM_SkylineStrip(benchmark::State& state)
{
    const int width = (int)state.range(0), sym = (int)state.range(1);
    Adjacency adj = grid_adjacency(width, 1000 / width, 1);
    int n = (int)adj.size() - 1;
    std::vector<int> ijf = build_pattern(adj, identity_numbering(n));
    std::vector<int> ija(ija_minset_count(ijf.data(), n, sym) + 1);
    ija_minset(ijf.data(), ija.data(), n, sym);
    std::vector<double> sa(ija.size(), -1.0);
    for (int i = 1; i <= n; i++) {
        sa[i] = 4.5;
        for (int k = ija[i]; k < ija[i + 1]; k++) sa[k] = sym ? -1.0 : ija[k] < i ? -1.2 : -0.8;
    }
    SKY_MAT sky{};
    sky.sym = sym;
    sky_alc(n, ija.data(), &sky, nullptr);
    std::vector<double> b;
    for (auto _ : state) {
        b = ones_rhs(n);
        if (sym) {
            fill_sky_s(sa.data(), ija.data(), &sky);
            luf_sky_s(&sky);
            lus_sky_s(&sky, b.data());
        } else {
            fill_sky_n(&sky, n, ija.data(), sa.data());
            luf_sky_n(&sky);
            lus_sky_n(&sky, b.data());
        }
        benchmark::DoNotOptimize(b.data());
    }
    state.counters["n"] = n;
    state.counters["avg_profile"] = (double)sky.nal / n;
    sky_fre(&sky);
}

// Incomplete-Cholesky conjugate gradients from a zero start to 1e-6 relative residual.
void BM_PCG(benchmark::State& state)
{
    int dim = (int)state.range(0), side = (int)state.range(1);
    Adjacency adj = grid(dim, side);
    int n = (int)adj.size() - 1;
    SymSystem s = laplacian(adj, identity_numbering(n), dim);
    IC_SET ic{};
    ssm_alc(&ic, s.ijf.data(), s.ija.data(), n);
    std::vector<double> b = ones_rhs(n), x(n + 1), p(n + 1), r(n + 1), z(n + 1), zz(n + 1);
    int iterations = 0;
    for (auto _ : state) {
        std::fill(x.begin(), x.end(), 0.0);
        iterations = sa_pcg(&ic, s.sa.data(), s.ija.data(), b.data(), x.data(), p.data(), r.data(),
                            z.data(), zz.data(), n + 10, 1e-6f);
        benchmark::DoNotOptimize(x.data());
    }
    grid_counters(state, n);
    state.counters["iterations"] = iterations;
    ssm_fre(&ic);
}

// Reordering of a randomly numbered grid; the profile counters are averages per row.
void BM_Reorder(benchmark::State& state)
{
    int dim = (int)state.range(0), side = (int)state.range(1);
    Adjacency adj = grid(dim, side);
    int n = (int)adj.size() - 1;
    std::vector<int> num = random_numbering(n, 17);
    std::vector<int> ijf = build_pattern(adj, num), perm(n + 1);
    for (auto _ : state) {
        bool changed = ija_optord(ijf.data(), perm.data(), (int)ijf.size() - 1, n, n);
        benchmark::DoNotOptimize(changed);
    }
    std::vector<int> renum(n + 1);
    for (int i = 1; i <= n; i++) renum[i] = perm[num[i]];
    grid_counters(state, n);
    state.counters["profile_before"] = (double)profile_sum(ijf, n) / n;
    state.counters["profile_after"] = (double)profile_sum(build_pattern(adj, renum), n) / n;
    state.counters["profile_natural"] =
        (double)profile_sum(build_pattern(adj, identity_numbering(n)), n) / n;
}

// 2-D sides 32, 100, 316 and 3-D sides 10, 22, 46: about 10^3, 10^4 and 10^5 unknowns.
void grid_sizes(benchmark::internal::Benchmark* b)
{
    for (int side : {32, 100, 316}) b->Args({2, side});
    for (int side : {10, 22, 46}) b->Args({3, side});
}

void skyline_sizes(benchmark::internal::Benchmark* b)
{
    for (int order : {0, 1}) {
        for (int side : {32, 100, 316}) b->Args({2, side, order});
        for (int side : {10, 22, 46}) b->Args({3, side, order});
    }
}

BENCHMARK(BM_SkylineLDLt)->Apply(skyline_sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SkylineStrip)
    ->ArgNames({"width", "sym"})
    ->ArgsProduct({{10, 30}, {1, 0}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PCG)->Apply(grid_sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reorder)->Apply(grid_sizes)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
