// Pressure correction of the CFD zone's SIMPLE iteration. ppcompu assembles the mass
// imbalance of every cell left by the momentum equations, with the openings imposed as
// mass sources or pressure-flow laws, and solves for the correction PP; correc moves the
// face velocities and, under relaxation, the pressure by it and keeps the old-value copies
// that the false-time terms use.
#include <algorithm>
#include <cmath>

#include "cfd/cfd-int.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/run-control.h"

namespace vexlar {

double RESOM, RP0, RPP0, ppref, FLOWGIVEN;

namespace {

double*** corrCoef(int a) { return a == 0 ? DX : a == 1 ? DY : DZ; }

// The fields of the three face directions as flat arrays, with their strides.
struct Faces {
    double *hi[3], *lo[3], *d[3], *u[3], *star[3];
    long s[3];
};

Faces faces()
{
    Faces f;
    for (int a = 0; a < 3; a++) {
        f.hi[a] = base(coef_high(a)), f.lo[a] = base(coef_low(a)), f.d[a] = base(corrCoef(a));
        f.u[a] = base(velocity(a)), f.star[a] = base(velocity_star(a)), f.s[a] = stride(a);
    }
    return f;
}

double below(double*** f, const int* p, int a)
{
    int q[3] = {p[0], p[1], p[2]};
    q[a] -= 1;
    return cell(f, q);
}

void centre(const int* p)
{
    long q = ix(p[0], p[1], p[2]);
    double ap = cfd_add_links(cfd_cell_links(), -base(SP)[q], q);
    base(AP)[q] = ap == 0.0 ? 1e-29 : ap;
}

void addMass(const int* q, double m)
{
    double old = cell(BS, q);
    cell(BS, q) = old + m;
    RESOM += fabs(old + m) - fabs(old);
}

// Pressure-flow source of one opening cell: flow g per unit area into the cell.
void lawSource(const int* q, double area, double g, double pb, double pc)
{
    addMass(q, g * area);
    if (fabs(pb - pc) >= 1e-10) cell(SP, q) -= g / (pb - pc) * area;
    centre(q);
}

// Calls f(q, area) for the cell next to every cell of an opening; a cell of a solid block
// in front of the opening takes no air.
template <class F> void forOpening(const int* L, int code, F f)
{
    if (code < 1 || code > 6) return;
    int a = face_axis(code);
    cfd_for_box(L, [&](const int* p) {
        int q[3] = {p[0], p[1], p[2]};
        q[a] += face_inward(code);
        if (cell(ICELL, q)) return;
        f(q, face_area(a, q));
    });
}

// Pressure openings, inlets and outlets alike, pass air both ways as their law gives it.
void lawSources(bool inlet, int l)
{
    OpeningLaw law = cfd_opening_law(inlet, l, inlet ? "Error bcpatch: inlet type setup"
                                                     : "Error bcpatch: outlet type setup");
    if (law.skip) return;
    forOpening(inlet ? LBIN[l] : LBOUT[l], inlet ? INTY[l] : IOTY[l], [&](const int* q, double A) {
        double pc = cell(P, q), g = cfd_law_flow(law, pc);
        lawSource(q, A, g, law.pb, pc);
    });
}

void inletSource(int l)
{
    const UcdOpeningNode* node =
        IMTYPE[l] < 0 && UCDINLET ? cfd_opening_node(&UCDINLET[l]) : nullptr;
    int code = INTY[l];
    if (PITYPE[l] == 1) {
        double g = (node ? node->mass : AMASSIN[l]) / AIN[l];
        if (g > 1e-10)
            forOpening(LBIN[l], code, [&](const int* q, double A) {
                addMass(q, g * A);
                FLOWGIVEN += g * A;
            });
    } else if (PITYPE[l] == 2) {
        lawSources(true, l);
    } else if (PITYPE[l] == 3) {
        int a = face_axis(code);
        int ghost = ghost_layer(code);
        forOpening(LBIN[l], code, [&](const int* q, double A) {
            int g[3] = {q[0], q[1], q[2]};
            g[a] = ghost;
            addMass(q, OPERDENS * cell(velocity_star(a), g) * A);
        });
    }
}

void outletSource(int l)
{
    const UcdOpeningNode* node =
        OMTYPE[l] < 0 && UCDOUTLET ? cfd_opening_node(&UCDOUTLET[l]) : nullptr;
    int code = IOTY[l];
    if (POTYPE[l] == 1) {
        double g = (node ? node->mass : AMASSOUT[l]) / AOU[l];
        forOpening(LBOUT[l], code, [&](const int* q, double A) {
            addMass(q, g * A);
            if (g > 0) FLOWGIVEN += g * A;
        });
    } else if (POTYPE[l] == 2) {
        lawSources(false, l);
    } else if (POTYPE[l] == 3) {
        int a = face_axis(code);
        forOpening(LBOUT[l], code, [&](const int* q, double A) {
            // zero-gradient outflow at the velocity of the cell's inner face
            double u = face_inward(code) > 0 ? cell(velocity(a), q) : below(velocity(a), q, a);
            addMass(q, -fabs(OPERDENS * u) * A);
        });
    }
}

// Sum of |residual| of the correction over the cells off the domain faces; 0 when none.
// The terms are worked out along k rows and summed k outermost, then i, then j.
double innerResidual()
{
    const double *bs = base(BS), *ap = base(AP), *pp = base(PP);
    const double *ae = base(AE), *aw = base(AW), *an = base(AN), *as = base(AS);
    const double *at = base(AT), *ab = base(AB);
    long sx = stride(0), sy = stride(1);
    CfdOrderedSums sums(3, 3, 3, IM2 - 2, JM2 - 2, KM2 - 2);   // |residual|, |AP PP|
    for (int i = 3; i <= IM2; i++)
        for (int j = 3; j <= JM2; j++) {
            long q = ix(i, j, 3);
            for (int k = 3; k <= KM2; k++, q++) {
                double* t = sums.pair(i, j, k);
                double s = bs[q] - ap[q] * pp[q] + aw[q] * pp[q - sx] + ae[q] * pp[q + sx] +
                           as[q] * pp[q - sy] + an[q] * pp[q + sy] + ab[q] * pp[q - 1] +
                           at[q] * pp[q + 1];
                t[0] = fabs(s);
                t[1] = fabs(ap[q] * pp[q]);
            }
        }
    double r = 0.0;
    RPP0 = 0.0;
    sums.add_to(&r, &RPP0);
    return r;
}

// Copies the interior of from to to, k rows at a time.
void copyInterior(double*** to, double*** from)
{
    for (int i = 2; i <= IM1; i++)
        for (int j = 2; j <= JM1; j++)
            std::copy(&from[i][j][2], &from[i][j][KM1] + 1, &to[i][j][2]);
}

void solveCorrection()
{
    err_mg = 0.0;
    if (cfd_multigrid()) {
        PHIMGP_0 = PP;
        mg(REST_AVEP, REST_COAP, IM1, JM1, KM1);
        return;
    }
    for (int pass = 0; pass < 5; pass++) {
        cfd_line_pass(IM1, JM1, KM1, PP);
        copyInterior(PP, STORE);
        RPP0 = 0.0;
        if (IM2 < 3 || JM2 < 3 || KM2 < 3) return;
        if (innerResidual() <= 0.001 * RPP0) return;
    }
}

// Links of the correction from the face coefficients DX, DY, DZ, the mass imbalance left
// by the velocities in BS and the centre coefficient of every interior cell.
void assemble()
{
    double rho = OPERDENS;
    long sx = stride(0), sy = stride(1);
    double *ae = base(AE), *aw = base(AW), *an = base(AN), *as = base(AS);
    double *at = base(AT), *ab = base(AB), *ap = base(AP), *sp = base(SP), *bs = base(BS);
    const double *dx = base(DX), *dy = base(DY), *dz = base(DZ);
    const double *u = base(U), *v = base(V), *w = base(W);
    for (int i = 2; i <= IM1; i++)
        for (int j = 2; j <= JM1; j++) {
            const double *ax = &AREX[j][2], *ay = &AREY[i][2];
            double Az = AREZ[i][j], rz = rho * Az;
            long q0 = ix(i, j, 2);
            for (int k = 0; k <= KM1 - 2; k++) {
                long q = q0 + k;
                double Ax = ax[k], Ay = ay[k], rx = rho * Ax, ry = rho * Ay;
                double e = rx * dx[q], W = rx * dx[q - sx], n = ry * dy[q], S = ry * dy[q - sy];
                double t = rz * dz[q], B = rz * dz[q - 1];
                double b = 0.0;
                b += rho * (u[q - sx] - u[q]) * Ax;
                b += rho * (v[q - sy] - v[q]) * Ay;
                b += rho * (w[q - 1] - w[q]) * Az;
                double c = e + W + (n + S) + (t + B);
                ae[q] = e, aw[q] = W, an[q] = n, as[q] = S, at[q] = t, ab[q] = B;
                sp[q] = 0.0;
                bs[q] = b;
                ap[q] = c == 0.0 ? 1e-29 : c;
            }
        }
}

}  // namespace

void ppcompu()
{
    N1 = N2 = N3 = 1;
    RESOM = FLOWGIVEN = 0.0;
    assemble();
    const double* bs = base(BS);
    cfd_for_cells([&](const int*, long q) { RESOM += fabs(bs[q]); });
    for (int l = 1; l <= NBIN; l++) inletSource(l);
    for (int l = 1; l <= NBOUT; l++) outletSource(l);
    if (INITYN && NITER <= 5 && RESOM > RP0) RP0 = RESOM;
    solveCorrection();
}

double cfd_mass_normaliser()
{
    return FLOWGIVEN > 0 && FLOWGIVEN < RP0 ? FLOWGIVEN : RP0;
}

void correc()
{
    bool keepOld = VSTEADY == 1 || _stepEndTime == _rcdat.start_time;
    ppref = 0.0;
    if (PBYN != 1) {
        ppref = PP[IREF][JREF][KREF];
        NULLP = P[IREF][JREF][KREF];
    }
    Faces f = faces();
    double *pp = base(PP), *pr = base(P);
    double* old[3] = {base(UOLD), base(VOLD), base(WOLD)};
    int n = KM1 - 1;   // cells of a k row
    double urf = URFP;
    // Faces of axis a in row (i, j): those on the domain boundary stay.
    auto inner = [&](int a, int i, int j) {
        return a == 2 ? n - 1 : (a ? j == JM1 : i == IM1) ? 0 : n;
    };
    for (int i = 2; i <= IM1; i++)
        for (int j = 2; j <= JM1; j++)
            for (int a = 0; a < 3; a++) {
                long q0 = ix(i, j, 2), s = f.s[a];
                double *u = f.u[a] + q0, *d = f.d[a] + q0, *star = f.star[a] + q0, *c = pp + q0;
                for (int m = 0, e = inner(a, i, j); m < e; m++)
                    u[m] = star[m] + d[m] * (c[m] - c[m + s]);
            }
    for (int i = 2; i <= IM1; i++)
        for (int j = 2; j <= JM1; j++) {
            long q0 = ix(i, j, 2);
            for (long q = q0; q < q0 + n; q++) {
                pr[q] += urf * (pp[q] - ppref);
                pp[q] = 0.0;
            }
            if (keepOld)
                for (int a = 0; a < 3; a++) std::copy_n(f.u[a] + q0, inner(a, i, j), old[a] + q0);
        }
}

}  // namespace vexlar
