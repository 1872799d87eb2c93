// The wind-pressure and ambient-concentration file: wind pressures and ambient mass
// fractions at envelope openings identified by their coordinates, with the barometric
// pressure and the ambient density. Every envelope path of the network is matched by
// position to a file opening; each reading then sets the wind pressure the path sees,
// the mass fractions on its ambient side, and the ambient pressure and temperature.
#include <cmath>
#include <cstring>

#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/tokens.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/run-control.h"
#include "model/env-lists.h"
#include "simulation/weather-int.h"
#include "simulation/weather.h"

namespace vexlar {

FILE* _uwpc = nullptr;
int _WPCversion = 0;
float* _WPC_wP = nullptr;
double** _WPC_Mf = nullptr;

namespace {

// One opening of the file, in file order.
struct WpcOpening {
    int number;     // as written in the file
    int position;   // 1..openings
    float x, y, z;  // [m]
    int fifth;      // the fifth value of its line, 0 in a valid file
};

const float WPC_TOL = 0.0015f;   // an opening matches a location closer than this in x, y and z

// What the arrays were allocated for; a later pass over the file must find the same.
int wpcNO = 0, wpcNS = 0, wpcPaths = 0, wpcSpecies = 0;
int wpcAllocated = 0;
double wpcPb[2];                 // barometric pressure of the earlier and later record [Pa]
float wpcRho[2];                 // ambient density of the earlier and later record [kg/m3]
float* wpcWp[2] = {nullptr, nullptr};       // 1..NO wind pressures of the two records [Pa]
float** wpcMf[2] = {nullptr, nullptr};      // [0..NS-1][1..NO] mass fractions of the two records
float* wpcZ = nullptr;           // 1..NO opening heights [m]
float* wpcSign = nullptr;        // 1..NO: +1 the path starts at the ambient, -1 it ends there
int* wpcMap = nullptr;           // 0..NS-1: simulated species of each file species, or -1
float* wpcMax = nullptr;         // 0..NS-1: largest value of the last record read, for the log
WpcOpening* openings = nullptr;  // 1..NO
int* pathLocation = nullptr;     // 1..paths: each path's envelope location number, as built

void wpc_copyValsTime1ToTime0()
{
    wpcPb[0] = wpcPb[1];
    wpcRho[0] = wpcRho[1];
    if (_useWPCwp) std::memcpy(&wpcWp[0][1], &wpcWp[1][1], sizeof(float) * (size_t)wpcNO);
    if (_useWPCmf)
        for (int s = 0; s < wpcNS; s++) std::memcpy(&wpcMf[0][s][1], &wpcMf[1][s][1], sizeof(float) * (size_t)wpcNO);
}

const char* record_time();

int read_pressures()
{
    if (tf_single(0, &wpcPb[1]) || tf_float(0, &wpcRho[1])) return 1;
    float g = _rcdat.gravity;
    int changed = 0;
    float lo = 0.0f, hi = 0.0f;
    double squares = 0.0;
    for (int i = 1; i <= wpcNO; i++) {
        double p;
        if (tf_single(i == 1, &p)) return 1;
        if (_WPCversion == 0) p = p - wpcPb[1] + wpcRho[1] * g * wpcZ[i];
        float wp = (float)p * wpcSign[i];
        float before = wpcWp[0][i];
        if (std::fabs(wp - before) > 1e-5f * std::fabs(wp + before)) changed = 1;
        wpcWp[1][i] = wp;
        lo = wp < lo ? wp : lo;
        hi = wp > hi ? wp : hi;
        squares += (double)wp * wp;
    }
    if (_rcdat.wpc_hold && !_newSTSaf) _newSTSaf = changed;
    if (_list > 1)
        ulog_printf("WPCf %s wind: min %.1f, max %.1f, RMS %.1f [Pa]%s", record_time(), lo, hi,
                    wpcNO > 0 ? std::sqrt(squares / wpcNO) : 0.0, _newSTSaf ? " new\n" : " old\n");
    return 0;
}

int read_mass_fractions()
{
    for (int s = 0; s < wpcNS; s++) {
        wpcMax[s] = 0.0f;
        for (int j = 1; j <= wpcNO; j++) {
            if (tf_float(j == 1, &wpcMf[1][s][j])) return 1;
            if (wpcMf[1][s][j] > wpcMax[s]) wpcMax[s] = wpcMf[1][s][j];
        }
    }
    if (_list > 1) {
        ulog_printf("WPCf %s max Mf:", record_time());
        for (int s = 0; s < wpcNS; s++) ulog_printf(" %.3e", wpcMax[s]);
        ulog_printf("\n");
    }
    return 0;
}

// A record's values as the later ones: each block on a line of its own.
int wpc_readValsForTime1()
{
    if (_useWPCwp && read_pressures()) return 1;
    if (_useWPCmf && read_mass_fractions()) return 1;
    return 0;
}

TimedFile wpc = {"WPC", "wind-pressure file", "Bad wind pressure file: ", "WPC file", "WPC file", &_uwpc,
                 _WPCfile, {}, wpc_copyValsTime1ToTime0, wpc_readValsForTime1, 0, {}};

const char* record_time() { return timestr(wpc.bracket.time1); }

// The file's counts line; any disagreement with the project's switches is an ERROR. The
// file must hold what the counts announce before anything is sized by them: the opening
// lines of five words and a first record with a pressure and NS mass fractions per opening.
int read_counts(int* pressures)
{
    wpcNO = tf_count(&wpc, 1, 5);
    wpcNS = tf_count(&wpc, 0, 1);
    *pressures = readI2(0);
    readI2(0);
    tf_check(&wpc, 0);
    if (!tf_fits(wpcNO, 5L + wpcNS + (*pressures != 0)))
        error(FATAL, __FILE__, __LINE__, "Invalid count ", intstr(wpcNO), " in ", wpc.on_name, "");
    int faults = 0;
    if ((wpcNS != 0) != (_useWPCmf != 0)) {
        error(ERROR, __FILE__, __LINE__, "WPC and PRJ contaminant flags do not match", "");
        faults++;
    }
    if ((*pressures != 0) != (_useWPCwp != 0)) {
        error(ERROR, __FILE__, __LINE__, "WPC and PRJ pressure flags do not match", "");
        faults++;
    }
    return faults;
}

int at_least_one(int n) { return n > 0 ? n : 1; }

void allocate_arrays()
{
    int no = at_least_one(wpcNO), ns = at_least_one(wpcNS);
    openings = alc_vT<WpcOpening>(1, no, "PLDloc");
    wpcMap = alc_vT<int>(0, ns - 1, "spindx");
    wpcMax = alc_vT<float>(0, ns - 1, "Max");
    pathLocation = alc_vT<int>(1, at_least_one(_nafpt), "wpcLoc");
    if (_useWPCwp) {
        wpcWp[0] = alc_vT<float>(1, no, "wP0");
        wpcWp[1] = alc_vT<float>(1, no, "wP1");
        wpcZ = alc_vT<float>(1, no, "Z");
        wpcSign = alc_vT<float>(1, no, "sign");
        _WPC_wP = alc_vT<float>(1, no, "WPC_wP");
    }
    if (_useWPCmf) {
        wpcMf[0] = alc_mcT<float>(0, ns - 1, 1, no, "Mf0");
        wpcMf[1] = alc_mcT<float>(0, ns - 1, 1, no, "Mf1");
        if (_nctm > 0) {
            _WPC_Mf = alc_mcT<double>(1, no, 0, _nctm - 1, "WPC_Mf");
            for (int j = 1; j <= no; j++)
                for (int i = 0; i < _nctm; i++) _WPC_Mf[j][i] = _pambt ? _pambt->mf[i] : 0.0;
        }
    }
    for (AirPath* p = _pafp0; p; p = p->next)
        if (p->index >= 1 && p->index <= _nafpt) pathLocation[p->index] = p->pld_index;
    wpcAllocated = 1;
    wpcPaths = _nafpt;
    wpcSpecies = _nctm;
}

void free_arrays()
{
    if (!wpcAllocated) return;
    int no = at_least_one(wpcNO), ns = at_least_one(wpcNS);
    openings = fre_vT(openings, 1, no, "PLDloc");
    wpcMap = fre_vT(wpcMap, 0, ns - 1, "spindx");
    wpcMax = fre_vT(wpcMax, 0, ns - 1, "Max");
    pathLocation = fre_vT(pathLocation, 1, at_least_one(wpcPaths), "wpcLoc");
    if (wpcWp[0]) {
        for (float*& v : wpcWp) v = fre_vT(v, 1, no, "wP");
        wpcZ = fre_vT(wpcZ, 1, no, "Z");
        wpcSign = fre_vT(wpcSign, 1, no, "sign");
        _WPC_wP = fre_vT(_WPC_wP, 1, no, "WPC_wP");
    }
    if (wpcMf[0])
        for (float**& m : wpcMf) m = fre_mcT(m, 0, ns - 1, 1, no);
    if (_WPC_Mf) _WPC_Mf = fre_mcT(_WPC_Mf, 1, no, 0, wpcSpecies - 1);
    wpcAllocated = 0;
}

// The opening table; returns the number of faulty lines, each logged.
int read_openings()
{
    ulog_printf("Mapping errors in WPC file:\n");
    int faults = 0;
    for (int j = 1; j <= wpcNO; j++) {
        WpcOpening& o = openings[j];
        o.number = readI2(1);
        o.position = j;
        o.x = readR4(0);
        o.y = readR4(0);
        o.z = readR4(0);
        o.fifth = readI2(0);
        if (_useWPCwp) wpcZ[j] = o.z;
        if (o.number != j || o.fifth != 0) {
            ulog_printf(" map (%s %d: %3d %3d %.3f %.3f %.3f %d)\n", "opening", j, o.number, j, o.x, o.y, o.z,
                        o.fifth);
            faults++;
        }
    }
    return faults;
}

// The first file opening within the tolerance of the location, 0 when none is.
int find_opening(const PathLocation* l)
{
    for (int j = 1; j <= wpcNO; j++) {
        const WpcOpening& o = openings[j];
        if (std::fabs(o.x - l->x) < WPC_TOL && std::fabs(o.y - l->y) < WPC_TOL && std::fabs(o.z - l->z) < WPC_TOL)
            return j;
    }
    return 0;
}

// Every envelope path takes its opening's wind pressure and ambient mass fractions. The
// locations come from the network build, kept from the first pass, since the path's
// index then names its file opening.
int match_paths()
{
    ulog_printf("Path locations missing from WPC file:\n");
    int misses = 0;
    for (AirPath* p = _pafp0; p; p = p->next) {
        int loc = p->index >= 1 && p->index <= wpcPaths ? pathLocation[p->index] : 0;
        if (loc == 0) continue;
        const PathLocation* l = _PLDlist[loc];
        int j = find_opening(l);
        if (j == 0) {
            ulog_printf(" %s %d: %3d at (%.3f %.3f %.3f)\n", p->kind == 0 ? "path" : "duct", p->number, loc, l->x,
                        l->y, l->z);
            misses++;
            continue;
        }
        int from_ambient = p->from_node == _pambt;
        p->pld_index = j;
        if (_useWPCwp) {
            p->wind_pressure = &_WPC_wP[j];
            wpcSign[j] = from_ambient ? 1.0f : -1.0f;
        }
        if (_useWPCmf && _WPC_Mf) (from_ambient ? p->mf_from : p->mf_to) = _WPC_Mf[j];
    }
    return misses;
}

void set_ambient(double pbar, float rho)
{
    _wthdat.Pbar = pbar;
    double t = _pambt ? pbar / (rho * _pambt->gas_const) : _wthdat.Tambt;
    _wthdat.Tambt = (float)t;
    if (_pambt) _pambt->temperature = t;
}

// The openings' pressures, the ambient and the openings' mass fractions (interpolated in T)
// d seconds before the later record over the span s.
template <class T> void setAt(double d, int s)
{
    if (_useWPCwp) {
        double dp = _rcdat.wpc_hold && d > 0 ? s : d;   // held: the earlier record's pressures
        double pb = tf_lerp(wpcPb[0], wpcPb[1], dp, s);
        float rho = tf_lerp(wpcRho[0], wpcRho[1], dp, s);
        set_ambient(pb, rho);
        for (int i = 1; i <= wpcNO; i++) _WPC_wP[i] = tf_lerp(wpcWp[0][i], wpcWp[1][i], dp, s);
    }
    if (_useWPCmf && _WPC_Mf)
        for (int sp = 0; sp < wpcNS; sp++) {
            if (wpcMap[sp] < 0) continue;
            for (int j = 1; j <= wpcNO; j++) _WPC_Mf[j][wpcMap[sp]] = tf_lerp<T>(wpcMf[0][sp][j], wpcMf[1][sp][j], d, s);
        }
}

}  // namespace

void WPC_init(int day0, int day1, int allocate)
{
    ulog_printf("Testing WPC file\n");
    // Only openings flagged for the file are located; with none, the file would feed
    // nothing, and the user is told which flags to set.
    if (!_PLDLoc0)
        error(FATAL, __FILE__, __LINE__,
              "No path or duct terminal takes its values from the WPC file: add 2 (wind "
              "pressure) or 4 (ambient mass fractions) to the flags of each path or terminal "
              "at the ambient that should, or switch the WPC file off in Run Control", "");
    tf_open(&wpc);
    static const char* const versions[] = {"2.1", "2.4"};
    _WPCversion = tf_header(&wpc, "WPCfile", versions, 2);
    int no = wpcNO, ns = wpcNS, pressures;
    int faults = read_counts(&pressures);
    int first, last;
    tf_dates(&wpc, day0, day1, FATAL, &first, &last);
    if (allocate || !wpcAllocated) {
        free_arrays();
        allocate_arrays();
    } else if (wpcNO != no || wpcNS != ns) {
        error(FATAL, __FILE__, __LINE__, "Mapping errors in WPC file, see XLog file", "");
    }
    tf_map_species(wpcNS, wpcMap);
    int mapping = read_openings();
    tf_check(&wpc, faults);   // each flag that disagrees with the project is one ERROR
    faults += mapping;
    if (faults) error(FATAL, __FILE__, __LINE__, "Mapping errors in WPC file, see XLog file", "");
    if (match_paths()) error(FATAL, __FILE__, __LINE__, "Missing locations in WPC file, see XLog file", "");
    tf_first_record(&wpc);
    wpc.bracket.eof = 0;
    if (_useWPCwp) {
        _wthdat.WS = 0.0f;
        _wthdat.WD = 0.0f;
        set_ambient(wpcPb[1], wpcRho[1]);
        _newSTSaf = 1;
    }
}

int WPC_get(int day, int time, int start)
{
    int nread;
    int d = tf_advance(&wpc, day, time, start, &nread);
    setAt<float>(d, d > 0 ? tf_span(&wpc) : 1);
    return d;
}

void WPC_at(double t)
{
    int s;
    double d = tf_toLater(&wpc, t, &s);
    setAt<double>(d, s);
}

void WPC_close()
{
    free_arrays();
    if (_uwpc) fclose(_uwpc);
    _uwpc = nullptr;
}

}  // namespace vexlar
