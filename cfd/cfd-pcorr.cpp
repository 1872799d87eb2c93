// Pressure correction of the CFD zone's SIMPLE iteration. ppcompu assembles the mass
// imbalance of every cell left by the momentum equations, with the openings imposed as
// mass sources or pressure-flow laws, and solves for the correction PP; correc moves the
// face velocities and, under relaxation, the pressure by it and keeps the old-value copies
// that the false-time terms use.
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

// Calls f(q, area) for the cell next to every cell of an opening.
template <class F> void forOpening(const int* L, int code, F f)
{
    if (code < 1 || code > 6) return;
    int a = face_axis(code);
    cfd_for_box(L, [&](const int* p) {
        int q[3] = {p[0], p[1], p[2]};
        q[a] += face_inward(code);
        f(q, face_area(a, q));
    });
}

// Pressure openings; a pressure inlet never lets air out.
void lawSources(bool inlet, int l)
{
    OpeningLaw law = cfd_opening_law(inlet, l, inlet ? "Error bcpatch: inlet type setup"
                                                     : "Error bcpatch: outlet type setup");
    if (law.skip) return;
    forOpening(inlet ? LBIN[l] : LBOUT[l], inlet ? INTY[l] : IOTY[l], [&](const int* q, double A) {
        double pc = cell(P, q), g = cfd_law_flow(law, pc);
        lawSource(q, A, inlet ? fmax(g, 0.0) : g, law.pb, pc);
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
double innerResidual()
{
    double r = 0.0;
    RPP0 = 0.0;
    for (int k = 3; k <= KM2; k++)
        for (int i = 3; i <= IM2; i++)
            for (int j = 3; j <= JM2; j++) {
                double s = BS[i][j][k] - AP[i][j][k] * PP[i][j][k] + AW[i][j][k] * PP[i - 1][j][k] +
                           AE[i][j][k] * PP[i + 1][j][k] + AS[i][j][k] * PP[i][j - 1][k] +
                           AN[i][j][k] * PP[i][j + 1][k] + AB[i][j][k] * PP[i][j][k - 1] +
                           AT[i][j][k] * PP[i][j][k + 1];
                r += fabs(s);
                RPP0 += fabs(AP[i][j][k] * PP[i][j][k]);
            }
    return r;
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
        cfd_for_cells([](const int* p) { cell(PP, p) = cell(STORE, p); });
        RPP0 = 0.0;
        if (IM2 < 3 || JM2 < 3 || KM2 < 3) return;
        if (innerResidual() <= 0.001 * RPP0) return;
    }
}

}  // namespace

void ppcompu()
{
    double rho = OPERDENS;
    N1 = N2 = N3 = 1;
    RESOM = FLOWGIVEN = 0.0;
    Faces f = faces();
    double *sp = base(SP), *bs = base(BS);
    cfd_for_cells([&](const int* p, long q) {
        double b = 0.0;
        for (int a = 0; a < 3; a++) {
            double A = face_area(a, p);
            long s = f.s[a];
            f.hi[a][q] = rho * A * f.d[a][q];
            f.lo[a][q] = rho * A * f.d[a][q - s];
            b += rho * (f.u[a][q - s] - f.u[a][q]) * A;
        }
        sp[q] = 0.0;
        bs[q] = b;
        RESOM += fabs(b);
        centre(p);
    });
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
    int last[3] = {IM1, JM1, KM1};
    ppref = 0.0;
    if (PBYN != 1) {
        ppref = PP[IREF][JREF][KREF];
        NULLP = P[IREF][JREF][KREF];
    }
    Faces f = faces();
    double *pp = base(PP), *pr = base(P);
    double* old[3] = {base(UOLD), base(VOLD), base(WOLD)};
    cfd_for_cells([&](const int* p, long q) {
        for (int a = 0; a < 3; a++) {
            if (p[a] == last[a]) continue;   // faces on the domain boundary stay
            f.u[a][q] = f.star[a][q] + f.d[a][q] * (pp[q] - pp[q + f.s[a]]);
        }
    });
    cfd_for_cells([&](const int* p, long q) {
        pr[q] += URFP * (pp[q] - ppref);
        pp[q] = 0.0;
        if (!keepOld) return;
        for (int a = 0; a < 3; a++)
            if (p[a] != last[a]) old[a][q] = f.u[a][q];
    });
}

}  // namespace vexlar
