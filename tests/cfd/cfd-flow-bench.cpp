// Steady airflow of a ventilated room on the CFD zone's grid: a box 4 x 4 x 3 m with a
// supply opening high on one wall and an exhaust low on the opposite wall, zero-equation
// turbulence, at about 30 000 and 250 000 cells. Reports the time of one SIMPLE outer
// iteration and, in a separate run, the outer iterations needed to bring the mass residual
// to 1e-3 of its start. The same room at 32 x 32 x 30 cells with the energy equation on, a
// warm floor patch and cool supply air is timed per outer iteration for each scheme and
// linear solver, once the buoyant flow has started to develop.
#include <benchmark/benchmark.h>

#include "tests/cfd/cfd-test-zone.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

// With heated, the energy equation is on: the supply at 16 C and a 1 x 1 m floor patch at
// 30 C under the middle of the room, buoyancy about 20 C.
void room(int n, int nz, int multigrid = 0, bool heated = false)
{
    cfd_test_zone(std::vector<double>(n, 4.0 / n), std::vector<double>(n, 4.0 / n),
                  std::vector<double>(nz, 3.0 / nz), multigrid);
    OPERDENS = 1.2, ANU = 1.5e-5, LAMIN = 0;
    URFU = URFV = URFW = 0.5, URFP = 0.3;
    NBIN = NBOUT = 1;
    cfd_openings_reserve(1, 1);
    int w = n / 4, lo = n / 2 - w / 2;
    int box_in[7] = {0, 1, 1, lo, lo + w - 1, nz - nz / 5, nz - 1};
    int box_out[7] = {0, n, n, lo, lo + w - 1, 2, 1 + nz / 5};
    for (int e = 1; e <= 6; e++) LBIN[1][e] = box_in[e], LBOUT[1][e] = box_out[e];
    PITYPE[1] = POTYPE[1] = IMTYPE[1] = OMTYPE[1] = 1;
    if (heated) {
        ENERGY = 1, GRA = 9.8055, TM = TINIT = 293.15, URFT = 0.7;
        NAWT = 1;
        cfd_twalls_reserve(1);
        int a = n / 2 - n / 8 + 1, b = n / 2 + n / 8;
        int floor[7] = {0, a, b, a, b, 1, 1};
        for (int e = 1; e <= 6; e++) LNAW[1][e] = floor[e];
        TNAW[1] = 303.15;
        TBIN[1] = 289.15;
        cfd_test_fill(T, TINIT), cfd_test_fill(TOLD, TINIT);
    }
    inputdata();   // places openings and walls, the expansion coefficient from TM
    UBIN[1] = 1.0;
    AMASSIN[1] = OPERDENS * UBIN[1] * AIN[1];
    AMASSOUT[1] = -AMASSIN[1];
    vistur();
}

void OuterIteration(benchmark::State& state)
{
    int n = (int)state.range(0);
    room(n, n * 3 / 4);
    state.counters["cells"] = (double)IM2 * JM2 * KM2;
    NITER = 0;
    for (auto _ : state) simple_iteration(1);
    cfd_reset();
}

void IterationsToConverge(benchmark::State& state)
{
    for (auto _ : state) {
        int n = (int)state.range(0);
        room(n, n * 3 / 4);
        CRITE = 1e-3, NITMAX = (int)state.range(1);
        cfd_test_solve();
        state.counters["cells"] = (double)IM2 * JM2 * KM2;
        state.counters["iterations"] = NITER;
        state.counters["residual"] = resomnr;
        cfd_reset();
    }
}

// Scheme 1 is upwind, 2 the power law; turbulence model 2 the zero-equation model, 1 the
// k-epsilon model; the first 20 iterations are not timed.
void HeatedRoomIteration(benchmark::State& state)
{
    room(32, 30, (int)state.range(1), true);
    DIFFSMU = DIFFSMV = DIFFSMW = DIFFSMT = (int)state.range(0);
    ITUR = (int)state.range(2);
    double cells = (double)IM2 * JM2 * KM2;
    NITER = 0;
    for (int it = 0; it < 20; it++) simple_iteration(1);
    for (auto _ : state) simple_iteration(1);
    state.counters["cells"] = cells;
    state.counters["ns_per_cell"] = benchmark::Counter(
        cells * (double)state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["residual"] = resomnr;
    cfd_release();
}

}  // namespace

BENCHMARK(OuterIteration)->Arg(34)->Arg(68)->Unit(benchmark::kMillisecond);
BENCHMARK(IterationsToConverge)->Args({34, 3000})->Args({68, 300})->Iterations(1)->Unit(benchmark::kSecond);
// {scheme, multigrid, model}: upwind and power law, line solver and multigrid, zero-equation
// and k-epsilon turbulence.
BENCHMARK(HeatedRoomIteration)
    ->ArgNames({"scheme", "mg", "model"})
    ->Args({1, 0, 2})->Args({2, 0, 2})->Args({1, 1, 2})->Args({2, 1, 2})
    ->Args({1, 0, 1})->Args({2, 0, 1})->Args({1, 1, 1})->Args({2, 1, 1})
    ->Iterations(40)->Unit(benchmark::kMillisecond);
