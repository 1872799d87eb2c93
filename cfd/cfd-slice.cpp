// The CFD zone's binary slice file (".out"): the cell-centre results on the slice planes
// of the input file, one record per Tecplot frame, with the run's extremes as trailer when
// the file is closed. A steady run writes a complete file at every frame; a transient run
// keeps it open and appends until the last CFD time. 32-bit integers and doubles in the
// machine's byte order, nothing between items.
#include <algorithm>

#include "cfd/cfd-int.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/prj-data.h"
#include "model/run-control.h"

namespace vexlar {

FILE* OUTPUT = nullptr;
// Slots: 0 P, 1 U, 2 V, 3 W, 4 speed, 5 T [C], 6..10 species 1..5, 11 VIS. Kept for the run.
double PHI_MIN[12] = {CFD_MIN_START, CFD_MIN_START, CFD_MIN_START, CFD_MIN_START,
                      CFD_MIN_START, CFD_MIN_START, CFD_MIN_START, CFD_MIN_START,
                      CFD_MIN_START, CFD_MIN_START, CFD_MIN_START, CFD_MIN_START};
double PHI_MAX[12] = {CFD_MAX_START, CFD_MAX_START, CFD_MAX_START, CFD_MAX_START,
                      CFD_MAX_START, CFD_MAX_START, CFD_MAX_START, CFD_MAX_START,
                      CFD_MAX_START, CFD_MAX_START, CFD_MAX_START, CFD_MAX_START};

namespace {

void putList(FILE* f, int n, const int* list)
{
    cfd_put_i32(f, n);
    for (int e = 0; e < n; e++) cfd_put_i32(f, list[e]);
}

void putCentres(FILE* f, const double* c, int n)
{
    for (int i = 2; i <= n + 1; i++) cfd_put_f64(f, c[i]);
}

void header(FILE* f)
{
    const int clock[5] = {_dayofy, _stepEndTime, _simEndDate, _simEndTime, _time_list};
    for (int v : clock) cfd_put_i32(f, v);
    cfd_put_f64(f, XX), cfd_put_f64(f, YY), cfd_put_f64(f, ZZ);
    cfd_put_i32(f, IM2), cfd_put_i32(f, JM2), cfd_put_i32(f, KM2);
    putList(f, NXSLCF, XSLCF);
    putList(f, NYSLCF, YSLCF);
    putList(f, NZSLCF, ZSLCF);
    for (int e = 0; e < 4; e++) cfd_put_i32(f, 1);
    cfd_put_i32(f, ENERGY);
    for (int n = 1; n <= 5; n++) cfd_put_i32(f, CACTIVE[n] ? 1 : 0);
    cfd_put_i32(f, 1), cfd_put_i32(f, 0), cfd_put_i32(f, 0);
    putCentres(f, X, IM2);
    putCentres(f, Y, JM2);
    putCentres(f, Z, KM2);
}

bool listed(int v, int n, const int* list) { return std::find(list, list + n, v) != list + n; }

bool onSlice(int i, int j, int k)
{
    return listed(i - 1, NXSLCF, XSLCF) || listed(j - 1, NYSLCF, YSLCF) ||
           listed(k - 1, NZSLCF, ZSLCF);
}

void extreme(int slot, double v)
{
    PHI_MIN[slot] = std::min(PHI_MIN[slot], v);
    PHI_MAX[slot] = std::max(PHI_MAX[slot], v);
}

void cellEntry(FILE* f, int i, int j, int k)
{
    cfd_put_i32(f, i - 1), cfd_put_i32(f, j - 1), cfd_put_i32(f, k - 1);
    const double v[5] = {P[i][j][k], UP[i][j][k], VP[i][j][k], WP[i][j][k], VTT[i][j][k]};
    for (int s = 0; s < 5; s++) cfd_put_f64(f, v[s]), extreme(s, v[s]);
    if (ENERGY) {
        cfd_put_f64(f, T[i][j][k] - 273.0);
        extreme(5, T[i][j][k] - 273.0);
    } else {
        PHI_MIN[5] = PHI_MAX[5] = 0.0;
    }
    for (int n = 1; n <= 5; n++) {
        double*** c = CACTIVE[n] ? cfd_species(n) : nullptr;
        if (!c) {
            PHI_MIN[5 + n] = PHI_MAX[5 + n] = 0.0;
            continue;
        }
        if (!NOC) continue;
        cfd_put_f64(f, c[i][j][k]);
        extreme(5 + n, c[i][j][k]);
    }
    cfd_put_f64(f, VIS[i][j][k]);
    extreme(11, VIS[i][j][k]);
}

}  // namespace

void cfd_slice_record()
{
    if (!OUTPUT) {
        OUTPUT = cfd_create(cfd_zone_path(".out"), "wb", "Unable to open CFD slice file ");
        if (!OUTPUT) return;
        header(OUTPUT);
    }
    cfd_put_i32(OUTPUT, _dayofy);
    cfd_put_i32(OUTPUT, _stepEndTime);
    for (int j = 2; j <= JM1; j++)
        for (int i = 2; i <= IM1; i++)
            for (int k = 2; k <= KM1; k++)
                if (onSlice(i, j, k)) cellEntry(OUTPUT, i, j, k);
    if ((!_sim_af_dyn && _rcdat.sim_mf != 2) || CFDTIME == TIMEMAX) {
        for (double v : PHI_MIN) cfd_put_f64(OUTPUT, v);
        for (double v : PHI_MAX) cfd_put_f64(OUTPUT, v);
        cfd_close_checked(&OUTPUT, cfd_zone_path(".out"));
    } else {
        fflush(OUTPUT);
    }
}

}  // namespace vexlar
