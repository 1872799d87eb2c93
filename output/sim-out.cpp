// Result file set of the run, the SIM binary results file and the run extremes. Every
// result file is named from the project path parts; main opens the selected ones and
// removes the stale others, and the time loop hands each step to writeResults_stepEnd.
// The SIM file is little-endian with no padding: 32-bit integers and single-precision
// reals, two 16-bit integers heading each step and day record.
#include "output/sim-out.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "output/expos.h"
#include "output/sqlite-out.h"
#include "output/summary.h"
#include "solvers/sparse-mat.h"

namespace vexlar {

FILE* _usim = nullptr;
// Stream buffer of the SIM file (only one is open at a time); static, so that it lives
// until the file is closed and stays out of the engine's allocation accounts.
static char _simBuffer[1 << 16];
static int _nccnd;   // SIM header item 16: node count of the concentration tables

// ---- Names, removal and the log ---------------------------------------------------------

const char* resultFileName(const char* ext)
{
    pathmerge(_file_name, sizeof _file_name, _pdrive, _pdir, _prjname, ext);
    return _file_name;
}

FILE* createFileAt(const char* path, const char* mode, const char* text)
{
    FILE* f = openFile(path, mode);
    if (!f) {
        char reason[256];
        snprintf(reason, sizeof reason, " (%s)", strerror(errno));
        error(FATAL, __FILE__, __LINE__, text, reason, "");
    }
    return f;
}

FILE* createResultFile(const char* ext, const char* mode, const char* kind)
{
    const char* path = resultFileName(ext);
    char text[sizeof _file_name + 64];
    snprintf(text, sizeof text, "Could not open %s file; is it already open? %s", kind, path);
    return createFileAt(path, mode, text);
}

void removeResultFile(const char* ext) { removeResultPath(resultFileName(ext)); }

int _resultWriteFailures = 0;

void resultWriteFailed(const char* text, const char* ext, const char* detail)
{
    _resultWriteFailures++;
    const char* name = resultFileName(ext);
    if (detail && detail[0])
        error(ERROR, __FILE__, __LINE__, text, name, ": ", detail, "");
    else
        error(ERROR, __FILE__, __LINE__, text, name, "");
}

void closeResultFile(FILE** f, int flag, const char* ext)
{
    const char* reason;
    if (*f && closeWholeFile(*f, &reason) && !flag) resultWriteFailed("Could not write result file ", ext, reason);
    *f = nullptr;
    if (flag) removeResultFile(ext);
}

static int sinksExist() { return _nbls > 0 || _ndvr > 0; }

void rewriteFirstLine(FILE* f, const char* ext, const char* line)
{
    if (!f) return;
    std::string text;
    bool ok = fflush(f) == 0 && fseek(f, 0, SEEK_SET) == 0;
    char buf[1 << 14];
    for (size_t got; ok && (got = fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, got);
    size_t eol = text.find('\n');
    ok = ok && !ferror(f) && eol != std::string::npos;
    if (ok) {
        text.replace(0, eol + 1, line);
        ok = fseek(f, 0, SEEK_SET) == 0 && fwrite(text.data(), 1, text.size(), f) == text.size() &&
             fflush(f) == 0 && ftruncate(fileno(f), (off_t)text.size()) == 0 &&
             fseek(f, 0, SEEK_END) == 0;
    }
    if (!ok) resultWriteFailed("Could not write result file ", ext, strerror(errno ? errno : EIO));
}

// ---- Little-endian records of the SIM file ----------------------------------------------

// One record of the file packed in file byte order. A record longer than the buffer is
// written in pieces; a short write of any piece makes the record one counted ERROR.
// Only the first len bytes are ever read, so the buffer is left uninitialised: records
// are mostly 16 bytes and one is packed for every path and node of every step.
struct SimRecord {
    unsigned char bytes[256];
    size_t len = 0;
    int failed = 0;   // the errno of a short write, 0 while none
};

// The engine writes the SIM file from its one thread only, so the stream's lock, taken
// and released by every fwrite, is skipped: a record is a few bytes and the locking cost
// more than copying them.
static void simFlush(SimRecord& r)
{
    if (r.len && fwrite_unlocked(r.bytes, 1, r.len, _usim) != r.len) r.failed = errno ? errno : EIO;
    r.len = 0;
}

static void simPut(SimRecord& r, uint32_t word, int nbytes)
{
    if (r.len + nbytes > sizeof r.bytes) simFlush(r);
    unsigned char* out = r.bytes + r.len;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    memcpy(out, &word, (size_t)nbytes);   // the low bytes come first in memory already
#else
    for (int i = 0; i < nbytes; i++) out[i] = (unsigned char)(word >> (8 * i));
#endif
    r.len += (size_t)nbytes;
}

static void simI16(SimRecord& r, int v) { simPut(r, (uint16_t)(int16_t)v, 2); }
static void simI32(SimRecord& r, int32_t v) { simPut(r, (uint32_t)v, 4); }

static void simF32(SimRecord& r, double v)
{
    requireResult(v, true, "SIM file");
    float f = (float)v;
    uint32_t word;
    memcpy(&word, &f, 4);
    simPut(r, word, 4);
}

static void simEnd(SimRecord& r)
{
    simFlush(r);
    if (r.failed) resultWriteFailed("fwrite failed: ", ".sim", strerror(r.failed));
}

static void simWriteInts(const int32_t* v, int n)
{
    SimRecord r;
    for (int i = 0; i < n; i++) simI32(r, v[i]);
    simEnd(r);
}

// The _nctm mass fractions of one node as one block (nothing without species); a node
// without mass-fraction storage writes zeros.
template <class T> static void simWriteConcs(const T* mf)
{
    if (_nctm <= 0) return;
    SimRecord r;
    for (int s = 0; s < _nctm; s++) simF32(r, mf ? (double)mf[s] : 0.0);
    simEnd(r);
}

// The day and day type, a time and four ambient values: the head of step and day blocks.
static void simWriteDayRecord(int t, double a, double b, double c, double d)
{
    SimRecord r;
    simI16(r, _dayofy);
    simI16(r, _daytyp);
    simI32(r, t);
    simF32(r, a);
    simF32(r, b);
    simF32(r, c);
    simF32(r, d);
    simEnd(r);
}

// A 16-byte indexed record: running position and three values.
static void simWriteIndexed(int pos, double a, double b, double c)
{
    SimRecord r;
    simI32(r, pos);
    simF32(r, a);
    simF32(r, b);
    simF32(r, c);
    simEnd(r);
}

static void simWriteIndex(int pos)
{
    SimRecord r;
    simI32(r, pos);
    simEnd(r);
}

// ---- Debug listing of the SIM file (log detail level 2) ---------------------------------

static int simDebug() { return _list == 2; }
static int simOffset() { return (int)ftell(_usim); }

static void simDebugSpeciesHeads()
{
    for (int s = 0; s < _nctm; s++) ulog_printf(" %11s", _ctm[s].name);
    ulog_printf("\n");
}

template <class T> static void simDebugConcs(const T* mf)
{
    for (int s = 0; s < _nctm; s++) ulog_printf(" %11.4e", mf ? (double)mf[s] : 0.0);
    ulog_printf("\n");
}

// ---- Header and tables ------------------------------------------------------------------

static void writeSimHeader()
{
    const RunControlData& rc = _rcdat;
    const int32_t items[17] = {24, _nzone, _npath, _nctm, _njct, _ndct, _time_list, _dayofy,
                               _stepEndTime, _simEndDate, _simEndTime, rc.pfres, rc.zfres,
                               rc.zcres, _nafnd, _nccnd, _nafpt};
    if (simDebug()) {
        ulog_printf("SIM: nnode %d, npath %d, ncont %d, step %d\n", _nzone, _npath, _nctm,
                  _time_list);
        ulog_printf("     date0 %d, time0 %d, date1 %d, time1 %d\n", _dayofy, _stepEndTime,
                  _simEndDate, _simEndTime);
        ulog_printf("     pfres %d, zfres %d, zcres %d\n", rc.pfres, rc.zfres, rc.zcres);
        ulog_printf("     nafnd %d, nccnd %d, nafpt %d\n", _nafnd, _nccnd, _nafpt);
    }
    simWriteInts(items, 17);
    if (simDebug()) ulog_printf("offset: %d\n", simOffset());
}

// Kinds and numbers of the nodes, then (when concentrations are listed) again, then of the
// paths; staged in two 1-based arrays sized for the longer list.
static void writeSimTables()
{
    int n = _nafnd > _nafpt ? _nafnd : _nafpt;
    if (n < 1) n = 1;
    int32_t* kinds = alc_vT<int32_t>(1, n, "styp-s");
    int32_t* numbers = alc_vT<int32_t>(1, n, "s_nr-s");
    int i = 0;
    for (AirNode* nd = _afnd0; nd && i < _nafnd; nd = nd->next) {
        kinds[++i] = nd->kind;
        numbers[i] = nd->number;
        if (simDebug()) ulog_printf("AF node: %d %u %u\n", i, (unsigned)nd->kind, (unsigned)nd->number);
    }
    for (int copy = 0; copy < (_nccnd ? 2 : 1); copy++) {
        simWriteInts(&kinds[1], _nafnd);
        simWriteInts(&numbers[1], _nafnd);
    }
    i = 0;
    for (AirPath* p = _pafp0; p && i < _nafpt; p = p->next) {
        kinds[++i] = p->kind;
        numbers[i] = p->number;
        if (simDebug())
            ulog_printf("AF path: %d %u %u  nd %u %u\n", i, (unsigned)p->kind, (unsigned)p->number,
                      (unsigned)p->from_node->index, (unsigned)p->to_node->index);
    }
    simWriteInts(&kinds[1], _nafpt);
    simWriteInts(&numbers[1], _nafpt);
    kinds = fre_vT(kinds, 1, n, "styp-s");
    numbers = fre_vT(numbers, 1, n, "s_nr-s");
}

void set_usim_open()
{
    _usim = createResultFile(".sim", "wb", "SIM");
    // Every step appends a record per path and node; a larger buffer than the stream's
    // default block writes them with far fewer system calls.
    setvbuf(_usim, _simBuffer, _IOFBF, sizeof _simBuffer);
    _nccnd = _rcdat.zcres ? _nafnd : 0;
    writeSimHeader();
    writeSimTables();
}

// ---- Step blocks ------------------------------------------------------------------------

// The node at running position pos; its own index must agree with the position.
static int checkedPosition(const AirNode* nd, int pos)
{
    if (nd->index != pos) error(ERROR, __FILE__, __LINE__, "Node number", "");
    return pos;
}

static void writeStepPaths()
{
    if (simDebug()) ulog_printf(" path  offset      dP           F0           F1\n");
    int pos = 0;
    for (AirPath* p = _pafp0; p && pos < _nafpt; p = p->next) {
        ++pos;
        if (simDebug())
            ulog_printf(" %4d %7d %12.4e %12.4e %12.4e\n", pos, simOffset(), p->dp, p->mass_flow[0],
                      p->mass_flow[1]);
        simWriteIndexed(pos, p->dp, p->mass_flow[0], p->mass_flow[1]);
    }
}

static void writeStepNodeStates()
{
    if (simDebug()) ulog_printf(" zone  offset      T            P            D            M\n");
    int pos = 0;
    for (AirNode* nd = _afnd0; nd && ++pos < _nafnd; nd = nd->next) {
        if (simDebug())
            ulog_printf(" %4d %7d %12.4e %12.4e %12.4e %12.4e\n", pos, simOffset(), nd->temperature,
                      (double)nd->gauge_pressure, nd->density, nd->air_mass);
        simWriteIndexed(checkedPosition(nd, pos), nd->temperature, nd->gauge_pressure, nd->density);
    }
}

// The concentration records of every node but the ambient: current mass fractions, or the
// day's largest from _Mfmax (the current ones when that table does not exist).
static void writeNodeConcs(int dayMax)
{
    if (simDebug()) {
        ulog_printf(" zone  offset ");
        simDebugSpeciesHeads();
    }
    int pos = 0;
    for (AirNode* nd = _afnd0; nd && ++pos < _nafnd; nd = nd->next) {
        if (simDebug()) ulog_printf(" %4d %7d ", pos, simOffset());
        simWriteIndex(checkedPosition(nd, pos));
        if (dayMax && _Mfmax) {
            if (simDebug()) simDebugConcs(_Mfmax[pos]);
            simWriteConcs(_Mfmax[pos]);
        } else {
            if (simDebug()) simDebugConcs(nd->mf);
            simWriteConcs(nd->mf);
        }
    }
}

static const double* ambientConcs() { return _pambt ? _pambt->mf : nullptr; }

void checkResultsFinite(bool single)
{
    char text[96];
    if (networkNonFinite(text, sizeof text, single))
        error(FATAL, __FILE__, __LINE__, "Results are not finite and are not written: ", text, "");
}

void requireResult(double v, bool single, const char* what)
{
    if (!resultFits(v, single))
        error(FATAL, __FILE__, __LINE__, "Results are not finite and are not written: ", what, "");
}

void writeSim_stepTime(int t)
{
    if (!_usim) return;
    checkResultsFinite(true);
    const WeatherData& w = _wthdat;
    if (simDebug()) {
        ulog_printf("writeSim_stepTime(): time %s\n", steptimestr(t));
        ulog_printf(" time  offset  dy dt   Ta       P      Ws    Wd");
        simDebugSpeciesHeads();
        ulog_printf("%5d %7d %3d %2d %7.3f %8.1f %5.2f %3.0f", t, simOffset(), _dayofy, _daytyp,
                  (double)w.Tambt, w.Pbar, (double)w.WS, (double)w.WD);
        simDebugConcs(ambientConcs());
    }
    simWriteDayRecord(t, w.Tambt, w.Pbar, w.WS, w.WD);
    simWriteConcs(ambientConcs());
    if (_rcdat.pfres) writeStepPaths();
    if (_rcdat.zfres) writeStepNodeStates();
    if (_rcdat.zcres) writeNodeConcs(0);
}

// ---- Day summaries ----------------------------------------------------------------------

// Daily extremes of the weather; the path and node ones live in their records.
static float _Tamax, _Tamin, _wsmax, _wsmin;

static void writeDayPaths()
{
    if (simDebug()) ulog_printf(" path  offset     dPmax        Fmax\n");
    int pos = 0;
    for (AirPath* p = _pafp0; p && pos < _nafpt; p = p->next) {
        ++pos;
        if (simDebug())
            ulog_printf(" %4d %7d %12.4e %12.4e\n", pos, simOffset(), (double)p->dp_max,
                      (double)p->flow_max);
        // The fourth word is an int32 0: +0.0f has the same four zero bytes.
        simWriteIndexed(pos, p->dp_max, p->flow_max, 0.0);
    }
}

static void writeDayNodes()
{
    if (simDebug()) ulog_printf(" zone  offset      Pgmax        Pgmin\n");
    int pos = 0;
    for (AirNode* nd = _afnd0; nd && ++pos < _nafnd; nd = nd->next) {
        if (simDebug())
            ulog_printf(" %4d %7d %12.4e %12.4e\n", pos, simOffset(), (double)nd->gauge_pressure_max,
                      (double)nd->gauge_pressure_min);
        simWriteIndexed(checkedPosition(nd, pos), nd->gauge_pressure_max, nd->gauge_pressure_min,
                        0.0);
    }
}

void writeSim_daySummary()
{
    if (!_usim) return;
    if (simDebug()) {
        ulog_printf("writeSim_daySummary: time %s\n", steptimestr(_stepEndTime));
        ulog_printf(" time  offset  dy dt   Tmax    Tmin   Wmax  Wmin -- summary\n");
        ulog_printf("%5d %7d %3d %2d %7.3f %7.3f %5.2f %5.2f\n", _stepEndTime, simOffset(), _dayofy,
                  _daytyp, (double)_Tamax, (double)_Tamin, (double)_wsmax, (double)_wsmin);
    }
    simWriteDayRecord(_stepEndTime, _Tamax, _Tamin, _wsmax, _wsmin);
    if (_Mfmax)
        simWriteConcs(_Mfmax[_nafnd]);
    else
        simWriteConcs(ambientConcs());
    if (_rcdat.pfres) writeDayPaths();
    if (_rcdat.zfres) writeDayNodes();
    if (_rcdat.zcres) writeNodeConcs(1);
}

static float largerMagnitude(double a, double b)
{
    double m = fabs(a) > fabs(b) ? fabs(a) : fabs(b);
    return (float)m;
}

void setDayExtremesToCurrent()
{
    for (AirPath* p = _pafp0; p; p = p->next) {
        if (p->flags & (0x10 | 0x20 | 0x40)) continue;
        p->flow_max = largerMagnitude(p->mass_flow[0], p->mass_flow[1]);
        p->dp_max = (float)fabs(p->dp);
    }
    for (AirNode* nd = _afnd0; nd; nd = nd->next)
        nd->gauge_pressure_max = nd->gauge_pressure_min = nd->gauge_pressure;
}

void writeSim_daySummary_init()
{
    _Tamax = _Tamin = _wthdat.Tambt;
    _wsmax = _wsmin = _wthdat.WS;
    for (AirPath* p = _pafp0; p; p = p->next) {
        p->flow_max = largerMagnitude(p->mass_flow[0], p->mass_flow[1]);
        p->dp_max = (float)fabs(p->dp);
    }
    for (AirNode* nd = _afnd0; nd; nd = nd->next)
        nd->gauge_pressure_max = nd->gauge_pressure_min = nd->gauge_pressure;
    if (_Mfmax && _nctm > 0)
        for (int i = 1; i <= _nafnd; i++)
            for (int s = 0; s < _nctm; s++) _Mfmax[i][s] = 0.0f;
}

// ---- Trailer ----------------------------------------------------------------------------

// Highest histogram index above 0 with a nonzero count, or 0.
static int histogramTop()
{
    if (!_facBins) return 0;
    for (int b = _rcdat.itmax + 1; b >= 1; b--)
        if (_facBins[b]) return b;
    return 0;
}

static void writeSimTrailer()
{
    const int b = histogramTop();
    const int32_t counters[16] = {b, _NrTimeSteps, _NrTStepIter, _NrSolveSTS, _NrSolveAf,
                                  _NrFillAf, _NrLufSkyS, _NrPCG, _NrPCGiter, _NrSolveMft,
                                  _NrSolveMfn, _NrLufSkyN, _NrBCG, _NrBCGiter, 0, 0};
    if (simDebug())
        ulog_printf("performance at %7d - %d %d %d %d %d\n", simOffset(), b, _NrTimeSteps,
                  _NrTStepIter, _NrSolveSTS, _NrSolveAf);
    simWriteInts(counters, 16);
    const int32_t none = 0;
    simWriteInts(_facBins ? _facBins : &none, b + 1);
}

// What the stream still buffers is written when it is flushed: a failure there is the
// same short write as any other.
void set_usim_close(int flag)
{
    if (_usim && flag) {
        fclose(_usim);   // removed below: what it still buffers does not matter
    } else if (_usim) {
        writeSimTrailer();
        const char* reason;
        if (closeWholeFile(_usim, &reason)) resultWriteFailed("fwrite failed: ", ".sim", reason);
    }
    _usim = nullptr;
    if (flag) removeResultFile(".sim");
}

void setSim_periodEnd()
{
    if (!_usim) return;
    const int32_t end[2] = {_simEndDate, _simEndTime};
    SimRecord r;
    if (fflush(_usim) != 0 || fseek(_usim, 4 * 9, SEEK_SET) != 0) r.failed = 1;
    for (int32_t v : end) simI32(r, v);
    simFlush(r);
    if (fseek(_usim, 0, SEEK_END) != 0) r.failed = 1;
    simEnd(r);
}

// ---- Per-step dispatch ------------------------------------------------------------------

static int isListingTime(int t) { return _time_list > 0 && t % _time_list == 0; }

void writeResults_stepEnd(int t)
{
    const RunControlData& rc = _rcdat;
    if (isListingTime(t)) {
        writeSim_stepTime(t);
        writeSql_stepTime(t);
        writeSTS_ResultFiles(t);
        if (rc.sim_mf > 1 && sinksExist() && rc.srf) writeSrf_stepTime(t);
    }
    extremesCalc();
    if (rc.ach_step || rc.ach_stats) writeAch_stepEnd(t);
    if (rc.cbw_stats) writeCbw_stepEnd_compute(t);
    if (rc.age_step || rc.age_stats) writeAge_stepEnd(t);
    if (_uexp) writeExp_stepEnd(t);
}

// ---- Run extremes -----------------------------------------------------------------------

struct ExtremeRec {
    float value;
    int32_t element;   // zone or junction number, -999 for none
    int32_t time_s;    // time of day of the step [s]
    int32_t day;       // day of year
};

static ExtremeRec _maxACH, _maxZP, _minZP, _maxJP, _minJP;

// Path flags of the recirculation, outdoor-air and exhaust paths of an air-handling system.
constexpr int32_t PATH_AHS_INTERNAL = 0x10 | 0x20 | 0x40;

// Also starts the day's weather range at the current ambient state: a steady run writes
// its day summary without the transient loop's reset, and 0 K is no temperature.
void extremesInit()
{
    const ExtremeRec start = {0.0f, -999, _rcdat.start_time, _rcdat.start_date};
    _maxACH = _maxZP = _minZP = _maxJP = _minJP = start;
    _Tamax = _Tamin = _wthdat.Tambt;
    _wsmax = _wsmin = _wthdat.WS;
}

// A value never moves both ends of a range in one step.
static void widenRange(float v, float* hi, float* lo)
{
    if (v > *hi)
        *hi = v;
    else if (v < *lo)
        *lo = v;
}

// Strictly beyond the extreme only, so that ties keep the earlier occurrence.
static void noteExtremes(float v, int element, ExtremeRec* max, ExtremeRec* min)
{
    const ExtremeRec now = {v, element, _stepEndTime, _dayofy};
    if (max && v > max->value) *max = now;
    if (min && v < min->value) *min = now;
}

static void dayExtremes()
{
    widenRange(_wthdat.Tambt, &_Tamax, &_Tamin);
    widenRange(_wthdat.WS, &_wsmax, &_wsmin);
    for (AirPath* p = _pafp0; p; p = p->next) {
        if (p->flags & PATH_AHS_INTERNAL) continue;
        float dp = (float)fabs(p->dp), flow = largerMagnitude(p->mass_flow[0], p->mass_flow[1]);
        if (dp > p->dp_max) p->dp_max = dp;
        if (flow > p->flow_max) p->flow_max = flow;
    }
    for (AirNode* nd = _afnd0; nd; nd = nd->next)
        if (nd->flags & NODE_VAR_P)
            widenRange(nd->gauge_pressure, &nd->gauge_pressure_max, &nd->gauge_pressure_min);
}

// Air changes per hour of a zone: the flow magnitudes count every flow once entering and
// once leaving, hence 1800 s rather than 3600 s.
static void zoneExtremes(const AirNode* z)
{
    if (!(z->flags & NODE_VAR_P)) return;
    noteExtremes(z->gauge_pressure, z->number, &_maxZP, &_minZP);
    if (z->volume > 0.0f) {
        float ach = (float)(z->sum_abs_flow * 1800.0 / (z->volume * z->density));
        noteExtremes(ach, z->number, &_maxACH, nullptr);
    }
}

void extremesCalc()
{
    dayExtremes();
    // Zones head the list; junctions and terminals follow up to the ambient node (last).
    AirNode* nd = _afnd0;
    int pos = 1;
    for (; nd && pos < _nafnd && nd->kind == 0; nd = nd->next, pos++) zoneExtremes(nd);
    for (; nd && pos < _nafnd; nd = nd->next, pos++)
        noteExtremes(nd->gauge_pressure, nd->number, &_maxJP, &_minJP);
}

static void logExtreme(FILE* f, const char* fmt, const ExtremeRec& e)
{
    fprintf(f, fmt, (double)e.value, e.element, steptimestr(e.time_s), datestr(e.day));
}

void writeLog_extremes(FILE* f)
{
    if (!f) return;
    if (_maxACH.value > 0.0f)
        logExtreme(f, "Maximum air exchange rate: ~%.1f ACH in zone %d at %s on %s\n", _maxACH);
    if (_maxZP.value > 0.0f)
        logExtreme(f, "Maximum gage pressure: %.1f Pa in zone %d at %s on %s\n", _maxZP);
    if (_minZP.value < 0.0f)
        logExtreme(f, "Minimum gage pressure: %.1f Pa in zone %d at %s on %s\n", _minZP);
    if (_maxJP.value > 0.0f)
        logExtreme(f, "Maximum gage pressure: %.1f Pa in junction %d at %s on %s\n", _maxJP);
    if (_minJP.value < 0.0f)
        logExtreme(f, "Minimum gage pressure: %.1f Pa in junction %d at %s on %s\n", _minJP);
    fprintf(f, "\n");
    fflush(f);
}

}  // namespace vexlar
