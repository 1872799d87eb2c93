// Steady airflow of a ventilated room on the CFD zone's grid: a box 4 x 4 x 3 m with a
// supply opening high on one wall and an exhaust low on the opposite wall, zero-equation
// turbulence, at about 30 000 and 250 000 cells. Reports the time of one SIMPLE outer
// iteration and, in a separate run, the outer iterations needed to bring the mass residual
// to 1e-3 of its start.
#include <benchmark/benchmark.h>

#include "tests/cfd/cfd-test-zone.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

void room(int n)
{
    int nz = n * 3 / 4;
    cfd_test_zone(std::vector<double>(n, 4.0 / n), std::vector<double>(n, 4.0 / n),
                  std::vector<double>(nz, 3.0 / nz));
    OPERDENS = 1.2, ANU = 1.5e-5, LAMIN = 0;
    URFU = URFV = URFW = 0.5, URFP = 0.3;
    NBIN = NBOUT = 1;
    cfd_openings_reserve(1, 1);
    int w = n / 4, lo = n / 2 - w / 2;
    int box_in[7] = {0, 1, 1, lo, lo + w - 1, nz - nz / 5, nz - 1};
    int box_out[7] = {0, n, n, lo, lo + w - 1, 2, 1 + nz / 5};
    for (int e = 1; e <= 6; e++) LBIN[1][e] = box_in[e], LBOUT[1][e] = box_out[e];
    PITYPE[1] = POTYPE[1] = IMTYPE[1] = OMTYPE[1] = 1;
    inputdata();
    UBIN[1] = 1.0;
    AMASSIN[1] = OPERDENS * UBIN[1] * AIN[1];
    AMASSOUT[1] = -AMASSIN[1];
    vistur();
}

void OuterIteration(benchmark::State& state)
{
    room((int)state.range(0));
    state.counters["cells"] = (double)IM2 * JM2 * KM2;
    NITER = 0;
    for (auto _ : state) simple_iteration(1);
    cfd_release();
}

void IterationsToConverge(benchmark::State& state)
{
    for (auto _ : state) {
        room((int)state.range(0));
        CRITE = 1e-3, NITMAX = (int)state.range(1);
        cfd_test_solve();
        state.counters["cells"] = (double)IM2 * JM2 * KM2;
        state.counters["iterations"] = NITER;
        state.counters["residual"] = resomnr;
        cfd_release();
    }
}

}  // namespace

BENCHMARK(OuterIteration)->Arg(34)->Arg(68)->Unit(benchmark::kMillisecond);
BENCHMARK(IterationsToConverge)->Args({34, 3000})->Args({68, 300})->Iterations(1)->Unit(benchmark::kSecond);
