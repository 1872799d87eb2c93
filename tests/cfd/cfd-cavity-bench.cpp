// The square cavity heated from one side, solved to steady state on n x n cells (one cell
// deep) at Rayleigh numbers 1e3 to 1e6: the wall x = 0 is 5 K above the mean 293.15 K, the
// wall x = 1 m 5 K below, top and bottom are adiabatic, Prandtl number 0.71, power-law
// scheme, line solver. Each case reports the mean Nusselt number of the hot wall, the
// largest horizontal velocity on the vertical centre line and the largest vertical velocity
// on the horizontal centre line (both in units of alpha / H), and the outer iterations to
// the criterion; the time is that of the whole solve. Accepted values: Nu 1.118, 2.243,
// 4.519, 8.800; u 3.649, 16.178, 34.73, 64.63; w 3.697, 19.617, 68.59, 219.36.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "tests/cfd/cfd-cavity.h"
#include "tests/cfd/cfd-test-zone.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

const double G = 9.8055, TMEAN = 293.15, DT = 10.0, PR = 0.71;

void cavity(int n, double ra)
{
    std::vector<double> h(n, 1.0 / n);
    cfd_test_zone(h, {1.0}, h);
    double nu = std::sqrt(G * DT / TMEAN * PR / ra);
    OPERDENS = 1.2, ANU = nu, PRL = PR, ENERGY = 1, TM = TINIT = TMEAN, GRA = G;
    DIFFSMU = DIFFSMV = DIFFSMW = DIFFSMT = DIFFSMC = 2;
    URFU = URFV = URFW = 0.7, URFP = 0.3, URFT = 1.0;
    TMIN = 273.0, TMAX = 373.0;
    NAWT = 2;
    cfd_twalls_reserve(2);
    const int hot[7] = {0, 1, 1, 1, 1, 1, n}, cold[7] = {0, n, n, 1, 1, 1, n};
    for (int e = 1; e <= 6; e++) LNAW[1][e] = hot[e], LNAW[2][e] = cold[e];
    TNAW[1] = TMEAN + DT / 2, TNAW[2] = TMEAN - DT / 2;
    inputdata();
    cfd_test_fill(T, TINIT), cfd_test_fill(TOLD, TINIT);
    CRITE = 1e-10, NITMAX = 40000;
}

void Cavity(benchmark::State& state)
{
    int n = (int)state.range(0);
    double ra = std::pow(10.0, (double)state.range(1));
    for (auto _ : state) {
        cavity(n, ra);
        cfd_test_solve();
    }
    double hh = 1.0 / n, alpha = ANU / PR, nuHot = 0;
    std::vector<double> u, w;
    for (int k = 2; k <= n + 1; k++) nuHot += (TNAW[1] - T[2][2][k]) / (hh / 2) * hh / DT;
    for (int q = n / 2 + 2; q <= n + 1; q++) u.push_back(U[n / 2 + 1][2][q] / alpha);
    for (int q = 2; q <= n / 2 + 1; q++) w.push_back(W[q][2][n / 2 + 1] / alpha);
    state.counters["Nu"] = nuHot;
    state.counters["u_max"] = cavity_peak(u);
    state.counters["w_max"] = cavity_peak(w);
    state.counters["iterations"] = NITER;
    cfd_reset();
}

}  // namespace

BENCHMARK(Cavity)
    ->ArgsProduct({{40, 80, 160}, {3, 4, 5, 6}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
