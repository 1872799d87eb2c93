// Three-level multigrid V-cycle for the CFD zone's seven-point systems. Level 1 lumps the
// fine cells in blocks of two along each axis that has more than one cell, level 2 lumps
// level 1 again; the coarse
// operators are built from the finer ones through the per-cell transfer weights (see
// cfd_mg_weights). The smoother is point Gauss-Seidel or one alternating line pass. All
// levels live in arrays of the fine size, each level using indices 2 up to its own size.
#include <cmath>

#include "cfd/cfd-int.h"
#include "model/run-control.h"

namespace vexlar {

namespace {

void setLevel(int ni, int nj, int nk) { imaxGS = ni, jmaxGS = nj, kmaxGS = nk; }

template <class F> void forLevel(F f)
{
    for (int i = 2; i <= imaxGS; i++)
        for (int j = 2; j <= jmaxGS; j++)
            for (int k = 2; k <= kmaxGS; k++) f(i, j, k);
}

// Every child (the fine cells 2I-2, 2I-1 along each axis) of every coarse cell of the level.
template <class F> void forChildren(F f)
{
    forLevel([&](int I, int J, int K) {
        for (int i = 2 * I - 2; i <= 2 * I - 1; i++)
            for (int j = 2 * J - 2; j <= 2 * J - 1; j++)
                for (int k = 2 * K - 2; k <= 2 * K - 1; k++) f(I, J, K, i, j, k);
    });
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

}  // namespace

void Gauss_Seidel(double*** phi, double*** res, double*** b, double*** ap, double*** ae,
                  double*** aw, double*** an, double*** as, double*** at, double*** ab)
{
    if (_rcdat.cfd_gs) {
        LineSystem s = {ap, ae, aw, an, as, at, ab, b};
        for (int axis = 0; axis < 3; axis++)
            line_sweep(axis, s, imaxGS, jmaxGS, kmaxGS, phi, nullptr);
    } else {
        for (int sweep = 0; sweep < GSnum; sweep++)
            for (int k = 2; k <= kmaxGS; k++)
                for (int i = 2; i <= imaxGS; i++)
                    for (int j = 2; j <= jmaxGS; j++)
                        phi[i][j][k] = (aw[i][j][k] * phi[i - 1][j][k] +
                                        ae[i][j][k] * phi[i + 1][j][k] +
                                        an[i][j][k] * phi[i][j + 1][k] +
                                        as[i][j][k] * phi[i][j - 1][k] +
                                        at[i][j][k] * phi[i][j][k + 1] +
                                        ab[i][j][k] * phi[i][j][k - 1] + b[i][j][k]) /
                                       (ap[i][j][k] + 1e-10);
    }
    if (nn_mg == 1) return;
    forLevel([&](int i, int j, int k) {
        res[i][j][k] = b[i][j][k] - ap[i][j][k] * phi[i][j][k] + ae[i][j][k] * phi[i + 1][j][k] +
                       aw[i][j][k] * phi[i - 1][j][k] + an[i][j][k] * phi[i][j + 1][k] +
                       as[i][j][k] * phi[i][j - 1][k] + at[i][j][k] * phi[i][j][k + 1] +
                       ab[i][j][k] * phi[i][j][k - 1];
    });
}

void matrix(double*** ap, double*** ae, double*** aw, double*** an, double*** as,
            double*** at, double*** ab, double*** w, double*** ap_c, double*** ae_c,
            double*** aw_c, double*** an_c, double*** as_c, double*** at_c, double*** ab_c)
{
    forLevel([&](int I, int J, int K) {
        ap_c[I][J][K] = ae_c[I][J][K] = aw_c[I][J][K] = an_c[I][J][K] = as_c[I][J][K] =
            at_c[I][J][K] = ab_c[I][J][K] = 0.0;
    });
    forChildren([&](int I, int J, int K, int i, int j, int k) {
        double wf = w[i][j][k];
        if (wf == 0.0) return;   // an orphan or the ghost partner of a single cell
        bool east = i == 2 * I - 1, north = j == 2 * J - 1, top = k == 2 * K - 1;
        // Links leaving the coarse cell through the child's outer faces.
        if (east) ae_c[I][J][K] += 4 * wf * ae[i][j][k] * w[i + 1][j][k];
        else aw_c[I][J][K] += 4 * wf * aw[i][j][k] * w[i - 1][j][k];
        if (north) an_c[I][J][K] += 4 * wf * an[i][j][k] * w[i][j + 1][k];
        else as_c[I][J][K] += 4 * wf * as[i][j][k] * w[i][j - 1][k];
        if (top) at_c[I][J][K] += 4 * wf * at[i][j][k] * w[i][j][k + 1];
        else ab_c[I][J][K] += 4 * wf * ab[i][j][k] * w[i][j][k - 1];
        // The centre keeps the child's own coefficient less the links inside the block,
        // each taken from the neighbour's side.
        int ix = east ? i - 1 : i + 1, jy = north ? j - 1 : j + 1, kz = top ? k - 1 : k + 1;
        double inner = (east ? ae[ix][j][k] : aw[ix][j][k]) * w[ix][j][k] +
                       (north ? an[i][jy][k] : as[i][jy][k]) * w[i][jy][k] +
                       (top ? at[i][j][kz] : ab[i][j][kz]) * w[i][j][kz];
        ap_c[I][J][K] += 4 * wf * (ap[i][j][k] * wf - inner);
    });
}

void restriction(double*** w, double*** r_fine, double*** r_coarse)
{
    forLevel([&](int I, int J, int K) { r_coarse[I][J][K] = 0.0; });
    forChildren([&](int I, int J, int K, int i, int j, int k) {
        r_coarse[I][J][K] += w[i][j][k] * r_fine[i][j][k];
    });
}

void interpolation(double*** w, double*** e_coarse, double*** e_fine)
{
    forChildren([&](int I, int J, int K, int i, int j, int k) {
        e_fine[i][j][k] = 4 * w[i][j][k] * e_coarse[I][J][K];
    });
}

void mg_cycle(double*** w_ave, double*** w_coa, int ni, int nj, int nk)
{
    setLevel(ni, nj, nk);
    GSnum = 2;
    smooth(PHIMGP_0, RES_PHIMG_0, level(0));

    setLevel(imax_ave, jmax_ave, kmax_ave);
    GSnum = 10;
    restriction(w_ave, RES_PHIMG_0, RES_PHIMG_1);
    forLevel([](int i, int j, int k) { PHIMGP_1[i][j][k] = 0.0, B_1[i][j][k] = RES_PHIMG_1[i][j][k]; });
    smooth(PHIMGP_1, RES_PHIMG_1, level(1));

    setLevel(imax_coa, jmax_coa, kmax_coa);
    restriction(w_coa, RES_PHIMG_1, RES_PHIMG_2);
    forLevel([](int i, int j, int k) { PHIMGP_2[i][j][k] = 0.0, B_2[i][j][k] = RES_PHIMG_2[i][j][k]; });
    nn_mg = 1;
    smooth(PHIMGP_2, RES_PHIMG_2, level(2));
    nn_mg = 0;
    interpolation(w_coa, PHIMGP_2, PHIMGP_3);

    setLevel(imax_ave, jmax_ave, kmax_ave);
    GSnum = 2;
    forLevel([](int i, int j, int k) { PHIMGP_1[i][j][k] += PHIMGP_3[i][j][k]; });
    smooth(PHIMGP_1, RES_PHIMG_1, level(1));
    interpolation(w_ave, PHIMGP_1, PHIMGP_2);

    setLevel(ni, nj, nk);
    if (nk < 2) {   // no interior along z: one more smoothing closes the cycle
        smooth(PHIMGP_0, RES_PHIMG_0, level(0));
        err_mg = 0.0;
        return;
    }
    forLevel([](int i, int j, int k) { PHIMGP_0[i][j][k] += PHIMGP_2[i][j][k]; });
    smooth(PHIMGP_0, RES_PHIMG_0, level(0));
    err_mg = 0.0;
    forLevel([](int i, int j, int k) { err_mg = fmax(err_mg, fabs(RES_PHIMG_0[i][j][k])); });
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
