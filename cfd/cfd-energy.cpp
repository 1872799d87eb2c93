// Energy equation of the CFD zone (tcompu): one outer iteration of the cell temperature,
// assembled from the current velocities and viscosity with temperature walls, heat-flux
// walls, openings and block heat sources, then solved, under-relaxed and clamped. The
// equation is written per unit of specific heat, so its conductances are viscosities over
// a Prandtl number and its sources are heat flows divided by ACP.
#include <cmath>

#include "cfd/cfd-int.h"
#include "common-src/messages.h"

namespace vexlar {

double RESOT, RT0;

static double* widths(int a) { return a == 0 ? DELX : a == 1 ? DELY : DELZ; }
static double* spacings(int a) { return a == 0 ? DELXC : a == 1 ? DELYC : DELZC; }

void cfd_transport_links(const int* p, int scheme, double molecular, double turbulent, double* fnet)
{
    double rho = OPERDENS, lam = ANU * OPERDENS;
    // Diffusivity of a face from its mean viscosity: the laminar part over the molecular
    // number, the turbulent rest over the turbulent one.
    auto diffusivity = [&](double vis) { return lam / molecular + (vis - lam) / turbulent; };
    long q = ix(p[0], p[1], p[2]);
    const double* visc = base(VIS);
    const int* solid = base(ICELL);
    *fnet = 0.0;
    for (int a = 0; a < 3; a++) {
        long s = stride(a);
        const double* u = base(velocity(a));
        double A = face_area(a, p);
        double Fh = rho * u[q] * A, Fl = rho * u[q - s] * A;
        // Centre distances of both faces: a face's flux is the same seen from either side.
        double Dh = diffusivity((visc[q + s] + visc[q]) * 0.5) * A / spacings(a)[p[a]];
        double Dl = diffusivity((visc[q - s] + visc[q]) * 0.5) * A / spacings(a)[p[a] - 1];
        base(coef_high(a))[q] = solid[q + s] ? 0.0 : cfd_link(Dh, Fh, 1, scheme);
        base(coef_low(a))[q] = solid[q - s] ? 0.0 : cfd_link(Dl, Fl, -1, scheme);
        *fnet += Fh - Fl;
    }
}

static bool seriesMark(double v) { return fabs(v - 1e10) < 1e-10; }

static void temperatureWalls()
{
    for (int n = 1; n <= NAWT; n++) {
        int code = ITTY[n];
        if (code < 1 || code > 6)
            error(FATAL, __FILE__, __LINE__, "CFD input error of constant temperature wall", "");
        double tw = TNAW[n] == 0.0 ? cfd_series_value(UCDTW[n].heat) : TNAW[n];
        cfd_for_wall(LNAW[n], code, [&](const int* q, double A) {
            double D = 2 * (cell(VIS, q) / PRL) / widths(face_axis(code))[q[face_axis(code)]];
            cell(BS, q) += tw * D * A;
            cell(SP, q) -= D * A;
        });
    }
}

// A heat flow enters as a wall of a very high temperature behind a very small conductance.
static void fluxWalls()
{
    for (int n = 1; n <= NAWQ; n++) {
        int code = IQTY[n];
        if (code < 1 || code > 6)
            error(FATAL, __FILE__, __LINE__, "CFD input error of constant heat flux wall", "");
        double q = seriesMark(QNAW[n]) ? cfd_series_value(UCDQCW[n].heat) : QNAW[n];
        double tq = q * 1e10 / AWQ[n] / ACP;
        cfd_for_wall(LNAWQ[n], code, [&](const int* c, double A) {
            cell(BS, c) += tq * 1e-10 * A;
            cell(SP, c) -= 1e-10 * A;
        });
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

void tcompu()
{
    double rho = OPERDENS;
    CIG[5] = 0.9;   // turbulent Prandtl number; the laminar part conducts at PRL
    cfd_for_cells([&](const int* p) {
        double fnet;
        cfd_transport_links(p, DIFFSMT, PRL, CIG[5], &fnet);
        double m = cfd_pos(fnet);
        cell(BS, p) = rho * cell(VOL, p) / DTT * cell(TOLD, p) + m * cell(T, p);
        cell(SP, p) = -m;
    });
    temperatureWalls();
    fluxWalls();
    for (int l = 1; l <= NBIN; l++) inletbc(l, 4);
    for (int l = 1; l <= NBOUT; l++) outletbc(l, 4);
    blockHeat();
    double rt0 = 0.0, resot = 0.0;
    bool fluid = false;
    const int* solid = base(ICELL);
    double *bs = base(BS), *sp = base(SP), *apc = base(AP), *t = base(T);
    const double* vol = base(VOL);
    CellLinks links = cfd_cell_links();
    cfd_for_cells([&](const int* p, long q) {
        if (solid[q]) {
            bs[q] = TINIT * 1e10;   // solid cells are held at the initial temperature
            sp[q] = -1e10;
        }
        double ap = cfd_add_links(links, rho * vol[q] / DTT - sp[q], q);
        apc[q] = ap;
        if (solid[q]) return;
        fluid = true;
        rt0 += fabs(ap * t[q]);
        resot += fabs(cfd_cell_residual(T, p));
    });
    if (fluid) RT0 = rt0, RESOT = resot;
    err_mg = 0.0;
    double*** src = STORE;
    if (!cfd_multigrid()) {
        cfd_line_pass(IM1, JM1, KM1, T);
    } else {
        PHIMGP_0 = TS;
        mg(REST_AVEP, REST_COAP, IM1, JM1, KM1);
        src = TS;
    }
    cfd_for_cells([&](const int* p) {
        double t = URFT * cell(src, p) + (1 - URFT) * cell(T, p);
        if (src == TS) cell(TS, p) = t;
        cell(T, p) = t < TMIN ? TMIN : t > TMAX ? TMAX : t;
    });
}

}  // namespace vexlar
