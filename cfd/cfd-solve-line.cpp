// Line-by-line solver of the CFD zone's seven-point systems: every grid line along one axis
// is solved once with the tridiagonal (Thomas) algorithm, the off-line neighbours taken at
// their newest values. Odd outer iterations sweep each line forward, even ones in reverse,
// so that boundary information travels both ways over consecutive iterations. The
// multigrid smoother uses the same sweeps on its coarse levels.
#include "cfd/cfd-int.h"

namespace vexlar {

namespace {

// Cell m of the line at (outer, inner) for a line along axis AX: x lines are taken k outer
// and j inner, y lines k outer and i inner, z lines i outer and j inner.
template <int AX> inline double& at(double*** a, int m, int outer, int inner)
{
    if constexpr (AX == 0) return a[m][inner][outer];
    if constexpr (AX == 1) return a[inner][m][outer];
    return a[outer][inner][m];
}

// The constant term plus the four neighbours off the line.
template <int AX>
inline double offLine(const LineSystem& s, double*** phi, int m, int o, int n)
{
    int i = AX == 0 ? m : AX == 1 ? n : o;
    int j = AX == 0 ? n : AX == 1 ? m : n;
    int k = AX == 0 ? o : AX == 1 ? o : m;
    double d = s.b[i][j][k];
    if (AX != 0) d += s.ae[i][j][k] * phi[i + 1][j][k] + s.aw[i][j][k] * phi[i - 1][j][k];
    if (AX != 1) d += s.an[i][j][k] * phi[i][j + 1][k] + s.as[i][j][k] * phi[i][j - 1][k];
    if (AX != 2) d += s.at[i][j][k] * phi[i][j][k + 1] + s.ab[i][j][k] * phi[i][j][k - 1];
    return d;
}

inline double pivot(double den) { return den < 1e-10 && den > -1e-10 ? 1e-10 : den; }

template <int AX>
void sweep(const LineSystem& s, int ni, int nj, int nk, double*** phi, double*** store)
{
    int n = AX == 0 ? ni : AX == 1 ? nj : nk;
    int nOuter = AX == 2 ? ni : nk, nInner = AX == 1 ? ni : nj;
    double*** fwd = AX == 0 ? s.ae : AX == 1 ? s.an : s.at;    // link to m+1
    double*** bwd = AX == 0 ? s.aw : AX == 1 ? s.as : s.ab;    // link to m-1
    double *Pc = TDMAa, *Qc = TDMAb;
    bool forward = NITER % 2 != 0;
    for (int o = 2; o <= nOuter; o++)
        for (int in = 2; in <= nInner; in++) {
            if (forward) {
                Pc[1] = 0.0;
                Qc[1] = at<AX>(phi, 1, o, in);
                for (int m = 2; m <= n; m++) {
                    double den = pivot(at<AX>(s.ap, m, o, in) - at<AX>(bwd, m, o, in) * Pc[m - 1]);
                    Pc[m] = at<AX>(fwd, m, o, in) / den;
                    Qc[m] = (offLine<AX>(s, phi, m, o, in) + at<AX>(bwd, m, o, in) * Qc[m - 1]) / den;
                }
                for (int m = n; m >= 2; m--) {
                    double v = Pc[m] * at<AX>(phi, m + 1, o, in) + Qc[m];
                    at<AX>(phi, m, o, in) = v;
                    if (store) at<AX>(store, m, o, in) = v;
                }
            } else {
                Pc[n + 1] = 0.0;
                Qc[n + 1] = at<AX>(phi, n + 1, o, in);
                for (int m = n; m >= 2; m--) {
                    double den = pivot(at<AX>(s.ap, m, o, in) - at<AX>(fwd, m, o, in) * Pc[m + 1]);
                    Pc[m] = at<AX>(bwd, m, o, in) / den;
                    Qc[m] = (offLine<AX>(s, phi, m, o, in) + at<AX>(fwd, m, o, in) * Qc[m + 1]) / den;
                }
                for (int m = 2; m <= n; m++) {
                    double v = Pc[m] * at<AX>(phi, m - 1, o, in) + Qc[m];
                    at<AX>(phi, m, o, in) = v;
                    if (store) at<AX>(store, m, o, in) = v;
                }
            }
        }
}

LineSystem mainSystem() { return {AP, AE, AW, AN, AS, AT, AB, BS}; }

}  // namespace

void line_sweep(int axis, const LineSystem& s, int ni, int nj, int nk, double*** phi,
                double*** store)
{
    if (axis == 0) sweep<0>(s, ni, nj, nk, phi, store);
    if (axis == 1) sweep<1>(s, ni, nj, nk, phi, store);
    if (axis == 2) sweep<2>(s, ni, nj, nk, phi, store);
}

void tdmax(int ni, int nj, int nk, double*** phi)
{
    sweep<0>(mainSystem(), ni, nj, nk, phi, STORE);
    N1 = NITER % 2 != 0 ? 1 : 2;
}

void tdmay(int ni, int nj, int nk, double*** phi)
{
    sweep<1>(mainSystem(), ni, nj, nk, phi, STORE);
    N2 = NITER % 2 != 0 ? 1 : 2;
}

void tdmaz(int ni, int nj, int nk, double*** phi)
{
    sweep<2>(mainSystem(), ni, nj, nk, phi, STORE);
    N3 = NITER % 2 != 0 ? 1 : 2;
}

void cfd_line_pass(int ni, int nj, int nk, double*** phi)
{
    for (int i = 1; i <= NI; i++)
        for (int j = 1; j <= NJ; j++)
            for (int k = 1; k <= NK; k++) STORE[i][j][k] = 0.0;
    tdmax(ni, nj, nk, phi);
    tdmay(ni, nj, nk, STORE);
    tdmaz(ni, nj, nk, STORE);
}

}  // namespace vexlar
