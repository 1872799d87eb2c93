// Placement of the input file's cell ranges on the grid (inputdata): openings and walls
// become face codes, array index ranges and patch areas, solid blocks become solid cells
// with their exposed area, and block heat and species sources become densities per area or
// volume. Ranges arrive in interior cell numbers 1..IM2 and are converted in place; every
// one is checked against the grid first, so none indexes outside an array.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cfd/cfd-int.h"
#include "common-src/messages.h"

namespace vexlar {

namespace {

struct Kind {
    const char* name;     // names the record in the range error
    const char* fatal;    // no plane patch, or (openings) no face code
    bool coded;           // an opening: a face code is required
};

const Kind INLET = {"inlet", "CFD input file error inlet location setup", true};
const Kind OUTLET = {"outlet", "CFD input file error outlet location setup", true};
const Kind TWALL = {"temperature wall",
                    "CFD input file error constant temperature wall location setup", false};
const Kind QWALL = {"flux wall", "CFD input file error constant heat flux wall location setup",
                    false};

struct Axis { int n2, n1, nmax, flat; };

Axis axis(int a)
{
    const Axis ax[3] = {{IM2, IM1, IMAX, I2DX}, {JM2, JM1, JMAX, I2DY}, {KM2, KM1, KMAX, I2DZ}};
    return ax[a];
}

// A range of a location or block that the grid does not have: names the record (number
// and name), the axis, the range read and the ranges it could be.
void outside(const char* kind, int n, const char* name, int a, const int* L, const char* valid)
{
    const char* label = name ? name : "";
    cfd_input_error("CFD input file error %s %d location outside the grid: %s%.*s%s%c cells %d,%d, valid %s", kind,
                    n, name ? "\"" : "", (int)strcspn(label, "\r\n"), label, name ? "\" " : "", "xyz"[a], L[2 * a + 1],
                    L[2 * a + 2], valid);
}

// Interior numbers of a location: first <= last within 1..n along the patch; on the normal
// axis one cell: 1..n, or -2..-n for the face between cells n-1 and n seen from the lower
// one (-1 would face a cell that does not exist). Walls keep index 0 as "no face".
void checkLocation(const int* L, int normal, const Kind& kind, int n, const char* name)
{
    for (int a = 0; a < 3; a++) {
        Axis ax = axis(a);
        if (ax.flat) continue;
        int v1 = L[2 * a + 1], v2 = L[2 * a + 2];
        char valid[64];
        if (a != normal) {
            snprintf(valid, sizeof valid, "1 to %d, first not above last", ax.n2);
            if (v1 < 1 || v2 > ax.n2 || v1 > v2) outside(kind.name, n, name, a, L, valid);
            continue;
        }
        snprintf(valid, sizeof valid, "one cell of 1 to %d or -2 to -%d", ax.n2, ax.n2);
        bool ok = (v1 >= 1 && v1 <= ax.n2) || (v1 <= -2 && v1 >= -ax.n2) || (v1 == 0 && !kind.coded);
        if (!ok) outside(kind.name, n, name, a, L, valid);
    }
}

void locationFatal(const Kind& kind, int n, const char* name)
{
    const char* label = name ? name : "";
    cfd_input_error("%s: %s %d%s%.*s%s", kind.fatal, kind.name, n, name ? " \"" : "", (int)strcspn(label, "\r\n"),
                    label, name ? "\"" : "");
}

int normalAxis(const int* L, const Kind& kind, int n, const char* name)
{
    for (int a = 0; a < 3; a++)
        if (L[2 * a + 1] == L[2 * a + 2] && !axis(a).flat) return a;
    locationFatal(kind, n, name);
    return 0;
}

// Face code along the normal axis: the domain's low and high boundaries, the low face of an
// interior cell, or (negative index -n) the high face of cell n.
int faceCode(int* L, int a)
{
    int v = L[2 * a + 1], lo = 2 * a + 1, hi = 2 * a + 2;
    if (v == 1) return lo;
    if (v == axis(a).n2) return hi;
    if (v > 0) return lo;
    if (v < 0) {
        L[2 * a + 1] = -L[2 * a + 1];
        L[2 * a + 2] = -L[2 * a + 2];
        return hi;
    }
    return 0;
}

// Interior numbers to array indices. On the normal axis a patch on the domain's first or
// last cell lies on the ghost face; along the patch every cell keeps its own index.
void shift(int* L, int normal)
{
    for (int a = 0; a < 3; a++) {
        int *l1 = &L[2 * a + 1], *l2 = &L[2 * a + 2];
        Axis ax = axis(a);
        if (ax.flat) {
            *l1 = *l2 = 2;
            continue;
        }
        if (a == normal && *l1 == 1 && *l2 == 1) continue;
        *l1 += 1, *l2 += 1;
        if (a == normal && *l1 == ax.n1 && *l2 == ax.n1) *l1 = *l2 = ax.nmax;
    }
}

double patchArea(const int* L, int code)
{
    double area = 0.0;
    if (code == 1 || code == 2)
        for (int j = L[3]; j <= L[4]; j++)
            for (int k = L[5]; k <= L[6]; k++) area += AREX[j][k];
    if (code == 3 || code == 4)
        for (int i = L[1]; i <= L[2]; i++)
            for (int k = L[5]; k <= L[6]; k++) area += AREY[i][k];
    if (code == 5 || code == 6)
        for (int i = L[1]; i <= L[2]; i++)
            for (int j = L[3]; j <= L[4]; j++) area += AREZ[i][j];
    return area;
}

void placeLocation(int* L, int* code, double* area, const Kind& kind, int n, const char* name)
{
    int normal = normalAxis(L, kind, n, name);
    checkLocation(L, normal, kind, n, name);
    *code = faceCode(L, normal);
    shift(L, normal);
    if (kind.coded && (*code < 1 || *code > 6)) locationFatal(kind, n, name);
    if (area) *area = patchArea(L, *code);
}

// Area of the faces of a solid block that border fluid cells.
double exposedArea(const int* B)
{
    double a = 0.0;
    for (int i = B[1]; i <= B[2]; i++)
        for (int j = B[3]; j <= B[4]; j++) {
            a += (ICELL[i][j][B[5] - 1] == 0) * AREZ[i][j];
            a += (ICELL[i][j][B[6] + 1] == 0) * AREZ[i][j];
        }
    for (int i = B[1]; i <= B[2]; i++)
        for (int k = B[5]; k <= B[6]; k++) {
            a += (ICELL[i][B[3] - 1][k] == 0) * AREY[i][k];
            a += (ICELL[i][B[4] + 1][k] == 0) * AREY[i][k];
        }
    for (int j = B[3]; j <= B[4]; j++)
        for (int k = B[5]; k <= B[6]; k++) {
            a += (ICELL[B[1] - 1][j][k] == 0) * AREX[j][k];
            a += (ICELL[B[2] + 1][j][k] == 0) * AREX[j][k];
        }
    return a;
}

// Volume of a source region from its three projections: sqrt(LxLy LxLz LyLz) = LxLyLz.
double regionVolume(const int* B)
{
    double ax = 0.0, ay = 0.0, az = 0.0;
    for (int i = B[1]; i <= B[2]; i++)
        for (int j = B[3]; j <= B[4]; j++) az += AREZ[i][j];
    for (int i = B[1]; i <= B[2]; i++)
        for (int k = B[5]; k <= B[6]; k++) ay += AREY[i][k];
    for (int j = B[3]; j <= B[4]; j++)
        for (int k = B[5]; k <= B[6]; k++) ax += AREX[j][k];
    return sqrt(az * ay * ax);
}

void divideSeries(UcdSeries* s, double by)
{
    UcdNode* node = s->head;
    for (int p = 0; p < s->count; p++, node = node->next) node->value_per_size = node->value / by;
}

void sourceDensities(int n, double size)
{
    if (FSBLOC[n] >= 0) {
        TSOUU[n] = HSOU[n] / size / ACP;
        for (int s = 1; s <= 5 && NOC > 0; s++) CSOUU[n][s] = CSOU[n][s] / size;
        return;
    }
    UcdRec* r = &UCDBLOK[n];
    if (ENERGY == 1 && r->heat_kind == 2) divideSeries(&r->heat, ACP * size);
    for (int s = 1; s <= 5 && CONTAMINANT == 1; s++) divideSeries(&r->species[s], size);
}

void placeBlock(int n)
{
    int* B = IBL[n];
    for (int a = 0; a < 3; a++) {
        Axis ax = axis(a);
        if (ax.flat) {
            B[2 * a + 1] = B[2 * a + 2] = 2;
            continue;
        }
        char valid[48];
        snprintf(valid, sizeof valid, "1 to %d, first not above last", ax.n2);
        if (B[2 * a + 1] < 1 || B[2 * a + 2] > ax.n2 || B[2 * a + 1] > B[2 * a + 2])
            outside("block", n, NMBL[n], a, B, valid);
        B[2 * a + 1] += 1, B[2 * a + 2] += 1;
    }
    double size = 0.0;
    int kind = abs(FSBLOC[n]);
    if (kind == 1) {
        for (int i = B[1]; i <= B[2]; i++)
            for (int j = B[3]; j <= B[4]; j++)
                for (int k = B[5]; k <= B[6]; k++) ICELL[i][j][k] = 1;
        size = TAREA[n] = exposedArea(B);
    } else if (kind == 2) {
        size = regionVolume(B);
    }
    if (size > 0.0) sourceDensities(n, size);
}

// The solid block (kind 1 or -1) that holds cell p; 0 for none.
int solidBlockAt(const int* p)
{
    for (int n = 1; n <= NBL; n++) {
        const int* B = IBL[n];
        if (abs(FSBLOC[n]) != 1) continue;
        if (p[0] >= B[1] && p[0] <= B[2] && p[1] >= B[3] && p[1] <= B[4] && p[2] >= B[5] && p[2] <= B[6])
            return n;
    }
    return 0;
}

// An opening whose every cell opens onto a solid block passes no air: the zone could not
// balance the flow the network sends through it. Refused, naming the opening and the
// blocks in front of it (the first three). An opening that blocks cover in part passes its
// air through the rest: its area becomes that of the cells still open, so that a given
// flow or coefficient is spread over them alone.
void checkOpeningPasses(const char* kind, int n, const char* name, const int* L, int code, double* area)
{
    if (code < 1 || code > 6) return;
    int a = face_axis(code), s = face_inward(code), blocks[3], count = 0;
    bool passes = false;
    double open = 0.0;
    cfd_for_box(L, [&](const int* p) {
        int q[3] = {p[0], p[1], p[2]};
        q[a] += s;
        int b = solidBlockAt(q);
        if (!b) {
            passes = true;
            open += face_area(a, p);
            return;
        }
        for (int e = 0; e < count && e < 3; e++)
            if (blocks[e] == b) return;
        if (count < 3) blocks[count] = b;
        count++;
    });
    if (passes) {
        *area = open;
        return;
    }
    char names[1024] = "";
    for (int e = 0; e < count && e < 3; e++) {
        size_t at = strlen(names);
        snprintf(names + at, sizeof names - at, "%s\"%.*s\"", e ? ", " : "",
                 (int)strcspn(NMBL[blocks[e]], "\r\n"), NMBL[blocks[e]]);
    }
    cfd_input_error("CFD input file error %s %d \"%.*s\" is covered wholly by solid block%s %s%s: no air can pass it",
                    kind, n, (int)strcspn(name, "\r\n"), name, count > 1 ? "s" : "", names, count > 3 ? " and more" : "");
}

}  // namespace

int inputdata()
{
    XP = X[2], YP = Y[2], ZP = Z[2];
    BETA = TM > 0.0 ? 1.0 / TM : 0.0;
    for (int e = 0; e < 9; e++) CIG[e] = e == 0 ? 0.0 : e == 7 ? 1.3 : 1.0;
    cfd_input_item(12, "openings");
    for (int n = 1; n <= NBIN; n++) placeLocation(LBIN[n], &INTY[n], &AIN[n], INLET, n, NMIN[n]);
    for (int n = 1; n <= NBOUT; n++) placeLocation(LBOUT[n], &IOTY[n], &AOU[n], OUTLET, n, NMOUT[n]);
    cfd_input_item(14, "temperature walls");
    for (int n = 1; n <= NAWT; n++) placeLocation(LNAW[n], &ITTY[n], nullptr, TWALL, n, nullptr);
    cfd_input_item(15, "flux walls");
    for (int n = 1; n <= NAWQ; n++) placeLocation(LNAWQ[n], &IQTY[n], &AWQ[n], QWALL, n, nullptr);
    cfd_input_item(13, "blocks");
    for (int n = 1; n <= NBL; n++) placeBlock(n);
    cfd_input_item(12, "openings");
    for (int n = 1; n <= NBIN; n++) checkOpeningPasses("inlet", n, NMIN[n], LBIN[n], INTY[n], &AIN[n]);
    for (int n = 1; n <= NBOUT; n++) checkOpeningPasses("outlet", n, NMOUT[n], LBOUT[n], IOTY[n], &AOU[n]);
    if (IN) rewind(IN);
    return 0;
}

}  // namespace vexlar
