// Text summaries of a transient run: the running statistic they share, the air-change
// file (".ach": the building's air-change rates through envelope paths, envelope ducts and
// in total, per step and as day and run statistics, with the run's largest in/out
// imbalance) and the zone concentration statistics file (".cbw", the ambient as zone 0).
// Storage is allocated by the openers, before the run, and released by the closers.
#include "output/summary.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "output/sim-out.h"
#include "output/summary-int.h"

namespace vexlar {

FILE* _uach = nullptr;
FILE* _ucbw = nullptr;

// ---- The running statistic ----------------------------------------------------------------

void statFamilyAlloc(StatFamily& f, int count, const char* dayTag, const char* runTag)
{
    f = StatFamily{};
    f.count = count;
    if (count < 1) return;
    f.day = alc_vT<StatAccum>(0, count - 1, dayTag);
    f.run = alc_vT<StatAccum>(0, count - 1, runTag);
    f.dayN = alc_vT<int>(0, count - 1, "statDayN");
    f.runN = alc_vT<int>(0, count - 1, "statRunN");
}

void statFamilyFree(StatFamily& f)
{
    if (f.day) {
        fre_vT(f.day, 0, f.count - 1, "statDay");
        fre_vT(f.run, 0, f.count - 1, "statRun");
        fre_vT(f.dayN, 0, f.count - 1, "statDayN");
        fre_vT(f.runN, 0, f.count - 1, "statRunN");
    }
    f = StatFamily{};
}

void statAdd(StatFamily& f, int i, double v, double w, int t, bool canSetMin)
{
    StatAccum& s = f.day[i];
    if (f.dayN[i]++ == 0) {
        s.sum = w * v;
        s.sum_sq = w * v * v;
        s.min = canSetMin ? v : DBL_MAX;
        s.max = v;
        s.at_min = s.at_max = t;
        return;
    }
    s.sum += w * v;
    s.sum_sq += w * v * v;
    if (canSetMin && v < s.min) {
        s.min = v;
        s.at_min = t;
    }
    if (v > s.max) {
        s.max = v;
        s.at_max = t;
    }
}

void statFold(StatFamily& f, int day)
{
    for (int i = 0; i < f.count; i++) {
        const StatAccum& d = f.day[i];
        StatAccum& r = f.run[i];
        if (f.dayN[i] == 0) continue;
        if (f.runN[i] == 0) {
            r = d;
            r.at_min = r.at_max = day;
        } else {
            r.sum += d.sum;
            r.sum_sq += d.sum_sq;
            if (d.min < r.min) {
                r.min = d.min;
                r.at_min = day;
            }
            if (d.max > r.max) {
                r.max = d.max;
                r.at_max = day;
            }
        }
        f.runN[i] += f.dayN[i];
    }
}

void statMeanDev(const StatAccum& s, double inv, double* mean, double* dev)
{
    *mean = s.sum * inv;
    *dev = std::sqrt(std::fabs(s.sum_sq * inv - *mean * *mean));
}

static const char* statWhen(int at, bool final) { return final ? datxstr(at) : steptimestr(at); }

void statWriteTail(FILE* f, const char* what, const StatAccum& s, double mean, double dev, bool final)
{
    double min = s.min == DBL_MAX ? 0.0 : s.min;
    resultPrintf(f, what, "\t%.6e\t%.6e\t%s\t%.6e", mean, dev, statWhen(s.at_min, final), min);
    resultPrintf(f, what, "\t%s\t%.6e\n", statWhen(s.at_max, final), s.max);
}

void statWriteUndefined(FILE* f)
{
    fprintf(f, "\tundefined\tundefined\t--\tundefined\t--\tundefined\n");
}


// The day's quantities in the family are printed with the day count as divisor, after
// the day is folded into the run; then the day starts again.
static void endFamilyDay(StatFamily& f)
{
    statFold(f, _dayofy);
    f.runCt += f.dayCt;
    f.dayCt = 0;
}

static void clearFamilyDay(StatFamily& f)
{
    for (int i = 0; i < f.count; i++) f.dayN[i] = 0;
}

// ---- Air changes --------------------------------------------------------------------------

enum { ACH_PATH = 0, ACH_DUCT, ACH_TOTAL, ACH_ROWS };
static const char* const ach_heads[ACH_ROWS] = {"path", "duct", "total"};
static StatAccum ach_dayAcc[ACH_ROWS], ach_runAcc[ACH_ROWS];
static int ach_dayN[ACH_ROWS], ach_runN[ACH_ROWS];
static StatFamily ach{ach_dayAcc, ach_runAcc, ach_dayN, ach_runN, ACH_ROWS, 0, 0};
// The air-change file's own state, set anew when the file is opened.
struct AchState {
    double volume = 0.0;           // conditioned volume of the header [m3]
    double toACH = 0.0;            // [1/h per kg/s]
    double inOutRelDiffMax = 0.0;  // largest relative gap between envelope in- and outflow
    int worstDate = 0, worstTime = 0;   // and the step that had it
};
static AchState achState;

// Conditioned volume: every node but the ambient, junctions and terminals included [m3].
static double conditionedVolume()
{
    double v = 0.0;
    for (const AirNode* n = _afnd0; n; n = n->next)
        if (!(n->flags & NODE_AMBIENT)) v += n->volume;
    return v;
}

// The first line: the run's first and last days, the listing step, the switches and the
// conditioned volume.
static const char* achHead()
{
    const RunControlData& r = _rcdat;
    static char line[128];
    snprintf(line, sizeof line, "%s\t%s\t%d\t%d\t%d\t%.2f\n", datxstr(r.start_date),
             datxstr(r.end_date), _time_list, r.ach_step, r.ach_stats, achState.volume);
    return line;
}

void set_uach_open()
{
    const RunControlData& r = _rcdat;
    // The rates divide by the density: a non-positive one would give infinite or
    // negative air changes for the whole run.
    if (!(r.ach_dens > 0.0f))
        errorf(FATAL, __FILE__, __LINE__,
               "Air-change density must be greater than 0 kg/m3: %g: set ach_dens in Run Control "
               "above 0 (e.g. 1.2041, air at 20 C)", (double)r.ach_dens);
    double v = conditionedVolume();
    if (v <= 0.0) error(FATAL, __FILE__, __LINE__, "Building conditioned volume = 0", "");
    achState = AchState{};
    achState.volume = v;
    achState.toACH = 3600.0 / ((double)r.ach_dens * v);
    achState.worstDate = _dayofy;
    achState.worstTime = _stepEndTime;
    ach.dayCt = ach.runCt = 0;
    clearFamilyDay(ach);
    for (int i = 0; i < ACH_ROWS; i++) ach_runN[i] = 0;
    _uach = createResultFile(".ach", "w+", "ACH");
    fputs(achHead(), _uach);
    if (r.ach_step) fprintf(_uach, "day\ttime\tpath\tduct\ttotal\n");
    if (r.ach_stats) fprintf(_uach, "day\tb-w\tavg\tdev\tmin\tmin\tmax\tmax\n");
}

void setAch_periodEnd() { rewriteFirstLine(_uach, ".ach", achHead()); }

void set_uach_close(int flag) { closeResultFile(&_uach, flag, ".ach"); }

// Envelope flows of the step entering and leaving the building [kg/s], split by envelope
// paths and envelope ducts. A second flow always counts with the paths.
struct EnvelopeFlows {
    double pathIn, pathOut, ductIn, ductOut;
};

static void addEnvelopeFlow(double f, double& in, double& out)
{
    if (f >= 0.0) in += f;
    else out -= f;
}

static EnvelopeFlows envelopeFlows()
{
    EnvelopeFlows e{0.0, 0.0, 0.0, 0.0};
    for (const AirPath* p = _pafp0; p; p = p->next) {
        if (p->env_dir == 0) continue;
        bool duct = p->kind > 0 || (p->flags & 0x70);
        addEnvelopeFlow(p->env_dir * p->mass_flow[0], duct ? e.ductIn : e.pathIn,
                        duct ? e.ductOut : e.pathOut);
        if (p->mass_flow[1] != 0.0) addEnvelopeFlow(p->env_dir * p->mass_flow[1], e.pathIn, e.pathOut);
    }
    return e;
}

void writeAch_stepEnd(int t)
{
    const RunControlData& r = _rcdat;
    EnvelopeFlows e = envelopeFlows();
    double in = e.pathIn + e.ductIn, out = e.pathOut + e.ductOut;
    if (achState.toACH * (in + out) > 0.001) {
        double rel = 2.0 * std::fabs(in - out) / (in + out);
        if (rel > achState.inOutRelDiffMax) {
            achState.inOutRelDiffMax = rel;
            achState.worstDate = _dayofy;
            achState.worstTime = _stepEndTime;
        }
    }
    float rate[ACH_ROWS] = {(float)(e.pathIn * achState.toACH), (float)(e.ductIn * achState.toACH),
                            (float)((e.pathIn + e.ductIn) * achState.toACH)};
    if (r.ach_step && _uach && _time_list > 0 && t % _time_list == 0)
        resultPrintf(_uach, "ACH file", "%s\t%s\t%.6e\t%.6e\t%.6e\n", datxstr(_dayofy), steptimestr(t),
                     rate[0], rate[1], rate[2]);
    if (!r.ach_stats) return;
    for (int i = 0; i < ACH_ROWS; i++) statAdd(ach, i, rate[i], 1.0, t);
    ach.dayCt++;
}

static void writeAchLines(const char* day, int n, bool final)
{
    double inv = 1.0 / n;
    for (int i = 0; i < ACH_ROWS; i++) {
        const StatAccum& s = final ? ach.run[i] : ach.day[i];
        double mean, dev;
        statMeanDev(s, inv, &mean, &dev);
        fprintf(_uach, "%s\t%s", day, ach_heads[i]);
        statWriteTail(_uach, "ACH file", s, mean, dev, final);
    }
}

void writeAch_dayEnd()
{
    if (ach.dayCt == 0) return;
    int n = ach.dayCt;
    endFamilyDay(ach);
    if (_uach) writeAchLines(datxstr(_dayofy), n, false);
    clearFamilyDay(ach);
}

void writeAch_simEnd()
{
    // A run stopped before its first listing has no final line to write.
    if (_uach && ach.runCt > 0) writeAchLines("final", ach.runCt, true);
    char text[160];
    snprintf(text, sizeof text, "Max relative imbalance in air exchange flows: %g %s %s",
             achState.inOutRelDiffMax, datestr(achState.worstDate), steptimestr(achState.worstTime));
    if (achState.inOutRelDiffMax > 5.0 * _rcdat.relcnvg) error(WARNING, __FILE__, __LINE__, text, "");
    else ulog_printf("%s\n", text);
}

// ---- Zone concentration statistics ----------------------------------------------------------

static StatFamily ctm;   // quantity z x _nctm + k: zone z (0 the ambient), species k

// The first line: zones, species and the run's first and last days.
static const char* cbwHead()
{
    static char line[96];
    snprintf(line, sizeof line, "%d\t%d\t%s\t%s\n", _nzone, _nctm, datxstr(_rcdat.start_date),
             datxstr(_rcdat.end_date));
    return line;
}

void set_ucbw_open()
{
    if (_nctm <= 0) return;
    statFamilyAlloc(ctm, (_nzone + 1) * _nctm, "ctm_day", "ctm_run");
    _ucbw = createResultFile(".cbw", "w+", "CBW");
    fputs(cbwHead(), _ucbw);
    fprintf(_ucbw, "day\tzone\tctm\tavg\tdev\tmin\tmin\tmax\tmax\n");
}

void setCbw_periodEnd() { rewriteFirstLine(_ucbw, ".cbw", cbwHead()); }

void set_ucbw_close(int flag)
{
    statFamilyFree(ctm);
    closeResultFile(&_ucbw, flag, ".cbw");
}

void writeCbw_stepEnd_compute(int t)
{
    if (!ctm.day) return;
    for (const AirNode* n = _afnd0; n; n = n->next) {
        if (n->kind != 0 || n->number < 0 || n->number > _nzone || !n->mf) continue;
        for (int k = 0; k < _nctm; k++) statAdd(ctm, n->number * _nctm + k, n->mf[k], 1.0, t);
    }
    ctm.dayCt++;
}

// The reciprocal of the divisor is formed in single precision.
static void writeCbwLines(const char* day, int n, bool final)
{
    double inv = (double)(1.0f / (float)n);
    for (int z = 0; z <= _nzone; z++)
        for (int k = 0; k < _nctm; k++) {
            const StatAccum& s = final ? ctm.run[z * _nctm + k] : ctm.day[z * _nctm + k];
            double mean, dev;
            statMeanDev(s, inv, &mean, &dev);
            fprintf(_ucbw, "%s\t%d\t%d", day, z, k + 1);
            statWriteTail(_ucbw, "CBW file", s, mean, dev, final);
        }
}

void writeCbw_dayEnd()
{
    if (!ctm.day) return;
    int n = ctm.dayCt;
    // A run stopped before the day's first listing has nothing to average for the day.
    if (n == 0) return;
    endFamilyDay(ctm);
    if (_rcdat.cbw_stats && _ucbw) writeCbwLines(datxstr(_dayofy), n, false);
    clearFamilyDay(ctm);
}

void writeCbw_simEnd()
{
    if (!ctm.day) return;
    if (ctm.runCt == 0) return;   // stopped before the run's first listing
    if (_ucbw) writeCbwLines("final", ctm.runCt, true);
}

}  // namespace vexlar
