// Benchmark of the CFD zone's two linear solvers on the 3-D Poisson problem of the tests
// at about 30 000 and 250 000 cells: time per outer iteration (one line-solver pass, or
// one multigrid call that runs up to six V-cycles) and per V-cycle, and the residual
// reduction each achieves, as the geometric mean over the timed iterations.
#include <benchmark/benchmark.h>

#include <cmath>

#include "tests/cfd/cfd-poisson.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

void setUp(benchmark::State& state, bool mgrid)
{
    int n = (int)state.range(0), nz = (int)state.range(1);
    poissonGrid(n, n, nz, 1, 1, 1, mgrid);
    poissonSystem();
    forInterior([](int i, int j, int k) { P[i][j][k] = 0.0; });
    NITER = 0;
}

void report(benchmark::State& state, double r0, double r1, int64_t iterations)
{
    state.counters["cells"] = (double)IM2 * JM2 * KM2;
    state.counters["reduction_per_iter"] = pow(r1 / r0, 1.0 / (double)iterations);
    state.counters["ns_per_cell"] = benchmark::Counter(
        (double)IM2 * JM2 * KM2 * (double)iterations,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    cfd_reset();
}

void LinePass(benchmark::State& state)
{
    setUp(state, false);
    double r0 = poissonResidual(P);
    for (auto _ : state) lineIteration(P);
    report(state, r0, poissonResidual(P), state.iterations());
}

void MultigridCall(benchmark::State& state)
{
    setUp(state, true);
    double r0 = poissonResidual(P);
    PHIMGP_0 = P;
    for (auto _ : state) mg(REST_AVEP, REST_COAP, IM1, JM1, KM1);
    report(state, r0, poissonResidual(P), state.iterations());
}

void MultigridCycle(benchmark::State& state)
{
    setUp(state, true);
    PHIMGP_0 = P;
    mg(REST_AVEP, REST_COAP, IM1, JM1, KM1);   // the coarse operators; then restart at zero
    forInterior([](int i, int j, int k) { P[i][j][k] = 0.0; });
    double r0 = poissonResidual(P);
    for (auto _ : state) mg_cycle(REST_AVEP, REST_COAP, IM1, JM1, KM1);
    report(state, r0, poissonResidual(P), state.iterations());
}

}  // namespace

// 32 x 32 x 30 = 30 720 cells and 64 x 64 x 61 = 249 856 cells.
BENCHMARK(LinePass)->Args({32, 30})->Args({64, 61})->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(MultigridCall)->Args({32, 30})->Args({64, 61})->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(MultigridCycle)->Args({32, 30})->Args({64, 61})->Iterations(6)->Unit(benchmark::kMillisecond);
