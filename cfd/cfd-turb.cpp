// The standard k-epsilon model of the CFD zone (turbulence model 1): the transport equations
// of the turbulent kinetic energy k [m2/s2] and its dissipation rate epsilon [m2/s3] on the
// cells, with wall functions at the walls, and the effective viscosity mu + rho Cmu k^2 / eps
// they give. Air entering through an opening brings the turbulence of a fixed intensity and
// length scale (cfd_inflow_turbulence).
#include <cmath>
#include <vector>

#include "cfd/cfd-int.h"
#include "common-src/memory.h"

namespace vexlar {

namespace {

// Model constants: Cmu, C1 and C2 of epsilon, the Prandtl numbers of k and epsilon, von Karman's constant
// and the log law's E; the log law holds beyond y* = 11.225.
const double CMU = 0.09, CE1 = 1.44, CE2 = 1.92, SIGMA_K = 1.0, SIGMA_E = 1.3;
const double KAPPA = 0.41, ELOG = 9.793, YSTAR_LAMINAR = 11.225;
// Entering air: turbulence intensity 4 %, length scale a tenth of the opening's smaller side.
const double INTENSITY = 0.04, LENGTH_PART = 0.1;
// The turbulent viscosity stays below this many times the laminar one, and k above a floor.
const double MUT_CEILING = 1e5, K_FLOOR = 1e-10;
// Starting field: k and a turbulent viscosity ten times the laminar one.
const double K_START = 1e-4, MUT_START = 10.0;

auto& turb() { return cfd_state.turb; }

double cmu25() { static const double v = pow(CMU, 0.25); return v; }
double cmu75() { static const double v = pow(CMU, 0.75); return v; }

// Scratch per cell, in buffers that grow only with the grid.
struct Scratch {
    std::vector<double> uc, vc, wc;   // centre velocities [m/s]
    std::vector<double> gen;          // production G [kg/(m s3)]
    std::vector<double> yw;           // distance to the nearest wall, 0 for none [m]
    std::vector<unsigned char> open;  // bit 2a + (high side): that face is an opening
    // Per axis and index: 1 / width, and 1 over the centre spacings across, above and below.
    std::vector<double> rw[3], rc2[3], rcp[3], rcm[3];
};
Scratch& scratch()
{
    static Scratch s;
    size_t n = (size_t)NI * NJ * NK;
    if (s.uc.size() < n) s.uc.resize(n), s.vc.resize(n), s.wc.resize(n), s.gen.resize(n), s.yw.resize(n), s.open.resize(n);
    for (int a = 0; a < 3; a++) {
        int last = a == 0 ? IM1 : a == 1 ? JM1 : KM1;
        const double* w = a == 0 ? DELX : a == 1 ? DELY : DELZ;
        const double* c = a == 0 ? X : a == 1 ? Y : Z;
        s.rw[a].resize(last + 2), s.rc2[a].resize(last + 2), s.rcp[a].resize(last + 2), s.rcm[a].resize(last + 2);
        for (int m = 2; m <= last; m++) {
            s.rw[a][m] = 1.0 / w[m];
            s.rc2[a][m] = 1.0 / (c[m + 1] - c[m - 1]);
            s.rcp[a][m] = 1.0 / (c[m + 1] - c[m]);
            s.rcm[a][m] = 1.0 / (c[m] - c[m - 1]);
        }
    }
    return s;
}

const double* widths(int a) { return a == 0 ? DELX : a == 1 ? DELY : DELZ; }
int flatAxis(int a) { return a == 0 ? I2DX : a == 1 ? I2DY : I2DZ; }

// True when the fields were (re)allocated and hold nothing yet.
bool allocate()
{
    auto& t = turb();
    if (t.k && (t.ni != NI || t.nj != NJ || t.nk != NK)) cfd_turb_release();
    if (t.k) return false;
    t.k = (double***)alc_ac(1, NI, 1, NJ, 1, NK, sizeof(double), "TKE");
    t.e = (double***)alc_ac(1, NI, 1, NJ, 1, NK, sizeof(double), "TED");
    t.ni = NI, t.nj = NJ, t.nk = NK;
    return true;
}

void start()
{
    double e = CMU * K_START * K_START / (MUT_START * ANU);
    double *k = base(turb().k), *ed = base(turb().e);
    for (long c = 0, n = (long)NI * NJ * NK; c < n; c++) k[c] = K_START, ed[c] = e;
}

// Marks the faces of the cells beside openings (which are no walls) and the distance of
// each fluid cell to its nearest wall: a domain face or a solid block face along an axis of
// more than one cell.
void wallDistances(Scratch& s)
{
    unsigned char* open = s.open.data();
    for (long c = 0, n = (long)NI * NJ * NK; c < n; c++) open[c] = 0;
    auto mark = [&](const int* L, int code) {
        if (code < 1 || code > 6) return;
        int a = face_axis(code), side = face_inward(code) > 0 ? 0 : 1;
        cfd_for_opening_cells(L, code, [&](const int*, double, const int* in) {
            open[ix(in[0], in[1], in[2])] |= (unsigned char)(1u << (2 * a + side));
        });
    };
    for (int l = 1; l <= NBIN; l++) mark(LBIN[l], INTY[l]);
    for (int l = 1; l <= NBOUT; l++) mark(LBOUT[l], IOTY[l]);
    const int* solid = base(ICELL);
    cfd_for_cells([&](const int* p, long q) {
        double y = 0.0;
        for (int a = 0; a < 3; a++) {
            if (flatAxis(a)) continue;
            long st = stride(a);
            for (int side = 0; side < 2; side++) {
                if (!solid[side ? q + st : q - st] || (open[q] >> (2 * a + side) & 1u)) continue;
                double d = widths(a)[p[a]] * 0.5;
                if (y == 0.0 || d < y) y = d;
            }
        }
        s.yw[q] = y;
    });
}

// Wall shear stress over the tangential speed [kg/(m2 s)] at distance y from the wall:
// by the log law from the cell's k, or mu / y in the viscous sublayer.
double shearFactor(double k, double y)
{
    double mu = ANU * OPERDENS, ut = cmu25() * sqrt(k), ys = OPERDENS * ut * y / mu;
    return ys > YSTAR_LAMINAR ? OPERDENS * ut * KAPPA / log(ELOG * ys) : mu / y;
}

// Centre velocities, and the production G = mu_t S^2 of every fluid cell from the strain
// of the centre velocities; in a cell beside a wall the gradient of the velocity along the
// wall taken across it gives way to the wall function's production tau_w du/dy.
void production(Scratch& s)
{
    const double *u = base(U), *v = base(V), *w = base(W), *vis = base(VIS), *k = base(turb().k);
    const int* solid = base(ICELL);
    const long sx = stride(0), sy = stride(1);
    double* c[3] = {s.uc.data(), s.vc.data(), s.wc.data()};
    cfd_for_cells([&](const int*, long q) {
        c[0][q] = (u[q] + u[q - sx]) * 0.5, c[1][q] = (v[q] + v[q - sy]) * 0.5, c[2][q] = (w[q] + w[q - 1]) * 0.5;
    });
    const double lam = ANU * OPERDENS;
    const double* vel[3] = {u, v, w};
    cfd_for_cells([&](const int* p, long q) {
        if (solid[q]) return;
        double g[3][3];   // g[b][a] = d u_b / d x_a
        bool wall[3][2];
        for (int a = 0; a < 3; a++) {
            long st = stride(a);
            int m = p[a];
            double rw = s.rw[a][m];
            for (int b = 0; b < 3; b++) g[b][a] = 0.0;
            wall[a][0] = wall[a][1] = false;
            if (flatAxis(a)) continue;
            g[a][a] = (vel[a][q] - vel[a][q - st]) * rw;
            bool lo = solid[q - st] != 0, hi = solid[q + st] != 0;
            wall[a][0] = lo && !(s.open[q] >> (2 * a) & 1u);
            wall[a][1] = hi && !(s.open[q] >> (2 * a + 1) & 1u);
            for (int b = 0; b < 3; b++) {
                if (b == a) continue;
                const double* f = c[b];
                if (!lo && !hi) g[b][a] = (f[q + st] - f[q - st]) * s.rc2[a][m];
                else if (!hi) g[b][a] = (f[q + st] - f[q]) * s.rcp[a][m];
                else if (!lo) g[b][a] = (f[q] - f[q - st]) * s.rcm[a][m];
            }
        }
        double gw = 0.0;   // the wall functions' production
        for (int a = 0; a < 3; a++) {
            if (!wall[a][0] && !wall[a][1]) continue;
            double ut2 = 0.0;
            for (int b = 0; b < 3; b++)
                if (b != a) ut2 += c[b][q] * c[b][q], g[b][a] = 0.0;
            double y = widths(a)[p[a]] * 0.5, ut = sqrt(ut2), uts = cmu25() * sqrt(k[q]);
            double ys = OPERDENS * uts * y / lam, tau = shearFactor(k[q], y) * ut;
            double dudy = ys > YSTAR_LAMINAR ? uts / (KAPPA * y) : ut / y;
            gw += (wall[a][0] + wall[a][1]) * tau * dudy;
        }
        double s2 = 2 * (g[0][0] * g[0][0] + g[1][1] * g[1][1] + g[2][2] * g[2][2]);
        double a01 = g[0][1] + g[1][0], a02 = g[0][2] + g[2][0], a12 = g[1][2] + g[2][1];
        s2 += a01 * a01 + a02 * a02 + a12 * a12;
        s.gen[q] = (vis[q] - lam) * s2 + gw;
    });
}

// Inflow of phi through every cell of every opening where air enters, at the value the
// function value(m, A, L, code) gives for a cell of inflow m [kg/s] and face area A [m2].
template <class F> void inflow(F value)
{
    auto one = [&](const int* L, int code) {
        if (code < 1 || code > 6) return;
        int a = face_axis(code);
        cfd_for_opening_cells(L, code, [&](const int* p, double m, const int* in) {
            if (m <= 0) return;
            double A = face_area(a, p);
            cell(BS, in) += m * value(m / (OPERDENS * A), L, code);
            cell(SP, in) -= m;
        });
    };
    for (int l = 1; l <= NBIN; l++) one(LBIN[l], INTY[l]);
    for (int l = 1; l <= NBOUT; l++) one(LBOUT[l], IOTY[l]);
}

// The smaller extent of an opening in its own plane [m] (an axis of one cell has none).
double openingSize(const int* L, int code)
{
    int a = face_axis(code);
    double size = 0.0;
    for (int b = 0; b < 3; b++) {
        if (b == a || flatAxis(b)) continue;
        const double* f = b == 0 ? XF : b == 1 ? YF : ZF;
        double e = f[L[2 * b + 2]] - f[L[2 * b + 1] - 1];
        if (size == 0.0 || e < size) size = e;
    }
    return size > 0 ? size : 1.0;
}

// Convection and diffusion (Gamma = mu + mu_t / sigma), the outflow's implicit part, as in
// the energy equation, the sources S = su - sp phi per volume given per cell, and the
// old-value term of the false time step dt, taken on the current value.
template <class Src> void assemble(double*** phi, double sigma, double dt, Src src)
{
    double *bs = base(BS), *sp = base(SP);
    const double *vol = base(VOL), *f = base(phi);
    const double rdt = OPERDENS / dt;
    cfd_transport_links(DIFFSMT, 1.0, sigma, sp);
    cfd_for_rows([&](long q0, long n) {
        for (long q = q0; q < q0 + n; q++) {
            double m = cfd_pos(sp[q]), su, spc;
            src(q, &su, &spc);
            bs[q] = m * f[q] + (su + rdt * f[q]) * vol[q];
            sp[q] = -m - spc * vol[q];
        }
    });
}

// Solves the assembled equation of phi by one line-solver pass, whichever solver run control
// chooses for the other equations (the multigrid's absolute stopping test would run its six
// cycles on every call for these small, pinned values), relaxed by urf and kept above floor;
// the centre takes the false time step dt. Returns the residual sums.
void solve(double*** phi, double dt, double urf, double floor, double* res, double* r0)
{
    const double rho = OPERDENS;
    double* f = base(phi);
    double apphi = 0.0, r = 0.0;
    cfd_scalar_centres(rho, dt, 0.0, phi, &apphi, &r);
    *res = r, *r0 = apphi;
    cfd_line_pass(IM1, JM1, KM1, phi);
    const double* from = base(STORE);
    const int* solid = base(ICELL);
    cfd_for_rows([&](long q0, long n) {
        for (long q = q0; q < q0 + n; q++) {
            double v = solid[q] ? f[q] : urf * from[q] + (1 - urf) * f[q];
            f[q] = v > floor ? v : floor;
        }
    });
}

double relaxation(double urf) { return urf > 0 && urf <= 1 ? urf : 1.0; }
double falseStep(double dt) { return dt > 0 ? dt : 1e30; }

}  // namespace

bool cfd_k_epsilon() { return ITUR == 1 && !LAMIN; }

void cfd_turb_release()
{
    auto& t = turb();
    if (t.k) t.k = (double***)fre_ac(t.k, 1, t.ni, 1, t.nj, 1, t.nk, sizeof(double), "TKE");
    if (t.e) t.e = (double***)fre_ac(t.e, 1, t.ni, 1, t.nj, 1, t.nk, sizeof(double), "TED");
    t.ni = t.nj = t.nk = 0;
}

double cfd_wall_viscosity(double k, double y) { return shearFactor(k, y) * y; }

double cfd_inflow_turbulence(int which, double speed, double size)
{
    double k = 1.5 * (INTENSITY * speed) * (INTENSITY * speed);
    if (which == 0) return k;
    return pow(k, 1.5) / (LENGTH_PART * size);
}

void cfd_turbulence(int first)
{
    bool fresh = allocate();
    auto& t = turb();
    if (first || fresh) start();
    Scratch& s = scratch();
    wallDistances(s);
    production(s);
    const double rho = OPERDENS, lam = ANU * OPERDENS;
    double *k = base(t.k), *e = base(t.e);
    const double* gen = s.gen.data();
    const int* solid = base(ICELL);
    // k: production less dissipation rho eps, the latter implicit through eps / k.
    const double dtk = falseStep(DTEK), dte = falseStep(DTED);
    assemble(t.k, SIGMA_K, dtk, [&](long q, double* su, double* sp) {
        *su = gen[q], *sp = rho * e[q] / k[q];
    });
    inflow([](double speed, const int* L, int code) { return cfd_inflow_turbulence(0, speed, openingSize(L, code)); });
    solve(t.k, dtk, relaxation(URFEK), K_FLOOR, &t.resk, &t.rk0);
    // eps: (C1 G - C2 rho eps) eps / k; held at the log law's value in a cell beside a wall.
    assemble(t.e, SIGMA_E, dte, [&](long q, double* su, double* sp) {
        double r = e[q] / k[q];
        *su = CE1 * r * gen[q], *sp = CE2 * rho * r;
    });
    inflow([](double speed, const int* L, int code) { return cfd_inflow_turbulence(1, speed, openingSize(L, code)); });
    double *bs = base(BS), *sp = base(SP);
    const double* yw = s.yw.data();
    cfd_for_rows([&](long q0, long n) {
        for (long q = q0; q < q0 + n; q++)
            if (yw[q] > 0 && !solid[q]) bs[q] = cmu75() * pow(k[q], 1.5) / (KAPPA * yw[q]) * CFD_PIN, sp[q] = -CFD_PIN;
    });
    solve(t.e, dte, relaxation(URFED), 0.0, &t.rese, &t.re0);
    // mu_t = rho Cmu k^2 / eps, below its ceiling; eps is raised where the ceiling binds.
    double* vis = base(VIS);
    cfd_for_rows([&](long q0, long n) {
        for (long q = q0; q < q0 + n; q++) {
            if (solid[q]) { vis[q] = lam; continue; }
            double floorE = rho * CMU * k[q] * k[q] / (MUT_CEILING * lam);
            if (!(e[q] >= floorE)) e[q] = floorE;
            vis[q] = lam + rho * CMU * k[q] * k[q] / e[q];
        }
    });
}

}  // namespace vexlar
