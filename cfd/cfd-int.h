// State shared by the files of the CFD zone solver and not by its callers: grid geometry,
// the input file's remaining items, blocks, walls and their .UCD series, the equation
// coefficients, and the line and multigrid solvers with their work arrays.
#pragma once
#include <cmath>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "cfd/cfd.h"

namespace vexlar {

// ---- Grid geometry (1-based, ghost entries included) -------------------------------------
extern double *X, *XF, *DELX, *DELXC;
extern double *Y, *YF, *DELY, *DELYC;
extern double *Z, *ZF, *DELZ, *DELZC;
extern double** AREX;            // [j][k] = DELY[j] DELZ[k], interior only
extern double** AREY;            // [i][k]
extern double** AREZ;            // [i][j]
extern double XP, YP, ZP;        // centre of the first interior cell
extern double CIG[9];

// ---- Items of the input file ---------------------------------------------------------------
extern char TITLE[4097];
extern double CRESIDU;
extern int CMAXITER, TPLSTEP1, TPLSTEP2;
extern double CRITE;
extern int NITMAX, LAMIN, ITUR;
extern int DIFFSMU, DIFFSMV, DIFFSMW, DIFFSMT, DIFFSMC;
extern int BUOYML;
extern double UMIN, UMAX, VMIN, VMAX, WMIN, WMAX, TMIN, TMAX;
extern double URFU, URFV, URFW, URFP, URFT, URFEK, URFED, URFC;
extern double DTU, DTV, DTW, DTT, DTEK, DTED, DTC;
extern int STEP, ISTEP;
extern double CDTU, CDTV, CDTW, CDTT, CDTEK, CDTED, CDTC;
extern double PINTV;
extern int IREF, JREF, KREF;
extern int IP1, IP2, IPSTP, JP1, JP2, JPSTP;
extern int NXSLCF, NYSLCF, NZSLCF;
extern int *XSLCF, *YSLCF, *ZSLCF;   // 0-based lists of interior cell numbers
extern int DUMPLOG;
extern double AK;

// ---- .UCD time series ---------------------------------------------------------------------
struct UcdNode {                 // one point of a series, from the pool _cplms
    UcdNode* next;
    double time;                 // [s]
    double value;
    double value_per_size;       // value per source area or volume (blocks)
};

struct UcdSeries {
    int count;                   // points read this call; nodes beyond it are spare
    UcdNode* head;
};

// One series record of a block, temperature wall or flux wall.
struct UcdRec {
    int ints[2];                 // the two integers heading the series (kept, not used)
    int kind;                    // blocks: |FSBLOC|
    int nspecies;                // species series m
    int heat_kind;               // 2 for the heat series of a block
    UcdSeries heat;              // heat [W], flux, or wall temperature [K]
    int present[6];              // [1..5] species series given
    UcdSeries species[6];        // [1..5]
};

// The current values of a series-driven opening (filled by the coupling when it drives
// openings from a time series).
struct UcdOpeningNode {
    UcdOpeningNode* next;
    double time, u, v, w, mass, pressure;
    double coe, exp;             // pressure-flow law: coefficient and exponent
};

struct UcdOpening {
    UcdOpeningNode* head;
    UcdNode* temperature;        // inlets: head of the temperature series [K]
    UcdNode* species[6];         // [1..5] concentration series, null when not given
};

extern UcdRec *UCDBLOK, *UCDTW, *UCDQCW;   // [1..NBL], [1..NAWT], [1..NAWQ]
extern UcdOpening *UCDINLET, *UCDOUTLET;    // [1..NBIN], [1..NBOUT] when series drive them

// ---- Blocks and walls ------------------------------------------------------------------------
extern int NBL;
extern int** IBL;                // [n][1..6]
extern char** NMBL;
extern int* FSBLOC;              // +-1 solid body, +-2 volumetric source; negative: .UCD series
extern double *HSOU, *TSOUU, *TAREA;
extern double **CSOU, **CSOUU, **CSOUCUT;   // [n][1..5]
extern int NAWT;
extern int** LNAW;
extern int* ITTY;
extern double* TNAW;             // [K]
extern int NAWQ;
extern int** LNAWQ;
extern int* IQTY;
extern double *QNAW, *AWQ;
extern double **CNAW, **CNAWCUT; // [n][1..5]

// ---- Marks and weights ---------------------------------------------------------------------
// Values that stand for something other than a quantity. Each has its own name, even where
// two share a number, so that a reader can tell what a comparison with it looks for.

// A node pinned to a value v (a solid cell, a velocity face of a solid block) has
// SP = -CFD_PIN and BS = v CFD_PIN: those terms outweigh every link, so it solves to v.
constexpr double CFD_PIN = 1e10;
inline bool cfd_pinned(double sp) { return fabs(sp + CFD_PIN) <= 1e-10; }

// A wall temperature or flux given in the input file as CFD_SERIES_MARK comes from the
// wall's .UCD series; the reader then stores the temperature as CFD_SERIES_TEMPERATURE.
// Doubles near 1e10 lie about 2e-6 apart, so the test is one of equality.
constexpr double CFD_SERIES_MARK = 1e10;
constexpr double CFD_SERIES_TEMPERATURE = 0.0;
inline bool cfd_series_mark(double v) { return fabs(v - CFD_SERIES_MARK) < 1e-10; }

// A flux wall delivers its flow per unit area q as a wall of the value q CFD_FLUX_SCALE held
// behind the conductance CFD_FLUX_CONDUCTANCE per unit area (the reciprocal of the scale):
// a cell of face area A receives q A less 1e-10 A times its own value, whatever it holds.
constexpr double CFD_FLUX_SCALE = 1e10, CFD_FLUX_CONDUCTANCE = 1e-10;

// Wall distance along an axis of one cell, which has no walls: farther than any other.
constexpr double CFD_NO_WALL = 1e10;
// Concentration at which a block source stops (the factor 1 - c / CFD_SOURCE_CEILING), and
// the cut-off of a block source the input file gives none for.
constexpr double CFD_SOURCE_CEILING = 1e10;
// A species equation whose normalising residual is at most this part of the norm of its
// terms AP c is solved already.
constexpr double CFD_NOTHING_TO_SOLVE = 1e-10;
// The normalised continuity residual while its normaliser is still 0: no criterion passes.
constexpr double CFD_UNMEASURED_RESIDUAL = 1e10;
// Starting values of running extremes: a minimum starts above any value it is to take; the
// maxima of the slice file start at a small positive value, which a field that stays
// negative keeps as its maximum.
constexpr double CFD_MIN_START = 1e10, CFD_MAX_START = 1e-10;
// Power-law coefficient of a coupled path with no pressure difference across it.
constexpr double CFD_STILL_PATH_COEFFICIENT = 1e10;
// Largest difference of the air a coupled zone takes in and lets out at the end of a
// step, as a part of the larger of the two: beyond it the run ends.
constexpr double CFD_BALANCE_TOLERANCE = 1e-3;

// ---- Equation assembly and solver work arrays ---------------------------------------------
extern double ***AP, ***AE, ***AW, ***AN, ***AS, ***AT, ***AB, ***BS, ***SP, ***TS, ***STORE;
extern double ***US, ***VS, ***WS, ***DX, ***DY, ***DZ;
extern double ***pu, ***pv, ***pw, ***pus, ***pvs, ***pws, ***opencoe, ***opencoesv;
extern int*** OBJECTNM;
extern double *TDMAa, *TDMAb, *TDMAc, *TDMAd;
// The line solver takes CFD_LINE_GROUP lines at once; TDMAa and TDMAb hold their
// elimination factors and running values, one line after another.
constexpr int CFD_LINE_GROUP = 4;
extern int N1, N2, N3;           // direction of the last x, y, z line sweep: 1 forward, 2 reverse

// Multigrid: three levels, every array at the fine size.
extern double ***PHIMGP_0, ***PHIMGP_1, ***PHIMGP_2, ***PHIMGP_3;
extern double ***RES_PHIMG_0, ***RES_PHIMG_1, ***RES_PHIMG_2;
extern double ***ERR_PHIMG_0, ***ERR_PHIMG_1, ***ERR_PHIMG_2;
extern double ***AP_1, ***AE_1, ***AW_1, ***AN_1, ***AS_1, ***AT_1, ***AB_1, ***B_1;
extern double ***AP_2, ***AE_2, ***AW_2, ***AN_2, ***AS_2, ***AT_2, ***AB_2, ***B_2;
extern double ***REST_AVEP, ***REST_COAP, ***REST_AVEU, ***REST_COAU;
extern double ***REST_AVEV, ***REST_COAV, ***REST_AVEW, ***REST_COAW;
extern double *xE_int1, *xE_int2, *xW_int1, *xW_int2;
extern double *yN_int1, *yN_int2, *yS_int1, *yS_int2;
extern double *zT_int1, *zT_int2, *zB_int1, *zB_int2;
extern int imax_ave, jmax_ave, kmax_ave, imax_coa, jmax_coa, kmax_coa;
extern int imaxGS, jmaxGS, kmaxGS;
extern int GSnum, nn_mg;
extern double err_mg;

// Species field n (1..5) and its previous-step copy; null when not allocated.
double*** cfd_species(int n);
double*** cfd_species_old(int n);

// ---- Grid (cfd-grid) -------------------------------------------------------------------------
void cfd_grid_size(int im2, int jm2, int km2);   // sizes, 2-D flags, ghost flags
void cfd_grid_geometry();                        // faces, centres, spacings, areas, volumes
void cfd_ghost_flags();
void cfd_mg_weights();                           // transfer weights of the multigrid
void cfd_log_areas();
// Bytes of the 3-D arrays heapgrid allocates for a grid of im2 x jm2 x km2 interior cells
// (the 1-D arrays add a negligible part).
double cfd_grid_bytes(int im2, int jm2, int km2);

// ---- Input (cfd-input, cfd-ucd, cfd-records) --------------------------------------------------
int cfd_skip_lines(FILE* f, int n);   // discards n lines of 1023 characters at most; 0 at end of file
// Opens an input file of the zone for reading; a directory does not open (errno EISDIR),
// since it would open on this system and then read as empty.
FILE* cfd_open_input(const char* path, const char* mode);
// FATAL with text, the path and the system's reason the last open failed.
void cfd_open_failed(const char* text, const char* path);
const char* cfd_input_name();   // the zone's input file as messages name it
// Reads the next series of the .UCD file into rec: the heat part when the energy equation
// is on (offset added to each value), the species part when with_species and contaminants
// are solved.
void cfd_read_ucd(UcdRec* rec, int with_species, double offset);
void cfd_ucd_rewind();
void cfd_blocks_reserve(int n);
void cfd_twalls_reserve(int n);
void cfd_qwalls_reserve(int n);
void cfd_slices_reserve(int axis, int n);
void cfd_records_release();                      // frees every group above

// ---- Solvers (cfd-solve-line, cfd-multigrid) --------------------------------------------
// A seven-point system: ap phi_P = ae phi_E + aw phi_W + an phi_N + as phi_S + at phi_T
// + ab phi_B + b at every interior cell.
struct LineSystem { double ***ap, ***ae, ***aw, ***an, ***as, ***at, ***ab, ***b; };
// One sweep of tridiagonal line solutions along axis 0 (x), 1 (y) or 2 (z) over interior
// indices 2..ni, 2..nj, 2..nk; new values go to phi and, when given, to store.
void line_sweep(int axis, const LineSystem& s, int ni, int nj, int nk, double*** phi,
                double*** store);
void tdmax(int ni, int nj, int nk, double*** phi);
void tdmay(int ni, int nj, int nk, double*** phi);
void tdmaz(int ni, int nj, int nk, double*** phi);
// One line-solver pass of an equation: STORE cleared, x sweep on phi, y and z sweeps on
// STORE; the new values are left in STORE.
void cfd_line_pass(int ni, int nj, int nk, double*** phi);
// The multigrid solves every equation when run control asks for it (any nonzero cfd_mg)
// and the grid has an axis of three cells or more, so that each equation has a coarse
// level; otherwise the line solver does.
bool cfd_multigrid();
// Last index of the coarse level over fine cells 2..n along one axis: pairs of cells are
// lumped, a single cell stays as it is.
inline int cfd_mg_coarse(int n) { return n >= 3 ? (n - 1) / 2 + 1 : n; }
void mg(double*** w_ave, double*** w_coa, int ni, int nj, int nk);
void mg_cycle(double*** w_ave, double*** w_coa, int ni, int nj, int nk);
void Gauss_Seidel(double*** phi, double*** res, double*** b, double*** ap, double*** ae,
                  double*** aw, double*** an, double*** as, double*** at, double*** ab);
void matrix(double*** ap, double*** ae, double*** aw, double*** an, double*** as,
            double*** at, double*** ab, double*** w, double*** ap_c, double*** ae_c,
            double*** aw_c, double*** an_c, double*** as_c, double*** at_c, double*** ab_c);
void restriction(double*** w, double*** r_fine, double*** r_coarse);
void interpolation(double*** w, double*** e_coarse, double*** e_fine);

// ---- Flow solution (cfd-flow, cfd-momentum, cfd-pcorr, cfd-bound, cfd-open, cfd-energy,
// cfd-contaminant) --------------------------------------------------------------------------------
extern FILE *TE, *BA, *RE, *VA;  // Tecplot, solver log (.bal), result (.ret), field restart (.var)
extern double RESOM, RESOU, RESOV, RESOW, RESOT, RESOC;   // sums of absolute residuals
extern double RP0, RU0, RV0, RW0, RT0, RPP0;              // their normalisers
extern double RPC0[6];           // [1..5] contaminant normalisers
extern double resomnr;           // RESOM over cfd_mass_normaliser(), tested against CRITE
extern double FLOWGIVEN;         // mass flow entering through openings of given flow [kg/s]
extern double ppref, INCTM, SUMM, SUMMA;
extern double CN;
extern int CCI, CINDEX, ENDSTEP;
extern double _cfdzonemp, _cfdzonemp1;   // volume-mean zone pressure, current and previous [Pa]

// Face code 1..6 of an opening or wall: its normal axis 0..2 and the step into the domain.
inline int face_axis(int code) { return (code - 1) / 2; }
inline int face_inward(int code) { return code % 2 ? 1 : -1; }
template <class T> inline T& cell(T*** f, const int* p) { return f[p[0]][p[1]][p[2]]; }
// AREX, AREY or AREZ at cell p.
inline double face_area(int axis, const int* p)
{
    return axis == 0 ? AREX[p[1]][p[2]] : axis == 1 ? AREY[p[0]][p[2]] : AREZ[p[0]][p[1]];
}
inline double*** velocity(int axis) { return axis == 0 ? U : axis == 1 ? V : W; }
inline double*** velocity_star(int axis) { return axis == 0 ? US : axis == 1 ? VS : WS; }
inline double*** coef_high(int axis) { return axis == 0 ? AE : axis == 1 ? AN : AT; }
inline double*** coef_low(int axis) { return axis == 0 ? AW : axis == 1 ? AS : AB; }

// Every 3-D field is one block of NI x NJ x NK values with k running fastest, so that
// f[i][j][k] is also base(f)[ix(i, j, k)] and a step along i, j or k is a fixed stride.
inline long ix(int i, int j, int k) { return ((long)(i - 1) * NJ + (j - 1)) * NK + (k - 1); }
template <class T> inline T* base(T*** f) { return &f[1][1][1]; }
inline long stride(int axis) { return axis == 0 ? (long)NJ * NK : axis == 1 ? NK : 1; }

// The six neighbour links of every cell as flat arrays, high and low of x, y and z.
struct CellLinks { const double* l[6]; };
inline CellLinks cfd_cell_links()
{
    CellLinks L;
    for (int a = 0; a < 3; a++) L.l[2 * a] = base(coef_high(a)), L.l[2 * a + 1] = base(coef_low(a));
    return L;
}
// ap plus the links of cell q, axis by axis.
inline double cfd_add_links(const CellLinks& L, double ap, long q)
{
    for (int e = 0; e < 6; e += 2) ap += L.l[e][q] + L.l[e + 1][q];
    return ap;
}

// max(x, 0) without the library call fmax makes here: x is finite in these uses, and a NaN
// gives 0 as fmax would.
inline double cfd_pos(double x) { return x > 0.0 ? x : 0.0; }

// Neighbour coefficient of a face with conductance D and mass flow F along the axis, sign
// +1 for the high face and -1 for the low face: upwind (scheme 1) or the power law
// D max(0, 1 - 0.1 |F/D|)^5, the fifth power taken by three multiplications.
inline double cfd_link(double D, double F, int sign, int scheme)
{
    double conv = cfd_pos(-sign * F);
    if (scheme == 1 || D == 0.0) return D + conv;
    double f = cfd_pos(1.0 - 0.1 * fabs(F / D));
    double f2 = f * f;
    return D * (f2 * f2 * f) + conv;
}
// Index of the ghost layer an opening of face code 1..6 lies on.
int ghost_layer(int code);
// Calls f(p), or f(p, q) with q = ix(p), for every interior cell, k outermost, then i,
// then j.
template <class F> void cfd_for_cells(F f)
{
    int p[3];
    for (p[2] = 2; p[2] <= KM1; p[2]++)
        for (p[0] = 2; p[0] <= IM1; p[0]++)
            for (p[1] = 2; p[1] <= JM1; p[1]++) {
                if constexpr (std::is_invocable_v<F, const int*, long>)
                    f(p, ix(p[0], p[1], p[2]));
                else
                    f(p);
            }
}
// Calls f(q0, n) for every k row of interior cells, q0 its first cell and n its length.
template <class F> void cfd_for_rows(F f)
{
    for (int i = 2; i <= IM1; i++)
        for (int j = 2; j <= JM1; j++) f(ix(i, j, 2), (long)KM1 - 1);
}
// Calls f(p) for every cell of the box L (i1, i2, j1, j2, k1, k2).
template <class F> void cfd_for_box(const int* L, F f)
{
    int p[3];
    for (p[0] = L[1]; p[0] <= L[2]; p[0]++)
        for (p[1] = L[3]; p[1] <= L[4]; p[1]++)
            for (p[2] = L[5]; p[2] <= L[6]; p[2]++) f(p);
}

// Series values at CFDTIME: the node at that time, else the last one before it (the first
// when all lie later). An empty series gives null or 0.
const UcdOpeningNode* cfd_opening_node(const UcdOpening* s);
double cfd_node_value(const UcdNode* head);
const UcdNode* cfd_series_node(const UcdSeries& s);
double cfd_series_value(const UcdSeries& s);

// Convection-diffusion links of every interior scalar cell (energy, contaminants): face
// flows from the staggered velocities, conductances from the mean viscosity (its laminar
// part ANU OPERDENS over molecular, the rest over turbulent), upwind (scheme 1) or power
// law, no link toward a solid or ghost cell; net[q] the net outflow of cell q.
void cfd_transport_links(int scheme, double molecular, double turbulent, double* net);
// Centre coefficients AP of the scalar equation of phi with the time term rho VOL / dt, a
// solid cell pinned by BS = held and SP = -CFD_PIN; adds |AP phi| and |residual| of the fluid
// cells, k outermost, then i, then j, to apphi and res. False when there is no fluid cell.
bool cfd_scalar_centres(double rho, double dt, double held, double*** phi, double* apphi,
                        double* res);
// Residual b - ap f + links of the seven-point equation of f at cell q.
inline double cfd_cell_residual(const CellLinks& L, double b, double ap, const double* f, long q)
{
    double r = b - ap * f[q];
    for (int a = 0; a < 3; a++) {
        long s = stride(a);
        r += L.l[2 * a][q] * f[q + s] + L.l[2 * a + 1][q] * f[q - s];
    }
    return r;
}
// Residual of the assembled seven-point equation of phi at cell p.
inline double cfd_cell_residual(double*** phi, const int* p)
{
    long q = ix(p[0], p[1], p[2]);
    return cfd_cell_residual(cfd_cell_links(), base(BS)[q], base(AP)[q], base(phi), q);
}

// Two terms per cell of the box of first cell (i0, j0, k0) and ni x nj x nk cells, worked
// out in whatever order suits the loop but added k outermost, then i, then j: the order the
// residual sums have always been taken in, so that they keep their values to the last bit.
// All users share one buffer, which grows with the grid.
class CfdOrderedSums {
public:
    CfdOrderedSums(int i0, int j0, int k0, long ni, long nj, long nk)
        : i0_(i0), j0_(j0), k0_(k0), ni_(ni), nj_(nj), n_(ni * nj * nk)
    {
        static std::vector<double> buffer;
        if ((long)buffer.size() < 2 * n_) buffer.resize(2 * n_);
        t_ = buffer.data();
    }
    // The two terms of cell (i, j, k).
    double* pair(int i, int j, int k) const
    {
        return t_ + 2 * (((long)(k - k0_) * ni_ + (i - i0_)) * nj_ + (j - j0_));
    }
    // Adds the first terms of every cell to *a and the second ones to *b.
    void add_to(double* a, double* b) const
    {
        double sa = *a, sb = *b;
        for (long c = 0; c < n_; c++) sa += t_[2 * c], sb += t_[2 * c + 1];
        *a = sa, *b = sb;
    }

private:
    int i0_, j0_, k0_;
    long ni_, nj_, n_;
    double* t_;
};
// Calls f(p, m, inner) for every cell p of an opening's patch on face code: m the air
// flowing into the zone through its face by the face velocity [kg/s], inner the cell inside.
template <class F> void cfd_for_opening_cells(const int* L, int code, F f)
{
    if (code < 1 || code > 6) return;
    int a = face_axis(code), in = face_inward(code), q = L[2 * a + 1];
    int nmax = a == 0 ? IMAX : a == 1 ? JMAX : KMAX;
    // The opening's own face and the cell inside it (the domain's wall faces 1 and IM1).
    int b = in > 0 ? q : q - 1, inner = in > 0 ? q + 1 : q - 1;
    if (b < 1 || inner < 2 || inner > nmax - 1) return;
    cfd_for_box(L, [&](const int* p) {
        int fc[3] = {p[0], p[1], p[2]}, ic[3] = {p[0], p[1], p[2]};
        fc[a] = b;
        ic[a] = inner;
        f(p, in * face_area(a, p) * OPERDENS * cell(velocity(a), fc), (const int*)ic);
    });
}
// An opening at an interior position (not on the domain's ghost face) has zone cells on
// its far side too; the face between them stays a face of the zone, and the opening's air
// enters or leaves the cell on its near side as a source.
inline bool cfd_opening_interior(const int* L, int code)
{
    int a = face_axis(code), q = L[2 * a + 1];
    return face_inward(code) > 0 ? q != 1 : q != (a == 0 ? IMAX : a == 1 ? JMAX : KMAX);
}
// Heat carried into and out of the zone's air by its solved fields [W]: through each cell
// of the openings the way its air goes, from temperature walls, flux walls and blocks.
// Kept in cfd_state for the check of the solution.
void cfd_energy_balance();

// Calls f(q, A) for the cells one step inside a wall, after cutting their link to it.
template <class F> void cfd_for_wall(const int* L, int code, F f)
{
    int a = face_axis(code);
    double*** toward = face_inward(code) > 0 ? coef_low(a) : coef_high(a);
    cfd_for_box(L, [&](const int* p) {
        int q[3] = {p[0], p[1], p[2]};
        q[a] += face_inward(code);
        cell(toward, q) = 0.0;
        f(q, face_area(a, q));
    });
}

// The terms of a flux wall (see CFD_FLUX_SCALE) on the cells one step inside the wall:
// held is the wall's flow per unit area times CFD_FLUX_SCALE.
inline void cfd_flux_wall(const int* L, int code, double held)
{
    cfd_for_wall(L, code, [&](const int* q, double A) {
        cell(BS, q) += held * CFD_FLUX_CONDUCTANCE * A;
        cell(SP, q) -= CFD_FLUX_CONDUCTANCE * A;
    });
}

// Calls f(outside, A) for every cell just outside a side of the block box after cutting the
// link between it and the block cell in both directions.
template <class F> void cfd_for_block_sides(const int* B, F f)
{
    for (int a = 0; a < 3; a++)
        for (int side = -1; side <= 1; side += 2) {
            int L[7];
            for (int e = 1; e <= 6; e++) L[e] = B[e];
            L[2 * a + 1] = L[2 * a + 2] = side < 0 ? B[2 * a + 1] - 1 : B[2 * a + 2] + 1;
            cfd_for_box(L, [&](const int* q) {
                int in[3] = {q[0], q[1], q[2]};
                in[a] -= side;
                cell(side < 0 ? coef_high(a) : coef_low(a), q) = 0.0;
                cell(side < 0 ? coef_low(a) : coef_high(a), in) = 0.0;
                f(q, face_area(a, q));
            });
        }
}


// Pressure-flow law of pressure inlet (inlet true) or outlet l at CFDTIME. Value source 1:
// a positive coefficient gives the linear law, zero the opening's area as coefficient
// with the given exponent (and stored as such), a negative one no flow (skip); a series
// inlet scales its node's coefficient by the area. Value source 2: the orifice law for air
// entering, a stiff linear law for air leaving. Any other source is FATAL with fatal.
struct OpeningLaw { int mag; double pb, factor, exponent; bool skip; };
OpeningLaw cfd_opening_law(bool inlet, int l, const char* fatal);
// Flow per unit area [kg/(s m2)] into the zone through a cell of pressure pc.
double cfd_law_flow(const OpeningLaw& law, double pc);

// ---- Turbulence (cfd-turb) ------------------------------------------------------------------
// Turbulence model 1 of a turbulent zone: the k-epsilon model.
bool cfd_k_epsilon();
// One outer iteration of the k and epsilon equations and the viscosity VIS they give;
// first starts their fields.
void cfd_turbulence(int first);
// Wall function: the viscosity [kg/(m s)] over which a wall at distance y [m] from a centre
// of turbulent kinetic energy k shears the velocity there (the laminar one in the sublayer).
double cfd_wall_viscosity(double k, double y);
// The turbulence of air entering at speed [m/s] through an opening of smaller side size
// [m]: which 0 k [m2/s2], 1 epsilon [m2/s3].
double cfd_inflow_turbulence(int which, double speed, double size);
void cfd_turb_release();   // frees the k and epsilon fields

void inletbc(int l, int eqn);    // eqn 1..3 momentum x, y, z; 4 energy; 5 contaminant CINDEX
void outletbc(int l, int eqn);
void vistur();
void ucompu();
void vcompu();
void wcompu();
void ppcompu();
// Scale of the continuity residual: RP0, the largest mass residual of the first iterations,
// but not more than the given inflow of the zone (FLOWGIVEN, when there is one). The
// first iterations of a solve can carry a transient far larger than the zone's flow (the
// field starts at rest and at zero pressure while its openings hold the boundary
// pressure); measured against that, a solution would pass the criterion with its
// continuity still open by a sizeable part of the inflow.
double cfd_mass_normaliser();
void correc();
void tcompu();
void updateu(int mode);
void computec();
void ccompu(double*** c, double*** c_old);
void coeffc(double*** c, double*** c_old);
double integrate(int i1, int i2, int j1, int j2, int k1, int k2, int face, double*** c, double side);
// Concentration s of the air entering opening n: its series value, else that of the side
// the coupling hands over.
double cfd_inflow_value(bool inlet, int n, int s);
void chkctm();
void prsour();
void simple_iteration(int steady);   // one outer iteration of the SIMPLE loop
// Whether the zone's last airflow solve (continuity to CRITE) and last contaminant solve
// (every species to CRESIDU) met their criteria before their iteration limits; the
// coupling reports convergence only when they did.
extern bool cfd_flow_converged, cfd_ctm_converged;
// A WARNING of text on standard error the first time its key (0..31) comes up, in the log
// every time, and in the solver log.
void cfd_warn_once(int key, const char* text);
// The report that the CFD equation named stopped at its iteration limit with its residual
// above its criterion: a WARNING on standard error and in the run's log the first time an
// equation stops so in a run, a line of the run's log after that, and a line of the solver
// log every time. `key` tells the equations apart: 0 continuity, n contaminant n.
void cfd_limit_warning(int key, const char* equation, int limit, double residual, double criterion);
extern unsigned cfd_limit_warned;   // bit `key` set once that equation has been warned of
int steadyflow();
// The residuals at the end of the zone's last airflow solve, its iterations and limit, as
// text for a message.
void cfd_residual_text(char* out, size_t size);

// ---- Result files (cfd-result, cfd-tecplot, cfd-slice, cfd-ewc) -----------------------------
extern int PrintVel;             // 1 after each frame written to a stream
extern int PrintGeo;             // 1 until the object labels and outlines have been written
extern FILE* OUTPUT;             // the slice file (".out"), null while none is open
extern double PHI_MIN[12], PHI_MAX[12];   // extremes of the slice values over the run
// Printf to standard error, where the run shows its progress, and to the solver log BA
// when it is open.
void cfd_say(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void prvari();                   // the result file RE, from its start, cut at its end
// Opens the zone's Tecplot file once (TE) and makes the coupling's stream CPLTE the same one.
FILE* cfd_tecplot_open();
// Prepares the cell-centre fields; with a stream, writes a frame (frame 1 full, 0 the
// concentrations when ctmFrame allows) and the slice record, and with geo the labels and
// outlines. The staggered velocities are left as they were.
void plotvt(FILE* f, int frame, int geo, int ctmFrame);
void cfd_slice_record();         // one record of the slice file, opening or closing it as due
void makeewc();                  // the surface pressure file (".ewc")
// The files a zone writes, named <project>_<zone> and the extension, with the streams that
// write them. A restart file is removed by a failed run only when this run wrote it (a run
// may start from it); the others always. Ends with a null extension.
struct CfdZoneFile {
    const char* ext;
    FILE **stream, **second;
    bool restart;
};
extern const CfdZoneFile cfd_zone_files[];

// What the zone's run keeps between solver calls beyond the solver's named arrays and
// scalars; cfd_reset returns it to its start.
struct CfdState {
    // A surface pressure file was asked for and could not be made (the case has no block);
    // the run's end reports it as a file not written.
    bool ewc_unmade;
    // It was written with a fault its ERROR named (no reference block, no block on the
    // ground): the run's end does not report success either.
    const char* ewc_fault;
    int var_written, cpr_written;   // this run has created the field or coupling restart
    // The last airflow solve: iterations and limit, criterion, continuity and the normalised
    // U, V, W and energy residuals.
    struct { int iterations, limit; double criterion, residual[6]; } last_solve;
    double balance_in[6], balance_out[6];   // [1..5] species into and out of the zone, last balance [kg/s]
    double energy_in, energy_out;           // heat into and out of the zone's air, last balance [W]
    double smallest_residual;   // normalised continuity residual, least of the solve under way
    // The k-epsilon model: its fields k [m2/s2] and epsilon [m2/s3], allocated at the grid's
    // size (ni, nj, nk) when the model first runs, and the residual sums of their last
    // equations with their normalisers.
    struct { double ***k, ***e; int ni, nj, nk; double resk, rese, rk0, re0; } turb;
    int item;                 // the item of the input file being read or placed, for messages
    const char* item_name;
};
extern CfdState cfd_state;
// Input errors name the item of the file they are met in: cfd_input_item sets it (its
// number in the file and a name), cfd_input_error ends the run with the text (printf
// format) followed by ": item N (name) of <file>".
void cfd_input_item(int number, const char* name);
void cfd_input_error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Write checks of the zone's files. A file that cannot be created, or whose bytes do not
// all reach it, is an ERROR of text and the path (and ": " detail when given), counted in
// cfd_write_failures until cfd_close_results hands the count to the run.
extern int cfd_write_failures;
void cfd_write_failed(const char* text, const char* path, const char* detail);
// Names the zone's files after the network's CFD zone (the project's name, '_', the zone's
// CFD name, in the project's folder); returns that zone's node, or null when there is none.
struct AirNode;
AirNode* cfd_name_zone_files();
const char* cfd_zone_path(const char* ext);   // the zone's file ext, built in _cfdprj
// Opens path with mode; a failure is reported with text and counted.
FILE* cfd_create(const char* path, const char* mode, const char* text);
// Closes *f when it is open and clears it; a write it could not complete is reported.
void cfd_close_checked(FILE** f, const char* path);
const char* cfd_cpr_path();                   // the project's coupling restart, built in _cfdprj
inline void cfd_put_i32(FILE* f, int32_t v) { fwrite(&v, sizeof v, 1, f); }
inline void cfd_put_f64(FILE* f, double v) { fwrite(&v, sizeof v, 1, f); }

// ---- Coupling records (cfd-couple, cfd-cplloop, cfd-cplctm) --------------------------------
struct AirNode;
struct CplPath;

// The CFD zone as the coupling sees it, with its network node's values of the last step.
struct CfdZone {
    AirNode* node;
    CplPath* paths;              // coupled paths of the zone, in network path order
    float volume;
    double* mf_start;            // the node's start-of-step mass fractions
    double temperature, pressure, density;
    int16_t zone_index;
    int n_inlets, n_outlets;     // openings counted as inlets and outlets at the last exchange
    FILE *mon_file, *cmo_file;
};

// One network path with an end at the CFD zone's node: an opening of the zone.
struct CplPath {
    CplPath* next;
    AirPath* path;
    AirNode* cfd_node;
    AirNode* other_node;
    double flow0, flow1;         // the path's two mass flows [kg/s]
    double dp;                   // [Pa]
    float flow_mag;              // magnitude of the flow handed to the solver [kg/s]
    float flow;                  // the path's flow_sum [kg/s]
    double stack_p, wind_p;      // [Pa]
    float dz_cfd, dz_other;      // opening height above the CFD node and the other node [m]
    float rise;                  // [m]
    double multiplier;           // the path's multiplier at the exchange
    int16_t path_index;
    int direction;               // 0 inlet, 1 outlet, 3 an opening without flow
    int side;                    // 0 in the solver's inlet arrays, 1 in its outlet arrays
    int bc_kind;                 // 0 mass flow, 1 pressure, 4 coupled
    int cfd_index;               // position in the inlet or outlet arrays
    int value_source;            // IMTYPE / OMTYPE
    double cfd_flow;             // flow returned by the solver [kg/s]
    double p_ext;                // opening conductance returned by the solver [kg/(s Pa)]
    double pb_prev, pb;          // boundary pressure from the network [Pa]
    double p_local_prev, p_local;   // local pressure returned by the solver [Pa]
    double net_flow;             // network flow through the opening, positive into the zone
    double cfd_flow_copy;
    double *Plocal, *Plocal1;    // [0..MAXCPL+1] per coupling iteration
    double p_ext_prev, p_ext_cur;
    double coe, expo;            // power law of the path at this exchange
    double coe0, expo0;          // the same at the first exchange of the step
    int reversed;                // the solver's flow runs against direction
    int bc_type;                 // 1 iterated (mode 3), 6 one solve per call
    double *pcomputed, *pused, *mbefore, *mafter, *ctmcoe, *ctmexp, *cfdetp;   // per iteration
    double *Crate1, *Crate2;     // [1.._nctmcpl] species at the opening, previous and current
    char name[16];
};

extern CfdZone* _cfdzone;        // [1.._nCFDzone]
extern CfdZone* _refzone;        // the ambient node's values
extern int _tcpl, MAXCPL, _finaliter, _dumpR, _dump, _cfdrunty, _readrst, _nctmcpl, _cnctlt;
extern double _convcpl;
extern long* _cfdniter;          // [0..MAXCPL+1] CFD iterations per coupling iteration
extern FILE *CPLRST, *VEXLAROUT;
// The direction the coupling restart file (".cpr") holds for the path.
int findrstio(const CplPath* c);
// Moves the restart file to the line after the path's name; FATAL when it is not there.
void cfd_cpr_seek(const CplPath* c);
// Copies 3-D field `from` to `to` over every cell, ghost layers included.
void cfd_copy_field(double*** to, double*** from);
// One line of the monitoring file at the step's end: the velocity (u, v, w) and speed, the
// pressure, the temperature in degrees Celsius and, with species, the concentrations [ppm].
void cfd_monitor_line(double u, double v, double w, bool species);
// A Tecplot frame of the coupled run (contaminant frames allowed with ctm).
void cfd_coupled_frame(int ctm);
// The same at the first solver time, every TPLSTEP calls and at the last time.
void cfd_counted_frame(int ctm);
void storeflow();
void storectm();
double avePHI(int i1, int i2, int j1, int j2, int k1, int k2, double*** phi);

}  // namespace vexlar
