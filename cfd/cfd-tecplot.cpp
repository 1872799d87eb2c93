// Output fields of the CFD zone and its Tecplot file (".dat", ASCII point format). plotvt
// turns the staggered velocities into cell-centre fields for every writer, and with a
// stream appends one frame of the zone (a full frame, or the concentrations alone) and one
// slice-file record. Every frame of a zone goes through the one stream cfd_tecplot_open
// returns, whether the driver or the coupling writes it, so no frame overwrites another.
#include <cmath>

#include "cfd/cfd.h"
#include "cfd/cfd-int.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/prj-data.h"
#include "model/run-control.h"

namespace vexlar {

int PrintVel = 1;
int PrintGeo = 1;

FILE* cfd_tecplot_open()
{
    if (!TE) TE = cfd_create(cfd_zone_path(".dat"), "w", "Unable to open CFD Tecplot file ");
    CPLTE = TE;
    return TE;
}

namespace {

double*** const* savedCopies()
{
    static double*** s[6];
    s[0] = pu, s[1] = pus, s[2] = pv, s[3] = pvs, s[4] = pw, s[5] = pws;
    return s;
}

double*** const* velocityState()
{
    static double*** s[6];
    s[0] = U, s[1] = US, s[2] = V, s[3] = VS, s[4] = W, s[5] = WS;
    return s;
}

void copyFields(double*** const* to, double*** const* from)
{
    for (int e = 0; e < 6; e++)
        for (int i = 1; i <= NI; i++)
            for (int j = 1; j <= NJ; j++)
                for (int k = 1; k <= NK; k++) to[e][i][j][k] = from[e][i][j][k];
}

// Solid bodies carry no velocity, neither in the cell nor on its faces.
void stillBlocks()
{
    for (int n = 1; n <= NBL; n++) {
        if (FSBLOC[n] != 1 && FSBLOC[n] != -1) continue;
        cfd_for_box(IBL[n], [](const int* p) {
            for (int a = 0; a < 3; a++) {
                int q[3] = {p[0], p[1], p[2]};
                q[a] -= 1;
                cell(velocity(a), p) = 0.0;
                cell(velocity(a), q) = 0.0;
            }
            UP[p[0]][p[1]][p[2]] = VP[p[0]][p[1]][p[2]] = WP[p[0]][p[1]][p[2]] = 0.0;
        });
    }
}

void copyScalars(const int* to, const int* from)
{
    cell(T, to) = cell(T, from);
    cell(P, to) = cell(P, from);
    for (int n = 1; n <= 5; n++)
        if (double*** c = cfd_species(n)) cell(c, to) = cell(c, from);
}

// Centre velocity along axis a: the open face's value next to a solid neighbour, else the
// mean of the two faces.
double centreVelocity(int a, const int* p)
{
    int lo[3] = {p[0], p[1], p[2]}, hi[3] = {p[0], p[1], p[2]};
    lo[a] -= 1, hi[a] += 1;
    double*** v = velocity(a);
    if (cell(ICELL, lo) == 1) return cell(v, p);
    if (cell(ICELL, hi) == 1) return cell(v, lo);
    return (cell(v, lo) + cell(v, p)) / 2.0;
}

void centreCell(const int* p)
{
    const int top[3] = {IMAX, JMAX, KMAX};
    for (int a = 0; a < 3; a++) {
        if (p[a] != 1 && p[a] != top[a]) continue;
        int q[3] = {p[0], p[1], p[2]};
        q[a] = p[a] == 1 ? 2 : top[a] - 1;
        copyScalars(p, q);
        return;
    }
    if (cell(ICELL, p) != 0) return;
    double v[3];
    for (int a = 0; a < 3; a++) v[a] = centreVelocity(a, p);
    cell(UP, p) = v[0], cell(VP, p) = v[1], cell(WP, p) = v[2];
    cell(VTT, p) = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

void centreFields()
{
    int p[3];
    for (p[2] = 1; p[2] <= KMAX; p[2]++)
        for (p[1] = 1; p[1] <= JMAX; p[1]++)
            for (p[0] = 1; p[0] <= IMAX; p[0]++) {
                cell(UP, p) = cell(VP, p) = cell(WP, p) = 0.0;
                centreCell(p);
            }
    for (int n = 1; n <= 5; n++)
        if (double*** c = cfd_species(n)) {
            c[1][2][1] = c[2][2][1];
            c[1][2][KMAX] = c[2][2][KMAX];
        }
}

// Zone time of the frame titles: the solver time of a transient run, the clock's time of
// a steady one, folded into the day so that a run past midnight still has a valid time.
const char* zoneTime()
{
    long t = _rcdat.sim_mf >= 2 || _sim_af_dyn ? (long)CFDTIME : (long)_stepEndTime;
    return timestr((int)(t % 86400));
}

template <class F> void forPoints(F f)
{
    for (int k = 1; k <= KMAX; k++)
        for (int j = 1; j <= JMAX; j++)
            for (int i = 1; i <= IMAX; i++) f(i, j, k);
}

void concentrations(FILE* f, int i, int j, int k)
{
    for (int n = 1; n <= 5; n++)
        if (double*** c = cfd_species(n)) fprintf(f, " %15.6le", c[i][j][k]);
    fprintf(f, "\n");
}

// Names of the inlets, outlets and blocks as labels; the object's centre cell gets its number.
void customLabels(FILE* f)
{
    fprintf(f, "CUSTOMLABELS ");
    int m = 0;
    auto label = [&](char* name, const int* L) {
        TextProc(name);
        fprintf(f, "\"%s\",", name);
        OBJECTNM[(L[1] + L[2]) / 2][(L[3] + L[4]) / 2][(L[5] + L[6]) / 2] = ++m;
    };
    for (int n = 1; n <= NBIN; n++) label(NMIN[n], LBIN[n]);
    for (int n = 1; n <= NBOUT; n++) label(NMOUT[n], LBOUT[n]);
    for (int n = 1; n <= NBL; n++) label(NMBL[n], IBL[n]);
    fprintf(f, "\n");
}

void fullFrame(FILE* f, int geometry)
{
    fprintf(f, "TITLE=\"%s\"\n", TITLE);
    fprintf(f, "VARIABLES = \"X\",\"Y\",\"Z\",\"BLANK\",\"OBJECTS\",\"T\",\"P\",\"VIS\",\n");
    fprintf(f, "\"U\",\"V\",\"W\",\"VTT\"");
    for (int n = 1; n <= 5; n++)
        if (cfd_species(n)) fprintf(f, ",\"C%d\"", n);
    fprintf(f, "\n");
    if (geometry) customLabels(f);
    fprintf(f, "ZONE T=\"Time %s\", I=%3d, J=%3d, K=%3d, F=POINT\n", zoneTime(), IMAX, JMAX,
            KMAX);
    forPoints([f](int i, int j, int k) {
        fprintf(f, "%15.6le %15.6le %15.6le\n", X[i], Y[j], Z[k]);
        if (k == KMAX || j == 1 || j == JMAX || i == 1 || i == IMAX) fprintf(f, "0 ");
        else fprintf(f, "%15ld\n", (long)ICELL[i][j][k]);
        fprintf(f, "%15d\n", OBJECTNM[i][j][k]);
        fprintf(f, "%15.6le %15.6le %15.6le %15.6le\n", T[i][j][k] - 273.0, P[i][j][k],
                VIS[i][j][k], UP[i][j][k]);
        fprintf(f, "%15.6le %15.6le %15.6le\n", VP[i][j][k], WP[i][j][k], VTT[i][j][k]);
        concentrations(f, i, j, k);
    });
}

void contaminantFrame(FILE* f)
{
    fprintf(f, "ZONE T=\"Time %s\", I=%3d, J=%3d, K=%3d, F=POINT, VARSHARELIST = ([1-12]=1)\n",
            zoneTime(), IMAX, JMAX, KMAX);
    forPoints([f](int i, int j, int k) { concentrations(f, i, j, k); });
    fflush(f);
}

// The edges of the box lo..hi: along each axis, at the low and high ends of the other two
// (the second of them outermost). A flat axis (an opening's normal) has no edges along it
// and one value across it.
void boxEdges(FILE* f, const double* lo, const double* hi, int flat)
{
    for (int e = 0; e < 3; e++) {
        if (e == flat) continue;
        int p = e == 0 ? 1 : 0, q = e == 2 ? 1 : 2;
        for (int vq = 0; vq <= (q == flat ? 0 : 1); vq++)
            for (int vp = 0; vp <= (p == flat ? 0 : 1); vp++) {
                double a[3], b[3];
                a[p] = b[p] = vp ? hi[p] : lo[p];
                a[q] = b[q] = vq ? hi[q] : lo[q];
                a[e] = lo[e], b[e] = hi[e];
                fprintf(f, "%d\n", 2);
                fprintf(f, "%lf %lf %lf\n", a[0], a[1], a[2]);
                fprintf(f, "%lf %lf %lf\n", b[0], b[1], b[2]);
            }
    }
}

double* const* faces()
{
    static double* fc[3];
    fc[0] = XF, fc[1] = YF, fc[2] = ZF;
    return fc;
}

void openingOutline(FILE* f, const int* L, int code, const char* fatal)
{
    if (code < 1 || code > 6) error(FATAL, __FILE__, __LINE__, fatal, "");
    int a = face_axis(code);
    double lo[3], hi[3];
    for (int b = 0; b < 3; b++) lo[b] = faces()[b][L[2 * b + 1] - 1], hi[b] = faces()[b][L[2 * b + 2]];
    lo[a] = hi[a] = faces()[a][code % 2 ? L[2 * a + 1] : L[2 * a + 1] - 1];
    fprintf(f, "GEOMETRY X=0, Y=0, Z=0, C=YELLOW, LT=0.2, T=LINE3D, F=POINT\n");
    fprintf(f, "%d\n", 4);
    boxEdges(f, lo, hi, a);
}

void geometry(FILE* f)
{
    for (int n = 1; n <= NBIN; n++)
        openingOutline(f, LBIN[n], INTY[n], "Tecplot file error: inlet location setup");
    for (int n = 1; n <= NBOUT; n++)
        openingOutline(f, LBOUT[n], IOTY[n], "Tecplot file error: outlet location setup");
    for (int n = 1; n <= NBL; n++) {
        double lo[3], hi[3];
        for (int b = 0; b < 3; b++)
            lo[b] = faces()[b][IBL[n][2 * b + 1] - 1], hi[b] = faces()[b][IBL[n][2 * b + 2]];
        fprintf(f, "GEOMETRY X=0, Y=0, Z=0, C=CUST1, LT=0.1, T=LINE3D, F=POINT\n");
        fprintf(f, "%d\n", 12);
        boxEdges(f, lo, hi, -1);
    }
}

}  // namespace

void plotvt(FILE* f, int frame, int geo, int ctmFrame)
{
    if (f) cfd_say("Writing Tecplot file(DAT) at iteration %d...\n", NITER);
    copyFields(savedCopies(), velocityState());
    // The openings' boundary faces take the velocity of their flow; every face inside the
    // zone keeps its solved value, so the centre fields show the solution itself, on both
    // edges of an opening alike. An opening at an interior position keeps its flow on its
    // face also where a solid block stands behind it.
    stillBlocks();
    updateu(1);
    centreFields();
    if (NOC) chkctm();
    if (ENERGY == 1) cfd_energy_balance();
    if (f) {
        if (frame == 1) fullFrame(f, geo);
        else if (ctmFrame == 1 && CSTEADY == 0 && CONTAMINANT == 1) contaminantFrame(f);
        fflush(f);
        cfd_slice_record();
    }
    copyFields(velocityState(), savedCopies());
    // Labels and outlines are written once per run, after the first frame that has a stream
    // to take them.
    if (geo && f) {
        PrintGeo = 0;
        geometry(f);
    }
    if (f) {
        PrintVel = 1;
        fflush(f);
    } else {
        fflush(nullptr);
    }
}

}  // namespace vexlar
