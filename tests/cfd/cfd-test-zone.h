// A CFD zone set up in memory for the equation tests and benchmarks: a grid of given cell
// widths with its arrays, laminar air of density 1 and viscosity 0.01 m2/s, no openings,
// blocks or walls, and settings under which one outer iteration is a plain steady SIMPLE
// step.
#pragma once
#include <vector>

#include "cfd/cfd-int.h"
#include "model/run-control.h"

namespace vexlar_test {

using namespace vexlar;

inline void cfd_test_fill(double*** f, double v)
{
    for (int i = 1; i <= NI; i++)
        for (int j = 1; j <= NJ; j++)
            for (int k = 1; k <= NK; k++) f[i][j][k] = v;
}

// dx, dy, dz: the widths of the interior cells along each axis.
// multigrid selects the multigrid solver for every equation.
inline void cfd_test_zone(const std::vector<double>& dx, const std::vector<double>& dy,
                          const std::vector<double>& dz, int multigrid = 0)
{
    cfd_reset();
    _rcdat.cfd_mg = (int16_t)multigrid, _rcdat.cfd_gs = 0;
    INITYN = 1, NITER = 0, VSTEADY = 1, CSTEADY = 1, ENERGY = 0, CONTAMINANT = 0;
    NOC = 0;
    for (int s = 0; s < 6; s++) CACTIVE[s] = 0, RPC0[s] = 0;
    NBIN = NBOUT = NBL = NAWT = NAWQ = 0;
    cfd_grid_size((int)dx.size(), (int)dy.size(), (int)dz.size());
    heapgrid();
    XX = YY = ZZ = 0;
    for (size_t i = 0; i < dx.size(); i++) DELX[i + 2] = dx[i], XX += dx[i];
    for (size_t j = 0; j < dy.size(); j++) DELY[j + 2] = dy[j], YY += dy[j];
    for (size_t k = 0; k < dz.size(); k++) DELZ[k + 2] = dz[k], ZZ += dz[k];
    if (I2DX) XX = 1;
    if (I2DY) YY = 1;
    if (I2DZ) ZZ = 1;
    cfd_grid_geometry();
    cfd_ghost_flags();
    OPERDENS = 1.0, ANU = 0.01, LAMIN = 1, ITUR = 0, ACP = 1005, PRL = 0.9;
    TM = 293.0, TINIT = 293.0;
    DIFFSMU = DIFFSMV = DIFFSMW = DIFFSMT = DIFFSMC = 1;
    URFU = URFV = URFW = 0.7, URFP = 0.3, URFT = URFC = 1.0;
    DTU = DTV = DTW = DTT = DTC = 1e30;
    UMIN = VMIN = WMIN = -100, UMAX = VMAX = WMAX = 100, TMIN = 0, TMAX = 1000;
    STEP = 0, PINTV = 1e9, CRITE = 1e-9, NITMAX = 3000, PBYN = 0;
    CMAXITER = 2000, CRESIDU = 1e-12;
    IREF = JREF = KREF = IMON = JMON = KMON = 2;
    inputdata();
    cfd_test_fill(T, TINIT), cfd_test_fill(TOLD, TINIT);
    vistur();
}

// Runs the steady SIMPLE loop to its criterion or NITMAX.
inline void cfd_test_solve()
{
    RP0 = 0;
    NITER = 0;
    do simple_iteration(1);
    while (NITER < NITMAX && resomnr > CRITE);
}

}  // namespace vexlar_test
