// The CFD zone's structured grid: sizes with one ghost layer per side, the faces, centres,
// spacings, face areas and volumes of the cells, and heapgrid, which allocates every grid
// array once per run. The grid is fixed for the run: every later read of the input file
// must give the same cell counts, since the arrays are sized by the first one.
#include "cfd/cfd-int.h"

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/run-control.h"

namespace vexlar {

static int allocNI, allocNJ, allocNK;   // the sizes the arrays were allocated for

void cfd_grid_size(int im2, int jm2, int km2)
{
    if (im2 < 1 || jm2 < 1 || km2 < 1)
        cfd_input_error("CFD input file error number of cells needed");
    if (allocNI && (im2 + 2 != allocNI || jm2 + 2 != allocNJ || km2 + 2 != allocNK))
        cfd_input_error("CFD input file error number of cells changed during the run");
    IM2 = im2, JM2 = jm2, KM2 = km2;
    IM1 = IM2 + 1, JM1 = JM2 + 1, KM1 = KM2 + 1;
    IMAX = NI = IM2 + 2, JMAX = NJ = JM2 + 2, KMAX = NK = KM2 + 2;
    I2DX = IM2 == 1, I2DY = JM2 == 1, I2DZ = KM2 == 1;
    if (I2DX) XX = 1.0;
    if (I2DY) YY = 1.0;
    if (I2DZ) ZZ = 1.0;
}

void cfd_ghost_flags()
{
    for (int i = 1; i <= NI; i++)
        for (int j = 1; j <= NJ; j++)
            for (int k = 1; k <= NK; k++)
                ICELL[i][j][k] = i == 1 || i == NI || j == 1 || j == NJ || k == 1 || k == NK;
}

// Faces, centres and centre spacings of one axis from its widths del[2..n1].
static void axisGeometry(int n1, int flat, double length, double* del, double* f, double* c,
                         double* dc)
{
    int nmax = n1 + 1;
    if (flat)
        for (int i = 2; i <= n1; i++) del[i] = 1.0;
    f[1] = 0.0;
    c[1] = 0.0;
    for (int i = 2; i <= n1; i++) {
        f[i] = f[i - 1] + del[i];
        c[i] = f[i - 1] + del[i] / 2.0;
    }
    f[nmax] = length;
    c[nmax] = length;
    for (int i = 1; i <= n1; i++) dc[i] = c[i + 1] - c[i];
    dc[nmax] = del[n1] / 2.0;
}

void cfd_grid_geometry()
{
    axisGeometry(IM1, I2DX, XX, DELX, XF, X, DELXC);
    axisGeometry(JM1, I2DY, YY, DELY, YF, Y, DELYC);
    axisGeometry(KM1, I2DZ, ZZ, DELZ, ZF, Z, DELZC);
    for (int j = 2; j <= JM1; j++)
        for (int k = 2; k <= KM1; k++) AREX[j][k] = DELY[j] * DELZ[k];
    for (int i = 2; i <= IM1; i++)
        for (int k = 2; k <= KM1; k++) AREY[i][k] = DELX[i] * DELZ[k];
    for (int i = 2; i <= IM1; i++)
        for (int j = 2; j <= JM1; j++) AREZ[i][j] = DELX[i] * DELY[j];
    for (int i = 2; i <= IM1; i++)
        for (int j = 2; j <= JM1; j++)
            for (int k = 2; k <= KM1; k++) VOL[i][j][k] = DELX[i] * DELY[j] * DELZ[k];
}

void cfd_log_areas()
{
    ulog_printf("AREX = dYdZ\n");
    for (int k = 2; k <= KM1; k++)
        for (int j = 2; j <= JM1; j++) ulog_printf("%g\t", AREX[j][k]);
    ulog_printf("\nAREY = dXdZ\n");
    for (int k = 2; k <= KM1; k++)
        for (int i = 2; i <= IM1; i++) ulog_printf("%g\t", AREY[i][k]);
    ulog_printf("\nAREZ = dXdY\n");
    for (int j = 2; j <= JM1; j++)
        for (int i = 2; i <= IM1; i++) ulog_printf("%g\t", AREZ[i][j]);
    ulog_printf("\n\n");
}

// ---- Allocation: once per run, with the sizes of the first read ----------------------------

struct FieldTag { double**** a; const char* tag; };
struct VecTag { double** v; int n; const char* tag; };

// Every 3-D double array of the solver but the species and multigrid sets.
static int fields(FieldTag* f)
{
    const FieldTag t[] = {
        {&U, "U"}, {&V, "V"}, {&W, "W"}, {&P, "P"}, {&PP, "PP"}, {&T, "T"}, {&VIS, "VIS"},
        {&VTT, "VTT"}, {&UOLD, "UOLD"}, {&VOLD, "VOLD"}, {&WOLD, "WOLD"}, {&POLD, "POLD"},
        {&TOLD, "TOLD"}, {&AP, "AP"}, {&AE, "AE"}, {&AW, "AW"}, {&AN, "AN"}, {&AS, "AS"},
        {&AT, "AT"}, {&AB, "AB"}, {&BS, "BS"}, {&SP, "SP"}, {&TS, "TS"}, {&STORE, "STORE"},
        {&US, "US"}, {&VS, "VS"}, {&WS, "WS"}, {&DX, "DX"}, {&DY, "DY"}, {&DZ, "DZ"},
        {&UP, "UP"}, {&VP, "VP"}, {&WP, "WP"}, {&pu, "pu"}, {&pv, "pv"}, {&pw, "pw"},
        {&pus, "pus"}, {&pvs, "pvs"}, {&pws, "pws"}, {&opencoe, "opencoe"},
        {&opencoesv, "opencoesv"}, {&psaved, "psaved"}, {&VOL, "VOL"}, {&C1, "C1"},
        {&C2, "C2"}, {&C3, "C3"}, {&C4, "C4"}, {&C5, "C5"}, {&C1OLD, "C1OLD"},
        {&C2OLD, "C2OLD"}, {&C3OLD, "C3OLD"}, {&C4OLD, "C4OLD"}, {&C5OLD, "C5OLD"}};
    int n = sizeof t / sizeof t[0];
    for (int e = 0; e < n; e++) f[e] = t[e];
    return n;
}

static const int N_SPECIES_FIELDS = 10;   // the last entries of fields(): C1..C5, C1OLD..C5OLD

static int multigridFields(FieldTag* f)
{
    const FieldTag t[] = {
        {&PHIMGP_1, "PHIMGP_1"}, {&PHIMGP_2, "PHIMGP_2"}, {&PHIMGP_3, "PHIMGP_3"},
        {&RES_PHIMG_0, "RES_PHIMG_0"}, {&RES_PHIMG_1, "RES_PHIMG_1"},
        {&RES_PHIMG_2, "RES_PHIMG_2"}, {&ERR_PHIMG_0, "ERR_PHIMG_0"},
        {&ERR_PHIMG_1, "ERR_PHIMG_1"}, {&ERR_PHIMG_2, "ERR_PHIMG_2"}, {&AP_1, "AP_1"},
        {&AE_1, "AE_1"}, {&AW_1, "AW_1"}, {&AN_1, "AN_1"}, {&AS_1, "AS_1"}, {&AT_1, "AT_1"},
        {&AB_1, "AB_1"}, {&B_1, "B_1"}, {&AP_2, "AP_2"}, {&AE_2, "AE_2"}, {&AW_2, "AW_2"},
        {&AN_2, "AN_2"}, {&AS_2, "AS_2"}, {&AT_2, "AT_2"}, {&AB_2, "AB_2"}, {&B_2, "B_2"},
        {&REST_AVEP, "REST_AVEP"}, {&REST_COAP, "REST_COAP"}, {&REST_AVEU, "REST_AVEU"},
        {&REST_COAU, "REST_COAU"}, {&REST_AVEV, "REST_AVEV"}, {&REST_COAV, "REST_COAV"},
        {&REST_AVEW, "REST_AVEW"}, {&REST_COAW, "REST_COAW"}};
    int n = sizeof t / sizeof t[0];
    for (int e = 0; e < n; e++) f[e] = t[e];
    return n;
}

// The 1-D arrays with their last index; n 0 marks the end.
static int vectors(VecTag* v)
{
    int nline = (IM1 > JM1 ? IM1 : JM1);
    nline = (nline > KM1 ? nline : KM1) + 1;
    const VecTag t[] = {
        {&X, NI, "X"}, {&XF, NI, "XF"}, {&DELX, NI, "DELX"}, {&DELXC, NI, "DELXC"},
        {&Y, NJ, "Y"}, {&YF, NJ, "YF"}, {&DELY, NJ, "DELY"}, {&DELYC, NJ, "DELYC"},
        {&Z, NK, "Z"}, {&ZF, NK, "ZF"}, {&DELZ, NK, "DELZ"}, {&DELZC, NK, "DELZC"},
        {&TDMAa, CFD_LINE_GROUP * nline, "TDMAa"}, {&TDMAb, CFD_LINE_GROUP * nline, "TDMAb"}, {&TDMAc, nline, "TDMAc"},
        {&TDMAd, nline, "TDMAd"}, {&xE_int1, IM1, "xE_int1"}, {&xE_int2, IM1, "xE_int2"},
        {&xW_int1, IM1, "xW_int1"}, {&xW_int2, IM1, "xW_int2"}, {&yN_int1, JM1, "yN_int1"},
        {&yN_int2, JM1, "yN_int2"}, {&yS_int1, JM1, "yS_int1"}, {&yS_int2, JM1, "yS_int2"},
        {&zT_int1, KM1, "zT_int1"}, {&zT_int2, KM1, "zT_int2"}, {&zB_int1, KM1, "zB_int1"},
        {&zB_int2, KM1, "zB_int2"}};
    int n = sizeof t / sizeof t[0];
    for (int e = 0; e < n; e++) v[e] = t[e];
    return n;
}

static const int N_MG_VECTORS = 12;   // the last entries of vectors(): the interpolation weights

static void field(const FieldTag& f)
{
    if (!*f.a) *f.a = (double***)alc_ac(1, NI, 1, NJ, 1, NK, sizeof(double), f.tag);
}

void heapgrid()
{
    FieldTag f[96];
    VecTag v[32];
    int nf = fields(f), nv = vectors(v);
    for (int e = 0; e < nf - N_SPECIES_FIELDS; e++) field(f[e]);
    for (int n = 1; n <= 5; n++)
        if (CACTIVE[n]) {
            field(f[nf - N_SPECIES_FIELDS + n - 1]);
            field(f[nf - 5 + n - 1]);
        }
    if (!ICELL) ICELL = (int***)alc_ac(1, NI, 1, NJ, 1, NK, sizeof(int), "ICELL");
    if (!OBJECTNM) OBJECTNM = (int***)alc_ac(1, NI, 1, NJ, 1, NK, sizeof(int), "OBJECTNM");
    bool mgrid = cfd_multigrid();
    if (_rcdat.cfd_mg != 0 && !mgrid)
        cfd_say("Multigrid needs three cells along one axis to coarsen: the line solver is used\n");
    for (int e = 0; e < nv - (mgrid ? 0 : N_MG_VECTORS); e++)
        if (!*v[e].v) *v[e].v = alc_vT<double>(1, v[e].n, v[e].tag);
    if (!AREX) AREX = alc_mcT<double>(1, NJ, 1, NK, "AREX");
    if (!AREY) AREY = alc_mcT<double>(1, NI, 1, NK, "AREY");
    if (!AREZ) AREZ = alc_mcT<double>(1, NI, 1, NJ, "AREZ");
    if (mgrid && !REST_AVEP) {
        int nm = multigridFields(f);
        for (int e = 0; e < nm; e++) field(f[e]);
        cfd_mg_weights();
    }
    allocNI = NI, allocNJ = NJ, allocNK = NK;
}

bool cfd_multigrid() { return _rcdat.cfd_mg != 0 && (IM2 >= 3 || JM2 >= 3 || KM2 >= 3); }

double cfd_grid_bytes(int im2, int jm2, int km2)
{
    FieldTag f[96];
    int doubles = fields(f) - N_SPECIES_FIELDS;
    for (int n = 1; n <= 5; n++) doubles += CACTIVE[n] ? 2 : 0;
    if (_rcdat.cfd_mg != 0 && (im2 >= 3 || jm2 >= 3 || km2 >= 3)) doubles += multigridFields(f);
    double cells = (im2 + 2.0) * (jm2 + 2.0) * (km2 + 2.0);
    return cells * (doubles * sizeof(double) + 2 * sizeof(int));   // ICELL and OBJECTNM
}

void cfd_release()
{
    if (!allocNI) return;
    FieldTag f[96];
    VecTag v[32];
    int nf = fields(f), nm = multigridFields(f + nf), nv = vectors(v);
    for (int e = 0; e < nf + nm; e++)
        *f[e].a = (double***)fre_ac(*f[e].a, 1, NI, 1, NJ, 1, NK, sizeof(double), f[e].tag);
    ICELL = (int***)fre_ac(ICELL, 1, NI, 1, NJ, 1, NK, sizeof(int), "ICELL");
    OBJECTNM = (int***)fre_ac(OBJECTNM, 1, NI, 1, NJ, 1, NK, sizeof(int), "OBJECTNM");
    for (int e = 0; e < nv; e++)
        if (*v[e].v) *v[e].v = fre_vT(*v[e].v, 1, v[e].n, v[e].tag);
    AREX = fre_mcT(AREX, 1, NJ, 1, NK);
    AREY = fre_mcT(AREY, 1, NI, 1, NK);
    AREZ = fre_mcT(AREZ, 1, NI, 1, NJ);
    allocNI = allocNJ = allocNK = 0;
}

// ---- Multigrid transfer weights -------------------------------------------------------------
// Every fine cell that has a coarse parent weighs 1/2, every other cell (ghosts, and the
// last cell of an odd count, which no coarse cell covers) 0. Equal weights inside a coarse
// cell make the coarse system the sum of its children's equations; the value 1/2 cancels
// between restriction (w), interpolation (4 w) and the coarse links (4 w w), so the
// correction is that of plain cell agglomeration. A zero weight on an orphan cell keeps the
// coarse links from reaching a coarse ghost that the other levels use as scratch. Along an
// axis of one cell the coarse level keeps that cell (its partner is the ghost, of weight 0).

static int lastCovered(int n) { return n >= 3 ? 2 * cfd_mg_coarse(n) - 1 : n; }

// Weights of the fine cells 2..ni, 2..nj, 2..nk of a level toward the next coarser one.
static void fillWeights(double*** w, int ni, int nj, int nk)
{
    int li = lastCovered(ni), lj = lastCovered(nj), lk = lastCovered(nk);
    for (int i = 1; i <= NI; i++)
        for (int j = 1; j <= NJ; j++)
            for (int k = 1; k <= NK; k++)
                w[i][j][k] = i >= 2 && i <= li && j >= 2 && j <= lj && k >= 2 && k <= lk ? 0.5
                                                                                       : 0.0;
}

void cfd_mg_weights()
{
    // The fine level of each variable ends at its own last index; level 1 at its coarsening.
    const int n[4][3] = {{IM1, JM1, KM1}, {IM2, JM1, KM1}, {IM1, JM2, KM1}, {IM1, JM1, KM2}};
    double*** const w[4][2] = {{REST_AVEP, REST_COAP}, {REST_AVEU, REST_COAU},
                               {REST_AVEV, REST_COAV}, {REST_AVEW, REST_COAW}};
    auto c = cfd_mg_coarse;
    for (int v = 0; v < 4; v++) {
        fillWeights(w[v][0], n[v][0], n[v][1], n[v][2]);
        fillWeights(w[v][1], c(n[v][0]), c(n[v][1]), c(n[v][2]));
    }
}

}  // namespace vexlar
