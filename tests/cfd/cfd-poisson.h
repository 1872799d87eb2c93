// A 3-D Poisson problem for the CFD solvers' tests and benchmarks: the finite-volume
// Laplacian of the zone's grid (face area over centre distance per link), Dirichlet values
// on the domain boundary folded into the constant term, solid cells held by a source of
// -1e10, and a constant term made from a smooth field, so that this field is the exact
// solution of the discrete system.
#pragma once
#include <cmath>
#include <random>

#include "cfd/cfd-int.h"
#include "model/run-control.h"

namespace vexlar_test {

using namespace vexlar;

// Widths along one axis growing by ratio g from cell to cell, scaled to the length.
inline void stretchedWidths(double* del, int n, double g, double length)
{
    double w = 1.0, sum = 0.0;
    for (int i = 2; i <= n + 1; i++, w *= g) del[i] = w, sum += w;
    for (int i = 2; i <= n + 1; i++) del[i] *= length / sum;
}

// A fresh grid of nx x ny x nz cells over 1 x 0.7 x 0.4 m; multigrid arrays when mgrid.
inline void poissonGrid(int nx, int ny, int nz, double gx, double gy, double gz, bool mgrid)
{
    cfd_reset();
    _rcdat.cfd_mg = mgrid;
    XX = 1.0, YY = 0.7, ZZ = 0.4;
    cfd_grid_size(nx, ny, nz);
    heapgrid();
    cfd_ghost_flags();
    stretchedWidths(DELX, nx, gx, XX);
    stretchedWidths(DELY, ny, gy, YY);
    stretchedWidths(DELZ, nz, gz, ZZ);
    cfd_grid_geometry();
}

inline double poissonExact(int i, int j, int k)
{
    return sin(3.0 * X[i] + 0.5) * cos(2.0 * Y[j]) + 4.0 * Z[k] * Z[k] - X[i] * Y[j];
}

template <class F> void forInterior(F f)
{
    for (int i = 2; i <= IM1; i++)
        for (int j = 2; j <= JM1; j++)
            for (int k = 2; k <= KM1; k++) f(i, j, k);
}

// Assembles the system; the interior cells of the box b (array indices) are solid.
inline void poissonSystem(const int* b = nullptr)
{
    if (b)
        for (int i = b[0]; i <= b[1]; i++)
            for (int j = b[2]; j <= b[3]; j++)
                for (int k = b[4]; k <= b[5]; k++) ICELL[i][j][k] = 1;
    forInterior([](int i, int j, int k) {
        AE[i][j][k] = AREX[j][k] / DELXC[i];
        AW[i][j][k] = AREX[j][k] / DELXC[i - 1];
        AN[i][j][k] = AREY[i][k] / DELYC[j];
        AS[i][j][k] = AREY[i][k] / DELYC[j - 1];
        AT[i][j][k] = AREZ[i][j] / DELZC[k];
        AB[i][j][k] = AREZ[i][j] / DELZC[k - 1];
        AP[i][j][k] = AE[i][j][k] + AW[i][j][k] + AN[i][j][k] + AS[i][j][k] + AT[i][j][k] +
                      AB[i][j][k] + (ICELL[i][j][k] ? 1e10 : 0.0);
        // The boundary's pull stays in AP; its value goes into BS below.
        if (i == IM1) AE[i][j][k] = 0;
        if (i == 2) AW[i][j][k] = 0;
        if (j == JM1) AN[i][j][k] = 0;
        if (j == 2) AS[i][j][k] = 0;
        if (k == KM1) AT[i][j][k] = 0;
        if (k == 2) AB[i][j][k] = 0;
    });
    forInterior([](int i, int j, int k) {
        BS[i][j][k] = AP[i][j][k] * poissonExact(i, j, k) -
                      AE[i][j][k] * poissonExact(i + 1, j, k) -
                      AW[i][j][k] * poissonExact(i - 1, j, k) -
                      AN[i][j][k] * poissonExact(i, j + 1, k) -
                      AS[i][j][k] * poissonExact(i, j - 1, k) -
                      AT[i][j][k] * poissonExact(i, j, k + 1) -
                      AB[i][j][k] * poissonExact(i, j, k - 1);
    });
}

inline double poissonError(double*** phi)
{
    double e = 0.0;
    forInterior([&](int i, int j, int k) { e = fmax(e, fabs(phi[i][j][k] - poissonExact(i, j, k))); });
    return e;
}

inline double poissonResidual(double*** phi)
{
    double r = 0.0;
    forInterior([&](int i, int j, int k) {
        double res = BS[i][j][k] - AP[i][j][k] * phi[i][j][k] + AE[i][j][k] * phi[i + 1][j][k] +
                     AW[i][j][k] * phi[i - 1][j][k] + AN[i][j][k] * phi[i][j + 1][k] +
                     AS[i][j][k] * phi[i][j - 1][k] + AT[i][j][k] * phi[i][j][k + 1] +
                     AB[i][j][k] * phi[i][j][k - 1];
        r = fmax(r, fabs(res));
    });
    return r;
}

// One outer iteration of the line solver as an equation runs it: the pass, then the new
// values taken from STORE.
inline void lineIteration(double*** phi)
{
    NITER++;
    cfd_line_pass(IM1, JM1, KM1, phi);
    forInterior([&](int i, int j, int k) { phi[i][j][k] = STORE[i][j][k]; });
}

// A diagonally dominant system of random, unsymmetric links and constant terms, and
// random values of U and V everywhere, ghost layers included: U and V hold the same start.
inline void randomSystem(unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    double*** links[6] = {AE, AW, AN, AS, AT, AB};
    for (int i = 1; i <= NI; i++)
        for (int j = 1; j <= NJ; j++)
            for (int k = 1; k <= NK; k++) {
                double sum = 0.0;
                for (double*** a : links) sum += a[i][j][k] = u(gen);
                AP[i][j][k] = sum + 0.5 * u(gen);
                BS[i][j][k] = u(gen) - 0.5;
                U[i][j][k] = V[i][j][k] = 2 * u(gen) - 1;
            }
}

}  // namespace vexlar_test
