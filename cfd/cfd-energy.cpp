// Energy equation of the CFD zone (tcompu): one outer iteration of the cell temperature,
// assembled from the current velocities and viscosity with temperature walls, heat-flux
// walls, openings and block heat sources, then solved, under-relaxed and clamped. The
// equation is written per unit of specific heat, so its conductances are viscosities over
// a Prandtl number and its sources are heat flows divided by ACP.
#include <algorithm>
#include <cmath>
#include <vector>

#include "cfd/cfd-int.h"
#include "common-src/messages.h"

namespace vexlar {

double RESOT, RT0;

static double* widths(int a) { return a == 0 ? DELX : a == 1 ? DELY : DELZ; }

namespace {

struct FaceFlow { double D, F; };   // conductance and mass flow of a face [kg/s]

// The faces of a cell, per unit of specific heat: the mass flow rho u A [kg/s] from the
// face velocity, and the conductance D = Gamma A / h [kg/s] from the face's mean viscosity
// mu, its laminar part lam over the molecular number and the turbulent rest over the
// turbulent one: Gamma = lam / molecular + (mu - lam) / turbulent.
struct FaceMaker {
    double rho, lam, laminar, turbulent;   // laminar = lam / molecular
    const double* vis;

    // The face above cell q along the axis of stride s, of face velocity c [m/s], area A
    // [m2] and centre distance h [m].
    FaceFlow operator()(const double* c, long q, long s, double A, double h) const
    {
        double mu = (vis[q + s] + vis[q]) * 0.5;
        return FaceFlow{(laminar + (mu - lam) / turbulent) * A / h, rho * c[q] * A};
    }
};

// The faces a sweep keeps, carved from one buffer that grows only with the grid. The rows
// are indexed by k; xBelow holds a row for every j of the plane, at j NK.
struct FaceRows {
    FaceFlow* xBelow;   // x faces below plane i (toward plane i - 1)
    FaceFlow* yBelow;   // y faces below row j of the plane
    FaceFlow* yAbove;   // y faces above row j
    FaceFlow* xAbove;   // x faces of row j above plane i
    FaceFlow* z;        // z face above cell k of row j, k = 1..KM1 (1: the floor's)
};

FaceRows faceRows()
{
    static std::vector<FaceFlow> buf;
    size_t n = (size_t)(NJ + 4) * NK;
    if (buf.size() < n) buf.resize(n);
    FaceFlow* b = buf.data() + (long)NJ * NK;
    return {buf.data(), b, b + NK, b + 2 * NK, b + 3 * NK};
}

// The links of the cells of one row from the faces around them: upwind or power law
// (cfd_link), none toward a solid or ghost cell.
struct RowLinks {
    double *ae, *aw, *an, *as, *at, *ab;
    const int* solid;
    long sx, sy;
    int scheme;

    // Cells q1 + k, k = 2..KM1, below x faces xb and the faces of r; net[q] takes each
    // cell's net outflow [kg/s].
    void set(long q1, const FaceRows& r, const FaceFlow* xb, double* net) const
    {
        const FaceFlow *xa = r.xAbove, *ya = r.yAbove, *yb = r.yBelow, *z = r.z;
        for (int k = 2; k <= KM1; k++) {
            long q = q1 + k;
            ae[q] = solid[q + sx] ? 0.0 : cfd_link(xa[k].D, xa[k].F, 1, scheme);
            aw[q] = solid[q - sx] ? 0.0 : cfd_link(xb[k].D, xb[k].F, -1, scheme);
            an[q] = solid[q + sy] ? 0.0 : cfd_link(ya[k].D, ya[k].F, 1, scheme);
            as[q] = solid[q - sy] ? 0.0 : cfd_link(yb[k].D, yb[k].F, -1, scheme);
            at[q] = solid[q + 1] ? 0.0 : cfd_link(z[k].D, z[k].F, 1, scheme);
            ab[q] = solid[q - 1] ? 0.0 : cfd_link(z[k - 1].D, z[k - 1].F, -1, scheme);
            double f = 0.0;
            f += xa[k].F - xb[k].F;
            f += ya[k].F - yb[k].F;
            f += z[k].F - z[k - 1].F;
            net[q] = f;
        }
    }
};

// The faces of row j of plane i not kept from before: its z faces, and the x and y faces
// above its cells.
void rowFaces(const FaceMaker& face, const FaceRows& r, int i, int j, long q1)
{
    const double *u = base(U), *v = base(V), *w = base(W);
    double Az = AREZ[i][j];
    for (int k = 1; k <= KM1; k++) r.z[k] = face(w, q1 + k, 1, Az, DELZC[k]);
    for (int k = 2; k <= KM1; k++) {
        r.xAbove[k] = face(u, q1 + k, stride(0), AREX[j][k], DELXC[i]);
        r.yAbove[k] = face(v, q1 + k, stride(1), AREY[i][k], DELYC[j]);
    }
}

}  // namespace

// Each face is worked out once, along k rows: the z faces of a row, the x and y faces
// above it, while the faces below it are kept from the previous plane and row.
void cfd_transport_links(int scheme, double molecular, double turbulent, double* net)
{
    double lam = ANU * OPERDENS;
    const FaceMaker face{OPERDENS, lam, lam / molecular, turbulent, base(VIS)};
    const long sx = stride(0), sy = stride(1);
    const RowLinks links{base(AE), base(AW), base(AN), base(AS), base(AT), base(AB),
                         base(ICELL), sx, sy, scheme};
    const double *u = base(U), *v = base(V);
    FaceRows r = faceRows();
    for (int j = 2; j <= JM1; j++)
        for (int k = 2; k <= KM1; k++)
            r.xBelow[j * NK + k] = face(u, ix(1, j, k), sx, AREX[j][k], DELXC[1]);
    for (int i = 2; i <= IM1; i++) {
        for (int k = 2; k <= KM1; k++) r.yBelow[k] = face(v, ix(i, 1, k), sy, AREY[i][k], DELYC[1]);
        for (int j = 2; j <= JM1; j++) {
            long q1 = ix(i, j, 1) - 1;   // q1 + k is cell k of the row
            FaceFlow* xb = r.xBelow + (long)j * NK;
            rowFaces(face, r, i, j, q1);
            links.set(q1, r, xb, net);
            std::copy(r.xAbove + 2, r.xAbove + KM1 + 1, xb + 2);
            std::copy(r.yAbove + 2, r.yAbove + KM1 + 1, r.yBelow + 2);
        }
    }
}

// A wall at Tw [K] conducts to the cell next to it across half the cell's width: per unit
// area D = 2 (mu / PRL) / width [kg/(m2 s)], BS += Tw D A and SP -= D A.
static void temperatureWalls()
{
    for (int n = 1; n <= NAWT; n++) {
        int code = ITTY[n];
        if (code < 1 || code > 6)
            error(FATAL, __FILE__, __LINE__, "CFD input error of constant temperature wall", "");
        double tw = TNAW[n] == CFD_SERIES_TEMPERATURE ? cfd_series_value(UCDTW[n].heat) : TNAW[n];
        cfd_for_wall(LNAW[n], code, [&](const int* q, double A) {
            double D = 2 * (cell(VIS, q) / PRL) / widths(face_axis(code))[q[face_axis(code)]];
            cell(BS, q) += tw * D * A;
            cell(SP, q) -= D * A;
        });
    }
}

// A heat flow q [W] enters as a wall of a very high temperature behind a very small
// conductance (cfd_flux_wall), spread over the wall's area AWQ and divided by ACP.
static void fluxWalls()
{
    for (int n = 1; n <= NAWQ; n++) {
        int code = IQTY[n];
        if (code < 1 || code > 6)
            error(FATAL, __FILE__, __LINE__, "CFD input error of constant heat flux wall", "");
        double q = cfd_series_mark(QNAW[n]) ? cfd_series_value(UCDQCW[n].heat) : QNAW[n];
        cfd_flux_wall(LNAWQ[n], code, q * CFD_FLUX_SCALE / AWQ[n] / ACP);
    }
}

static void blockHeat()
{
    for (int n = 1; n <= NBL; n++) {
        int kind = abs(FSBLOC[n]);
        double Q = TSOUU[n];
        if (FSBLOC[n] < 0) {
            const UcdNode* node = cfd_series_node(UCDBLOK[n].heat);
            Q = node ? node->value_per_size : 0.0;   // per area or volume, as placed
        }
        if (kind == 1)
            cfd_for_block_sides(IBL[n], [&](const int* q, double A) { cell(BS, q) += Q * A; });
        else if (kind == 2)
            cfd_for_box(IBL[n], [&](const int* q) { cell(BS, q) += Q * cell(VOL, q); });
    }
}

// Links, time term and the implicit part of the outflow of every interior cell: with m the
// net outflow [kg/s] where positive, BS = rho V / dt T_old + m T and SP = -m. The added
// m (T - T_new) vanishes as the iteration settles and strengthens the centre coefficient
// of a cell whose continuity is still open.
static void assemble(double rho)
{
    double *bs = base(BS), *sp = base(SP);
    const double *vol = base(VOL), *told = base(TOLD), *t = base(T);
    double dt = DTT;
    cfd_transport_links(DIFFSMT, PRL, CIG[5], sp);   // the net outflows, for now
    cfd_for_rows([&](long q0, long n) {
        for (long q = q0; q < q0 + n; q++) {
            double m = cfd_pos(sp[q]);
            bs[q] = rho * vol[q] / dt * told[q] + m * t[q];
            sp[q] = -m;
        }
    });
}

// A solid cell's terms are zeros, which leave the sums as they are.
bool cfd_scalar_centres(double rho, double dt, double held, double*** phi, double* apphi,
                        double* res)
{
    CfdOrderedSums sums(2, 2, 2, IM1 - 1, JM1 - 1, KM1 - 1);
    const int* solid = base(ICELL);
    double *bs = base(BS), *sp = base(SP), *apc = base(AP);
    const double *vol = base(VOL), *f = base(phi);
    CellLinks L = cfd_cell_links();
    bool fluid = false;
    for (int i = 2; i <= IM1; i++)
        for (int j = 2; j <= JM1; j++) {
            long q = ix(i, j, 2);
            for (int k = 2; k <= KM1; k++, q++) {
                double* term = sums.pair(i, j, k);
                if (solid[q]) bs[q] = held, sp[q] = -CFD_PIN;
                double ap = cfd_add_links(L, rho * vol[q] / dt - sp[q], q);
                apc[q] = ap;
                term[0] = term[1] = 0.0;
                if (solid[q]) continue;
                fluid = true;
                term[0] = fabs(ap * f[q]);
                term[1] = fabs(cfd_cell_residual(L, bs[q], ap, f, q));
            }
        }
    sums.add_to(apphi, res);
    return fluid;
}

// Solves the assembled equation, under-relaxes the new temperatures with URFT and clamps
// them to TMIN..TMAX; the multigrid's working copy TS keeps the unclamped value.
static void solveAndRelax()
{
    err_mg = 0.0;
    double*** src = STORE;
    if (!cfd_multigrid()) {
        cfd_line_pass(IM1, JM1, KM1, T);
    } else {
        PHIMGP_0 = TS;
        mg(REST_AVEP, REST_COAP, IM1, JM1, KM1);
        src = TS;
    }
    double *from = base(src), *ts = src == TS ? from : nullptr, *t = base(T);
    double urf = URFT, lo = TMIN, hi = TMAX;
    cfd_for_rows([&](long q0, long n) {
        for (long q = q0; q < q0 + n; q++) {
            double v = urf * from[q] + (1 - urf) * t[q];
            if (ts) ts[q] = v;
            t[q] = v < lo ? lo : v > hi ? hi : v;
        }
    });
}

void tcompu()
{
    double rho = OPERDENS;
    CIG[5] = 0.9;   // turbulent Prandtl number; the laminar part conducts at PRL
    assemble(rho);
    temperatureWalls();
    fluxWalls();
    for (int l = 1; l <= NBIN; l++) inletbc(l, 4);
    for (int l = 1; l <= NBOUT; l++) outletbc(l, 4);
    blockHeat();
    double rt0 = 0.0, resot = 0.0;   // solid cells are pinned at the initial temperature
    if (cfd_scalar_centres(rho, DTT, TINIT * CFD_PIN, T, &rt0, &resot)) RT0 = rt0, RESOT = resot;
    solveAndRelax();
}

// ---- Balance ----------------------------------------------------------------------------------

namespace {

struct HeatSums {
    double in = 0.0, out = 0.0;   // per unit of specific heat [kg K/s]
    void add(double h) { *(h >= 0 ? &in : &out) += fabs(h); }
};

double openingTemperature(bool inlet, int n)
{
    const UcdOpening* s = inlet ? (IMTYPE[n] < 0 && UCDINLET ? &UCDINLET[n] : nullptr)
                                : (OMTYPE[n] < 0 && UCDOUTLET ? &UCDOUTLET[n] : nullptr);
    if (s && s->temperature) return cfd_node_value(s->temperature);
    return inlet ? TBIN[n] : TBOUT[n];
}

// Heat carried through an opening, counted from the zone's initial temperature: the air's
// own enthalpy passes through, and the zone passes its air only to its criterion.
void openingHeat(HeatSums& h, const int* L, int code, double side)
{
    cfd_for_opening_cells(L, code, [&](const int*, double m, const int* inner) {
        h.add(m * ((m > 0 ? side : cell(T, inner)) - TINIT));
    });
}

// What a temperature wall conducts into the cells next to it, as the equation has it.
void wallHeat(HeatSums& h)
{
    for (int n = 1; n <= NAWT; n++) {
        int code = ITTY[n];
        if (code < 1 || code > 6) continue;
        int a = face_axis(code);
        double tw = TNAW[n] == CFD_SERIES_TEMPERATURE ? cfd_series_value(UCDTW[n].heat) : TNAW[n];
        cfd_for_box(LNAW[n], [&](const int* p) {
            int q[3] = {p[0], p[1], p[2]};
            q[a] += face_inward(code);
            double D = 2 * (cell(VIS, q) / PRL) / widths(a)[q[a]];
            h.add(D * face_area(a, q) * (tw - cell(T, q)));
        });
    }
    for (int n = 1; n <= NAWQ; n++)
        if (IQTY[n] >= 1 && IQTY[n] <= 6)
            h.add((cfd_series_mark(QNAW[n]) ? cfd_series_value(UCDQCW[n].heat) : QNAW[n]) / ACP);
}

// A block's heat reaches the air when it has a size to spread over (placement gives it one).
void blockHeatFlows(HeatSums& h)
{
    for (int n = 1; n <= NBL; n++) {
        int kind = abs(FSBLOC[n]);
        if ((kind != 1 && kind != 2) || (kind == 1 && TAREA[n] <= 0)) continue;
        double q = HSOU[n];
        if (FSBLOC[n] < 0) {
            const UcdNode* node = cfd_series_node(UCDBLOK[n].heat);
            q = node ? node->value : 0.0;
        }
        h.add(q / ACP);
    }
}

}  // namespace

void cfd_energy_balance()
{
    HeatSums h;
    for (int n = 1; n <= NBIN; n++) openingHeat(h, LBIN[n], INTY[n], openingTemperature(true, n));
    for (int n = 1; n <= NBOUT; n++) openingHeat(h, LBOUT[n], IOTY[n], openingTemperature(false, n));
    wallHeat(h);
    blockHeatFlows(h);
    cfd_state.energy_in = h.in * ACP;
    cfd_state.energy_out = h.out * ACP;
}

}  // namespace vexlar

