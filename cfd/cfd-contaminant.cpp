// Contaminant equations of the CFD zone and their mass balance. computec solves every
// active species in turn, each iterated by ccompu to its residual limit; coeffc assembles
// one species' equation (convection and diffusion with the viscosity as diffusivity, the
// time term, wall, opening and block sources). chkctm writes what enters and leaves each
// opening, block and wall to the result file; integrate gives the flow through one patch.
#include <algorithm>
#include <cmath>

#include "cfd/cfd-int.h"
#include "common-src/messages.h"
#include "cfd/cfd.h"

namespace vexlar {

double RESOC, RPC0[6], INCTM, SUMM, SUMMA;
int CINDEX;

static double timeStep() { return CSTEADY == 1 ? DTC : TIMESTEP; }

static void wallSources()
{
    for (int n = 1; n <= NAWQ; n++) {
        int code = IQTY[n];
        if (code < 1 || code > 6)
            error(FATAL, __FILE__, __LINE__, "Error boundc: wall contaminant source setup", "");
        const UcdRec& r = UCDQCW[n];
        double G = CNAW[n][CINDEX];
        if (cfd_series_mark(QNAW[n]))
            G = r.present[CINDEX] ? cfd_series_value(r.species[CINDEX]) : 0.0;
        cfd_flux_wall(LNAWQ[n], code, G * CFD_FLUX_SCALE / AWQ[n]);
    }
}

// Outlets are zero-gradient; air entering a pressure outlet brings the value of the side it
// comes from (the balance rewrites CBOUT with what leaves, so that is not it).
static void outletSources()
{
    for (int n = 1; n <= NBOUT; n++) {
        int code = IOTY[n];
        if (code < 1 || code > 6) continue;
        int a = face_axis(code);
        if (!cfd_opening_interior(LBOUT[n], code)) cfd_for_wall(LBOUT[n], code, [](const int*, double) {});
        if (POTYPE[n] != 2) continue;
        OpeningLaw law = cfd_opening_law(false, n, "Error outletbc: outlet type setup");
        if (law.skip) continue;
        double cb = cfd_inflow_value(false, n, CINDEX);
        cfd_for_box(LBOUT[n], [&](const int* p) {
            int q[3] = {p[0], p[1], p[2]};
            q[a] += face_inward(code);
            double pc = cell(P, q);
            double flux = fabs(law.pb - pc) < 1e-10 ? 0.0 : fmax(cfd_law_flow(law, pc), 0.0);
            double A = face_area(a, q);
            cell(BS, q) += cb * flux * A;
            cell(SP, q) -= flux * A;
        });
    }
}

double cfd_inflow_value(bool inlet, int n, int s)
{
    int mtype = inlet ? IMTYPE[n] : OMTYPE[n];
    const UcdOpening* series = inlet ? UCDINLET : UCDOUTLET;
    if (mtype < 0 && series) {
        const UcdNode* head = series[n].species[s];
        return head ? cfd_node_value(head) : 0.0;
    }
    return (inlet ? CBINSIDE : CBOUTSIDE)[n][s];
}

static void blockSources(double*** c)
{
    for (int n = 1; n <= NBL; n++) {
        int kind = abs(FSBLOC[n]);
        double Q = CSOUU[n][CINDEX];
        if (FSBLOC[n] < 0) {
            const UcdRec& r = UCDBLOK[n];
            const UcdNode* node = r.present[CINDEX] ? cfd_series_node(r.species[CINDEX]) : nullptr;
            Q = node ? node->value_per_size : 0.0;
        }
        // The factor 1 - c / CFD_SOURCE_CEILING stops a source once the cell holds the ceiling.
        if (kind == 1)
            cfd_for_block_sides(IBL[n], [&](const int* q, double A) {
                if (!cell(ICELL, q)) cell(BS, q) += A * Q * (1 - cell(c, q) / CFD_SOURCE_CEILING);
            });
        else if (kind == 2 && Q != 0.0)
            cfd_for_box(IBL[n], [&](const int* q) {
                cell(BS, q) += cell(VOL, q) * Q * (1 - cell(c, q) / CFD_SOURCE_CEILING);
            });
    }
}

void coeffc(double*** c, double*** c_old)
{
    double rho = OPERDENS, dt = timeStep();
    CIG[6] = 1.0;
    double *bs = base(BS), *sp = base(SP);
    const double *vol = base(VOL), *old = base(c_old);
    cfd_transport_links(DIFFSMC, CIG[6], CIG[6], sp);   // the net outflows are not used
    cfd_for_rows([&](long q0, long n) {
        for (long q = q0; q < q0 + n; q++) bs[q] = rho * vol[q] / dt * old[q], sp[q] = 0.0;
    });
    wallSources();
    for (int l = 1; l <= NBIN; l++) inletbc(l, 5);
    outletSources();
    blockSources(c);
    double apphi = 0.0;   // not used here
    cfd_scalar_centres(rho, dt, 0.0, c, &apphi, &RESOC);
}

// The line solver's new values in STORE become c, under relaxation for a steady solve.
static void relax(double*** c)
{
    double *to = base(c), urf = URFC;
    const double* from = base(STORE);
    bool steady = CSTEADY == 1;
    cfd_for_rows([&](long q0, long n) {
        for (long q = q0; q < q0 + n; q++)
            to[q] = steady ? (1 - urf) * to[q] + urf * from[q] : from[q];
    });
}

// The species CINDEX stopped at CMAXITER with its relative residual still above CRESIDU.
static void limitReached(double residual)
{
    char equation[32];
    snprintf(equation, sizeof equation, "contaminant %d", CINDEX);
    cfd_limit_warning(CINDEX, equation, CMAXITER, residual, CRESIDU);
    cfd_ctm_converged = false;
}

void ccompu(double*** c, double*** c_old)
{
    err_mg = 0.0;
    cfd_say("Calculate NO. %d contaminant\n", CINDEX);
    const char* line = " I=%d, R=%lf, C=%-2.1le\n";
    for (int it = 1;; it++) {
        RESOC = 0.0;
        coeffc(c, c_old);
        if (!cfd_multigrid()) {
            cfd_line_pass(IM1, JM1, KM1, c);
            relax(c);
        } else {
            PHIMGP_0 = c;
            mg(REST_AVEP, REST_COAP, IM1, JM1, KM1);
        }
        if (CSTEADY == 1)
            cfd_for_rows([&](long q0, long n) { std::copy_n(base(c) + q0, n, base(c_old) + q0); });
        // Every measure is relative to the equation's own size (the norm of AP c), so that a
        // source 10 000 times smaller is solved as the larger one, scaled.
        double sum = 0.0, size = 0.0;
        cfd_for_cells([&](const int* p) {
            if (cell(ICELL, p)) return;
            double r = cfd_cell_residual(c, p), apc = cell(AP, p) * cell(c, p);
            sum += r * r;
            size += apc * apc;
        });
        double R = sqrt(sum);
        if (_cciter <= 1 && it < 6 && R > RPC0[CINDEX]) RPC0[CINDEX] = R;
        double norm = RPC0[CINDEX] > 0 ? R / RPC0[CINDEX] : 0.0, cm = c[IMON][JMON][KMON];
        if (PINTV > 0 && fmod(it, PINTV) == 0) cfd_say(line, it, norm, cm);
        // A species whose first residuals are round-off of its size has nothing left to solve.
        bool met = R <= CRESIDU * RPC0[CINDEX] || (it > 5 && RPC0[CINDEX] <= CFD_NOTHING_TO_SOLVE * sqrt(size));
        if (met || it > CMAXITER) {
            cfd_say(line, it, norm, cm);
            if (!met) limitReached(norm);
            return;
        }
    }
}

void computec()
{
    cfd_ctm_converged = true;
    for (int n = 1; n <= 5; n++)
        if (CACTIVE[n]) {
            CINDEX = n;
            ccompu(cfd_species(n), cfd_species_old(n));
        }
}

// ---- Mass balance ----------------------------------------------------------------------------

// Each cell of the patch passes its air one way: air leaving carries the concentration of
// the cell inside, air entering the value `side` of the side it comes from.
double integrate(int i1, int i2, int j1, int j2, int k1, int k2, int face, double*** c, double side)
{
    SUMM = SUMMA = 0.0;
    int L[7] = {0, i1, i2, j1, j2, k1, k2};
    int nmax[3] = {IMAX, JMAX, KMAX}, order[3] = {0, 1, 2};
    if (I2DX) order[0] = 1, order[1] = 2, order[2] = -1;
    if (I2DY) order[0] = 0, order[1] = 2, order[2] = -1;
    if (I2DZ) order[0] = 1, order[1] = 0, order[2] = -1;
    int a = -1;
    for (int o = 0; o < 3 && a < 0; o++)
        if (order[o] >= 0 && L[2 * order[o] + 1] == L[2 * order[o] + 2]) a = order[o];
    if (a < 0) return 0.0;   // no plane patch: no flow through it
    int q = L[2 * a + 1];
    if (face == 0) face = q == 1 ? 2 * a + 1 : q == nmax[a] ? 2 * a + 2 : 0;
    if (face < 1 || face > 6) return 0.0;
    int in = face_inward(face);
    double result = 0.0;
    cfd_for_opening_cells(L, face, [&](const int* p, double m, const int* inner) {
        SUMM += in * m;
        SUMMA += face_area(face_axis(face), p);
        result += (m > 0 ? side : cell(c, inner)) * in * m;
    });
    return result;
}

static void balanceLine(const char* kind, int n, const char* name, double M, double x, double q)
{
    fprintf(RE, "\t*%s #%-2d:%s          AirMass=%-12.6lf[kg/s]  MassFraction=%le[kg/kg]  "
                "ContaminantMass=%le[kg/s]\n", kind, n, name, M, x, q);
}

static void tally(double q, bool in, double* In, double* Out) { *(in ? In : Out) += fabs(q); }

// Species flow into the zone through an opening [kg/s]; negative when it leaves.
static double entering(const int* L, int code, double*** c, double side)
{
    double q = integrate(L[1], L[2], L[3], L[4], L[5], L[6], code, c, side);
    return code >= 1 && code <= 6 ? face_inward(code) * q : 0.0;
}

void chkctm()
{
    if (!RE) return;
    fprintf(RE, "\nAt time step:%f:\n", CFDTIME);
    fprintf(RE, "\nContaminant computation results:\n");
    double In = 0.0;
    for (int s = 1; s <= 5; s++) {
        if (!CACTIVE[s]) continue;
        double*** c = cfd_species(s);
        double Out = 0.0;
        In = 0.0;
        fprintf(RE, "  *Contaminant#%-2d\n", s);
        for (int n = 1; n <= NBIN; n++) {
            double M = AMASSIN[n], x = CBIN[n][s], q = x * M;
            if (PITYPE[n] != 1) {
                q = entering(LBIN[n], INTY[n], c, cfd_inflow_value(true, n, s));
                if (M < 0) x = CBIN[n][s] = q / M;
            }
            tally(q, q >= 0, &In, &Out);
            balanceLine("Inlet", n, NMIN[n], M, x, q);
        }
        for (int n = 1; n <= NBOUT; n++) {
            double M = AMASSOUT[n], x = CBOUT[n][s];
            double q = entering(LBOUT[n], IOTY[n], c, cfd_inflow_value(false, n, s));
            if (M < 0 || (M > 0 && POTYPE[n] != 2)) x = CBOUT[n][s] = q / M;
            tally(q, q >= 0, &In, &Out);
            balanceLine("Outlet", n, NMOUT[n], M, x, q);
        }
        for (int n = 1; n <= NBL; n++) {
            double q = CSOU[n][s];
            fprintf(RE, "\t*Blockage #%-2d          ContaminantMass=%le[kg/s]\n", n, q);
            tally(q, q >= 0, &In, &Out);
        }
        for (int n = 1; n <= NAWQ; n++) {
            double q = CNAW[n][s];
            fprintf(RE, "\t*SurfaceSource #%-2d     ContaminantMass=%le[kg/s]\n", n, q);
            tally(q, q >= 0, &In, &Out);
        }
        fprintf(RE, "  *TotalInput=%le[kg/s]  TotalOutput=%le[kg/s]  SUMM=%lf[kg/S]  SUMMA=%lf[m^2]\n\n",
                In, Out, SUMM, SUMMA);
        cfd_state.balance_in[s] = In, cfd_state.balance_out[s] = Out;
    }
    INCTM = In;
    fflush(RE);
}

}  // namespace vexlar
