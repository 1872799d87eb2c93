// Three-level multigrid V-cycle for the CFD zone's seven-point systems. Level 1 lumps the
// fine cells in blocks of two along each axis that has more than one cell, level 2 lumps
// level 1 again; the coarse operators are built from the finer ones through the per-cell
// transfer weights (see cfd_mg_weights). The smoother is point Gauss-Seidel or one alternating line pass. All
// levels live in arrays of the fine size, each level using indices 2 up to its own size.
#include <cmath>

#include "cfd/cfd-int.h"
#include "model/run-control.h"

namespace vexlar {

namespace {

void setLevel(int ni, int nj, int nk) { imaxGS = ni, jmaxGS = nj, kmaxGS = nk; }

// Calls f(q) with q = ix(i, j, k) for every cell of the current level, k innermost.
template <class F> void forLevel(F f)
{
    for (int i = 2; i <= imaxGS; i++)
        for (int j = 2; j <= jmaxGS; j++) {
            long q = ix(i, j, 2);
            for (int k = 2; k <= kmaxGS; k++, q++) f(q);
        }
}

// Every child (the fine cells 2I-2, 2I-1 along each axis) of every coarse cell of the
// level: f(Q, q, di, dj, dk) with Q the coarse cell, q the child and di, dj, dk 1 for the
// child on the high side of the coarse cell.
template <class F> void forChildren(F f)
{
    long si = stride(0), sj = stride(1);
    for (int I = 2; I <= imaxGS; I++)
        for (int J = 2; J <= jmaxGS; J++)
            for (int K = 2; K <= kmaxGS; K++) {
                long Q = ix(I, J, K), q0 = ix(2 * I - 2, 2 * J - 2, 2 * K - 2);
                for (int di = 0; di <= 1; di++)
                    for (int dj = 0; dj <= 1; dj++)
                        for (int dk = 0; dk <= 1; dk++)
                            f(Q, q0 + di * si + dj * sj + dk, di, dj, dk);
            }
}

// Coefficient arrays of the three levels.
LineSystem level(int l)
{
    if (l == 1) return {AP_1, AE_1, AW_1, AN_1, AS_1, AT_1, AB_1, B_1};
    if (l == 2) return {AP_2, AE_2, AW_2, AN_2, AS_2, AT_2, AB_2, B_2};
    return {AP, AE, AW, AN, AS, AT, AB, BS};
}

void smooth(double*** phi, double*** res, const LineSystem& s)
{
    Gauss_Seidel(phi, res, s.b, s.ap, s.ae, s.aw, s.an, s.as, s.at, s.ab);
}

// A level's seven-point coefficients as flat arrays (see ix): the centre coefficient ap and
// the links ae, aw (x high and low), an, as (y high and low), at, ab (z high and low).
struct Stencil {
    double *ap, *ae, *aw, *an, *as, *at, *ab;
};

Stencil stencil(double*** ap, double*** ae, double*** aw, double*** an, double*** as,
                double*** at, double*** ab)
{
    return {base(ap), base(ae), base(aw), base(an), base(as), base(at), base(ab)};
}

// Added to the centre coefficient in the point sweeps, so that a cell without coefficients
// does not divide by zero.
constexpr double CENTRE_FLOOR = 1e-10;

// Rows of a plane updated side by side by the point smoother.
constexpr int GS_ROWS = 4;

}  // namespace

// Point Gauss-Seidel sweeps: each cell takes the newest values of its neighbours, so it
// sees those at i - 1, j - 1 and k - 1 updated and those at i + 1, j + 1 and k + 1 not yet.
// Any order that keeps this gives the same values, whichever axis runs innermost; here k
// does, along the fields' unit stride, and the rows j of a plane i are taken GS_ROWS at a
// time, each row one cell behind the row before it, so that the cells updated together are
// independent of one another and do not wait on each other's division.
void Gauss_Seidel(double*** phi, double*** res, double*** b, double*** ap, double*** ae,
                  double*** aw, double*** an, double*** as, double*** at, double*** ab)
{
    double* x = base(phi);
    const Stencil a = stencil(ap, ae, aw, an, as, at, ab);
    const double* source = base(b);
    const long si = stride(0), sj = stride(1);
    if (_rcdat.cfd_gs) {
        LineSystem s = {ap, ae, aw, an, as, at, ab, b};
        for (int axis = 0; axis < 3; axis++)
            line_sweep(axis, s, imaxGS, jmaxGS, kmaxGS, phi, nullptr);
    } else {
        auto update = [&](long q) {
            x[q] = (a.aw[q] * x[q - si] + a.ae[q] * x[q + si] + a.an[q] * x[q + sj] +
                    a.as[q] * x[q - sj] + a.at[q] * x[q + 1] + a.ab[q] * x[q - 1] + source[q]) /
                   (a.ap[q] + CENTRE_FLOOR);
        };
        for (int sweep = 0; sweep < GSnum; sweep++)
            for (int i = 2; i <= imaxGS; i++)
                for (int j0 = 2; j0 <= jmaxGS; j0 += GS_ROWS) {
                    int rows = jmaxGS - j0 + 1 < GS_ROWS ? jmaxGS - j0 + 1 : GS_ROWS;
                    long q0 = ix(i, j0, 1) - 1;   // row j0 at k = 0
                    // At each step, row j0 + g takes its cell k = step - g.
                    for (int step = 2; step <= kmaxGS + rows - 1; step++) {
                        int gLo = step - kmaxGS > 0 ? step - kmaxGS : 0;
                        int gHi = step - 2 < rows - 1 ? step - 2 : rows - 1;
                        for (int g = gLo; g <= gHi; g++) update(q0 + g * sj + (step - g));
                    }
                }
    }
    if (nn_mg == 1) return;
    double* r = base(res);
    forLevel([&](long q) {
        r[q] = source[q] - a.ap[q] * x[q] + a.ae[q] * x[q + si] + a.aw[q] * x[q - si] +
               a.an[q] * x[q + sj] + a.as[q] * x[q - sj] + a.at[q] * x[q + 1] + a.ab[q] * x[q - 1];
    });
}

// The coarse level's coefficients c from the finer level's f, both sized by the coarse
// level, with the finer level's transfer weights w.
void matrix(double*** ap, double*** ae, double*** aw, double*** an, double*** as,
            double*** at, double*** ab, double*** w, double*** ap_c, double*** ae_c,
            double*** aw_c, double*** an_c, double*** as_c, double*** at_c, double*** ab_c)
{
    const Stencil f = stencil(ap, ae, aw, an, as, at, ab);
    const Stencil c = stencil(ap_c, ae_c, aw_c, an_c, as_c, at_c, ab_c);
    const double* wt = base(w);
    const long si = stride(0), sj = stride(1);
    forLevel([&](long Q) {
        c.ap[Q] = c.ae[Q] = c.aw[Q] = c.an[Q] = c.as[Q] = c.at[Q] = c.ab[Q] = 0.0;
    });
    forChildren([&](long Q, long q, int east, int north, int top) {
        double wf = wt[q];
        if (wf == 0.0) return;   // an orphan or the ghost partner of a single cell
        // Links leaving the coarse cell through the child's outer faces.
        if (east) c.ae[Q] += 4 * wf * f.ae[q] * wt[q + si];
        else c.aw[Q] += 4 * wf * f.aw[q] * wt[q - si];
        if (north) c.an[Q] += 4 * wf * f.an[q] * wt[q + sj];
        else c.as[Q] += 4 * wf * f.as[q] * wt[q - sj];
        if (top) c.at[Q] += 4 * wf * f.at[q] * wt[q + 1];
        else c.ab[Q] += 4 * wf * f.ab[q] * wt[q - 1];
        // The centre keeps the child's own coefficient less the links inside the block,
        // each taken from the neighbour's side.
        long qx = east ? q - si : q + si, qy = north ? q - sj : q + sj, qz = top ? q - 1 : q + 1;
        double inner = (east ? f.ae[qx] : f.aw[qx]) * wt[qx] +
                       (north ? f.an[qy] : f.as[qy]) * wt[qy] + (top ? f.at[qz] : f.ab[qz]) * wt[qz];
        c.ap[Q] += 4 * wf * (f.ap[q] * wf - inner);
    });
}

void restriction(double*** w, double*** r_fine, double*** r_coarse)
{
    const double *wt = base(w), *rf = base(r_fine);
    double* rc = base(r_coarse);
    forLevel([&](long Q) { rc[Q] = 0.0; });
    forChildren([&](long Q, long q, int, int, int) { rc[Q] += wt[q] * rf[q]; });
}

void interpolation(double*** w, double*** e_coarse, double*** e_fine)
{
    const double *wt = base(w), *ec = base(e_coarse);
    double* ef = base(e_fine);
    forChildren([&](long Q, long q, int, int, int) { ef[q] = 4 * wt[q] * ec[Q]; });
}

// The correction problem of the current level: its source the residual of the finer level
// restricted with the finer level's weights w, its correction starting from zero.
static void coarseProblem(double*** w, double*** fineRes, double*** res, double*** corr,
                          double*** source)
{
    restriction(w, fineRes, res);
    double *c = base(corr), *b = base(source);
    const double* r = base(res);
    forLevel([&](long q) { c[q] = 0.0, b[q] = r[q]; });
}

// One V-cycle. PHIMGP_0 is the fine solution, PHIMGP_1 and PHIMGP_2 the corrections of
// levels 1 and 2; on the way up PHIMGP_3 takes level 2's correction on level 1's cells and
// PHIMGP_2, no longer needed, level 1's on the fine cells.
void mg_cycle(double*** w_ave, double*** w_coa, int ni, int nj, int nk)
{
    setLevel(ni, nj, nk);
    GSnum = 2;
    smooth(PHIMGP_0, RES_PHIMG_0, level(0));

    setLevel(imax_ave, jmax_ave, kmax_ave);
    GSnum = 10;
    coarseProblem(w_ave, RES_PHIMG_0, RES_PHIMG_1, PHIMGP_1, B_1);
    smooth(PHIMGP_1, RES_PHIMG_1, level(1));

    setLevel(imax_coa, jmax_coa, kmax_coa);
    coarseProblem(w_coa, RES_PHIMG_1, RES_PHIMG_2, PHIMGP_2, B_2);
    nn_mg = 1;   // the coarsest level takes no residual
    smooth(PHIMGP_2, RES_PHIMG_2, level(2));
    nn_mg = 0;
    interpolation(w_coa, PHIMGP_2, PHIMGP_3);

    setLevel(imax_ave, jmax_ave, kmax_ave);
    GSnum = 2;
    forLevel([](long q) { base(PHIMGP_1)[q] += base(PHIMGP_3)[q]; });
    smooth(PHIMGP_1, RES_PHIMG_1, level(1));
    interpolation(w_ave, PHIMGP_1, PHIMGP_2);

    setLevel(ni, nj, nk);
    if (nk < 2) {   // no interior along z: one more smoothing closes the cycle
        smooth(PHIMGP_0, RES_PHIMG_0, level(0));
        err_mg = 0.0;
        return;
    }
    forLevel([](long q) { base(PHIMGP_0)[q] += base(PHIMGP_2)[q]; });
    smooth(PHIMGP_0, RES_PHIMG_0, level(0));
    err_mg = 0.0;
    forLevel([](long q) { err_mg = fmax(err_mg, fabs(base(RES_PHIMG_0)[q])); });
}

void mg(double*** w_ave, double*** w_coa, int ni, int nj, int nk)
{
    imax_ave = cfd_mg_coarse(ni), jmax_ave = cfd_mg_coarse(nj), kmax_ave = cfd_mg_coarse(nk);
    imax_coa = cfd_mg_coarse(imax_ave), jmax_coa = cfd_mg_coarse(jmax_ave),
    kmax_coa = cfd_mg_coarse(kmax_ave);
    setLevel(imax_ave, jmax_ave, kmax_ave);
    matrix(AP, AE, AW, AN, AS, AT, AB, w_ave, AP_1, AE_1, AW_1, AN_1, AS_1, AT_1, AB_1);
    setLevel(imax_coa, jmax_coa, kmax_coa);
    matrix(AP_1, AE_1, AW_1, AN_1, AS_1, AT_1, AB_1, w_coa, AP_2, AE_2, AW_2, AN_2, AS_2, AT_2,
           AB_2);
    for (int cycle = 1; cycle <= 6; cycle++) {
        mg_cycle(w_ave, w_coa, ni, nj, nk);
        if (nk < 2 || err_mg <= 1e-4) break;
    }
}

}  // namespace vexlar
