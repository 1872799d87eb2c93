// Momentum equations of the CFD zone (ucompu, vcompu, wcompu) and the effective viscosity
// (vistur). The three velocity components live on the faces of the staggered grid; one
// assembly serves all three, the component's own axis d and its two tangential axes taking
// the roles of x, y and z. Each call assembles the component's finite-volume equation with
// its false time step, cross-derivative viscous terms, no-slip domain faces and walls,
// openings and solid blocks, relaxes and solves it, and leaves the clamped velocity in the
// field for the pressure correction.
#include <cmath>
#include <vector>

#include "cfd/cfd-int.h"
#include "common-src/messages.h"

namespace vexlar {

double RESOU, RESOV, RESOW, RU0, RV0, RW0;

// ---- Effective viscosity ---------------------------------------------------------------------

// Distance from a cell centre to the nearer domain face of one axis; an axis of one cell
// has no walls.
static double faceDistance(double c, double length, int m1)
{
    if (m1 == 2) return CFD_NO_WALL;
    return c < length - c ? c : length - c;
}

// The smaller of two distances; they are positive, so this is what fmin gives.
static double nearer(double a, double b) { return b < a ? b : a; }

// Share of a newly worked-out zero-equation viscosity taken in each iteration after the
// first of a solve: the viscosity follows the speed it is made of, and taken whole the two
// chase each other without settling. The converged field is the same.
static const double ZERO_EQUATION_RELAXATION = 0.5;

// The zero-equation viscosity (0.03874 |u| l + nu) rho, |u| the speed at the cell centre
// (the mean of each component's two faces) and l the distance to the nearest domain face.
static void zeroEquation(bool relax)
{
    // Wall distances of the cell centres per axis, in a buffer that grows only with the grid.
    static std::vector<double> dist;
    dist.resize(NI + NJ + NK + 3);
    double *dx = dist.data(), *dy = dx + NI + 1, *dz = dy + NJ + 1;
    for (int i = 2; i <= IM1; i++) dx[i] = faceDistance(X[i], XX, IM1);
    for (int j = 2; j <= JM1; j++) dy[j] = faceDistance(Y[j], YY, JM1);
    for (int k = 2; k <= KM1; k++) dz[k] = faceDistance(Z[k], ZZ, KM1);
    const double *u = base(U), *v = base(V), *w = base(W);
    double* vis = base(VIS);
    const long si = stride(0), sj = stride(1);
    const double urf = relax ? ZERO_EQUATION_RELAXATION : 1.0;
    for (int i = 2; i <= IM1; i++)
        for (int j = 2; j <= JM1; j++) {
            long q0 = ix(i, j, 2);
            double lij = nearer(dx[i], dy[j]);
            for (long k = 2, q = q0; k <= KM1; k++, q++) {
                double uc = (u[q] + u[q - si]) * 0.5, vc = (v[q] + v[q - sj]) * 0.5, wc = (w[q] + w[q - 1]) * 0.5;
                double s = sqrt(uc * uc + vc * vc + wc * wc);
                double mu = (0.03874 * s * nearer(lij, dz[k]) + ANU) * OPERDENS;
                vis[q] = urf * mu + (1 - urf) * vis[q];
            }
        }
}

// The ghost cells beside each row take the values next to them.
static void viscosityGhosts()
{
    double* vis = base(VIS);
    const long si = stride(0), sj = stride(1), nk = KM1 - 1;
    for (int i = 2; i <= IM1; i++)
        for (int j = 2; j <= JM1; j++) {
            long q0 = ix(i, j, 2);
            vis[q0 - 1] = vis[q0], vis[q0 + nk] = vis[q0 + nk - 1];
            for (long q = q0; q < q0 + nk; q++) {
                if (i == 2) vis[q - si] = vis[q];
                if (i == IM1) vis[q + si] = vis[q];
                if (j == 2) vis[q - sj] = vis[q];
                if (j == JM1) vis[q + sj] = vis[q];
            }
        }
}

void vistur()
{
    bool first = NITER <= 1;
    if (cfd_k_epsilon()) {
        cfd_turbulence(INITYN && first);
    } else if (LAMIN) {
        double mu = ANU * OPERDENS;
        cfd_for_rows([&](long q0, long n) {
            for (long q = q0; q < q0 + n; q++) base(VIS)[q] = mu;
        });
    } else {
        zeroEquation(!first);
    }
    viscosityGhosts();
}

// ---- Momentum ----------------------------------------------------------------------------------

namespace {

// The arrays and settings of one velocity component.
struct Component {
    int d;                               // own axis
    double*** phi;                       // the velocity [m/s]
    double*** old;                       // its previous value, of the false-time term
    double*** star;                      // the solved velocity before the pressure correction
    double*** corr;                      // velocity-correction coefficient Ad / AP [m2 s/kg]
    double ***wAve, ***wCoa;             // multigrid transfer weights, fine and coarse step
    int scheme;                          // 1 upwind, else power law
    double dt, urf, lo, hi;              // false time step [s], relaxation, clamps [m/s]
    double *reso, *r0;                   // residual sum and its normaliser
};

Component component(int d)
{
    if (d == 0) return {0, U, UOLD, US, DX, REST_AVEU, REST_COAU, DIFFSMU, DTU, URFU, UMIN, UMAX, &RESOU, &RU0};
    if (d == 1) return {1, V, VOLD, VS, DY, REST_AVEV, REST_COAV, DIFFSMV, DTV, URFV, VMIN, VMAX, &RESOV, &RV0};
    return {2, W, WOLD, WS, DZ, REST_AVEW, REST_COAW, DIFFSMW, DTW, URFW, WMIN, WMAX, &RESOW, &RW0};
}

double* del(int a) { return a == 0 ? DELX : a == 1 ? DELY : DELZ; }
double* delc(int a) { return a == 0 ? DELXC : a == 1 ? DELYC : DELZC; }
int last(int a) { return a == 0 ? IM1 : a == 1 ? JM1 : KM1; }
int flat(int a) { return a == 0 ? I2DX : a == 1 ? I2DY : I2DZ; }

// Length of the first and last control volume along d stretched to the domain faces.
double stretch(int d, int pd)
{
    int m2 = last(d) - 1;
    double* dc = delc(d);
    if (pd == m2) return (dc[m2 + 1] + dc[m2]) / dc[m2];
    if (pd == 2) return (dc[1] + dc[2]) / dc[2];
    return 1.0;
}

// What the assembly takes from the grid per axis and index: the reciprocals of the cell
// and centre spacings, so that a node multiplies instead of dividing, and the stretch
// factor of the component's control volume. Filled at every momentum call; the buffers
// grow only with the grid.
struct AxisTables {
    std::vector<double> rdel, rdelc, stretch;
};

const AxisTables* gridTables()
{
    static AxisTables tab[3];
    for (int a = 0; a < 3; a++) {
        AxisTables& t = tab[a];
        int n = last(a);
        t.rdel.resize(n + 2), t.rdelc.resize(n + 2), t.stretch.resize(n + 2);
        const double *dl = del(a), *dc = delc(a);
        for (int m = 1; m <= n; m++) t.rdelc[m] = 1.0 / dc[m];
        for (int m = 2; m <= n; m++) t.rdel[m] = 1.0 / dl[m];
        for (int m = 2; m <= n; m++) t.stretch[m] = stretch(a, m);
    }
    return tab;
}

// One tangential axis t of component d as the assembly walks the fields: the tangential
// velocity u_t, the links of the component toward the high and low neighbour along t, the
// stride along t, the cell widths of the third axis (the control volume's faces normal to
// t are ld by those widths), the reciprocals of the centre spacings and cell widths along
// t, the last interior index along t, and the walls across t.
struct Tangent {
    const double* vel;
    double *linkHigh, *linkLow;
    long s;
    const double *delOther, *rdelc, *rdel;
    int last;
    bool wall;                           // the domain faces across t are walls
};

Tangent tangent(int d, int t, const AxisTables* g)
{
    int o = 3 - d - t;
    return {base(velocity(t)), base(coef_high(t)), base(coef_low(t)), stride(t), del(o),
            g[t].rdelc.data(), g[t].rdel.data(), last(t), !flat(t)};
}

// Nodes of component d per axis: the interior cells, one fewer along d.
void nodeCounts(int d, int* n)
{
    n[0] = IM1, n[1] = JM1, n[2] = KM1;
    n[d] -= 1;
}

// Calls f(p, q, A) for every node p of component d, q its flat index and A its face area
// normal to d, k innermost along the fields' unit stride.
template <class F> void forNodeRows(int d, F f)
{
    int n[3], p[3];
    nodeCounts(d, n);
    for (p[0] = 2; p[0] <= n[0]; p[0]++)
        for (p[1] = 2; p[1] <= n[1]; p[1]++) {
            const double* area = d == 0 ? AREX[p[1]] : d == 1 ? AREY[p[0]] : AREZ[p[0]];
            long q = ix(p[0], p[1], 2);
            for (p[2] = 2; p[2] <= n[2]; p[2]++, q++) f(p, q, area[d == 2 ? p[1] : p[2]]);
        }
}

// Component u_d of the velocity is solved on the control volume around the face it sits on,
// reaching from the centre of the scalar cell behind it (P) to that of the cell ahead (E)
// along d, as
//     AP u = sum over the six faces of A_nb u_nb + BS,   BS = S V + rho V / dt u_old,
// V its volume [m3]. The links A_nb [kg/s] carry convection and diffusion through the faces,
// d/dx_j (rho u_j u_d) and d/dx_j (mu du_d/dx_j); the source S [N/m3] holds what the links do
// not: the pressure gradient -dp/dx_d and the cross-derivative part of the viscous stress,
// d/dx_j (mu du_j/dx_d) summed over the three axes j. Viscosities mu are VIS [kg/(m s)];
// rho is OPERDENS [kg/m3].

// The arrays and constants the assembly of component D reads and writes.
template <int D> struct Assembly {
    static constexpr int T1 = D == 0 ? 1 : 0, T2 = D == 2 ? 1 : 2;   // the tangential axes
    Tangent tg[2];
    double rho, rdt;                     // density, reciprocal false time step [1/s]
    long sd;                             // stride along d
    const double *vis, *phi, *pr, *old;
    double *linkHigh, *linkLow, *bs, *sp;  // the links along d, the source terms
    const double *delc, *rdelc, *rdel, *stretch;   // along d
    int last, scheme;
    bool laminarWall;                    // the walls shear at the laminar viscosity
    double laminarMu;                    // [kg/(m s)]
    const double* tke;                   // k-epsilon: k of the cells, for the wall functions

    Assembly(const Component& c, const AxisTables* g)
        : tg{tangent(D, T1, g), tangent(D, T2, g)}, rho(OPERDENS), rdt(1.0 / c.dt), sd(stride(D)),
          vis(base(VIS)), phi(base(c.phi)), pr(base(P)), old(base(c.old)),
          linkHigh(base(coef_high(D))), linkLow(base(coef_low(D))), bs(base(BS)), sp(base(SP)),
          delc(vexlar::delc(D)), rdelc(g[D].rdelc.data()), rdel(g[D].rdel.data()),
          stretch(g[D].stretch.data()), last(vexlar::last(D)), scheme(c.scheme),
          laminarWall(LAMIN && ITUR != 1), laminarMu(ANU * OPERDENS),
          tke(cfd_k_epsilon() && cfd_state.turb.k ? base(cfd_state.turb.k) : nullptr)
    {
    }
};

// Node q of the component, at index pd along d: the length ld of its control volume along d
// [m] and 1 / ld, the stretch f of the first and last control volumes to the domain faces,
// its face area Ad normal to d [m2], and the viscosities of the cells behind (muP) and
// ahead (muE).
struct Node {
    long q;
    int pd;
    double ld, rld, f, Ad, muP, muE;
};

template <int D> inline Node node(const Assembly<D>& a, int pd, long q, double Ad)
{
    return {q, pd, a.delc[pd], a.rdelc[pd], a.stretch[pd], Ad, a.vis[q], a.vis[q + a.sd]};
}

// -dp/dx_d across the control volume [Pa/m]: the pressures of the two cells it joins.
template <int D> inline double pressureGradient(const Assembly<D>& a, const Node& n)
{
    return (a.pr[n.q] - a.pr[n.q + a.sd]) * n.rld;
}

// Links through the two faces normal to d, at the centres of cells E and P: mass flow
// F = rho (u + u_nb) / 2 Ad [kg/s] and conductance D = mu Ad / DEL [kg/s] from the cell's
// viscosity and width. None toward the domain faces.
template <int D> inline void ownLinks(const Assembly<D>& a, const Node& n)
{
    const double* phi = a.phi;
    const double rho = a.rho, Ad = n.Ad;
    long q = n.q, sd = a.sd;
    double Fe = rho * (phi[q] + phi[q + sd]) * 0.5 * Ad;
    double Fw = rho * (phi[q - sd] + phi[q]) * 0.5 * Ad;
    double De = n.muE * Ad * a.rdel[n.pd + 1], Dw = n.muP * Ad * a.rdel[n.pd];
    a.linkHigh[q] = n.pd == a.last - 1 ? 0.0 : cfd_link(De, Fe, 1, a.scheme);
    a.linkLow[q] = n.pd == 2 ? 0.0 : cfd_link(Dw, Fw, -1, a.scheme);
}

// Cross-derivative source of axis d itself, d/dx_d (mu du_d/dx_d) [N/m3]: the viscous
// stresses at the centres of E and P from the velocity differences across those cells.
template <int D> inline double ownCrossStress(const Assembly<D>& a, const Node& n)
{
    const double* phi = a.phi;
    long q = n.q, sd = a.sd;
    return (n.muE * (phi[q + sd] - phi[q]) * a.rdel[n.pd + 1] -
            n.muP * (phi[q] - phi[q - sd]) * a.rdel[n.pd]) *
           n.rld;
}

// Viscosity on the edge the control volume shares with its neighbour at offset s along a
// tangential axis: the mean of the four cells around that edge.
template <int D> inline double edgeViscosity(const Assembly<D>& a, const Node& n, long s)
{
    return (n.muP + n.muE + a.vis[n.q + s] + a.vis[n.q + a.sd + s]) * 0.25;
}

// Links through the two faces normal to tangential axis t at index pt, of area At [m2]:
// mass flow rho u_t At [kg/s] from the mean of the two u_t faces it spans and conductance
// mu At / DELC [kg/s] from the edge viscosities muH (high face) and muL (low face); the
// first and last control volumes along d are stretched by f. None toward the domain faces.
template <int D>
inline void tangentLinks(const Assembly<D>& a, const Node& n, const Tangent& t, int pt, double At,
                         double muH, double muL)
{
    const double* vt = t.vel;
    const double rho = a.rho, f = n.f;
    long q = n.q, sd = a.sd, st = t.s;
    double Fh = rho * (vt[q] + vt[q + sd]) * 0.5 * At * f;
    double Fl = rho * (vt[q - st] + vt[q + sd - st]) * 0.5 * At * f;
    double Dh = muH * At * t.rdelc[pt] * f, Dl = muL * At * t.rdelc[pt - 1] * f;
    t.linkHigh[q] = pt == t.last ? 0.0 : cfd_link(Dh, Fh, 1, a.scheme);
    t.linkLow[q] = pt == 2 ? 0.0 : cfd_link(Dl, Fl, -1, a.scheme);
}

// Cross-derivative source of tangential axis t, d/dx_t (mu du_t/dx_d) [N/m3]: the stresses
// on the high and low faces normal to t from the differences of u_t along d.
template <int D>
inline double tangentCrossStress(const Assembly<D>& a, const Node& n, const Tangent& t, int pt,
                                 double muH, double muL)
{
    const double* vt = t.vel;
    long q = n.q, sd = a.sd, st = t.s;
    return (muH * (vt[q + sd] - vt[q]) - muL * (vt[q + sd - st] - vt[q - st])) *
           (n.rld * t.rdel[pt]);
}

// Wall shear on a face normal to t that lies on a domain wall, as a sink of the node's
// velocity: mu At / distance [kg/s] over the distance from that wall to the centres next
// to it (the centre spacing toward the low wall at pt 2, toward the high one at the last
// pt), stretched by f. Under the k-epsilon model the wall function gives the viscosity,
// from the mean k of the two cells the node joins.
template <int D>
inline double wallShearSink(const Assembly<D>& a, const Node& n, const Tangent& t, int pt, double At)
{
    double rd = t.rdelc[pt == 2 ? 1 : pt];
    double mu = a.laminarWall ? a.laminarMu : n.muP;
    if (a.tke) mu = cfd_wall_viscosity((a.tke[n.q] + a.tke[n.q + a.sd]) * 0.5, 1.0 / rd);
    return mu * At * rd * n.f;
}

// Every coefficient of node p (flat index q, face area Ad normal to d) but the centre's:
// the links of its six faces, and BS and SP from the sources, the false-time term and the
// no-slip domain faces. Each source term is taken before the links of its faces are
// stored, so that the velocities it reads are still in registers.
template <int D> inline void assembleNode(const Assembly<D>& a, const int* p, long q, double Ad)
{
    constexpr int T1 = Assembly<D>::T1, T2 = Assembly<D>::T2;
    Node n = node(a, p[D], q, Ad);
    double S = pressureGradient(a, n) + ownCrossStress(a, n);
    ownLinks(a, n);
    double sp = 0.0;
    for (int e = 0; e < 2; e++) {
        const Tangent& t = a.tg[e];
        int pt = e == 0 ? p[T1] : p[T2], po = e == 0 ? p[T2] : p[T1];
        double At = n.ld * t.delOther[po];   // the control volume's faces normal to t [m2]
        double muH = edgeViscosity(a, n, t.s), muL = edgeViscosity(a, n, -t.s);
        S += tangentCrossStress(a, n, t, pt, muH, muL);
        tangentLinks(a, n, t, pt, At, muH, muL);
        if (t.wall && (pt == 2 || pt == t.last)) sp -= wallShearSink(a, n, t, pt, At);
    }
    double vol = n.ld * Ad * n.f;
    a.bs[q] = S * vol + a.rho * vol * a.rdt * a.old[q];
    a.sp[q] = sp;
}

// Nodes are independent, so they are walked with k innermost, along the fields' unit stride.
template <int D> void assembleNodes(const Component& c, const AxisTables* g)
{
    const Assembly<D> a(c, g);
    forNodeRows(D, [&](const int* p, long q, double Ad) { assembleNode(a, p, q, Ad); });
}

void assembleNodes(const Component& c, const AxisTables* g)
{
    if (c.d == 0) assembleNodes<0>(c, g);
    if (c.d == 1) assembleNodes<1>(c, g);
    if (c.d == 2) assembleNodes<2>(c, g);
}

// Wall shear of the listed walls parallel to the component, on the row next to each wall.
// A wall on a domain face already has its shear as that face's (assembleNode).
void wallShear(const Component& c)
{
    int d = c.d;
    const bool laminarWall = LAMIN && ITUR != 1;
    const double *vis = base(VIS), *delcD = delc(d);
    const double* tke = cfd_k_epsilon() && cfd_state.turb.k ? base(cfd_state.turb.k) : nullptr;
    double* sp = base(SP);
    for (int n = 1; n <= NAWT; n++) {
        int code = ITTY[n], a = face_axis(code);
        if (code < 1 || code > 6 || a == d) continue;
        int layer = LNAW[n][2 * a + 1];
        if (layer == 1 || layer == last(a) + 1) continue;
        int o = 3 - d - a;
        const double* delo = del(o);
        int L[7];
        for (int e = 1; e <= 6; e++) L[e] = LNAW[n][e];
        L[2 * a + 1] = L[2 * a + 2] = LNAW[n][2 * a + 1] + face_inward(code);
        double wd = del(a)[L[2 * a + 1]] * 0.5;   // from the wall to the centres beside it
        cfd_for_box(L, [&](const int* p) {
            long q = ix(p[0], p[1], p[2]);
            double mu = laminarWall ? ANU * OPERDENS : vis[q];
            if (tke) mu = cfd_wall_viscosity((tke[q] + tke[q + stride(d)]) * 0.5, wd);
            sp[q] -= mu * delcD[p[d]] * delo[p[o]] / wd;
        });
    }
}

// Every velocity face bounding or inside a solid block is held at zero.
void pinBlocks(const Component& c)
{
    double* sp = base(SP);
    for (int n = 1; n <= NBL; n++) {
        if (abs(FSBLOC[n]) != 1) continue;
        int L[7];
        for (int e = 1; e <= 6; e++) L[e] = IBL[n][e];
        L[2 * c.d + 1] -= 1;
        cfd_for_box(L, [&](const int* p) { sp[ix(p[0], p[1], p[2])] = -CFD_PIN; });
    }
}

// Centre coefficients of the relaxed equation and its residual sums over the nodes that
// are not pinned, summed k outermost, then i, then j: each node's terms are worked out
// along k rows into a buffer laid out in that order, a pinned node's as zeros.
void relaxAndMeasure(const Component& c)
{
    int n[3];
    nodeCounts(c.d, n);
    CfdOrderedSums sums(2, 2, 2, n[0] - 1, n[1] - 1, n[2] - 1);
    const double rho = OPERDENS, urf = c.urf, rdt = 1.0 / c.dt, rurf = 1.0 / c.urf;
    double *sp = base(SP), *ap = base(AP), *bs = base(BS), *corr = base(c.corr);
    const double *phi = base(c.phi), *delcD = delc(c.d);
    CellLinks L = cfd_cell_links();
    forNodeRows(c.d, [&](const int* p, long q, double Ad) {
        // The false-time term rho V / dt [kg/s] takes the unstretched volume.
        double a = cfd_add_links(L, rho * delcD[p[c.d]] * Ad * rdt - sp[q], q);
        corr[q] = urf * Ad / a;
        a *= rurf;
        ap[q] = a;
        bs[q] += (1 - urf) * a * phi[q];
        double* term = sums.pair(p[0], p[1], p[2]);
        term[0] = term[1] = 0.0;
        if (cfd_pinned(sp[q])) return;
        term[0] = fabs(cfd_cell_residual(L, bs[q], a, phi, q));
        term[1] = fabs(a * phi[q]);
    });
    *c.reso = *c.r0 = 0.0;
    sums.add_to(c.reso, c.r0);
}

void solveAndClamp(const Component& c)
{
    int n[3];
    nodeCounts(c.d, n);
    err_mg = 0.0;
    double*** src = STORE;
    if (!cfd_multigrid()) {
        cfd_line_pass(n[0], n[1], n[2], c.phi);
    } else {
        PHIMGP_0 = c.star;
        mg(c.wAve, c.wCoa, n[0], n[1], n[2]);
        src = c.star;
    }
    const double *from = base(src), lo = c.lo, hi = c.hi;
    double *star = base(c.star), *phi = base(c.phi);
    forNodeRows(c.d, [&](const int*, long q, double) {
        double v = from[q];
        if (v > hi) v = hi;
        if (v < lo) v = lo;
        star[q] = v;
        phi[q] = v;
    });
}

// Buoyancy of the vertical component's faces, at the mean temperature of the two cells
// that share each: rho g beta (T - TM) V [N] on the control volume V, stretched as the
// other sources are; BETA [1/K], GRA [m/s2].
void buoyancy(const AxisTables* g)
{
    double* bs = base(BS);
    const double *t = base(T), *stretchZ = g[2].stretch.data();
    forNodeRows(2, [&](const int* p, long q, double Ad) {
        bs[q] += ((t[q] + t[q + 1]) * 0.5 - TM) * BETA * GRA * OPERDENS * DELZC[p[2]] * Ad *
                 stretchZ[p[2]];
    });
}

// The vertical component also carries the buoyancy of its faces.
void momentum(int d)
{
    Component c = component(d);
    N1 = N2 = N3 = 1;
    const AxisTables* g = gridTables();
    assembleNodes(c, g);
    if (d == 2 && ENERGY == 1) buoyancy(g);
    wallShear(c);
    for (int l = 1; l <= NBIN; l++) inletbc(l, d + 1);
    for (int l = 1; l <= NBOUT; l++) outletbc(l, d + 1);
    pinBlocks(c);
    relaxAndMeasure(c);
    solveAndClamp(c);
}

}  // namespace

void ucompu() { momentum(0); }
void vcompu() { momentum(1); }
void wcompu() { momentum(2); }

}  // namespace vexlar
