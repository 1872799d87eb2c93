// State shared by the files of the CFD zone solver and not by its callers: grid geometry,
// the input file's remaining items, blocks, walls and their .UCD series, the equation
// coefficients, and the line and multigrid solvers with their work arrays.
#pragma once
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
};

struct UcdOpening {
    UcdOpeningNode* head;
    UcdNode* temperature;        // inlets: head of the temperature series [K]
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

// ---- Equation assembly and solver work arrays ---------------------------------------------
extern double ***AP, ***AE, ***AW, ***AN, ***AS, ***AT, ***AB, ***BS, ***SP, ***TS, ***STORE;
extern double ***US, ***VS, ***WS, ***DX, ***DY, ***DZ;
extern double ***pu, ***pv, ***pw, ***pus, ***pvs, ***pws, ***opencoe, ***opencoesv;
extern int*** OBJECTNM;
extern double *TDMAa, *TDMAb, *TDMAc, *TDMAd;
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

// ---- Input (cfd-input, cfd-ucd, cfd-records) --------------------------------------------------
int cfd_skip_lines(FILE* f, int n);   // discards n lines of 1023 characters at most; 0 at end of file
// Reads the next series of the .UCD file into rec: the heat part when the energy equation
// is on (offset added to each value), the species part when with_species and contaminants
// are solved.
void cfd_read_ucd(UcdRec* rec, int with_species, double offset);
void cfd_ucd_rewind();
void cfd_blocks_reserve(int n);
void cfd_twalls_reserve(int n);
void cfd_qwalls_reserve(int n);
void cfd_slices_reserve(int axis, int n);

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
void mg(double*** w_ave, double*** w_coa, int ni, int nj, int nk);
void mg_cycle(double*** w_ave, double*** w_coa, int ni, int nj, int nk);
void Gauss_Seidel(double*** phi, double*** res, double*** b, double*** ap, double*** ae,
                  double*** aw, double*** an, double*** as, double*** at, double*** ab);
void matrix(double*** ap, double*** ae, double*** aw, double*** an, double*** as,
            double*** at, double*** ab, double*** w, double*** ap_c, double*** ae_c,
            double*** aw_c, double*** an_c, double*** as_c, double*** at_c, double*** ab_c);
void restriction(double*** w, double*** r_fine, double*** r_coarse);
void interpolation(double*** w, double*** e_coarse, double*** e_fine);

}  // namespace vexlar
